// A live session against a KISS TCP server started inside the test (loopback only):
// what it writes while frames arrive must be what decoding its recording afterwards
// writes, whatever the chunks, with and without the server's timestamps.

#include "decode_command.h"
#include "livesession.h"
#include "log_generator.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>
#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <csignal>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace kesta;

namespace {

QByteArray generatedLog(bool timestamps, bool malformed, std::uint64_t frames = 120)
{
    kesta::loggen::GeneratorOptions options;
    options.frames = frames;
    options.seed = 5;
    options.timestamps = timestamps;
    options.malformed = malformed;
    const std::vector<std::uint8_t> bytes = kesta::loggen::GenerateLog(options);
    return QByteArray(reinterpret_cast<const char *>(bytes.data()),
                      static_cast<qsizetype>(bytes.size()));
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// The TLM file without its header, whose "File:" line names the log.
QByteArray tlmBody(const QString &path)
{
    const QByteArray text = readAll(path);
    qsizetype at = 0;
    for (int line = 0; line < 4 && at >= 0; ++line)
        at = text.indexOf('\n', at) + 1;
    return text.mid(at);
}

qint64 nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// Serves one byte stream per connection, in chunks of a given size, then closes it.
class KissServer : public QObject
{
public:
    explicit KissServer(QList<QByteArray> streams, int chunk)
        : m_streams(std::move(streams)), m_chunk(chunk)
    {
        QVERIFY(m_server.listen(QHostAddress::LocalHost));
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                const QByteArray stream = m_streams.value(m_served++);
                for (qsizetype at = 0; at < stream.size(); at += m_chunk) {
                    socket->write(stream.mid(at, m_chunk));
                    socket->flush(); // separate segments where the chunks are small
                }
                socket->disconnectFromHost();
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
    quint16 port() const { return m_server.serverPort(); }
    int served() const { return m_served; }

private:
    QTcpServer m_server;
    QList<QByteArray> m_streams;
    int m_chunk;
    int m_served = 0;
};

// Listens on a loopback address with the plain socket calls; the test decides when a
// waiting connection is accepted, and it is then sent `data` and reset at once.
class ResettingServer
{
public:
    explicit ResettingServer(bool ipv6)
    {
        m_fd = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_storage address{};
        socklen_t length = ipv6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
        if (ipv6) {
            auto *in6 = reinterpret_cast<sockaddr_in6 *>(&address);
            in6->sin6_family = AF_INET6;
            in6->sin6_addr = in6addr_loopback;
        } else {
            auto *in4 = reinterpret_cast<sockaddr_in *>(&address);
            in4->sin_family = AF_INET;
            in4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        }
        QVERIFY(::bind(m_fd, reinterpret_cast<sockaddr *>(&address), length) == 0);
        QVERIFY(::listen(m_fd, 4) == 0);
        QVERIFY(::getsockname(m_fd, reinterpret_cast<sockaddr *>(&address), &length) == 0);
        m_port = ntohs(ipv6 ? reinterpret_cast<sockaddr_in6 *>(&address)->sin6_port
                            : reinterpret_cast<sockaddr_in *>(&address)->sin_port);
    }
    ~ResettingServer() { ::close(m_fd); }
    quint16 port() const { return m_port; }
    bool hasWaitingConnection() const
    {
        pollfd waiting{m_fd, POLLIN, 0};
        return ::poll(&waiting, 1, 0) == 1;
    }
    void acceptSendAndReset(const QByteArray &data)
    {
        const int client = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
        QVERIFY(client >= 0);
        QCOMPARE(::send(client, data.constData(), static_cast<size_t>(data.size()), 0),
                 static_cast<ssize_t>(data.size()));
        const linger reset{1, 0};
        ::setsockopt(client, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        ::close(client);
    }

private:
    int m_fd = -1;
    quint16 m_port = 0;
};

// Frames a reader finds in `bytes`.
std::uint64_t framesIn(const QByteArray &bytes)
{
    kesta::DecodingSession session;
    session.feed(
        std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t *>(bytes.constData()),
                                      static_cast<std::size_t>(bytes.size())));
    session.finish();
    return session.totals().frames;
}

QStringList filesIn(const QTemporaryDir &dir)
{
    return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

} // namespace

class TestLiveSession : public QObject
{
    Q_OBJECT

    QString path(const QTemporaryDir &dir, const char *name) { return dir.filePath(name); }

    LiveOptions optionsFor(const QTemporaryDir &dir, quint16 port)
    {
        LiveOptions o;
        o.server = {QStringLiteral("127.0.0.1"), port};
        o.recordingPath = QFile::encodeName(path(dir, "pass.kss")).toStdString();
        o.csvPath = QFile::encodeName(path(dir, "pass.csv")).toStdString();
        o.jsonlPath = QFile::encodeName(path(dir, "pass.jsonl")).toStdString();
        o.influxPath = QFile::encodeName(path(dir, "pass.lp")).toStdString();
        return o;
    }

    // Decodes the recording afterwards, as a user would, in a folder of its own. With
    // `upToNow`, the session may still be going (or was killed): each of its files must
    // then hold a beginning of what the recording decodes to, never more.
    void checkRecordingDecodesToTheSameFiles(const QTemporaryDir &live, bool upToNow = false)
    {
        QTemporaryDir after;
        const QString log = path(after, "pass.kss");
        QVERIFY(QFile::copy(path(live, "pass.kss"), log));
        kesta::DecodeOptions options;
        options.logPath = QFile::encodeName(log).toStdString();
        options.csvPath = QFile::encodeName(path(after, "pass.csv")).toStdString();
        options.jsonlPath = QFile::encodeName(path(after, "pass.jsonl")).toStdString();
        options.influxPath = QFile::encodeName(path(after, "pass.lp")).toStdString();
        const kesta::DecodeOutcome outcome = kesta::RunDecodeCommand(options);
        QCOMPARE(outcome.exitCode, kesta::ExitSuccess);
        for (const char *name : {"pass.dmp", "pass.csv", "pass.jsonl", "pass.lp"}) {
            const QByteArray written = readAll(path(live, name));
            const QByteArray decoded = readAll(path(after, name));
            if (!upToNow)
                QCOMPARE(written, decoded);
            else
                QVERIFY2(decoded.startsWith(written),
                         qPrintable(QStringLiteral("%1 holds %2 bytes, the recording's %3")
                                        .arg(QLatin1String(name))
                                        .arg(written.size())
                                        .arg(decoded.size())));
        }
        if (!upToNow)
            QCOMPARE(tlmBody(path(live, "pass.tlm")), tlmBody(path(after, "pass.tlm")));
        else
            QVERIFY(tlmBody(path(after, "pass.tlm")).startsWith(tlmBody(path(live, "pass.tlm"))));
    }

private slots:
    void recordingGivesTheSameFiles_data()
    {
        QTest::addColumn<bool>("timestamps");
        QTest::addColumn<bool>("malformed");
        QTest::addColumn<int>("chunk");
        QTest::newRow("server timestamps, 1-byte chunks") << true << false << 1;
        QTest::newRow("server timestamps, merged") << true << false << 65536;
        QTest::newRow("bare frames, 7-byte chunks") << false << false << 7;
        QTest::newRow("bare frames and garbage, 100-byte chunks") << false << true << 100;
    }
    void recordingGivesTheSameFiles()
    {
        QFETCH(bool, timestamps);
        QFETCH(bool, malformed);
        QFETCH(int, chunk);
        const QByteArray sent = generatedLog(timestamps, malformed);
        KissServer server({sent}, chunk);
        QTemporaryDir dir;
        const qint64 start = nowMs();
        LiveSession session(optionsFor(dir, server.port()));
        QSignalSpy finished(&session, &LiveSession::finished);
        QVERIFY2(session.start(), qPrintable(session.error()));
        QVERIFY(finished.wait(20000));
        QCOMPARE(finished.at(0).at(0).toBool(), true);
        QVERIFY(session.outputErrors().empty());

        // As many records as a reader finds in what was sent.
        kesta::DecodingSession reference;
        reference.feed(
            std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t *>(sent.constData()),
                                          static_cast<std::size_t>(sent.size())));
        reference.finish();
        QCOMPARE(session.totals().frames, reference.totals().frames);
        QVERIFY(session.totals().frames > 100);
        checkRecordingDecodesToTheSameFiles(dir);

        // Without the server's times, each frame has the time it arrived.
        if (!timestamps) {
            const QByteArray jsonl = readAll(path(dir, "pass.jsonl"));
            const QRegularExpression time(QStringLiteral("\"Time\":\"([^\"]+)\""));
            auto match = time.globalMatch(QString::fromUtf8(jsonl));
            int times = 0;
            while (match.hasNext()) {
                const qint64 ms = QDateTime::fromString(match.next().captured(1), Qt::ISODateWithMs)
                                      .toMSecsSinceEpoch();
                QVERIFY(ms >= start - 1 && ms <= nowMs());
                ++times;
            }
            QCOMPARE(times, static_cast<int>(session.totals().frames));
        }
    }

    // The connection is cut in the middle of a frame and comes back: the cut frame is
    // dropped, every whole frame before and after is kept, and the files go on.
    void lostConnectionIsRetriedAndNothingIsLost()
    {
        const QByteArray log = generatedLog(true, false, 60);
        const qsizetype cut = log.size() / 2;
        const qsizetype nextFrame = log.indexOf(QByteArray("\xC0\xC0", 2), cut) + 1;
        QVERIFY(nextFrame > cut);
        KissServer server({log.left(cut), log.mid(nextFrame)}, 512);
        QTemporaryDir dir;
        LiveOptions options = optionsFor(dir, server.port());
        options.reconnect = true;
        LiveSession session(options);
        session.setRetryUnitMilliseconds(10);
        QSignalSpy states(&session, &LiveSession::stateChanged);
        QVERIFY(session.start());
        QTRY_VERIFY_WITH_TIMEOUT(
            server.served() >= 2 && session.state() == LiveSession::State::Retrying, 20000);
        bool retried = false;
        for (const QList<QVariant> &change : states)
            retried |= change.at(1).toString().contains(QStringLiteral("retrying in 1 s"));
        QVERIFY(retried);
        session.stop();
        QCOMPARE(session.state(), LiveSession::State::Disconnected);

        kesta::DecodingSession whole;
        whole.feed(
            std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t *>(log.constData()),
                                          static_cast<std::size_t>(log.size())));
        whole.finish();
        QCOMPARE(session.totals().frames, whole.totals().frames - 1); // the one cut in two
        checkRecordingDecodesToTheSameFiles(dir);
    }

    void connectionFailuresAreClearAndLeaveNoFiles()
    {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 port = closed.serverPort();
        closed.close(); // nobody listens there now
        QTemporaryDir dir;
        LiveSession session(optionsFor(dir, port));
        QSignalSpy finished(&session, &LiveSession::finished);
        QVERIFY(session.start());
        QVERIFY(finished.wait(15000));
        QCOMPARE(finished.at(0).at(0).toBool(), false);
        QVERIFY2(session.error().contains(QStringLiteral("127.0.0.1:%1").arg(port)) &&
                     session.error().contains(QStringLiteral("refused")),
                 qPrintable(session.error()));
        QVERIFY(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    }

    void anExistingRecordingIsNeverOverwritten()
    {
        QTemporaryDir dir;
        QFile earlier(path(dir, "pass.kss"));
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("an earlier pass");
        earlier.close();
        LiveSession session(optionsFor(dir, 9));
        QVERIFY(!session.start());
        QVERIFY2(session.error().contains(QStringLiteral("pass.kss")), qPrintable(session.error()));
        QVERIFY(!session.errorIsUsage());
        QCOMPARE(readAll(path(dir, "pass.kss")), QByteArray("an earlier pass"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 1);
    }

    // A FIFO whose reader never reads does not hold the session for ever: the stop
    // (here asked at once) ends the wait, the session ends, the file is named.
    void aReaderThatDoesNotReadNeverHoldsUpTheStop()
    {
        KissServer server({generatedLog(true, false, 4000)}, 65536);
        QTemporaryDir dir;
        const QByteArray fifo = QFile::encodeName(path(dir, "pass.csv"));
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        const int reader = ::open(fifo.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        QVERIFY(reader >= 0);
        LiveOptions options = optionsFor(dir, server.port());
        options.stopRequested = [] { return true; };
        LiveSession session(options);
        QSignalSpy finished(&session, &LiveSession::finished);
        QVERIFY2(session.start(), qPrintable(session.error()));
        QVERIFY(finished.wait(15000));
        ::close(reader);
        QCOMPARE(session.outputErrors(),
                 std::vector<std::string>{fifo.toStdString() +
                                          ": interrupted while waiting for its reader"});
        QVERIFY(QFileInfo(path(dir, "pass.kss")).size() > 0);
    }

    // A server that sends and resets at once: what arrived before the reset is the
    // session's, whatever the connection looked like when the session got to it.
    void dataBeforeAResetIsRecorded_data()
    {
        QTest::addColumn<bool>("ipv6");
        QTest::newRow("127.0.0.1") << false;
        QTest::newRow("[::1]") << true;
    }
    void dataBeforeAResetIsRecorded()
    {
        QFETCH(bool, ipv6);
        const QByteArray sent = generatedLog(true, false, 200);
        ResettingServer server(ipv6);
        QTemporaryDir dir;
        LiveOptions options = optionsFor(dir, server.port());
        options.server.host = ipv6 ? QStringLiteral("::1") : QStringLiteral("127.0.0.1");
        LiveSession session(options);
        QSignalSpy finished(&session, &LiveSession::finished);
        QSignalSpy states(&session, &LiveSession::stateChanged);
        QVERIFY(session.start());
        // The connection is made, then reset before the session looks at it again.
        QTRY_VERIFY_WITH_TIMEOUT(server.hasWaitingConnection(), 10000);
        server.acceptSendAndReset(sent);
        QVERIFY(finished.wait(10000));
        QVERIFY2(finished.at(0).at(0).toBool(), qPrintable(session.error()));
        QCOMPARE(session.totals().frames, framesIn(sent));
        checkRecordingDecodesToTheSameFiles(dir);
        const QString shown = ipv6 ? QStringLiteral("Connected to [::1]:%1").arg(server.port())
                                   : QStringLiteral("Connected to 127.0.0.1:%1").arg(server.port());
        QCOMPARE(states.at(1).at(1).toString(), shown);
    }

    // A session that recorded nothing leaves nothing, and the same session can start again.
    void aSessionWithoutFramesLeavesNoFiles_data()
    {
        QTest::addColumn<bool>("serverAnswers");
        QTest::newRow("never connected, stopped while retrying") << false;
        QTest::newRow("connected, the server sent nothing") << true;
    }
    void aSessionWithoutFramesLeavesNoFiles()
    {
        QFETCH(bool, serverAnswers);
        KissServer silent({QByteArray(), QByteArray()}, 1);
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 port = serverAnswers ? silent.port() : closed.serverPort();
        closed.close();
        QTemporaryDir dir;
        LiveOptions options = optionsFor(dir, port);
        options.reconnect = !serverAnswers;
        for (int run = 0; run < 2; ++run) {
            LiveSession session(options);
            session.setRetryUnitMilliseconds(10);
            QSignalSpy finished(&session, &LiveSession::finished);
            QVERIFY2(session.start(), qPrintable(session.error()));
            if (serverAnswers)
                QVERIFY(finished.wait(10000));
            else
                QTRY_COMPARE_WITH_TIMEOUT(session.state(), LiveSession::State::Retrying, 10000);
            session.stop();
            QCOMPARE(filesIn(dir), QStringList());
        }
    }

    // Writes beyond a file size limit fail as on a full disk: the counts are those of
    // the frames the recording holds.
    void aFailedRecordingCountsWhatItHolds()
    {
        const QByteArray sent = generatedLog(true, false, 400);
        KissServer server({sent}, 4096);
        QTemporaryDir dir;
        LiveOptions options;
        options.server = {QStringLiteral("127.0.0.1"), server.port()};
        options.recordingPath = QFile::encodeName(path(dir, "pass.kss")).toStdString();
        options.writeDump = options.writeTlm = false;
        rlimit before{};
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &before) == 0);
        const auto restore = qScopeGuard([&] { ::setrlimit(RLIMIT_FSIZE, &before); });
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = before;
        small.rlim_cur = static_cast<rlim_t>(sent.size() / 3);
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
        LiveSession session(options);
        QSignalSpy finished(&session, &LiveSession::finished);
        QVERIFY(session.start());
        QVERIFY(finished.wait(20000));
        QCOMPARE(session.outputErrors().size(), std::size_t{1});
        const QByteArray stored = readAll(path(dir, "pass.kss"));
        QCOMPARE(stored.size(), static_cast<qsizetype>(small.rlim_cur));
        QCOMPARE(session.totals().frames, framesIn(stored));
    }

    void outputsThatAreOneFileAreAUsageError()
    {
        QTemporaryDir dir;
        LiveOptions options = optionsFor(dir, 9);
        options.csvPath = options.recordingPath;
        LiveSession session(options);
        QVERIFY(!session.start());
        QVERIFY(session.errorIsUsage());
        QCOMPARE(filesIn(dir), QStringList());
    }

    // The built program, as a user starts it: with standard descriptors closed it
    // records the whole pass.
    void recordsWithTheStandardDescriptorsClosed_data()
    {
        QTest::addColumn<int>("first");
        QTest::newRow("output and error closed") << 1;
        QTest::newRow("input, output and error closed") << 0;
    }
    void recordsWithTheStandardDescriptorsClosed()
    {
        QFETCH(int, first);
        const QByteArray sent = generatedLog(true, false, 300);
        KissServer server({sent}, 4096);
        QTemporaryDir dir;
        QProcess program;
        program.setChildProcessModifier([first] {
            for (int fd = first; fd <= 2; ++fd)
                ::close(fd);
        });
        program.start(QStringLiteral(KESTA_DECODE_PATH),
                      {QStringLiteral("--connect"),
                       QStringLiteral("127.0.0.1:%1").arg(server.port()), path(dir, "pass.kss")});
        QSignalSpy ended(&program, &QProcess::finished);
        QVERIFY(ended.wait(20000)); // the server is served meanwhile
        QCOMPARE(program.exitCode(), 0);
        QCOMPARE(framesIn(readAll(path(dir, "pass.kss"))), framesIn(sent));
    }

    // The recording is written first: frozen at any moment (as a kill -9 leaves it), no
    // other file holds a frame the recording does not.
    void noFileGetsAheadOfTheRecording()
    {
        kesta::loggen::GeneratorOptions generator;
        generator.seed = 9;
        generator.targetBytes = std::uint64_t{4} << 20;
        const std::vector<std::uint8_t> bytes = kesta::loggen::GenerateLog(generator);
        KissServer server({QByteArray(reinterpret_cast<const char *>(bytes.data()),
                                      static_cast<qsizetype>(bytes.size()))},
                          1 << 20);
        QTemporaryDir dir;
        QProcess program;
        const LiveOptions o = optionsFor(dir, server.port());
        program.start(
            QStringLiteral(KESTA_DECODE_PATH),
            {QStringLiteral("--connect"), QStringLiteral("127.0.0.1:%1").arg(server.port()),
             QStringLiteral("--csv"), QString::fromStdString(*o.csvPath), QStringLiteral("--jsonl"),
             QString::fromStdString(*o.jsonlPath), QStringLiteral("--influx"),
             QString::fromStdString(*o.influxPath), QString::fromStdString(o.recordingPath)});
        QVERIFY(program.waitForStarted());
        const qint64 size = static_cast<qint64>(bytes.size());
        for (qint64 mark = size / 6; mark < size; mark += size / 6) {
            QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(path(dir, "pass.kss")).size() >= mark ||
                                         program.state() == QProcess::NotRunning,
                                     30000);
            if (program.state() == QProcess::NotRunning)
                break;
            ::kill(static_cast<pid_t>(program.processId()), SIGSTOP);
            checkRecordingDecodesToTheSameFiles(dir, true);
            ::kill(static_cast<pid_t>(program.processId()), SIGCONT);
            if (QTest::currentTestFailed())
                break;
        }
        program.kill();
        QVERIFY(program.state() == QProcess::NotRunning || program.waitForFinished(20000));
        checkRecordingDecodesToTheSameFiles(dir, true);
    }

    // Each line follows the line protocol's grammar: measurement, tag, fields with
    // integers marked "i", a nanosecond timestamp.
    void lineProtocolIsWellFormed()
    {
        KissServer server({generatedLog(true, false, 40)}, 4096);
        QTemporaryDir dir;
        LiveSession session(optionsFor(dir, server.port()));
        QSignalSpy finished(&session, &LiveSession::finished);
        QVERIFY(session.start());
        QVERIFY(finished.wait(20000));
        const QList<QByteArray> lines = readAll(path(dir, "pass.lp")).split('\n');
        QCOMPARE(lines.last(), QByteArray());
        QCOMPARE(lines.size() - 1, static_cast<qsizetype>(session.totals().frames));
        const QRegularExpression grammar(
            QStringLiteral("^kesta1,kind=(HTRX|FSS|FSS_HI|other) "
                           "[A-Za-z]+=(-?[0-9]+i|-?[0-9]+(\\.[0-9]+)?)(,[A-Za-z]+=(-?[0-9]+i|-?[0-"
                           "9]+(\\.[0-9]+)?))* "
                           "[0-9]{19}$"));
        for (qsizetype i = 0; i + 1 < lines.size(); ++i)
            QVERIFY2(grammar.match(QString::fromLatin1(lines.at(i))).hasMatch(),
                     lines.at(i).constData());
    }
};

QTEST_GUILESS_MAIN(TestLiveSession)
#include "tst_livesession.moc"
