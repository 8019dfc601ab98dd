#include "liveview.h"

#include "form1.h"
#include "healthwatch.h"
#include "livesession.h"
#include "mainmenus.h"
#include "passview.h"
#include "program_state.h"
#include "recordnavigator.h"
#include "recordpanel.h"
#include "recordsource.h"
#include "recordstatus.h"
#include "sidewindows.h"
#include "sourcestatus.h"

#include <QAction>
#include <QFile>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <climits>

namespace kesta {

namespace {

int scrollValue(qint64 number)
{
    return static_cast<int>(std::clamp<qint64>(number, 1, INT_MAX));
}

} // namespace

LiveView::LiveView(Form1 &window, RecordSource &source)
    : QObject(&window), m_window(window), m_source(source)
{
    m_chartTimer = new QTimer(this);
    m_chartTimer->setSingleShot(true);
    m_chartTimer->setInterval(ChartIntervalMs);
    connect(m_chartTimer, &QTimer::timeout, this, &LiveView::redraw);
    connect(&m_source, &RecordSource::recordsReset, this, &LiveView::recordsReset);
    connect(&m_source, &RecordSource::recordsAppended, this, &LiveView::recordsArrived);
    connect(&m_source, &RecordSource::liveStateChanged, this, &LiveView::stateChanged);
    connect(&m_source, &RecordSource::liveEnded, this, &LiveView::finished);
}

void LiveView::redraw()
{
    const int chosen = m_window.recordPanel()->chosenParameter();
    m_window.DrawParameterChart(
        static_cast<std::int16_t>(chosen >= 0 ? chosen : Form1::ChartedParameterOnOpen));
    m_window.sideWindows()->followRecords();
}

void LiveView::recordsReset()
{
    if (m_source.liveSession()) {
        clearForSession();
        return;
    }
    // A decoded log: no session any more, nothing of it left to draw.
    m_chartTimer->stop();
    stateChanged();
}

void LiveView::clearForSession()
{
    // The status bar speaks of the session: its state, its recording, its frames.
    const LiveSession *session = m_source.liveSession();
    m_window.recordStatus()->showSession(
        QFile::decodeName(QByteArray::fromStdString(session->options().recordingPath)));
    m_window.health()->watchLive();
    m_window.passView()->setPasses({});
    // The store was emptied for the session: a blank record until the first frame.
    QScrollBar *bar = m_window.recordPanel()->recordBar();
    bar->setEnabled(false);
    {
        const QSignalBlocker quiet(bar);
        bar->setRange(1, 1);
        bar->setValue(1);
    }
    m_window.navigator()->updateEnabled(); // no record to go through yet
    m_window.InitParameterCatalogue();
    m_window.ShowRecord(1);
    m_source.showRecord(0); // none yet
    redraw();
    showCounts();
}

void LiveView::recordsArrived()
{
    const RecordStore &store = m_source.store();
    if (!m_source.liveSession() || store.RecordCount == 0)
        return;
    RecordPanel *panel = m_window.recordPanel();
    // The bar follows the newest record while it stands on it; moved back by the user it
    // stays on the record chosen as long as that record is held.
    QScrollBar *bar = panel->recordBar();
    const bool follow = !bar->isEnabled() || bar->value() == bar->maximum();
    const int before = bar->value();
    bar->setEnabled(true);
    m_window.navigator()->updateEnabled();
    {
        const QSignalBlocker quiet(bar);
        bar->setRange(scrollValue(store.FirstNumber), scrollValue(store.lastNumber()));
        if (follow)
            bar->setValue(bar->maximum());
    }
    if (follow || bar->value() != before)
        m_source.showRecord(bar->value()); // shows the record and Text2
    else
        panel->showPosition(before, m_source.recordTotal());

    m_window.sourceStatus()->showRecordTime(bar->value());
    if (panel->chosenParameter() < 0)
        m_window.optionClicked(
            Form1::ChartedParameterOnOpen); // the first frame: as on opening a log
    if (!m_chartTimer->isActive())
        m_chartTimer->start();
    showCounts();
}

void LiveView::showCounts()
{
    const LiveSession *live = m_source.liveSession();
    if (!live)
        return;
    const SessionTotals &totals = live->totals();
    m_window.recordPanel()->showCounts(static_cast<std::int64_t>(totals.htrx),
                                       static_cast<std::int64_t>(totals.fss),
                                       static_cast<std::int64_t>(totals.fssHi));
    m_window.recordStatus()->showSessionFrames(totals.frames);
}

void LiveView::stateChanged()
{
    // A session on view has no log to read again.
    m_window.menus()->reload->setEnabled(!m_source.isLive() && !m_source.state().InputPath.empty());
    showCounts();
}

void LiveView::finished()
{
    stateChanged();
    // The chart of the last frames, now rather than at the timer.
    if (m_chartTimer->isActive()) {
        m_chartTimer->stop();
        const int chosen = m_window.recordPanel()->chosenParameter();
        if (chosen >= 0)
            m_window.DrawParameterChart(static_cast<std::int16_t>(chosen));
        m_window.sideWindows()->followRecords();
    }
}

} // namespace kesta
