#include "livesession.h"

#include "influx_sender.h"
#include "output_names.h"
#include "tcpconnector.h"

#include <QTcpSocket>
#include <sys/stat.h>
#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <unistd.h>

namespace kesta {

namespace {

std::int64_t NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

constexpr int FlushIntervalMs = 1000;
constexpr int ConnectTimeoutMs = 10000;
constexpr qint64 ReadBufferBytes = qint64{256} << 10;
// The files are handed on, recording first, every this many frames: a frame is at most
// 512 bytes and no file's text of one frame comes near 16 KiB (a JSON Lines row, the
// longest, is under 4 KiB), so between two hand-overs no file's 1 MiB buffer can fill
// and spill ahead of the recording.
constexpr unsigned FramesPerHandOver = 64;

} // namespace

std::string InfluxSpoolNameFor(const std::string &recordingPath)
{
    return DerivedOutputName(recordingPath, "spool.lp");
}

LiveSession::LiveSession(LiveOptions options, QObject *parent)
    : QObject(parent), m_options(std::move(options))
{
    m_retryTimer.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, &LiveSession::connectToServer);
    m_flushTimer.setInterval(FlushIntervalMs);
    connect(&m_flushTimer, &QTimer::timeout, this, [this] {
        flushOutputs();
        if (anyOutputFailed())
            stop();
    });
    m_session.setClock(NowMs);
}

LiveSession::~LiveSession()
{
    if (recording())
        endFiles();
}

const kesta::RecordStore &LiveSession::records() const
{
    static const kesta::RecordStore none;
    return m_records ? *m_records : none;
}

std::string LiveSession::dumpPath() const
{
    return m_options.writeDump ? DumpNameFor(m_options.recordingPath) : std::string();
}

std::string LiveSession::tlmPath() const
{
    return m_options.writeTlm ? TlmNameFor(m_options.recordingPath) : std::string();
}

LoadReport LiveSession::report() const
{
    LoadReport load = m_session.report();
    if (m_outputs)
        m_outputs->addOmissions(load);
    return load;
}

int LiveSession::retryDelaySeconds(int attempt)
{
    return attempt >= 5 ? 30 : 1 << attempt;
}

// The spool file is made only when lines have to wait, but is as new as the
// recording, and none of the exports.
std::optional<std::string> LiveSession::checkInfluxSpool() const
{
    const std::string spool = InfluxSpoolNameFor(m_options.recordingPath);
    struct stat st
    {};
    if (::lstat(spool.c_str(), &st) == 0)
        return spool + ": the InfluxDB spool file exists already; a live session writes a new "
                       "one (its lines can be sent with curl)";
    for (const auto *path : {&m_options.csvPath, &m_options.jsonlPath, &m_options.influxPath}) {
        if (*path && IsSameFile(**path, spool))
            return spool + ": is the InfluxDB spool file of the recording";
    }
    return std::nullopt;
}

bool LiveSession::start()
{
    m_outputs = std::make_unique<OutputPlan>(OutputPlan::Purpose::Record, m_options.recordingPath);
    OutputPlan &plan = *m_outputs;
    plan.setStation(m_options.station);
    if (m_options.writeDump)
        plan.add(OutputKind::Dump, dumpPath());
    if (m_options.writeTlm)
        plan.add(OutputKind::Tlm, tlmPath());
    if (m_options.csvPath)
        plan.add(OutputKind::Csv, *m_options.csvPath);
    if (m_options.jsonlPath)
        plan.add(OutputKind::JsonLines, *m_options.jsonlPath);
    if (m_options.influxPath)
        plan.add(OutputKind::LineProtocol, *m_options.influxPath);
    plan.setStopCheck(m_options.stopRequested);
    std::optional<std::string> problem = plan.check();
    m_errorIsUsage = problem.has_value();
    if (!problem && m_options.influx)
        problem = checkInfluxSpool();
    if (!problem) {
        const std::vector<std::string> errors = plan.open(OutputPlan::OnFailure::DiscardAll);
        if (!errors.empty())
            problem = errors.front();
    }
    if (problem) {
        m_error = QString::fromLocal8Bit(*problem);
        m_outputs.reset();
        return false;
    }

    // The recording's sink comes first, and so it is written first at every hand-over:
    // whatever another file holds is in the recording already, even after a kill.
    plan.attach(m_session);
    m_session.addSink(m_pacedFlush.emplace(m_session, FramesPerHandOver));
    if (m_options.keepRecords) {
        m_records = std::make_unique<kesta::RecordStore>();
        m_session.addSink(m_storeSink.emplace(*m_records));
    }
    m_flushEveryChunk = plan.anyStream();
    if (m_options.influx) {
        InfluxSenderOptions influx;
        influx.target = *m_options.influx;
        influx.spoolPath = InfluxSpoolNameFor(m_options.recordingPath);
        influx.spoolMode = InfluxSpool::Mode::New;
        influx.line.station = m_options.station;
        influx.spoolAfterRefusal = true; // the recording goes on; so do its lines
        m_influxSender = std::make_unique<InfluxSender>(std::move(influx));
        m_influxSender->setRetryUnitMilliseconds(m_retryUnitMs);
        connect(m_influxSender.get(), &InfluxSender::statusChanged, this,
                &LiveSession::influxStatusChanged);
        m_session.addSink(*m_influxSender);
    }
    // The header of the TLM file and of a CSV export are there at once.
    m_session.flush();
    m_flushTimer.start();
    connectToServer();
    return true;
}

