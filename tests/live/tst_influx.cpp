// Records sent to a real InfluxDB server (Debian's influxd, started by the test on
// loopback): every point lands once, across a server that goes away and comes back,
// and a server that refuses the lines is reported in its own words.

#include "influx_sender.h"
#include "influx_server.h"
#include "livesession.h"
#include "log_generator.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>
#include <zlib.h>

using namespace kesta;

namespace {

QByteArray generatedLog(std::uint64_t frames, std::uint64_t seed, std::int64_t startMs)
{
    kesta::loggen::GeneratorOptions options;
    options.frames = frames;
    options.seed = seed;
    options.startTimeMs = startMs;
    const std::vector<std::uint8_t> bytes = kesta::loggen::GenerateLog(options);
    return QByteArray(reinterpret_cast<const char *>(bytes.data()),
                      static_cast<qsizetype>(bytes.size()));
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A KISS TCP server that sends what the test hands it, when it does.
class KissFeed : public QObject
{
public:
    KissFeed()
    {
        QVERIFY(m_server.listen(QHostAddress::LocalHost));
        connect(&m_server, &QTcpServer::newConnection, this,
                [this] { m_socket = m_server.nextPendingConnection(); });
    }
    quint16 port() const { return m_server.serverPort(); }
    bool connected() const { return m_socket != nullptr; }
    void send(const QByteArray &bytes) { m_socket->write(bytes); }
    void close() { m_socket->disconnectFromHost(); }

private:
    QTcpServer m_server;
    QTcpSocket *m_socket = nullptr;
};

// The body of a "Content-Encoding: gzip" request, unpacked; "<not gzip>" when it is not.
QByteArray gunzip(const QByteArray &body)
{
    z_stream stream{};
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK)
        return "<not gzip>";
    QByteArray out;
    char chunk[65536];
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(body.data()));
    stream.avail_in = static_cast<uInt>(body.size());
    int status = Z_OK;
    while (status == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef *>(chunk);
        stream.avail_out = sizeof chunk;
        status = inflate(&stream, Z_NO_FLUSH);
        out.append(chunk, static_cast<qsizetype>(sizeof chunk - stream.avail_out));
    }
    inflateEnd(&stream);
    return status == Z_STREAM_END ? out : QByteArrayLiteral("<not gzip>");
}

// An HTTP server on loopback that keeps each request it is sent, as it came, and
// answers 204 as an InfluxDB server that took the lines.
class RequestRecorder : public QObject
{
public:
    struct Request
    {
        QByteArray head; // request line and headers
        QByteArray body;
    };
    QList<Request> requests;

    RequestRecorder()
    {
        QVERIFY(m_server.listen(QHostAddress::LocalHost));
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            QTcpSocket *socket = m_server.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        });
    }
    quint16 port() const { return m_server.serverPort(); }

private:
    void read(QTcpSocket *socket)
    {
        QByteArray &buffer = m_buffers[socket];
        buffer += socket->readAll();
        for (;;) {
            const qsizetype end = buffer.indexOf("\r\n\r\n");
            if (end < 0)
                return;
            const QByteArray head = buffer.left(end);
            qsizetype length = 0;
            for (const QByteArray &line : head.split('\n')) {
                if (line.toLower().startsWith("content-length:"))
                    length = line.mid(15).trimmed().toLongLong();
            }
            if (buffer.size() < end + 4 + length)
                return;
            requests.append({head, buffer.mid(end + 4, length)});
            buffer.remove(0, end + 4 + length);
            socket->write("HTTP/1.1 204 No Content\r\n\r\n");
        }
    }

    QTcpServer m_server;
    QHash<QTcpSocket *, QByteArray> m_buffers;
};

} // namespace

class TestInflux : public QObject
{
    Q_OBJECT

    InfluxServer m_influx;
    QTemporaryDir m_state; // the user's state folder of the decodes run here

    QProcess *decode(const QStringList &arguments)
    {
        auto *process = new QProcess(this);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_STATE_HOME"), m_state.path());
        process->setProcessEnvironment(env);
        process->start(QStringLiteral(KESTA_DECODE_PATH), arguments);
        return process;
    }

