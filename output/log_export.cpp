#include "log_export.h"

#include "output_names.h"
#include "output_plan.h"
#include "session_outputs.h"

namespace kesta {

ExportSinkFactory RecordExportSink(RecordExporter::Format format, std::string station)
{
    return
        [format, station = std::move(station)](OutputFile &file) -> std::unique_ptr<SessionSink> {
            return std::make_unique<ExportSink>(format, file, station);
        };
}

std::vector<LogExportRequest::Kept> KeptFilesOf(const std::string &logPath)
{
    return {{"log's dump file", DumpNameFor(logPath)}, {"log's TLM file", TlmNameFor(logPath)}};
}

LogExportResult ExportLog(const LogExportRequest &request, const ReadControl &control)
{
    using Outcome = LogExportResult::Outcome;
    OutputPlan plan(OutputPlan::Purpose::Export, request.logPath);
    plan.add(OutputKind::Export, request.exportPath);
    plan.setExportSink(request.makeSink);
    for (const LogExportRequest::Kept &kept : request.keptFiles)
        plan.protect(kept.what, kept.path);
    if (auto problem = plan.check())
        return LogExportResult::Ended(Outcome::Refused, std::move(*problem));

    std::string error;
    std::unique_ptr<LogFile> log = LogFile::open(request.logPath, error);
    if (!log)
        return LogExportResult::Ended(Outcome::Failed, error);
    plan.setStopCheck(control.cancel); // a FIFO's reader is waited for until cancelled
    if (auto errors = plan.open(OutputPlan::OnFailure::DiscardAll); !errors.empty())
        return LogExportResult::Ended(plan.anyInterrupted() ? Outcome::Cancelled : Outcome::Failed,
                                      errors.front());

    DecodingSession session;
    plan.attach(session);

    // A file that fails stops the reading too: the export has failed.
    ReadControl reading = control;
    reading.cancel = [&] { return (control.cancel && control.cancel()) || plan.anyFailed(); };
    const ReadOutcome read = FeedLog(*log, session, error, reading);

    LogExportResult result;
    result.records = session.totals().frames;
    result.bytesRead = session.bytesFed();
    if (read == ReadOutcome::Complete)
        session.flush();
    if (read == ReadOutcome::Failed) {
        result.outcome = Outcome::Failed;
        result.error = error;
    } else if (plan.anyFailed() && !plan.anyInterrupted()) {
        result.outcome = Outcome::Failed;
        result.error = plan.failures().front();
    } else if (read == ReadOutcome::Cancelled || plan.anyInterrupted()) {
        result.outcome = Outcome::Cancelled;
    } else if (auto errors = plan.commit(true); !errors.empty()) {
        result.outcome = plan.anyInterrupted() ? Outcome::Cancelled : Outcome::Failed;
        result.error = errors.front();
    }
    return result; // an export not written whole is discarded as the plan goes
}

} // namespace kesta