void LiveSession::connectToServer()
{
    if (m_state == State::Disconnected)
        return;
    delete m_socket;
    m_socket = nullptr;
    delete m_connector;
    m_connector = new TcpConnector(this);
    connect(m_connector, &TcpConnector::connected, this, &LiveSession::onConnected);
    connect(m_connector, &TcpConnector::failed, this, &LiveSession::onLost);
    setState(State::Connecting, QStringLiteral("Connecting to %1").arg(m_options.server.text()));
    m_connector->connectToHost(m_options.server.host, m_options.server.port);
    QTimer::singleShot(ConnectTimeoutMs, m_connector, [this, connector = m_connector] {
        if (connector == m_connector && m_state == State::Connecting)
            onLost(QStringLiteral("no answer within %1 s").arg(ConnectTimeoutMs / 1000));
    });
}

void LiveSession::onConnected(qintptr descriptor)
{
    m_connector->deleteLater();
    m_connector = nullptr;
    m_socket = new QTcpSocket(this);
    // A bounded buffer lets TCP hold back a server that sends faster than the session
    // decodes, instead of the whole stream piling up in memory.
    m_socket->setReadBufferSize(ReadBufferBytes);
    connect(m_socket, &QTcpSocket::readyRead, this, &LiveSession::onReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this,
            [this] { onLost(QStringLiteral("closed by the server")); });
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
        if (e != QAbstractSocket::RemoteHostClosedError)
            onLost(m_socket->errorString());
    });
    m_everConnected = true;
    m_attempt = 0;
    setState(State::Connected, QStringLiteral("Connected to %1").arg(m_options.server.text()));
    if (!m_socket->setSocketDescriptor(descriptor)) {
        ::close(static_cast<int>(descriptor));
        onLost(m_socket->errorString());
    }
}

void LiveSession::onReadyRead()
{
    const std::uint64_t before = m_session.totals().frames;
    while (m_socket && m_socket->bytesAvailable() > 0) {
        m_chunk.resize(static_cast<std::size_t>(ReadBufferBytes));
        const qint64 n = m_socket->read(m_chunk.data(), ReadBufferBytes);
        if (n <= 0)
            break;
        m_session.feed(std::span<const std::uint8_t>(
            reinterpret_cast<const std::uint8_t *>(m_chunk.data()), static_cast<std::size_t>(n)));
        // Every frame received so far is on the disk: a crash loses at most the frame
        // still being received.
        m_outputs->flushSink(OutputKind::Recording);
        if (m_flushEveryChunk)
            m_session.flush();
        if (anyOutputFailed()) {
            // A file that can no longer be written (a full disk, a reader of standard
            // output that went away) ends the session; what was written stays.
            stop();
            return;
        }
    }
    const std::uint64_t after = m_session.totals().frames;
    if (after != before)
        emit framesArrived(static_cast<qint64>(after));
}

