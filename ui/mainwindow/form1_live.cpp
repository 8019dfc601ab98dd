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

namespace kesta {

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

    // "Connect..." and "Disconnect" go between the commands that open and those that
    // write out.
    QMenu *file = menuBar()->findChild<QMenu *>(QStringLiteral("MnuFile"));
    m_menuFileConnect = new QAction(tr("&Connect..."), file);
    m_menuFileConnect->setObjectName(QStringLiteral("MenuFileConnect"));
    m_menuFileDisconnect = new QAction(tr("&Disconnect"), file);
    m_menuFileDisconnect->setObjectName(QStringLiteral("MenuFileDisconnect"));
    m_menuFileDisconnect->setEnabled(false);
    // While a lost connection waits to be retried: try again at once.
    m_menuFileReconnectNow = new QAction(tr("Reconnect &Now"), file);
    m_menuFileReconnectNow->setObjectName(QStringLiteral("MenuFileReconnectNow"));
    m_menuFileReconnectNow->setEnabled(false);
    file->insertAction(m_menuExportRecords, m_menuFileConnect);
    file->insertAction(m_menuExportRecords, m_menuFileDisconnect);
    file->insertAction(m_menuExportRecords, m_menuFileReconnectNow);
    file->insertSeparator(m_menuExportRecords);
    connect(m_menuFileConnect, &QAction::triggered, this, &Form1::menuFileConnect);
    connect(m_menuFileDisconnect, &QAction::triggered, this, &Form1::menuFileDisconnect);
    connect(m_menuFileReconnectNow, &QAction::triggered, this, [this] {
        if (m_live)
            m_live->reconnectNow();
    });
    connect(file, &QMenu::aboutToShow, this,
            [this] { m_menuFileConnect->setEnabled(!isLive() && !isRunning()); });

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
        const int chosen = m_optionGroup->checkedId();
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
    m_menuFileConnect->setEnabled(false);
    m_menuFileDisconnect->setEnabled(true);
    if (options.influx)
        m_influxStatus->showStatus(tr("InfluxDB: sending to %1").arg(options.influx->display));
    liveStateChanged();
    return true;
}

void Form1::clearViewForLive()
{
    // The store was emptied by the session: a blank record until the first frame.
    m_hscroll1->setEnabled(false);
    {
        const QSignalBlocker quiet(m_hscroll1);
        m_hscroll1->setRange(1, 1);
        m_hscroll1->setValue(1);
    }
    InitParameterCatalogue();
    ShowRecord(1);
    m_text2->setText(QStringLiteral("#0 / 0"));
    const int chosen = m_optionGroup->checkedId();
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
    const bool follow = !m_hscroll1->isEnabled() || m_hscroll1->value() == m_hscroll1->maximum();
    const int before = m_hscroll1->value();
    m_hscroll1->setEnabled(true);
    {
        const QSignalBlocker quiet(m_hscroll1);
        m_hscroll1->setRange(scrollValue(store.FirstNumber), scrollValue(store.lastNumber()));
        if (follow)
            m_hscroll1->setValue(m_hscroll1->maximum());
    }
    if (follow || m_hscroll1->value() != before)
        scrollBarChanged(m_hscroll1->value()); // shows the record and Text2
    else
        m_text2->setText(QStringLiteral("#%1 / %2").arg(before).arg(recordTotal()));

    showRecordTime();
    if (m_optionGroup->checkedId() < 0)
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
    m_label5->setText(QString::fromStdString(kesta::CounterText(
        static_cast<std::int64_t>(totals.htrx), static_cast<std::int64_t>(totals.fss),
        static_cast<std::int64_t>(totals.fssHi))));
    m_recordRowFit->schedule();
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
    m_menuFileReconnectNow->setEnabled(retrying);
    const bool live = isLive();
    m_menuFileDisconnect->setEnabled(live);
    m_menuFileConnect->setEnabled(!live && !isRunning());
    // A session on view has no log to read again.
    m_reload->setEnabled(!live && !m_state.InputPath.empty());
    showLiveCounts();
}

void Form1::liveFinished(bool ok)
{
    liveStateChanged();
    // The chart of the last frames, now rather than at the timer.
    if (m_liveChartTimer->isActive()) {
        m_liveChartTimer->stop();
        const int chosen = m_optionGroup->checkedId();
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
    m_menuFileDisconnect->setEnabled(false);
    m_menuFileReconnectNow->setEnabled(false);
}

} // namespace kesta
