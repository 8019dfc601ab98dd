#include "passreportcommand.h"

#include "savefilechooser.h"

#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QWidget>

namespace kesta {

PassReportCommand::PassReportCommand(QWidget *window)
    : QObject(window), m_window(window), m_defaultChooser(std::make_unique<QtSaveFileChooser>()),
      m_chooser(m_defaultChooser.get())
{
    m_onError = [window](const QString &text) {
        QMessageBox::critical(window, window->windowTitle(), text);
    };
    connect(&m_job, &LogJob::done, this, &PassReportCommand::jobDone);
}

PassReportCommand::~PassReportCommand()
{
    m_job.cancelAndWait();
}

void PassReportCommand::setChooser(SaveFileChooser *chooser)
{
    m_chooser = chooser ? chooser : m_defaultChooser.get();
}

void PassReportCommand::setErrorHandler(std::function<void(const QString &)> onError)
{
    m_onError = std::move(onError);
}

QString PassReportCommand::suggestedName(const QString &logPath)
{
    const QString base = QFileInfo(logPath).completeBaseName();
    return base.isEmpty() ? QString() : base + QStringLiteral("-passes.html");
}

void PassReportCommand::run(PassReportRequest request)
{
    if (isRunning())
        return;
    const QString log = QFile::decodeName(QByteArray::fromStdString(request.logPath));
    const SaveFileChooser::Choice choice =
        m_chooser->chooseSaveFile(m_window, tr("Save Pass Report"),
                                  {tr("HTML page (*.html)")}, suggestedName(log));
    if (!choice.path.isEmpty())
        start(choice.path, std::move(request));
}

bool PassReportCommand::start(const QString &path, PassReportRequest request)
{
    if (isRunning())
        return false;
    request.reportPath = QFile::encodeName(path).toStdString();
    auto result = std::make_shared<LogExportResult>();
    m_result = result;
    m_path = path;
    return m_job.start(QStringLiteral("pass report"),
                       [request = std::move(request), result](const ReadControl &control) {
                           *result = WritePassReport(request, control);
                       });
}

void PassReportCommand::jobDone()
{
    const std::shared_ptr<LogExportResult> result = std::move(m_result);
    if (!result)
        return;
    using Outcome = LogExportResult::Outcome;
    if (result->outcome == Outcome::Refused || result->outcome == Outcome::Failed)
        m_onError(QString::fromLocal8Bit(result->error));
    emit finished(*result, m_path);
}

} // namespace kesta
