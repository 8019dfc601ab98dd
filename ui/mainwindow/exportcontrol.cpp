#include "exportcontrol.h"

#include "exportcommand.h"
#include "form1.h"
#include "mainmenus.h"
#include "program_state.h"
#include "recordsource.h"
#include "runnotifier.h"

#include <QAction>
#include <QFileInfo>
#include <QLocale>
#include <QStatusBar>

namespace kesta {

ExportControl::ExportControl(Form1 &window, const RecordSource &source)
    : QObject(&window), m_window(window), m_source(source)
{
    m_command = new ExportCommand(&window);
    m_command->setParent(this);
    m_command->setErrorHandler([this](const QString &text) {
        m_window.notifier()->notify(&m_window, RunNotifier::Severity::Error, m_window.windowTitle(),
                                    text);
    });
    connect(m_command, &ExportCommand::finished, this,
            [this](const LogExportResult &result, const QString &path) {
                using Outcome = LogExportResult::Outcome;
                updateAction();
                if (result.outcome == Outcome::Written)
                    m_window.statusBar()->showMessage(
                        tr("%1 records exported to %2")
                            .arg(QLocale().toString(static_cast<qulonglong>(result.records)),
                                 QFileInfo(path).fileName()),
                        5000);
                else if (result.outcome == Outcome::Cancelled)
                    m_window.statusBar()->showMessage(
                        tr("Export cancelled; %1 is unchanged.").arg(path), 5000);
                emit ended();
            });
    connect(m_window.menus()->exportRecords, &QAction::triggered, this,
            &ExportControl::exportRecords);
    connect(&m_window, &Form1::recordsChanged, this, &ExportControl::updateAction);
    connect(&m_window, &Form1::closing, m_command, &ExportCommand::cancelAndWait);
}

void ExportControl::updateAction()
{
    m_window.menus()->exportRecords->setEnabled(!m_source.state().InputPath.empty() &&
                                                !m_command->isRunning());
}

void ExportControl::exportRecords()
{
    const ProgramState &state = m_source.state();
    if (state.InputPath.empty() || m_command->isRunning())
        return;
    LogExportRequest request;
    request.logPath = state.InputPath;
    request.keptFiles = KeptFilesOf(state.InputPath);
    if (!state.TlmPath.empty())
        request.keptFiles.push_back({"TLM file", state.TlmPath});
    m_command->run(std::move(request));
    if (m_command->isRunning())
        m_window.menus()->exportRecords->setEnabled(false);
}

bool ExportControl::isRunning() const
{
    return m_command->isRunning();
}

void ExportControl::cancel()
{
    m_command->cancel();
}

void ExportControl::setChooser(SaveFileChooser *chooser)
{
    m_command->setChooser(chooser);
}

} // namespace kesta
