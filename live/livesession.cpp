#include "livesession.h"

#include "influx_sender.h"
#include "output_names.h"
#include "tlm_format.h"

#include <QTcpSocket>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <sys/stat.h>

namespace {

std::int64_t NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

bool IsStandardOutput(const std::string &path)
{
    return path == "-";
}

// True for a name that stands for a pipe or a terminal, which a reader follows as the
// lines come: those are handed on at every chunk, not once a second.
bool IsStream(const std::string &path)
{
    struct stat st
    {};
    if (IsStandardOutput(path))
        return ::fstat(1, &st) != 0 || !S_ISREG(st.st_mode);
    return ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
}

constexpr int FlushIntervalMs = 1000;
constexpr int ConnectTimeoutMs = 10000;
constexpr qint64 ReadBufferBytes = qint64{256} << 10;

} // namespace

std::string InfluxSpoolNameFor(const std::string &recordingPath)
{
    return kesta::DerivedOutputName(recordingPath, "spool.lp");
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
    if (m_recording.isOpen()) {
        m_session.finish();
        closeFiles();
    }
}

std::string LiveSession::dumpPath() const
{
    return m_options.writeDump ? kesta::DumpNameFor(m_options.recordingPath) : std::string();
}

std::string LiveSession::tlmPath() const
{
    return m_options.writeTlm ? kesta::TlmNameFor(m_options.recordingPath) : std::string();
}

int LiveSession::retryDelaySeconds(int attempt)
{
    return attempt >= 5 ? 30 : 1 << attempt;
}

bool LiveSession::openOutput(kesta::OutputFile &file, const std::string &path, const char *what)
{
    using Mode = kesta::OutputFile::Mode;
    if (IsStandardOutput(path)) {
        file.openStandardOutput();
        return true;
    }
    // Written in place as frames arrive, so an existing file is never replaced; a
    // device or FIFO (/dev/null, a named pipe) is written as it is.
    struct stat st
    {};
    const bool exists = ::lstat(path.c_str(), &st) == 0;
    if (exists && (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode) || S_ISDIR(st.st_mode))) {
        m_error = QString::fromLocal8Bit(path) +
                  QStringLiteral(": the %1 exists already; a live session writes a new one")
                      .arg(QLatin1String(what));
        return false;
    }
    if (!file.open(path, exists ? Mode::CreateAnew : Mode::CreateNew)) {
        m_error = QString::fromLocal8Bit(file.error());
        return false;
    }
    return true;
}

