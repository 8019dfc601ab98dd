#include "decode_command.h"

#include "decoding_session.h"
#include "health_report.h"
#include "html_report.h"
#include "influx_export.h"
#include "kiss_log.h"
#include "limits_file.h"
#include "output_file.h"
#include "output_names.h"
#include "record_export.h"
#include "session_outputs.h"
#include "tlm_format.h"
#include "value_text.h"

#include <algorithm>
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

// The fields a pass report charts: those named, or else those with limits.
std::optional<std::vector<Field>> ChartedFields(const std::vector<std::string> &names,
                                                const LimitSet *limits, std::string &error)
{
    if (names.empty())
        return limits != nullptr ? limits->fields() : std::vector<Field>{};
    std::vector<Field> fields;
    for (const std::string &name : names) {
        const auto info = std::find_if(Fields.begin(), Fields.end(),
                                       [&name](const FieldInfo &f) { return f.name == name; });
        if (info == Fields.end() || info->type == ValueType::Text) {
            error = "--report-fields: \"" + name + "\" is " +
                    (info == Fields.end() ? "not a field of the JSON Lines export"
                                          : "not a numeric field");
            return std::nullopt;
        }
        if (std::find(fields.begin(), fields.end(), info->field) == fields.end())
            fields.push_back(info->field);
    }
    return fields;
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
         {&options.csvPath, &options.jsonlPath, &options.influxPath, &options.reportPath,
          &options.htmlReportPath}) {
        if (*name && (*name)->empty())
            return Failure(ExitUsage, "an output file name is empty (use - for standard output)");
    }
    if (options.failOn && !options.limitsPath)
        return Failure(ExitUsage, "--fail-on needs a limits file (--limits)");
    if (options.passGapMs <= 0)
        return Failure(ExitUsage, "--pass-gap must be longer than 0");

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
    Output *html =
        options.htmlReportPath ? plan("HTML report file", *options.htmlReportPath) : nullptr;

    std::vector<PlannedOutput> planned;
    for (const auto &output : outputs)
        planned.push_back({output->what, output->path});
    if (auto clash = FindOutputClash(logPath, planned))
        return Failure(ExitUsage, std::move(*clash));
    std::unique_ptr<LimitSet> limits;
    if (options.limitsPath) {
        for (const PlannedOutput &output : planned) {
            if (output.path != StandardOutputName && IsSameFile(*options.limitsPath, output.path))
                return Failure(ExitUsage, output.path + ": named as both the limits file and the " +
                                              output.what);
        }
        LimitsFileResult read = ReadLimitsFile(*options.limitsPath);
        if (!read.limits)
            return Failure(ExitFailure, std::move(read.error));
        limits = std::make_unique<LimitSet>(std::move(*read.limits));
    }
    std::string fieldError;
    const auto charted = ChartedFields(options.reportFields, limits.get(), fieldError);
    if (!charted)
        return Failure(ExitUsage, std::move(fieldError));

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
        session.addSink(csvSink.emplace(RecordExporter::Format::Csv, csv->file));
    if (jsonl != nullptr)
        session.addSink(jsonlSink.emplace(RecordExporter::Format::JsonLines, jsonl->file));
    if (influx != nullptr)
        session.addSink(influxSink.emplace(influx->file));
    // Passes and limits; values for charts only when a pass report is written.
    auto health = std::make_unique<LogHealth>(limits.get(), options.passGapMs,
                                              html != nullptr ? *charted : std::vector<Field>{});
    HealthSink healthSink(*health);
    session.addSink(healthSink);

    // Stop on the caller's cancel or on a failed output, whichever comes first.
    ReadControl control;
    control.cancel = [&] {
        // Looked at between blocks: a failed output means the decode has failed.
        return (options.cancel != nullptr && options.cancel->load()) || AnyOutputFailed(outputs);
    };
    const ReadOutcome read = FeedLog(*log, session, error, control);

    outcome.totals = TotalsOf(session.totals(), session.report());
    const DecodeTotals &totals = outcome.totals;
    outcome.limits = std::move(limits);
    outcome.health = std::move(health);

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
            std::string json = LoadReportJson(totals);
            json.pop_back(); // the closing brace: the limits and passes go into the same object
            AppendHealthJson(json, *outcome.health);
            json += "}\n";
            report->file.write(json);
        }
        if (html != nullptr) {
            HtmlReportInput input;
            input.logName = logPath;
            input.limitsName = options.limitsPath;
            input.records = totals.records;
            html->file.write(HtmlReport(input, *outcome.health));
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
    } else if (options.failOn && outcome.health->worst() >= *options.failOn) {
        outcome.exitCode = ExitLimits;
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
    out += '}';
    return out;
}

} // namespace kesta
