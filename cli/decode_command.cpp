#include "decode_command.h"

#include "decoding_session.h"
#include "influx_export.h"
#include "kiss_log.h"
#include "output_file.h"
#include "output_names.h"
#include "record_export.h"
#include "session_outputs.h"
#include "tlm_format.h"
#include "value_text.h"

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

    // Stop on the caller's cancel or on a failed output, whichever comes first.
    ReadControl control;
    control.cancel = [&] {
        // Looked at between blocks: a failed output means the decode has failed.
        return (options.cancel != nullptr && options.cancel->load()) || AnyOutputFailed(outputs);
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
    if (totals.load.satnogsFrames) {
        // A frame export's lines that are no frame, by line number.
        const SatnogsLineStats &lines = totals.load.lines;
        out += ",\"badLines\":{\"count\":" + std::to_string(lines.badLines) + ",\"firstLine\":" +
               (lines.badLines == 0 ? std::string("null") : std::to_string(lines.firstBadLine)) +
               '}';
    }
    out += '}';
    return out;
}

} // namespace kesta
