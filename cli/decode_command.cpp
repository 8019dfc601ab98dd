#include "decode_command.h"

#include "decoding_session.h"
#include "influx_sender.h"
#include "health_report.h"
#include "html_report.h"
#include "kiss_log.h"
#include "limits_file.h"
#include "output_names.h"
#include "output_plan.h"
#include "value_text.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <algorithm>
#include <memory>

namespace kesta {

namespace {

DecodeOutcome Failure(int exitCode, std::string message)
{
    DecodeOutcome outcome;
    outcome.exitCode = exitCode;
    outcome.errors.push_back(std::move(message));
    return outcome;
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
        if (info == Fields.end() || !IsNumeric(info->type)) {
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

DecodeOutcome Interrupted(const std::string &logPath, const DecodeTotals &totals = {})
{
    DecodeOutcome outcome =
        Failure(ExitInterrupted, logPath + ": interrupted; earlier output files are unchanged");
    outcome.cancelled = true;
    outcome.totals = totals;
    return outcome;
}

} // namespace

DecodeOutcome RunDecodeCommand(const DecodeOptions &options)
{
    const std::string &logPath = options.logPath;
    OutputPlan plan(OutputPlan::Purpose::Decode, logPath);
    plan.setStation(options.station);
    if (options.writeDump)
        plan.add(OutputKind::Dump, DumpNameFor(logPath));
    if (options.writeTlm)
        plan.add(OutputKind::Tlm, TlmNameFor(logPath));
    if (options.csvPath)
        plan.add(OutputKind::Csv, *options.csvPath);
    if (options.jsonlPath)
        plan.add(OutputKind::JsonLines, *options.jsonlPath);
    if (options.influxPath)
        plan.add(OutputKind::LineProtocol, *options.influxPath);
    if (options.reportPath)
        plan.add(OutputKind::Report, *options.reportPath);
    if (options.htmlReportPath)
        plan.add(OutputKind::HtmlReport, *options.htmlReportPath);
    if (options.limitsPath)
        plan.protect("limits file", *options.limitsPath);
    if (options.failOn && !options.limitsPath)
        return Failure(ExitUsage, "--fail-on needs a limits file (--limits)");
    if (options.passGapMs <= 0)
        return Failure(ExitUsage, "--pass-gap must be longer than 0");
    if (auto problem = plan.check())
        return Failure(ExitUsage, std::move(*problem));
    std::unique_ptr<LimitSet> limits;
    if (options.limitsPath) {
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

    std::unique_ptr<InfluxSender> sender;
    if (options.influx) {
        InfluxSenderOptions influxOptions;
        influxOptions.target = *options.influx;
        influxOptions.spoolPath = InfluxStateSpoolFor(*options.influx);
        influxOptions.spoolMode = InfluxSpool::Mode::Adopt;
        influxOptions.spoolAlternatives = 15; // decodes into one server side by side
        influxOptions.line.station = options.station;
        if (influxOptions.spoolPath.empty())
            return Failure(ExitFailure, "no folder for the InfluxDB spool file: neither "
                                        "XDG_STATE_HOME nor HOME is set");
        sender = std::make_unique<InfluxSender>(std::move(influxOptions));
        if (!sender->start())
            return Failure(ExitFailure, sender->error().toStdString());
    }

    DecodeOutcome outcome;
    // A FIFO without a reader, or a reader that does not read, is waited for only until
    // the decode is interrupted.
    plan.setStopCheck([cancel = options.cancel] { return cancel != nullptr && cancel->load(); });
    // A decode that cannot start leaves no new file behind and every old one as it was.
    if (auto errors = plan.open(OutputPlan::OnFailure::DiscardAll); !errors.empty()) {
        if (plan.anyInterrupted())
            return Interrupted(logPath);
        outcome.exitCode = ExitFailure;
        outcome.errors = std::move(errors);
        return outcome;
    }
    DecodingSession session;
    plan.attach(session);
    if (sender)
        session.addSink(*sender);
    auto refused = [&] { return sender && sender->state() == InfluxSender::State::Refused; };
    // Passes and limits; values for charts only when a pass report is written.
    const bool charts = plan.file(OutputKind::HtmlReport) != nullptr;
    auto health = std::make_unique<LogHealth>(limits.get(), options.passGapMs,
                                              charts ? *charted : std::vector<Field>{});
    HealthSink healthSink(*health);
    session.addSink(healthSink);

    // Stop on the caller's cancel or on a failed output, whichever comes first.
    ReadControl control;
    control.cancel = [&] {
        // Looked at between blocks: a failed output means the decode has failed. The
        // InfluxDB server gets its turn here, and holds the decode back while it is
        // behind.
        if (sender)
            sender->waitForRoom(options.cancel);
        return (options.cancel != nullptr && options.cancel->load()) || plan.anyFailed() ||
               refused();
    };
    const ReadOutcome read = FeedLog(*log, session, error, control);

    LoadReport load = session.report();
    plan.addOmissions(load);
    outcome.totals = TotalsOf(session.totals(), load);
    const DecodeTotals &totals = outcome.totals;
    outcome.limits = std::move(limits);
    outcome.health = std::move(health);

    if (read == ReadOutcome::Failed)
        outcome.errors.push_back(error);
    if (read == ReadOutcome::Cancelled && (!plan.anyFailed() || plan.anyInterrupted()))
        return Interrupted(logPath, totals); // every output is discarded on the way out
    if (read == ReadOutcome::Complete && sender) {
        // The last lines go to the server, or wait in the spool.
        sender->finish();
        sender->waitUntilFinished(options.cancel);
        if (!sender->isFinished()) { // interrupted while waiting: what waits stays
            sender.reset();
            return Interrupted(logPath, totals);
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
        if (OutputFile *report = plan.file(OutputKind::Report)) {
            std::string json = LoadReportJson(totals);
            json.pop_back(); // the closing brace: the limits and passes go into the same object
            AppendHealthJson(json, *outcome.health);
            json += "}\n";
            report->write(json);
        }
        if (OutputFile *html = plan.file(OutputKind::HtmlReport)) {
            HtmlReportInput input;
            input.logName = logPath;
            input.limitsName = options.limitsPath;
            input.records = totals.records;
            WriteHtmlReport(input, *outcome.health,
                            [html](std::string_view part) { html->write(part); });
        }
    }
    if (outcome.errors.empty()) {
        // Every output is whole: each takes its name now, or none does.
        outcome.errors = plan.commit(true);
    }
    if (!outcome.errors.empty()) {
        plan.discard();
        // Interrupted while the last of an output still waited for its reader.
        if (plan.anyInterrupted())
            return Interrupted(logPath, totals);
        outcome.exitCode = ExitFailure;
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
    if (totals.load.satnogsFrames) {
        // A frame export's lines that are no frame, by line number.
        const SatnogsLineStats &lines = totals.load.lines;
        out += ",\"badLines\":{\"count\":" + std::to_string(lines.badLines) + ",\"firstLine\":" +
               (lines.badLines == 0 ? std::string("null") : std::to_string(lines.firstBadLine)) +
               '}';
    }
    JsonCount(out, "timesBeyondLineProtocol", totals.load.timesBeyondLineProtocol,
              totals.load.firstTimeBeyondLineProtocol);
    out += '}';
    return out;
}

} // namespace kesta
