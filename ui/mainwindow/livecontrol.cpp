#include "livecontrol.h"

#include "connectdialog.h"
#include "influxdialog.h"
#include "livesession.h"
#include "recordsource.h"
#include "stationdialog.h"

#include <QAction>
#include <QFile>
#include <QWidget>
#include <string>

namespace kesta {

LiveControl::LiveControl(RecordSource &source, QWidget *window)
    : QObject(window), m_source(source), m_window(window),
      m_defaultChooser(std::make_unique<DialogConnectChooser>()),
      m_defaultQuestioner(std::make_unique<MessageBoxQuestioner>()),
      m_chooser(m_defaultChooser.get()), m_questioner(m_defaultQuestioner.get())
{
    m_connect = new QAction(tr("&Connect..."), window);
    m_connect->setObjectName(QStringLiteral("MenuFileConnect"));
    m_disconnect = new QAction(tr("&Disconnect"), window);
    m_disconnect->setObjectName(QStringLiteral("MenuFileDisconnect"));
    // While a lost connection waits to be retried: try again at once.
    m_reconnectNow = new QAction(tr("Reconnect &Now"), window);
    m_reconnectNow->setObjectName(QStringLiteral("MenuFileReconnectNow"));
    connect(m_disconnect, &QAction::triggered, &m_source, &RecordSource::stopLive);
    connect(m_reconnectNow, &QAction::triggered, this, [this] {
        if (LiveSession *live = m_source.liveSession())
            live->reconnectNow();
    });
    connect(&m_source, &RecordSource::liveStateChanged, this, &LiveControl::updateActions);
    connect(&m_source, &RecordSource::recordsReset, this, &LiveControl::updateActions);
    connect(&m_source, &RecordSource::runStarted, this, &LiveControl::updateActions);
    connect(&m_source, &RecordSource::runEnded, this, &LiveControl::updateActions);
    connect(&m_source, &RecordSource::liveEnded, this, &LiveControl::sessionEnded);
    updateActions();
}

LiveControl::~LiveControl() = default;

void LiveControl::setConnectChooser(ConnectChooser *chooser)
{
    m_chooser = chooser ? chooser : m_defaultChooser.get();
}

void LiveControl::setQuestioner(Questioner *questioner)
{
    m_questioner = questioner ? questioner : m_defaultQuestioner.get();
}

void LiveControl::updateActions()
{
    const LiveSession *live = m_source.liveSession();
    m_reconnectNow->setEnabled(live && live->state() == LiveSession::State::Retrying);
    const bool on = m_source.isLive();
    m_disconnect->setEnabled(on);
    m_connect->setEnabled(!on && !m_source.isRunning());
}

void LiveControl::chooseAndConnect(bool writeTlm)
{
    if (m_source.isLive() || m_source.isRunning())
        return;
    if (const auto request = m_chooser->chooseConnection(m_window, writeTlm))
        connectTo(*request);
}

bool LiveControl::connectTo(const ConnectRequest &request)
{
    if (m_source.isLive() || m_source.isRunning())
        return false;
    LiveOptions options;
    options.server = request.server;
    options.recordingPath = QFile::encodeName(request.recordingPath).toStdString();
    options.writeDump = true;
    options.writeTlm = request.writeTlm;
    options.reconnect = true;
    options.station = StationDialog::station().toStdString();
    QString error;
    options.influx = InfluxDialog::targetFor(request.influxUrl, error);
    if (error.isEmpty())
        m_source.startLive(std::move(options), error); // the windows follow its signals
    if (!error.isEmpty()) {
        emit failed(true, error);
        return false;
    }
    return true;
}

bool LiveControl::endSessionFirst(EndReason reason)
{
    if (!m_source.isLive())
        return true;
    const QString server = m_source.liveSession()->options().server.text();
    const QString question =
        (reason == EndReason::OpenLog
             ? tr("A live session is recording from %1. End it to open a log?")
             : tr("A live session is recording from %1. End it and exit?"))
            .arg(server);
    if (!m_questioner->ask(m_window, m_window->windowTitle(), question))
        return false;
    m_source.stopLive();
    return true;
}

void LiveControl::sessionEnded(bool ok)
{
    updateActions();
    const LiveSession *live = m_source.liveSession();
    if (!live)
        return;
    QString problems = ok ? QString() : live->error();
    for (const std::string &error : live->outputErrors()) {
        if (!problems.isEmpty())
            problems += QLatin1Char('\n');
        problems += QString::fromLocal8Bit(error);
    }
    if (!problems.isEmpty())
        emit failed(!ok, problems);
}

} // namespace kesta