void LiveSession::onLost(const QString &reason)
{
    if (m_state == State::Disconnected || m_state == State::Retrying || m_state == State::Idle)
        return;
    if (m_connector) {
        m_connector->disconnect(this);
        m_connector->deleteLater();
        m_connector = nullptr;
    }
    if (m_socket) {
        m_socket->disconnect(this);
        // What the server sent before it closed is still to be read.
        if (m_socket->bytesAvailable() > 0) {
            const QByteArray rest = m_socket->readAll();
            m_session.feed(std::span<const std::uint8_t>(
                reinterpret_cast<const std::uint8_t *>(rest.constData()),
                static_cast<std::size_t>(rest.size())));
            emit framesArrived(static_cast<qint64>(m_session.totals().frames));
        }
        m_socket->abort();
        m_socket->deleteLater();
        m_socket = nullptr;
    }
    // A frame cut off by the lost connection is dropped; the next connection starts
    // between frames.
    m_session.finish();
    m_outputs->flushSink(OutputKind::Recording);
    if (m_options.reconnect) {
        const int delay = retryDelaySeconds(m_attempt++);
        const QString what =
            m_everConnected ? QStringLiteral("Connection lost") : QStringLiteral("No connection");
        m_retryCause = QStringLiteral("%1 (%2)").arg(what, reason);
        m_retryTimer.start(delay * m_retryUnitMs);
        setState(State::Retrying, retryText());
        return;
    }
    if (!m_everConnected) {
        // Nothing was received: the files made for the session go again.
        m_error = QStringLiteral("%1: %2").arg(m_options.server.text(), reason);
        m_flushTimer.stop();
        m_outputs->discard();
        if (m_influxSender)
            m_influxSender->abandon(); // nothing was received, nothing waits
        setState(State::Disconnected, QStringLiteral("Disconnected"));
        emit finished(false);
        return;
    }
    stop();
}

void LiveSession::stop()
{
    if (m_state == State::Disconnected) {
        // Asked again while the last lines go to the server: they wait in the spool.
        if (m_influxSender && !m_influxSender->isFinished())
            m_influxSender->spoolAndFinish();
        return;
    }
    m_retryTimer.stop();
    m_flushTimer.stop();
    delete m_connector;
    m_connector = nullptr;
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket->deleteLater();
        m_socket = nullptr;
    }
    if (recording())
        endFiles();
    setState(State::Disconnected, QStringLiteral("Disconnected"));
    if (m_influxSender && !m_influxSender->isFinished()) {
        // The last lines are on their way to the server, or into the spool.
        connect(m_influxSender.get(), &InfluxSender::finished, this, [this] { emit finished(true); },
                Qt::SingleShotConnection);
        m_influxSender->finish();
        return;
    }
    emit finished(true);
}

void LiveSession::noteFailures(std::vector<std::string> errors)
{
    for (std::string &error : errors) {
        if (std::find(m_outputErrors.begin(), m_outputErrors.end(), error) == m_outputErrors.end())
            m_outputErrors.push_back(std::move(error));
    }
}

void LiveSession::flushOutputs()
{
    m_session.flush();
    noteFailures(m_outputs->failures());
}

void LiveSession::closeFiles()
{
    m_session.flush();
    noteFailures(m_outputs->failures());
    noteFailures(m_outputs->commit(false));
}

void LiveSession::endFiles()
{
    m_session.finish();
    if (m_session.totals().frames == 0) {
        // Nothing was received (a server that never answered, a session stopped while
        // retrying): the files made for it go, so that the same command can run again.
        // Devices and standard output are only closed.
        m_outputs->discard();
        return;
    }
    closeFiles();
    if (!m_outputs->committed(OutputKind::Recording))
        countStoredFrames();
}

void LiveSession::countStoredFrames()
{
    // A recording that failed (a full disk) holds fewer frames than were received: the
    // counts become those it holds, as decoding it afterwards finds them.
    const int fd = ::open(m_options.recordingPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    DecodingSession stored;
    std::vector<std::uint8_t> block(std::size_t{1} << 16);
    ssize_t n = 0;
    while ((n = ::read(fd, block.data(), block.size())) > 0)
        stored.feed(std::span<const std::uint8_t>(block.data(), static_cast<std::size_t>(n)));
    ::close(fd);
    stored.finish();
    m_storedTotals = stored.totals();
}

QString LiveSession::stateText() const
{
    return m_state == State::Retrying ? retryText() : m_stateText;
}

QString LiveSession::retryText() const
{
    return QStringLiteral("%1 - retrying in %2 s").arg(m_retryCause).arg(retrySecondsLeft());
}

int LiveSession::retrySecondsLeft() const
{
    if (!m_retryTimer.isActive())
        return 0;
    const int left = std::max(m_retryTimer.remainingTime(), 0);
    return std::max(1, (left + m_retryUnitMs - 1) / m_retryUnitMs);
}

void LiveSession::reconnectNow()
{
    if (m_state != State::Retrying)
        return;
    m_retryTimer.stop();
    connectToServer();
}

void LiveSession::setState(State state, const QString &text)
{
    m_state = state;
    m_stateText = text;
    emit stateChanged(state, text);
}

} // namespace kesta
