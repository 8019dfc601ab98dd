#include "decode_command.h"

#include "decoding_session.h"
#include "influx_export.h"
#include "influx_sender.h"
#include "kiss_log.h"
#include "output_file.h"
#include "output_names.h"
#include "record_export.h"
#include "session_outputs.h"
#include "tlm_format.h"
#include "value_text.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>
#include <unistd.h>

namespace kesta {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view StandardOutputName = "-";

// One file the command writes.
struct Output
{
    std::string what; // "dump file", "CSV file", ...
    std::string path;
    OutputFile file;

    bool toStandardOutput() const { return path == StandardOutputName; }
};

DecodeOutcome Failure(int exitCode, std::string message)
{
    DecodeOutcome outcome;
    outcome.exitCode = exitCode;
    outcome.errors.push_back(std::move(message));
    return outcome;
}

// Opens every output; on the first failure the others are discarded again, so a
// decode that cannot start leaves no new file behind and every old one as it was.
bool OpenOutputs(std::vector<std::unique_ptr<Output>> &outputs, DecodeOutcome &outcome)
{
    for (auto &output : outputs) {
        if (output->toStandardOutput()) {
            output->file.openStandardOutput();
            continue;
        }
        if (output->file.open(output->path, OutputFile::Mode::CreateAnew))
            continue;
        outcome.exitCode = ExitFailure;
        outcome.errors.push_back(output->file.error());
        for (auto &other : outputs)
            other->file.discard();
        return false;
    }
    return true;
}

bool AnyOutputFailed(const std::vector<std::unique_ptr<Output>> &outputs)
{
    for (const auto &output : outputs) {
        if (output->file.failed())
            return true;
    }
    return false;
}

} // namespace

DecodeOutcome RunDecodeCommand(const DecodeOptions &options)
{
    const std::string &logPath = options.logPath;
    for (const auto *name :
         {&options.csvPath, &options.jsonlPath, &options.influxPath, &options.reportPath}) {
        if (*name && (*name)->empty())
            return Failure(ExitUsage, "an output file name is empty (use - for standard output)");
    }

    std::vector<std::unique_ptr<Output>> outputs;
    auto plan = [&outputs](std::string what, std::string path) {
        auto output = std::make_unique<Output>();
        output->what = std::move(what);
        output->path = std::move(path);
        outputs.push_back(std::move(output));
        return outputs.back().get();
    };
    Output *dump = options.writeDump ? plan("dump file", DumpNameFor(logPath)) : nullptr;
    Output *tlm = options.writeTlm ? plan("TLM file", TlmNameFor(logPath)) : nullptr;
    Output *csv = options.csvPath ? plan("CSV file", *options.csvPath) : nullptr;
    Output *jsonl = options.jsonlPath ? plan("JSON Lines file", *options.jsonlPath) : nullptr;
    Output *influx = options.influxPath ? plan("line protocol file", *options.influxPath) : nullptr;
    Output *report = options.reportPath ? plan("report file", *options.reportPath) : nullptr;

    std::vector<PlannedOutput> planned;
    for (const auto &output : outputs)
        planned.push_back({output->what, output->path});
    if (auto clash = FindOutputClash(logPath, planned))
        return Failure(ExitUsage, std::move(*clash));

    std::string error;
    std::unique_ptr<LogFile> log = LogFile::open(logPath, error);
    if (!log)
        return Failure(ExitFailure, error);

    std::unique_ptr<InfluxSender> sender;
    if (options.influx) {
        InfluxSenderOptions influxOptions;
        influxOptions.target = *options.influx;
        influxOptions.spoolPath = InfluxStateSpoolFor(*options.influx);
        influxOptions.spoolMode = InfluxSpool::Mode::Adopt;
        influxOptions.line.station = options.station;
        if (influxOptions.spoolPath.empty())
            return Failure(ExitFailure, "no folder for the InfluxDB spool file: neither "
                                        "XDG_STATE_HOME nor HOME is set");
        sender = std::make_unique<InfluxSender>(std::move(influxOptions));
        if (!sender->start())
            return Failure(ExitFailure, sender->error().toStdString());
    }

    DecodeOutcome outcome;
    if (!OpenOutputs(outputs, outcome))
        return outcome;

    DecodingSession session;
    std::optional<DumpSink> dumpSink;
    std::optional<TlmSink> tlmSink;
    std::optional<ExportSink> csvSink;
    std::optional<ExportSink> jsonlSink;
    std::optional<InfluxSink> influxSink;
    if (dump != nullptr)
        session.addSink(dumpSink.emplace(dump->file));
    if (tlm != nullptr) {
        std::error_code ec;
        const fs::path absolute = fs::absolute(logPath, ec);
        WriteTlmHeader(tlm->file, ec ? logPath : absolute.string());
        session.addSink(tlmSink.emplace(tlm->file));
    }
    if (csv != nullptr)
        session.addSink(
            csvSink.emplace(RecordExporter::Format::Csv, csv->file, options.station));
    if (jsonl != nullptr)
        session.addSink(
            jsonlSink.emplace(RecordExporter::Format::JsonLines, jsonl->file, options.station));
    if (influx != nullptr)
        session.addSink(influxSink.emplace(influx->file, InfluxLineOptions{options.station}));
    if (sender)
        session.addSink(*sender);
    auto refused = [&] { return sender && sender->state() == InfluxSender::State::Refused; };

    // Stop on the caller's cancel or on a failed output, whichever comes first.
    ReadControl control;
    control.cancel = [&] {
        // Looked at between blocks: a failed output means the decode has failed. The
        // InfluxDB server gets its turn here, and holds the decode back while it is
        // behind.
        if (sender)
            sender->waitForRoom(options.cancel);
        return (options.cancel != nullptr && options.cancel->load()) || AnyOutputFailed(outputs) ||
               refused();
    };
    const ReadOutcome read = FeedLog(*log, session, error, control);

    outcome.totals = TotalsOf(session.totals(), session.report());
    const DecodeTotals &totals = outcome.totals;

    if (read == ReadOutcome::Failed)
        outcome.errors.push_back(error);
    if (read == ReadOutcome::Cancelled && !AnyOutputFailed(outputs)) {
        outcome.cancelled = true;
        outcome.exitCode = ExitInterrupted;
        outcome.errors.push_back(logPath + ": interrupted; earlier output files are unchanged");
        return outcome; // every output is discarded on the way out
    }
    if (read == ReadOutcome::Complete && sender) {
        // The last lines go to the server, or wait in the spool.
        sender->finish();
        sender->waitUntilFinished(options.cancel);
        if (!sender->isFinished()) { // interrupted while waiting: what waits stays
            sender.reset();
            outcome.cancelled = true;
            outcome.exitCode = ExitInterrupted;
            outcome.errors.push_back(logPath + ": interrupted; earlier output files are unchanged");
            return outcome;
        }
    }
    if (sender) {
        outcome.notes.push_back(sender->summary().toStdString());
        outcome.influxLinesWait = sender->waitingLines() > 0;
        if (refused())
            outcome.errors.push_back(sender->error().toStdString());
    }
    if (read == ReadOutcome::Complete) {
        session.flush();
        if (report != nullptr) {
            report->file.write(LoadReportJson(totals));
            report->file.write("\n");
        }
    }
    if (outcome.errors.empty()) {
        for (auto &output : outputs) {
            if (output->file.failed())
                outcome.errors.push_back(output->file.error());
        }
    }
    if (outcome.errors.empty()) {
        // Every output is whole: each takes its name now.
        for (auto &output : outputs) {
            if (!output->file.close())
                outcome.errors.push_back(output->file.error());
        }
    }
    if (!outcome.errors.empty()) {
        outcome.exitCode = ExitFailure;
        for (auto &output : outputs)
            output->file.discard();
    }
    return outcome;
}

