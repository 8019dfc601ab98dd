// A live session against a KISS TCP server started inside the test (loopback only):
// what it writes while frames arrive must be what decoding its recording afterwards
// writes, whatever the chunks, with and without the server's timestamps.

#include "decode_command.h"
#include "livesession.h"
#include "log_generator.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>
#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

    // Decodes the recording afterwards, as a user would, in a folder of its own.
    void checkRecordingDecodesToTheSameFiles(const QTemporaryDir &live)
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
        for (const char *name : {"pass.dmp", "pass.csv", "pass.jsonl", "pass.lp"})
            QCOMPARE(readAll(path(live, name)), readAll(path(after, name)));
        QCOMPARE(tlmBody(path(live, "pass.tlm")), tlmBody(path(after, "pass.tlm")));
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
