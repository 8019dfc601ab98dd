#include "log_export.h"

#include "output_names.h"
#include "session_outputs.h"

namespace kesta {

namespace {

LogExportResult Ended(LogExportResult::Outcome outcome, std::string error)
{
    LogExportResult result;
    result.outcome = outcome;
    result.error = std::move(error);
    return result;
}

} // namespace

ExportSinkFactory RecordExportSink(RecordExporter::Format format, std::string station)
{
    return [format, station = std::move(station)](OutputFile &file) -> std::unique_ptr<SessionSink> {
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
    const std::string &target = request.exportPath;
    if (target.empty())
        return Ended(Outcome::Refused, "the export file name is empty");
    // Checked by file identity, before anything is opened: another spelling or a
    // link of the log is still the log.
    if (target == request.logPath || IsSameFile(target, request.logPath))
        return Ended(Outcome::Refused,
                     target + ": not written: it is the log " + request.logPath + " itself");
    for (const LogExportRequest::Kept &kept : request.keptFiles) {
        if (!kept.path.empty() && IsSameFile(target, kept.path))
            return Ended(Outcome::Refused,
                         target + ": not written: it is the " + kept.what + " " + kept.path);
    }

    std::string error;
    std::unique_ptr<LogFile> log = LogFile::open(request.logPath, error);
    if (!log)
        return Ended(Outcome::Failed, error);

    OutputFile file;
    if (!file.open(target, OutputFile::Mode::CreateAnew))
        return Ended(Outcome::Failed, file.error());

    DecodingSession session;
    std::unique_ptr<SessionSink> sink = request.makeSink(file);
    session.addSink(*sink);

    // A file that fails stops the reading too: the export has failed.
    ReadControl reading = control;
    reading.cancel = [&] { return (control.cancel && control.cancel()) || file.failed(); };
    const ReadOutcome read = FeedLog(*log, session, error, reading);

    LogExportResult result;
    result.records = session.totals().frames;
    result.bytesRead = session.bytesFed();
    if (read == ReadOutcome::Complete)
        session.flush();
    if (read == ReadOutcome::Failed) {
        result.outcome = Outcome::Failed;
        result.error = error;
    } else if (file.failed()) {
        result.outcome = Outcome::Failed;
        result.error = file.error();
    } else if (read == ReadOutcome::Cancelled) {
        result.outcome = Outcome::Cancelled;
    } else if (!file.close()) {
        result.outcome = Outcome::Failed;
        result.error = file.error();
    }
    if (result.outcome != Outcome::Written)
        file.discard();
    return result;
}

} // namespace kesta