std::string InfluxStateSpoolFor(const InfluxTarget &target)
{
    fs::path folder;
    if (const char *state = std::getenv("XDG_STATE_HOME"); state != nullptr && *state == '/')
        folder = state;
    else if (const char *home = std::getenv("HOME"); home != nullptr && *home == '/')
        folder = fs::path(home) / ".local" / "state";
    else
        return {};
    folder /= "kesta-decoder";
    std::error_code ec;
    if (fs::create_directories(folder, ec)) // private to the user, as state folders are
        fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace, ec);
    // One file per server, database and precision: FNV-1a of the write URL.
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : target.writeUrl.toString(QUrl::FullyEncoded).toStdString()) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    char name[40];
    std::snprintf(name, sizeof name, "influx-%016llx.lp", static_cast<unsigned long long>(hash));
    return (folder / name).string();
}

DecodeTotals TotalsOf(const SessionTotals &counts, const LoadReport &load)
{
    DecodeTotals totals;
    totals.records = counts.frames;
    totals.htrx = counts.htrx;
    totals.fss = counts.fss;
    totals.fssHi = counts.fssHi;
    totals.load = load;
    totals.reader = load.reader;
    return totals;
}

std::string SummaryText(const DecodeTotals &totals)
{
    std::string text =
        CounterText(static_cast<std::int64_t>(totals.htrx), static_cast<std::int64_t>(totals.fss),
                    static_cast<std::int64_t>(totals.fssHi));
    text += "\nRecords: ";
    AppendValueText(text, static_cast<std::int64_t>(totals.records));
    text += "    Oversized frames dropped: ";
    AppendValueText(text, static_cast<std::int64_t>(totals.reader.oversizedFrames));
    // Timestamp frames are part of a good log, not rejects: they have a line of their own.
    text += "    Frames rejected: ";
    AppendValueText(text, static_cast<std::int64_t>(totals.reader.rejectedFrames -
                                                    totals.reader.timestampFrames));
    text += '\n';
    for (const std::string &line : LoadReportLines(totals.load)) {
        text += line;
        text += '\n';
    }
    return text;
}

namespace {

void JsonCount(std::string &out, std::string_view key, std::uint64_t count, std::uint64_t first)
{
    out += ",\"";
    out += key;
    out += "\":{\"count\":";
    out += std::to_string(count);
    out += ",\"firstOffset\":";
    out += first == NoOffset ? std::string("null") : std::to_string(first);
    out += '}';
}

} // namespace

std::string LoadReportJson(const DecodeTotals &totals)
{
    const KissReaderStats &s = totals.load.reader;
    std::string out = "{\"records\":" + std::to_string(totals.records) +
                      ",\"htrx\":" + std::to_string(totals.htrx) +
                      ",\"fss\":" + std::to_string(totals.fss) +
                      ",\"fssHi\":" + std::to_string(totals.fssHi);
    JsonCount(out, "timestampFrames", s.timestampFrames, s.first.timestamp);
    JsonCount(out, "otherRejectedFrames", s.rejectedFrames - s.timestampFrames,
              s.first.otherRejected);
    JsonCount(out, "ignoredBytes", s.ignoredBytes, s.first.ignored);
    JsonCount(out, "shortFrames", s.runtFrames, s.first.runt);
    JsonCount(out, "unterminatedFrames", s.unfinishedFrames, s.first.unfinished);
    JsonCount(out, "badEscapes", s.badEscapes, s.first.badEscape);
    JsonCount(out, "oversizedFrames", s.oversizedFrames, s.first.oversized);
    out += '}';
    return out;
}

} // namespace kesta
