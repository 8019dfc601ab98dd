#include "decode_command.h"

#include "decoding_session.h"
#include "kiss_log.h"
#include "output_names.h"
#include "output_plan.h"
#include "value_text.h"

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
    if (auto problem = plan.check())
        return Failure(ExitUsage, std::move(*problem));

    std::string error;
    std::unique_ptr<LogFile> log = LogFile::open(logPath, error);
    if (!log)
        return Failure(ExitFailure, error);

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

    // Stop on the caller's cancel or on a failed output, whichever comes first.
    ReadControl control;
    control.cancel = [&] {
        // Looked at between blocks: a failed output means the decode has failed.
        return (options.cancel != nullptr && options.cancel->load()) || plan.anyFailed();
    };
    const ReadOutcome read = FeedLog(*log, session, error, control);

    LoadReport load = session.report();
    plan.addOmissions(load);
    outcome.totals = TotalsOf(session.totals(), load);
    const DecodeTotals &totals = outcome.totals;

    if (read == ReadOutcome::Failed)
        outcome.errors.push_back(error);
    if (read == ReadOutcome::Cancelled && (!plan.anyFailed() || plan.anyInterrupted()))
        return Interrupted(logPath, totals); // every output is discarded on the way out
    if (read == ReadOutcome::Complete) {
        session.flush();
        if (OutputFile *report = plan.file(OutputKind::Report)) {
            report->write(LoadReportJson(totals));
            report->write("\n");
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
    JsonCount(out, "timesBeyondLineProtocol", totals.load.timesBeyondLineProtocol,
              totals.load.firstTimeBeyondLineProtocol);
    out += '}';
    return out;
}

} // namespace kesta
