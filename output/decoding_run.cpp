#include "decoding_run.h"

#include "output_names.h"
#include "output_plan.h"

#include <algorithm>

namespace kesta {

namespace {

void Remember(std::vector<std::string> &files, const std::string &path)
{
    if (std::find(files.begin(), files.end(), path) == files.end())
        files.push_back(path);
}

RunResult Refusal(std::string message)
{
    RunResult result;
    result.report.outcome = RunReport::Outcome::Refused;
    result.report.error = std::move(message);
    return result;
}

RunResult Unreadable(std::string error)
{
    RunResult result;
    result.report.outcome = RunReport::Outcome::LogUnreadable;
    result.report.error = std::move(error);
    return result;
}

} // namespace

RunResult ExecuteRun(const RunRequest &request, const ReadControl &control)
{
    const std::string &inputPath = request.inputPath;
    const std::string tlmName = TlmNameFor(inputPath);
    const std::string dmpName = DumpNameFor(inputPath);

    // The log is only ever read: an output name that is the log itself would empty
    // or change it, so such a run does not start at all.
    // The TLM file comes first, then the dump, as the windows have always made them.
    OutputPlan plan(OutputPlan::Purpose::Decode, inputPath);
    if (request.writeTlm)
        plan.add(OutputKind::Tlm, tlmName);
    else if (!request.keptTlmPath.empty())
        plan.appendTlmTo(request.keptTlmPath);
    plan.add(OutputKind::Dump, dmpName);
    if (auto clash = plan.check())
        return Refusal(std::move(*clash));

    std::string error;
    std::unique_ptr<LogFile> log = LogFile::open(inputPath, error);
    if (!log)
        return Unreadable(std::move(error));

    RunResult result;
    RunReport &report = result.report;
    report.inputPath = inputPath;
    result.store = std::make_unique<RecordStore>();
    result.inputPath = inputPath;
    result.dmpPath = dmpName;
    if (request.writeTlm)
        result.tlmPath = tlmName;

    // A file that cannot be made is a warning: the run goes on without it. A FIFO without
    // a reader, or a reader that does not read, is waited for only until cancelled.
    plan.setStopCheck(control.cancel);
    report.warnings = plan.open(OutputPlan::OnFailure::LeaveOut);
    DecodingSession session(RecordStore::MaxRecords);
    RecordStoreSink records(*result.store);
    session.addSink(records);
    plan.attach(session);
    // Limits need every record decoded, also those past the store's end; passes alone
    // need none.
    auto health = std::make_shared<LogHealth>(request.limits.get());
    HealthSink healthSink(*health);
    session.addSink(healthSink);
    for (SessionSink *sink : request.moreSinks)
        session.addSink(*sink);

    const ReadOutcome read = FeedLog(*log, session, error, control);
    result.limits = request.limits;
    result.passes = health->passes();
    if (request.limits)
        result.health = std::move(health);
    report.load = session.report();
    report.totals = session.totals();
    if (read != ReadOutcome::Complete) {
        // The outputs are discarded as the plan goes: every earlier file stays.
        if (read == ReadOutcome::Cancelled)
            report.outcome = RunReport::Outcome::Cancelled;
        else {
            report.outcome = RunReport::Outcome::LogUnreadable;
            report.error = error;
        }
        result.store.reset();
        return result;
    }

    for (std::string &warning : plan.commit(false))
        report.warnings.push_back(std::move(warning));
    report.dumpWritten = plan.committed(OutputKind::Dump);
    for (const std::string &path : plan.createdFiles())
        Remember(result.createdFiles, path);
    return result;
}

void ApplyRun(ProgramState &state, RunResult &result)
{
    if (result.report.outcome != RunReport::Outcome::Decoded || !result.store)
        return;
    state.store = std::move(*result.store);
    result.store.reset();
    state.InputPath = result.inputPath;
    state.DmpPath = result.dmpPath;
    if (!result.tlmPath.empty())
        state.TlmPath = result.tlmPath;
    for (const std::string &path : result.createdFiles)
        Remember(state.createdFiles, path);
}

RunReport RunDecoding(ProgramState &state, const std::string &inputPath, bool writeTlm)
{
    RunRequest request;
    request.inputPath = inputPath;
    request.writeTlm = writeTlm;
    request.keptTlmPath = state.TlmPath;
    RunResult result = ExecuteRun(request);
    ApplyRun(state, result);
    return result.report;
}

std::optional<RunMessage> RunSummary(const RunReport &report, const std::string &dmpPath)
{
    using Outcome = RunReport::Outcome;
    if (report.outcome == Outcome::Cancelled)
        return std::nullopt;
    if (report.outcome != Outcome::Decoded)
        return RunMessage{RunMessage::Severity::Error,
                          "The log was not decoded.\n\n" + report.error};

    const std::vector<std::string> load = LoadReportLines(report.load);
    const KissReaderStats &s = report.load.reader;
    // Timestamp frames are a normal part of a log: they alone make no message.
    const bool anomalies = load.size() > (s.timestampFrames > 0 ? 1u : 0u);
    // A file that is not a telemetry log at all is said so first, by its name.
    const std::string content = LogContentText(report.load, report.totals);
    if (report.warnings.empty() && !anomalies && content.empty())
        return std::nullopt;

    std::string text;
    if (!content.empty())
        text = report.inputPath + " " + content + ".";
    if (!report.warnings.empty()) {
        if (!text.empty())
            text += "\n\n";
        text += "The log was decoded, but:\n";
        for (const std::string &warning : report.warnings)
            text += "\n" + warning;
    } else if (content.empty()) {
        text = "The log was decoded.";
    }
    if (!load.empty()) {
        text += "\n\nWhile reading the log:";
        for (const std::string &line : load)
            text += "\n" + line;
    }
    // Only a dump file that really was written can be pointed to.
    if (report.dumpWritten && (s.oversizedFrames > 0 || report.load.framesBeyondLimit > 0))
        text += "\n\nEvery accepted frame is in the dump file " + dmpPath + ".";
    return RunMessage{report.warnings.empty() && content.empty()
                          ? RunMessage::Severity::Information
                          : RunMessage::Severity::Warning,
                      std::move(text)};
}

} // namespace kesta