    QString spoolFolder() const { return m_state.filePath(QStringLiteral("kesta-decoder")); }

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(m_influx.start(error), qPrintable(error));
        QJsonObject result;
        for (const char *db : {"decode", "live", "later", "pair"})
            QVERIFY(m_influx.query(QStringLiteral("CREATE DATABASE %1").arg(QLatin1String(db)), result));
    }

    void urlsAreCheckedBeforeAnythingIsSent_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("writeUrl"); // empty: refused
        QTest::addColumn<QString>("reason");
        QTest::newRow("1.x") << "http://h:8086/write?db=k" << "http://h:8086/write?db=k&precision=n" << "";
        QTest::newRow("1.x, ns already") << "http://h/write?db=k&precision=ns" << "http://h/write?db=k&precision=ns" << "";
        QTest::newRow("2.x") << "https://h/api/v2/write?org=o&bucket=b" << "https://h/api/v2/write?org=o&bucket=b&precision=ns" << "";
        QTest::newRow("seconds") << "http://h/write?db=k&precision=s" << "" << "nanosecond";
        QTest::newRow("no database") << "http://h:8086/write" << "" << "db=NAME";
        QTest::newRow("no bucket") << "http://h/api/v2/write?org=o" << "" << "bucket=NAME";
        QTest::newRow("no org") << "http://h/api/v2/write?bucket=b" << "" << "org=NAME";
        QTest::newRow("query path") << "http://h:8086/query?db=k" << "" << "/write";
        QTest::newRow("password") << "http://u:pw@h/write?db=k" << "" << "INFLUX_TOKEN";
        QTest::newRow("p=") << "http://h/write?db=k&u=a&p=b" << "" << "INFLUX_TOKEN";
        QTest::newRow("not http") << "h:8086" << "" << "expected http://";
    }
    void urlsAreCheckedBeforeAnythingIsSent()
    {
        QFETCH(QString, url);
        QFETCH(QString, writeUrl);
        QFETCH(QString, reason);
        QString error;
        const auto target = ParseInfluxUrl(url, "secret", error);
        QCOMPARE(target ? target->writeUrl.toString() : QString(), writeUrl);
        QVERIFY2(error.contains(reason), qPrintable(error));
        QVERIFY(!error.contains(QLatin1String("secret")));
    }

    // Every point of a log lands once, tagged with the station; the same decode again
    // changes nothing.
    void logDecodeLandsEveryPoint()
    {
        QTemporaryDir dir;
        const QString log = dir.filePath(QStringLiteral("pass.kss"));
        QVERIFY(writeFile(log, generatedLog(12000, 3, 1796119200000)));
        const QString lp = dir.filePath(QStringLiteral("pass.lp"));
        for (int run = 0; run < 2; ++run) {
            QProcess *p = decode({QStringLiteral("--station"), QStringLiteral("Bremen 1,a"),
                                  QStringLiteral("--influx"), lp, QStringLiteral("--influx-url"),
                                  m_influx.writeUrl(QStringLiteral("decode")), log});
            QVERIFY(p->waitForFinished(120000));
            const QString err = QString::fromLocal8Bit(p->readAllStandardError());
            QVERIFY2(p->exitCode() == 0, qPrintable(err));
            QVERIFY2(err.contains(QLatin1String("InfluxDB: 12000 lines sent\n")), qPrintable(err));
        }
        QFile file(lp);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList expected = LinePoints(file.readAll());
        QCOMPARE(expected.size(), 12000);
        QCOMPARE(m_influx.points(QStringLiteral("decode")), expected);
        QJsonObject tags;
        QVERIFY(m_influx.query(QStringLiteral("SHOW TAG VALUES FROM kesta1 WITH KEY = \"station\""),
                               tags, QStringLiteral("decode")));
        QVERIFY2(QJsonDocument(tags).toJson(QJsonDocument::Compact).contains(
                     R"(["station","Bremen 1,a"])"),
                 QJsonDocument(tags).toJson().constData());
        QVERIFY(QDir(spoolFolder()).isEmpty());
    }

    // Two stations' logs decoded into one database side by side: each run has a spool
    // of its own, and neither is turned away.
    void decodesSideBySide()
    {
        QTemporaryDir dir;
        QList<QProcess *> runs;
        for (int station = 0; station < 2; ++station) {
            const QString log = dir.filePath(QStringLiteral("pass%1.kss").arg(station));
            QVERIFY(writeFile(log, generatedLog(5000, 20 + station, 1796119200000 + station)));
            runs << decode({QStringLiteral("-q"), QStringLiteral("--no-dump"), QStringLiteral("--no-tlm"),
                            QStringLiteral("--station"), QString::number(station),
                            QStringLiteral("--influx-url"), m_influx.writeUrl(QStringLiteral("pair")), log});
        }
        for (QProcess *p : runs) {
            QVERIFY(p->waitForFinished(120000));
            QVERIFY2(p->exitCode() == 0, p->readAllStandardError().constData());
        }
        QJsonObject result;
        QVERIFY(m_influx.query(QStringLiteral("SELECT count(Rssi) FROM kesta1 GROUP BY station"), result,
                               QStringLiteral("pair")));
        const QByteArray json = QJsonDocument(result).toJson(QJsonDocument::Compact);
        QCOMPARE(json.count("\"station\":"), 2);
        QVERIFY(QDir(spoolFolder()).isEmpty());
    }

    // No such database: the server's words, exit 1, and no output file is left.
    void refusedLinesStopTheDecode()
    {
        QTemporaryDir dir;
        const QString log = dir.filePath(QStringLiteral("pass.kss"));
        QVERIFY(writeFile(log, generatedLog(50, 4, 1796119200000)));
        QProcess *p = decode({QStringLiteral("--influx-url"), m_influx.writeUrl(QStringLiteral("nosuch")), log});
        QVERIFY(p->waitForFinished(60000));
        const QString err = QString::fromLocal8Bit(p->readAllStandardError());
        QCOMPARE(p->exitCode(), 1);
        QVERIFY2(err.contains(QLatin1String("HTTP 404: database not found: \"nosuch\"")), qPrintable(err));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("pass.kss")});
    }

    // The server is away: the lines wait in the state folder, the decode says so, and
    // the next decode to that server, once it is back, sends them first.
    void linesWaitForTheNextDecode()
    {
        QTemporaryDir dir;
        const QString first = dir.filePath(QStringLiteral("first.kss"));
        const QString second = dir.filePath(QStringLiteral("second.kss"));
        QVERIFY(writeFile(first, generatedLog(700, 5, 1796119200000)));
        QVERIFY(writeFile(second, generatedLog(300, 6, 1796205600000)));
        const QString url = m_influx.writeUrl(QStringLiteral("later"));

        m_influx.stop();
        QProcess *p = decode({QStringLiteral("-q"), QStringLiteral("--no-dump"),
                              QStringLiteral("--no-tlm"), QStringLiteral("--influx-url"), url, first});
        QVERIFY(p->waitForFinished(60000));
        QString err = QString::fromLocal8Bit(p->readAllStandardError());
        QString error;
        QVERIFY2(m_influx.start(error), qPrintable(error));
        QCOMPARE(p->exitCode(), 0);
        QVERIFY2(err.contains(QLatin1String("0 lines sent, 700 lines wait in ")), qPrintable(err));
        QCOMPARE(QDir(spoolFolder()).entryList(QDir::Files).size(), 1);

        p = decode({QStringLiteral("--no-dump"), QStringLiteral("--no-tlm"),
                    QStringLiteral("--influx-url"), url, second});
        QVERIFY(p->waitForFinished(60000));
        err = QString::fromLocal8Bit(p->readAllStandardError());
        QVERIFY2(p->exitCode() == 0, qPrintable(err));
        QVERIFY2(err.contains(QLatin1String("InfluxDB: 1000 lines sent\n")), qPrintable(err));
        QCOMPARE(m_influx.points(QStringLiteral("later")).size(), 1000);
        QVERIFY(QDir(spoolFolder()).isEmpty());
    }

    // The server stops in the middle of a live pass and starts again: the lines made
    // meanwhile wait beside the recording and go in order; none is lost or sent twice.
    void liveSessionAcrossAServerRestart()
    {
        const QByteArray before = generatedLog(300, 7, 1796119200000);
        const QByteArray during = generatedLog(300, 8, 1796205600000);
        KissFeed kiss;
        QTemporaryDir dir;
        LiveOptions options;
        options.server = {QStringLiteral("127.0.0.1"), kiss.port()};
        options.recordingPath = QFile::encodeName(dir.filePath(QStringLiteral("pass.kss"))).toStdString();
        options.influxPath = QFile::encodeName(dir.filePath(QStringLiteral("pass.lp"))).toStdString();
        QString error;
        options.influx = ParseInfluxUrl(m_influx.writeUrl(QStringLiteral("live")), {}, error);
        QVERIFY(options.influx);
        LiveSession session(options);
        session.setRetryUnitMilliseconds(20);
        QSignalSpy finished(&session, &LiveSession::finished);
        QVERIFY2(session.start(), qPrintable(session.error()));
        const InfluxSender *sender = session.influxSender();
        QTRY_VERIFY_WITH_TIMEOUT(kiss.connected(), 20000);

        kiss.send(before);
        QTRY_COMPARE_WITH_TIMEOUT(sender->sentLines(), std::uint64_t{300}, 20000);
        m_influx.stop();
        kiss.send(during);
        QTRY_COMPARE_WITH_TIMEOUT(sender->waitingLines(), std::uint64_t{300}, 20000);
        QCOMPARE(sender->state(), InfluxSender::State::Waiting);
        QVERIFY(QFile::exists(dir.filePath(QStringLiteral("pass.spool.lp"))));

        QVERIFY2(m_influx.start(error), qPrintable(error));
        QTRY_COMPARE_WITH_TIMEOUT(sender->sentLines(), std::uint64_t{600}, 30000);
        QCOMPARE(sender->waitingLines(), std::uint64_t{0});
        kiss.close();
        QVERIFY(finished.wait(20000));
        QCOMPARE(sender->sentLines(), std::uint64_t{600});

        QFile file(dir.filePath(QStringLiteral("pass.lp")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(m_influx.points(QStringLiteral("live")), LinePoints(file.readAll()));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("pass.spool.lp"))));
    }

    // Debian has no InfluxDB 2.x server to test against: what kesta-decode sends one is
    // taken down by a server of the test's own. The token comes from INFLUX_TOKEN.
    void v2WriteRequestAsTheApiWantsIt()
    {
        QTemporaryDir dir;
        const QString log = dir.filePath(QStringLiteral("pass.kss"));
        QVERIFY(writeFile(log, generatedLog(300, 5, 1796119200000)));
        const QString lp = dir.filePath(QStringLiteral("pass.lp"));
        RequestRecorder server;
        auto *p = new QProcess(this);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_STATE_HOME"), m_state.path());
        env.insert(QStringLiteral("INFLUX_TOKEN"), QStringLiteral("t0ken=="));
        p->setProcessEnvironment(env);
        p->start(QStringLiteral(KESTA_DECODE_PATH),
                 {QStringLiteral("--no-dump"), QStringLiteral("--no-tlm"), QStringLiteral("--influx"), lp,
                  QStringLiteral("--influx-url"),
                  QStringLiteral("http://127.0.0.1:%1/api/v2/write?org=kesta%20team&bucket=passes")
                      .arg(server.port()),
                  log});
        QTRY_COMPARE_WITH_TIMEOUT(p->state(), QProcess::NotRunning, 60000);
        QVERIFY2(p->exitCode() == 0, p->readAllStandardError().constData());

        QCOMPARE(server.requests.size(), 1);
        const QList<QByteArray> head = server.requests.at(0).head.split('\n');
        QCOMPARE(head.at(0).trimmed(),
                 QByteArray("POST /api/v2/write?org=kesta%20team&bucket=passes&precision=ns HTTP/1.1"));
        QByteArrayList headers;
        for (const QByteArray &line : head.mid(1))
            headers << line.trimmed().toLower();
        for (const char *header : {"authorization: token t0ken==", "content-encoding: gzip",
                                   "content-type: text/plain; charset=utf-8"})
            QVERIFY2(headers.contains(header), headers.join('\n').constData());
        QFile file(lp);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray lines = file.readAll();
        QCOMPARE(lines.count('\n'), 300);
        QCOMPARE(gunzip(server.requests.at(0).body), lines);
    }
};

QTEST_GUILESS_MAIN(TestInflux)
#include "tst_influx.moc"
