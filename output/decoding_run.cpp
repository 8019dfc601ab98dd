#include "decoding_run.h"

#include "output_file.h"
#include "output_names.h"
#include "session_outputs.h"
#include "tlm_format.h"

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
    std::vector<PlannedOutput> outputs{{"dump file", dmpName}};
    const std::string &tlmTarget = request.writeTlm ? tlmName : request.keptTlmPath;
    if (!tlmTarget.empty())
        outputs.push_back({"TLM file", tlmTarget});
    if (auto clash = FindOutputClash(inputPath, outputs))
        return Refusal(std::move(*clash));

    std::string error;
    std::unique_ptr<LogFile> log = LogFile::open(inputPath, error);
    if (!log)
        return Unreadable(std::move(error));

    RunResult result;
    RunReport &report = result.report;
    result.store = std::make_unique<RecordStore>();
    result.inputPath = inputPath;
    result.dmpPath = dmpName;

    // A FIFO without a reader, or a reader that does not read, is waited for only until
    // the run is cancelled.
    OutputFile tlm;
    OutputFile dump;
    tlm.setStopCheck(control.cancel);
    dump.setStopCheck(control.cancel);
    std::optional<std::string> appendTo;
    if (request.writeTlm) {
        result.tlmPath = tlmName;
        if (tlm.open(tlmName, OutputFile::Mode::CreateAnew))
            WriteTlmHeader(tlm, inputPath);
        else
            report.warnings.push_back(tlm.error());
    } else if (!request.keptTlmPath.empty()) {
        appendTo = request.keptTlmPath;
    }
    if (!dump.open(dmpName, OutputFile::Mode::CreateAnew))
        report.warnings.push_back(dump.error());

    DecodingSession session(RecordStore::MaxRecords);
    RecordStoreSink records(*result.store);
    DumpSink dumpSink(dump);
    TlmSink tlmSink(tlm, std::move(appendTo));
    session.addSink(records);
    session.addSink(dumpSink);
    session.addSink(tlmSink);

    const ReadOutcome read = FeedLog(*log, session, error, control);
    report.load = session.report();
    report.totals = session.totals();
    if (read != ReadOutcome::Complete) {
        // The outputs are discarded as they go out of scope: every earlier file stays.
        if (read == ReadOutcome::Cancelled)
            report.outcome = RunReport::Outcome::Cancelled;
        else {
            report.outcome = RunReport::Outcome::LogUnreadable;
            report.error = error;
        }
        result.store.reset();
        return result;
    }

    if (tlmSink.openFailed())
        report.warnings.push_back(tlm.error());
    for (OutputFile *file : {&tlm, &dump}) {
        if (!file->isOpen())
            continue;
        const bool created = file->created();
        if (file->close()) {
            if (created)
                Remember(result.createdFiles, file->path());
        } else {
            report.warnings.push_back(file->error());
        }
    }
    report.dumpWritten = !dump.failed();
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
    RunResult result = ExecuteRun({inputPath, writeTlm, state.TlmPath});
    ApplyRun(state, result);
    return result.report;
}

std::optional<RunMessage> RunSummary(const RunReport &report, const std::string &dmpPath)
{
    using Outcome = RunReport::Outcome;
    if (report.outcome == Outcome::Cancelled)
        return std::nullopt;
    if (report.outcome != Outcome::Decoded)
        return RunMessage{RunMessage::Severity::Error, "The log was not decoded.\n\n" + report.error};

    const std::vector<std::string> load = LoadReportLines(report.load);
    const KissReaderStats &s = report.load.reader;
    // Timestamp frames are a normal part of a log: they alone make no message.
    const bool anomalies = load.size() > (s.timestampFrames > 0 ? 1u : 0u);
    if (report.warnings.empty() && !anomalies)
        return std::nullopt;

    std::string text;
    if (!report.warnings.empty()) {
        text = "The log was decoded, but:\n";
        for (const std::string &warning : report.warnings)
            text += "\n" + warning;
    } else {
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
    return RunMessage{report.warnings.empty() ? RunMessage::Severity::Information
                                              : RunMessage::Severity::Warning,
                      std::move(text)};
}

} // namespace kesta
