// The main window's live reception: File -> "Connect..." and "Disconnect", the records
// of a pass shown as its frames arrive, and the session's state on the status bar.

#include "connectdialog.h"
#include "stationdialog.h"
#include "form1.h"
#include "healthwatch.h"
#include "passview.h"
#include "influxdialog.h"
#include "influxstatus.h"
#include "influx_sender.h"
#include "livesession.h"
#include "mainmenus.h"
#include "output_names.h"
#include "parameter_catalogue.h"
#include "program_state.h"
#include "recordrowfit.h"
#include "recordstatus.h"
#include "value_text.h"

#include <QAction>
#include <QButtonGroup>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QRadioButton>
#include <QScrollBar>
#include <QSizePolicy>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>
#include <climits>
#include <string>

namespace {

int scrollValue(qint64 number)
{
    return static_cast<int>(std::clamp<qint64>(number, 1, INT_MAX));
}

} // namespace

void Form1::buildLive()
{
    m_defaultConnectChooser = std::make_unique<DialogConnectChooser>();
    m_defaultQuestioner = std::make_unique<MessageBoxQuestioner>();
    m_connectChooser = m_defaultConnectChooser.get();
    m_questioner = m_defaultQuestioner.get();

    connect(m_menus->connectServer, &QAction::triggered, this, &Form1::menuFileConnect);
    connect(m_menus->disconnect, &QAction::triggered, this, &Form1::menuFileDisconnect);
    connect(m_menus->reconnectNow, &QAction::triggered, this, [this] {
        if (m_live)
            m_live->reconnectNow();
    });
    connect(m_menus->file, &QMenu::aboutToShow, this,
            [this] { m_menus->connectServer->setEnabled(!isLive() && !isRunning()); });

    // While the session waits to reconnect, its state counts the seconds down.
    m_liveStateTick = new QTimer(this);
    m_liveStateTick->setInterval(LiveStateTickMs);
    connect(m_liveStateTick, &QTimer::timeout, this, [this] {
        if (m_live)
            m_recordStatus->showSessionState(m_live->stateText());
    });

    // While frames arrive the chart is redrawn a few times a second, not at every frame.
    m_liveChartTimer = new QTimer(this);
    m_liveChartTimer->setSingleShot(true);
    m_liveChartTimer->setInterval(LiveChartIntervalMs);
    connect(m_liveChartTimer, &QTimer::timeout, this, [this] {
        const int chosen = m_panel->chosenParameter();
        DrawParameterChart(
            static_cast<std::int16_t>(chosen >= 0 ? chosen : ChartedParameterOnOpen));
    });
}

void Form1::setConnectChooser(ConnectChooser *chooser)
{
    m_connectChooser = chooser ? chooser : m_defaultConnectChooser.get();
}

void Form1::setQuestioner(Questioner *questioner)
{
    m_questioner = questioner ? questioner : m_defaultQuestioner.get();
}

bool Form1::isLive() const
{
    return m_live && m_live->state() != LiveSession::State::Disconnected;
}

qint64 Form1::recordTotal() const
{
    if (m_live)
        return static_cast<qint64>(m_live->totals().frames);
    return m_state.store.RecordCount;
}

void Form1::menuFileConnect()
{
    if (isLive() || isRunning())
        return;
    if (const auto request = m_connectChooser->chooseConnection(this, writeTlmFile()))
        connectTo(*request);
}

void Form1::menuFileDisconnect()
{
    if (m_live)
        m_live->stop();
}

bool Form1::connectTo(const ConnectRequest &request)
{
    if (isLive() || isRunning())
        return false;
    LiveOptions options;
    options.server = request.server;
    options.recordingPath = QFile::encodeName(request.recordingPath).toStdString();
    options.writeDump = true;
    options.writeTlm = request.writeTlm;
    options.reconnect = true;
    options.store = &m_state.store;
    options.station = StationDialog::station().toStdString();
    QString influxError;
    options.influx = InfluxDialog::targetFor(request.influxUrl, influxError);
    if (!influxError.isEmpty()) {
        m_notifier->notify(this, RunNotifier::Severity::Error, windowTitle(), influxError);
        return false;
    }

    // The session on view until now stays so while the new one cannot start.
    std::unique_ptr<LiveSession> previous = std::move(m_live);
    m_live = std::make_unique<LiveSession>(options);
    LiveSession *session = m_live.get();
    connect(session, &LiveSession::stateChanged, this, &Form1::liveStateChanged);
    connect(session, &LiveSession::framesArrived, this, &Form1::liveFramesArrived);
    connect(session, &LiveSession::finished, this, &Form1::liveFinished);
    connect(session, &LiveSession::influxStatusChanged, m_influxStatus, &InfluxStatus::showStatus);
    if (!session->start()) {
        const QString error = session->error();
        m_live = std::move(previous);
        m_notifier->notify(this, RunNotifier::Severity::Error, windowTitle(), error);
        return false;
    }
    previous.reset();

    m_state.InputPath = options.recordingPath;
    m_state.DmpPath = session->dumpPath();
    if (request.writeTlm)
        m_state.TlmPath = session->tlmPath();
    // A session that never receives a frame leaves an empty recording and dump: they go
    // at exit like the empty files of a run.
    for (const std::string &path : {options.recordingPath, session->dumpPath()})
        m_state.createdFiles.push_back(path);

    // The status bar speaks of the session: its state, its recording, its frames.
    m_recordStatus->showSession(request.recordingPath);
    clearViewForLive();
    m_health->watchLive(session);
    m_passes->setPasses({});
    m_menus->connectServer->setEnabled(false);
    m_menus->disconnect->setEnabled(true);
    if (options.influx)
        m_influxStatus->showStatus(tr("InfluxDB: sending to %1").arg(options.influx->display));
    liveStateChanged();
    return true;
}

