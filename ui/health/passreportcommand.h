#pragma once

#include "log_export.h"
#include "logjob.h"
#include "pass_report_export.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QWidget;

namespace kesta {

class SaveFileChooser;

// File -> "Save Pass Report...": the pass report of the whole log on view, the page
// `kesta-decode --html-report` writes, made on a thread of its own. The log is read again
// from its file; the report takes its name only when it is whole, so a refused, failed or
// cancelled report leaves any earlier file of that name as it was.
class PassReportCommand : public QObject
{
    Q_OBJECT

public:
    explicit PassReportCommand(QWidget *window);
    // Cancels a report still going and waits for it; its file is discarded.
    ~PassReportCommand() override;

    // Where the name is asked for (a Qt file dialog unless told otherwise; not owned) and
    // where refusals and failures are told.
    void setChooser(SaveFileChooser *chooser);
    void setErrorHandler(std::function<void(const QString &text)> onError);

    // "<log>-passes.html" beside nothing in particular: the name the dialog offers.
    static QString suggestedName(const QString &logPath);
    // Asks for the file, then starts the report of `request.logPath`.
    void run(PassReportRequest request);
    // Starts the report into `path` without asking; false when one is going already.
    bool start(const QString &path, PassReportRequest request);
    bool isRunning() const { return m_job.isRunning(); }
    void cancelAndWait() { m_job.cancelAndWait(); }

signals:
    // The report has ended, whatever its outcome; refusals and failures have been told.
    void finished(const LogExportResult &result, const QString &path);

private:
    void jobDone();

    QWidget *m_window;
    std::unique_ptr<SaveFileChooser> m_defaultChooser;
    SaveFileChooser *m_chooser = nullptr;
    std::function<void(const QString &)> m_onError;
    LogJob m_job;
    std::shared_ptr<LogExportResult> m_result;
    QString m_path;
};

} // namespace kesta
