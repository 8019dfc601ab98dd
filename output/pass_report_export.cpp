#include "pass_report_export.h"

#include "html_report.h"
#include "log_health.h"
#include "output_plan.h"

namespace kesta {

LogExportResult WritePassReport(const PassReportRequest &request, const ReadControl &control)
{
    using Outcome = LogExportResult::Outcome;
    OutputPlan plan(OutputPlan::Purpose::Export, request.logPath);
    plan.add(OutputKind::HtmlReport, request.reportPath);
    for (const LogExportRequest::Kept &kept : request.keptFiles)
        plan.protect(kept.what, kept.path);
    if (request.limitsName)
        plan.protect("limits file", *request.limitsName);
    if (auto problem = plan.check())
        return LogExportResult::Ended(Outcome::Refused, std::move(*problem));

    std::string error;
    std::unique_ptr<LogFile> log = LogFile::open(request.logPath, error);
    if (!log)
        return LogExportResult::Ended(Outcome::Failed, error);
    plan.setStopCheck(control.cancel);
    if (auto errors = plan.open(OutputPlan::OnFailure::DiscardAll); !errors.empty())
        return LogExportResult::Ended(plan.anyInterrupted() ? Outcome::Cancelled : Outcome::Failed,
                                      errors.front());

    DecodingSession session;
    plan.attach(session);
    LogHealth health(request.limits.get(), request.passGapMs,
                     request.limits ? request.limits->fields() : std::vector<Field>{});
    HealthSink healthSink(health);
    session.addSink(healthSink);
    const ReadOutcome read = FeedLog(*log, session, error, control);

    LogExportResult result;
    result.records = session.totals().frames;
    result.bytesRead = session.bytesFed();
    if (read == ReadOutcome::Failed)
        return LogExportResult::Ended(Outcome::Failed, error);
    if (read == ReadOutcome::Cancelled)
        return LogExportResult::Ended(Outcome::Cancelled, {});
    session.flush();
    OutputFile *html = plan.file(OutputKind::HtmlReport);
    HtmlReportInput input;
    input.logName = request.logPath;
    input.station = request.station;
    input.limitsName = request.limitsName;
    input.records = session.totals().frames;
    WriteHtmlReport(input, health, [html](std::string_view part) { html->write(part); });
    if (auto errors = plan.commit(true); !errors.empty()) {
        result.outcome = plan.anyInterrupted() ? Outcome::Cancelled : Outcome::Failed;
        result.error = errors.front();
    }
    return result; // a report not written whole is discarded as the plan goes
}

} // namespace kesta
