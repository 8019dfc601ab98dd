#pragma once

#include "log_export.h"
#include "logjob.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

class QProgressDialog;
class QWidget;

namespace kesta {

class SaveFileChooser;

// "Export Records...": writes every frame of the log, not only the records on view, as the
// command-line decoder exports them, on a thread of its own with progress and Cancel. The
// log is read again from its file; the export file takes its name only when the whole log
// is in it, so a failed or cancelled export leaves any earlier file of that name as it was.
class ExportCommand : public QObject
{
    Q_OBJECT

public:
    // A format of the file dialog: its filter, and the sink that writes it for the
    // receiving station (empty for none).
    struct Format
    {
        QString filter;
        std::function<ExportSinkFactory(const std::string &station)> makeSink;
    };
    // The formats offered, the first in force when the dialog opens.
    static const QList<Format> &formats();

    // Dialogs and progress open over `window`.
    explicit ExportCommand(QWidget *window);
    // Cancels an export still going and waits for it; its file is discarded.
    ~ExportCommand() override;

    // Where the file name is asked for, and where refusals and failures are told; the
    // command uses a Qt file dialog unless told otherwise and does not own the chooser.
    void setChooser(SaveFileChooser *chooser);
    void setErrorHandler(std::function<void(const QString &text)> onError);

    // Asks for the file and format, then starts the export of `request.logPath`.
    void run(LogExportRequest request);
    // Starts the export to `path` in the format of `filter`, without asking. False when
    // one is already going or the filter is not one of the formats.
    bool start(const QString &path, const QString &filter, LogExportRequest request);
    bool isRunning() const { return m_job.isRunning(); }
    void cancel() { m_job.cancel(); }
    void cancelAndWait() { m_job.cancelAndWait(); }

signals:
    // The export has ended, whatever its outcome; refusals and failures have been told.
    void finished(const LogExportResult &result, const QString &path);

private:
    void jobDone();
    void showProgress(qint64 bytesRead, qint64 totalBytes);

    QWidget *m_window;
    std::unique_ptr<SaveFileChooser> m_defaultChooser;
    SaveFileChooser *m_chooser = nullptr;
    std::function<void(const QString &)> m_onError;

    LogJob m_job;
    std::shared_ptr<LogExportResult> m_result; // of the export going on
    QString m_path;
    QPointer<QProgressDialog> m_progress;
};

} // namespace kesta