void Form1::clearViewForLive()
{
    // The store was emptied by the session: a blank record until the first frame.
    QScrollBar *bar = m_panel->recordBar();
    bar->setEnabled(false);
    {
        const QSignalBlocker quiet(bar);
        bar->setRange(1, 1);
        bar->setValue(1);
    }
    InitParameterCatalogue();
    ShowRecord(1);
    m_panel->showPosition(0, 0);
    const int chosen = m_panel->chosenParameter();
    DrawParameterChart(static_cast<std::int16_t>(chosen >= 0 ? chosen : ChartedParameterOnOpen));
    showLiveCounts();
}

void Form1::liveFramesArrived()
{
    const kesta::RecordStore &store = m_state.store;
    if (!m_live || store.RecordCount == 0)
        return;
    // The bar follows the newest record while it stands on it; moved back by the user it
    // stays on the record chosen as long as that record is held.
    QScrollBar *bar = m_panel->recordBar();
    const bool follow = !bar->isEnabled() || bar->value() == bar->maximum();
    const int before = bar->value();
    bar->setEnabled(true);
    {
        const QSignalBlocker quiet(bar);
        bar->setRange(scrollValue(store.FirstNumber), scrollValue(store.lastNumber()));
        if (follow)
            bar->setValue(bar->maximum());
    }
    if (follow || bar->value() != before)
        scrollBarChanged(bar->value()); // shows the record and Text2
    else
        m_panel->showPosition(before, recordTotal());

    showRecordTime();
    if (m_panel->chosenParameter() < 0)
        optionClicked(ChartedParameterOnOpen); // the first frame: as on opening a log
    else if (!m_liveChartTimer->isActive())
        m_liveChartTimer->start();
    showLiveCounts();
}

void Form1::showLiveCounts()
{
    if (!m_live)
        return;
    const kesta::SessionTotals &totals = m_live->totals();
    m_panel->showCounts(static_cast<std::int64_t>(totals.htrx),
                        static_cast<std::int64_t>(totals.fss),
                        static_cast<std::int64_t>(totals.fssHi));
    m_recordStatus->showSessionFrames(totals.frames);
}

void Form1::liveStateChanged()
{
    if (!m_live)
        return;
    m_recordStatus->showSessionState(m_live->stateText());
    const bool retrying = m_live->state() == LiveSession::State::Retrying;
    if (retrying)
        m_liveStateTick->start();
    else
        m_liveStateTick->stop();
    m_menus->reconnectNow->setEnabled(retrying);
    const bool live = isLive();
    m_menus->disconnect->setEnabled(live);
    m_menus->connectServer->setEnabled(!live && !isRunning());
    // A session on view has no log to read again.
    m_menus->reload->setEnabled(!live && !m_state.InputPath.empty());
    showLiveCounts();
}

void Form1::liveFinished(bool ok)
{
    liveStateChanged();
    // The chart of the last frames, now rather than at the timer.
    if (m_liveChartTimer->isActive()) {
        m_liveChartTimer->stop();
        const int chosen = m_panel->chosenParameter();
        if (chosen >= 0)
            DrawParameterChart(static_cast<std::int16_t>(chosen));
    }
    if (const InfluxSender *influx = m_live->influxSender()) {
        m_influxStatus->showStatus(influx->state() == InfluxSender::State::Refused
                                       ? QStringLiteral("InfluxDB: ") + influx->error()
                                       : influx->summary());
    }
    QString problems;
    if (!ok)
        problems = m_live->error();
    for (const std::string &error : m_live->outputErrors()) {
        if (!problems.isEmpty())
            problems += QLatin1Char('\n');
        problems += QString::fromLocal8Bit(error);
    }
    if (!problems.isEmpty())
        m_notifier->notify(this, ok ? RunNotifier::Severity::Warning : RunNotifier::Severity::Error,
                           windowTitle(), problems);
}

bool Form1::endLiveSessionFirst(LiveEndReason reason)
{
    if (!isLive())
        return true;
    const HostPort &server = m_live->options().server;
    const QString question =
        (reason == LiveEndReason::OpenLog
             ? tr("A live session is recording from %1. End it to open a log?")
             : tr("A live session is recording from %1. End it and exit?"))
            .arg(server.text());
    if (!m_questioner->ask(this, windowTitle(), question))
        return false;
    m_live->stop();
    return true;
}

void Form1::releaseLiveSession()
{
    if (!m_live)
        return;
    m_live->stop();
    m_live.reset();
    m_liveChartTimer->stop();
    m_liveStateTick->stop();
    m_menus->disconnect->setEnabled(false);
    m_menus->reconnectNow->setEnabled(false);
}