bool LiveSession::start()
{
    const std::string &recording = m_options.recordingPath;
    std::vector<kesta::PlannedOutput> planned;
    if (m_options.writeDump)
        planned.push_back({"dump file", dumpPath()});
    if (m_options.writeTlm)
        planned.push_back({"TLM file", tlmPath()});
    if (m_options.csvPath)
        planned.push_back({"CSV file", *m_options.csvPath});
    if (m_options.jsonlPath)
        planned.push_back({"JSON Lines file", *m_options.jsonlPath});
    if (m_options.influxPath)
        planned.push_back({"line protocol file", *m_options.influxPath});
    if (m_options.influx)
        planned.push_back({"InfluxDB spool file", InfluxSpoolNameFor(recording)});
    for (const auto &output : planned) {
        if (output.path.empty()) {
            m_error = QStringLiteral("an output file name is empty (use - for standard output)");
            return false;
        }
    }
    if (recording.empty() || IsStandardOutput(recording)) {
        m_error = QStringLiteral("the recording needs a file name");
        return false;
    }
    if (auto clash = kesta::FindOutputClash(recording, planned)) {
        m_error = QString::fromLocal8Bit(*clash);
        return false;
    }

    if (m_options.influx) {
        // Made only when lines have to wait, but as new as the recording.
        const std::string spool = InfluxSpoolNameFor(recording);
        struct stat st
        {};
        if (::lstat(spool.c_str(), &st) == 0) {
            m_error = QString::fromLocal8Bit(spool) +
                      QStringLiteral(": the InfluxDB spool file exists already; a live session "
                                     "writes a new one (its lines can be sent with curl)");
            return false;
        }
    }

    bool ok = openOutput(m_recording, recording, "recording");
    if (ok && m_options.writeDump)
        ok = openOutput(m_dump, dumpPath(), "dump file");
    if (ok && m_options.writeTlm)
        ok = openOutput(m_tlm, tlmPath(), "TLM file");
    if (ok && m_options.csvPath)
        ok = openOutput(m_csv, *m_options.csvPath, "CSV file");
    if (ok && m_options.jsonlPath)
        ok = openOutput(m_jsonl, *m_options.jsonlPath, "JSON Lines file");
    if (ok && m_options.influxPath)
        ok = openOutput(m_influx, *m_options.influxPath, "line protocol file");
    if (!ok) {
        for (kesta::OutputFile *file : files())
            file->discard();
        return false;
    }

    m_session.addSink(m_recordingSink.emplace(m_recording));
    if (m_options.store)
        m_session.addSink(m_storeSink.emplace(*m_options.store));
    if (m_options.writeDump)
        m_session.addSink(m_dumpSink.emplace(m_dump));
    if (m_options.writeTlm) {
        std::error_code ec;
        const auto absolute = std::filesystem::absolute(recording, ec);
        kesta::WriteTlmHeader(m_tlm, ec ? recording : absolute.string());
        m_session.addSink(m_tlmSink.emplace(m_tlm));
    }
    if (m_options.csvPath)
        m_session.addSink(m_csvSink.emplace(kesta::RecordExporter::Format::Csv, m_csv,
                                                 m_options.station));
    if (m_options.jsonlPath)
        m_session.addSink(m_jsonlSink.emplace(kesta::RecordExporter::Format::JsonLines, m_jsonl,
                                                   m_options.station));
    if (m_options.influxPath)
        m_session.addSink(m_influxSink.emplace(m_influx, kesta::InfluxLineOptions{m_options.station}));
    if (m_options.influx) {
        InfluxSenderOptions influx;
        influx.target = *m_options.influx;
        influx.spoolPath = InfluxSpoolNameFor(recording);
        influx.spoolMode = InfluxSpool::Mode::New;
        influx.line.station = m_options.station;
        influx.spoolAfterRefusal = true; // the recording goes on; so do its lines
        m_influxSender = std::make_unique<InfluxSender>(std::move(influx));
        m_influxSender->setRetryUnitMilliseconds(m_retryUnitMs);
        connect(m_influxSender.get(), &InfluxSender::statusChanged, this,
                &LiveSession::influxStatusChanged);
        m_session.addSink(*m_influxSender);
    }
    for (const auto *path : {&m_options.csvPath, &m_options.jsonlPath, &m_options.influxPath}) {
        if (*path && IsStream(**path))
            m_flushEveryChunk = true;
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
    m_socket = new QTcpSocket(this);
    m_connectedNow = false;
    // A bounded buffer lets TCP hold back a server that sends faster than the session
    // decodes, instead of the whole stream piling up in memory.
    m_socket->setReadBufferSize(ReadBufferBytes);
    connect(m_socket, &QTcpSocket::connected, this, &LiveSession::onConnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &LiveSession::onReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this,
            [this] { onLost(QStringLiteral("closed by the server")); });
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
        if (e != QAbstractSocket::RemoteHostClosedError)
            onLost(m_socket->errorString());
    });
    setState(State::Connecting, QStringLiteral("Connecting to %1:%2")
                                    .arg(m_options.server.host)
                                    .arg(m_options.server.port));
    m_socket->connectToHost(m_options.server.host, m_options.server.port);
    QTimer::singleShot(ConnectTimeoutMs, m_socket, [this, socket = m_socket] {
        if (socket == m_socket && m_state == State::Connecting)
            onLost(QStringLiteral("no answer within %1 s").arg(ConnectTimeoutMs / 1000));
    });
}

void LiveSession::onConnected()
{
    m_everConnected = true;
    m_connectedNow = true;
    m_attempt = 0;
    setState(
        State::Connected,
        QStringLiteral("Connected to %1:%2").arg(m_options.server.host).arg(m_options.server.port));
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
        m_recordingSink->flush();
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
    m_recordingSink->flush();
    if (m_options.reconnect) {
        const int delay = retryDelaySeconds(m_attempt++);
        const QString what =
            m_everConnected ? QStringLiteral("Connection lost") : QStringLiteral("No connection");
        setState(State::Retrying,
                 QStringLiteral("%1 (%2) - retrying in %3 s").arg(what, reason).arg(delay));
        m_retryTimer.start(delay * m_retryUnitMs);
        return;
    }
    if (!m_everConnected) {
        // Nothing was received: the files made for the session go again.
        m_error = QStringLiteral("%1:%2: %3")
                      .arg(m_options.server.host)
                      .arg(m_options.server.port)
                      .arg(reason);
        m_flushTimer.stop();
        for (kesta::OutputFile *file : files())
            file->discard();
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
    if (m_state == State::Disconnected)
        return;
    m_retryTimer.stop();
    m_flushTimer.stop();
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket->deleteLater();
        m_socket = nullptr;
    }
    if (m_recording.isOpen()) {
        m_session.finish();
        closeFiles();
    }
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

std::array<kesta::OutputFile *, 6> LiveSession::files()
{
    return {&m_recording, &m_dump, &m_tlm, &m_csv, &m_jsonl, &m_influx};
}

bool LiveSession::anyOutputFailed()
{
    const auto all = files();
    return std::any_of(all.begin(), all.end(), [](const auto *file) { return file->failed(); });
}

void LiveSession::noteFailures()
{
    for (const kesta::OutputFile *file : files()) {
        if (file->failed() && std::find(m_outputErrors.begin(), m_outputErrors.end(),
                                        file->error()) == m_outputErrors.end())
            m_outputErrors.push_back(file->error());
    }
}

void LiveSession::flushOutputs()
{
    m_session.flush();
    noteFailures();
}

void LiveSession::closeFiles()
{
    m_session.flush();
    for (kesta::OutputFile *file : files())
        file->close();
    noteFailures();
}

void LiveSession::setState(State state, const QString &text)
{
    m_state = state;
    m_stateText = text;
    emit stateChanged(state, text);
}
