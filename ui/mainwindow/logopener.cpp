#include "logopener.h"

#include "decoding_run.h"
#include "filechooser.h"
#include "form1.h"
#include "healthwatch.h"
#include "livecontrol.h"
#include "mainmenus.h"
#include "passview.h"
#include "program_state.h"
#include "recentfiles.h"
#include "recordnavigator.h"
#include "recordpanel.h"
#include "recordsource.h"
#include "recordstatus.h"
#include "runnotifier.h"
#include "sourcestatus.h"

#include <QAction>
#include <QFile>
#include <QScrollBar>
#include <QStatusBar>
#include <algorithm>
#include <utility>

namespace kesta {

LogOpener::LogOpener(Form1 &window, RecordSource &source)
    : QObject(&window), m_window(window), m_source(source),
      m_defaultChooser(std::make_unique<QtFileChooser>()), m_chooser(m_defaultChooser.get())
{
    connect(&m_source, &RecordSource::recordsReset, this, &LogOpener::recordsReset);
    connect(&m_source, &RecordSource::runEnded, this, &LogOpener::runFinished);
}

LogOpener::~LogOpener() = default;

void LogOpener::setFileChooser(FileChooser *chooser)
{
    m_chooser = chooser ? chooser : m_defaultChooser.get();
}

void LogOpener::chooseAndOpen()
{
    if (!m_window.liveControl()->endSessionFirst(LiveControl::EndReason::OpenLog))
        return;
    open(m_chooser->chooseLogFile(&m_window));
}

void LogOpener::open(const QString &path)
{
    if (m_source.isRunning())
        return; // one run at a time; the menu is disabled meanwhile
    if (!m_window.liveControl()->endSessionFirst(LiveControl::EndReason::OpenLog))
        return;
    // The labels are refreshed and the first value boxes emptied whether or not a log was
    // chosen; a run that does not decode the log shows the record on view again.
    m_window.InitParameterCatalogue();
    if (path.isEmpty())
        return;
    RunRequest request;
    request.inputPath = QFile::encodeName(path).toStdString();
    request.writeTlm = m_window.writeTlmFile();
    request.keptTlmPath = m_source.state().TlmPath;
    request.limits = m_window.health()->limits();
    m_runPath = path;
    if (m_source.startRun(request))
        m_window.menus()->open->setEnabled(false);
}

void LogOpener::reload()
{
    const ProgramState &state = m_source.state();
    // While a log is being read there is nothing to reload yet; the place on view must not
    // be handed to the log that run is reading.
    if (state.InputPath.empty() || m_source.isLive() || m_source.isRunning())
        return;
    const RecordPanel *panel = m_window.recordPanel();
    const int parameter = panel->chosenParameter();
    m_placeOnReload = {panel->recordBar()->value(),
                       parameter >= 0 ? parameter : ChartedParameterOnOpen};
    open(QFile::decodeName(QByteArray::fromStdString(state.InputPath)));
}

void LogOpener::recordsReset()
{
    if (m_source.liveSession())
        return;
    const RunResult *run = m_source.decodedRun();
    if (!run)
        return;
    m_window.health()->takeRun(*run);
    m_window.passView()->setPasses(run->passes);
    showDecodedLog();
    noteDecodedRun(run->report);
    emit recordsChanged();
}

void LogOpener::runFinished(const std::shared_ptr<const RunResult> &result)
{
    m_window.menus()->open->setEnabled(true);
    const RunReport &report = result->report;
    if (report.outcome != RunReport::Outcome::Decoded) {
        m_placeOnReload = {}; // the next log opened starts at record 1
        // Nothing of this run is kept: the store and the record on view stay as they were.
        if (const int index = m_source.shownIndex())
            m_window.ShowRecord(static_cast<std::int16_t>(index));
        // A log that cannot be read is no longer offered among the recent files.
        if (report.outcome == RunReport::Outcome::LogUnreadable)
            m_window.recentFiles()->remove(m_runPath);
        if (report.outcome == RunReport::Outcome::Cancelled)
            m_window.statusBar()->showMessage(
                tr("Cancelled; the earlier files are unchanged."), 5000);
    }
    if (const auto message = RunSummary(report, result->dmpPath)) {
        RunNotifier::Severity severity = RunNotifier::Severity::Information;
        if (message->severity == RunMessage::Severity::Error)
            severity = RunNotifier::Severity::Error;
        else if (message->severity == RunMessage::Severity::Warning)
            severity = RunNotifier::Severity::Warning;
        m_window.notifier()->notify(&m_window, severity, m_window.windowTitle(),
                                    QString::fromLocal8Bit(message->text));
    }
    emit runEnded();
}

void LogOpener::showDecodedLog()
{
    RecordPanel *panel = m_window.recordPanel();
    const RecordStore &store = m_source.store();
    // A log without frames still replaces the counts of the log before it.
    panel->showCounts(store.counters.HtrxCount, store.counters.FssCount, store.counters.FssHiCount);

    const std::int16_t count = store.RecordCount;
    // A log opened shows record 1 and the mode status; a reload keeps the record on view
    // (as far as the log still reaches) and the parameter chosen.
    const ShownPlace place = std::exchange(m_placeOnReload, {});
    const int record = std::clamp(place.record, 1, std::max<int>(count, 1));
    QScrollBar *bar = panel->recordBar();
    bar->setEnabled(true);
    {
        // To the record without a second ShowRecord through the change handler.
        const QSignalBlocker quiet(bar);
        bar->setRange(1, std::max<int>(count, 1)); // a log without frames: 1 to 1
        bar->setValue(record);
    }
    m_source.showRecord(bar->value());
    if (panel->chosenParameter() != place.parameter)
        m_window.optionClicked(place.parameter); // as the user's click: highlight and chart
    else
        m_window.DrawParameterChart(static_cast<std::int16_t>(place.parameter));
}

void LogOpener::noteDecodedRun(const RunReport &report)
{
    m_lastLoad = report.load;
    const QString path = QFile::decodeName(QByteArray::fromStdString(m_source.state().InputPath));
    m_window.recordStatus()->showLog(path, report.totals, report.load);
    m_window.sourceStatus()->showRecordTime(m_window.recordPanel()->recordBar()->value());
    m_window.recentFiles()->add(path);
    m_window.menus()->reload->setEnabled(true);
    m_window.navigator()->updateEnabled();
}

} // namespace kesta
