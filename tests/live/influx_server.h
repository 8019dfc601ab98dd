#pragma once

// A real InfluxDB 1.x server (Debian's influxd) for the tests: started on free loopback
// ports with its data in a temporary folder and every other listener off, stopped and
// started again on the same ports and data, and asked through its HTTP query API.

#include <QByteArray>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrlQuery>

// The points of line protocol as "kind time", sorted, to compare with InfluxServer::points().
inline QStringList LinePoints(const QByteArray &lines)
{
    QStringList out;
    for (const QByteArray &line : lines.split('\n')) {
        if (line.isEmpty())
            continue;
        const QByteArray kind = line.mid(line.indexOf("kind=") + 5).split(' ').at(0).split(',').at(0);
        out << QString::fromLatin1(kind + ' ' + line.mid(line.lastIndexOf(' ') + 1));
    }
    out.sort();
    return out;
}

class InfluxServer
{
public:
    ~InfluxServer() { stop(); }

    // Starts influxd and waits until it answers /ping; false with the reason in `error`.
    bool start(QString &error)
    {
        if (QStandardPaths::findExecutable(QStringLiteral("influxd")).isEmpty()) {
            error = QStringLiteral("influxd is not installed (the influxdb package; ./test "
                                   "installs it)");
            return false;
        }
        if (m_httpPort == 0) {
            m_httpPort = freePort();
            m_rpcPort = freePort();
            writeConfig();
        }
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(QStringLiteral("influxd"),
                        {QStringLiteral("-config"), m_dir.filePath(QStringLiteral("influxd.conf"))});
        if (!m_process.waitForStarted()) {
            error = m_process.errorString();
            return false;
        }
        for (int attempt = 0; attempt < 300; ++attempt) {
            if (m_process.state() != QProcess::Running) {
                error = QStringLiteral("influxd ended: ") + QString::fromLocal8Bit(m_process.readAll());
                return false;
            }
            if (request("/ping", {}).first == 204)
                return true;
            pause(100);
        }
        error = QStringLiteral("influxd does not answer /ping");
        return false;
    }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(30000))
            m_process.kill();
        m_process.waitForFinished();
    }

    quint16 port() const { return m_httpPort; }
    qint64 pid() const { return m_process.processId(); }
    QString writeUrl(const QString &db) const
    {
        return QStringLiteral("http://127.0.0.1:%1/write?db=%2").arg(m_httpPort).arg(db);
    }

    bool query(const QString &statement, QJsonObject &result, const QString &db = {})
    {
        QUrlQuery q;
        q.addQueryItem(QStringLiteral("q"), statement);
        q.addQueryItem(QStringLiteral("epoch"), QStringLiteral("ns"));
        if (!db.isEmpty())
            q.addQueryItem(QStringLiteral("db"), db);
        const auto [status, body] = request("/query", q.toString(QUrl::FullyEncoded).toUtf8());
        result = QJsonDocument::fromJson(body).object();
        return status == 200;
    }

    // Every point of a measurement as "kind time" texts, in time order.
    QStringList points(const QString &db, const QString &measurement = QStringLiteral("kesta1"))
    {
        QJsonObject result;
        QStringList out;
        if (!query(QStringLiteral("SELECT * FROM %1 GROUP BY kind").arg(measurement), result, db))
            return {QStringLiteral("<query failed>")};
        const QJsonArray series =
            result.value(QStringLiteral("results")).toArray().at(0).toObject().value(
                QStringLiteral("series")).toArray();
        for (const QJsonValue &one : series) {
            const QString kind =
                one.toObject().value(QStringLiteral("tags")).toObject().value(QStringLiteral("kind")).toString();
            for (const QJsonValue &row : one.toObject().value(QStringLiteral("values")).toArray())
                out << kind + QLatin1Char(' ') + QString::number(row.toArray().at(0).toInteger());
        }
        out.sort();
        return out;
    }

private:
    static quint16 freePort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        return probe.serverPort();
    }

    void writeConfig()
    {
        QFile file(m_dir.filePath(QStringLiteral("influxd.conf")));
        file.open(QIODevice::WriteOnly);
        const QString d = m_dir.path();
        file.write(QStringLiteral(
                       "reporting-disabled = true\n"
                       "bind-address = \"127.0.0.1:%1\"\n"
                       "[meta]\n  dir = \"%3/meta\"\n"
                       "[data]\n  dir = \"%3/data\"\n  wal-dir = \"%3/wal\"\n"
                       "  query-log-enabled = false\n"
                       "[http]\n  enabled = true\n  bind-address = \"127.0.0.1:%2\"\n"
                       "  log-enabled = false\n  max-row-limit = 0\n"
                       "[monitor]\n  store-enabled = false\n"
                       "[continuous_queries]\n  enabled = false\n"
                       "[subscriber]\n  enabled = false\n"
                       "[logging]\n  level = \"error\"\n")
                       .arg(m_rpcPort)
                       .arg(m_httpPort)
                       .arg(d)
                       .toUtf8());
    }

    static void pause(int ms)
    {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    }

    std::pair<int, QByteArray> request(const char *path, const QByteArray &form)
    {
        QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_httpPort).arg(
            QLatin1String(path))));
        request.setTransferTimeout(30000);
        QNetworkReply *reply;
        if (form.isNull()) {
            reply = m_network.get(request);
        } else {
            request.setHeader(QNetworkRequest::ContentTypeHeader,
                              QByteArrayLiteral("application/x-www-form-urlencoded"));
            reply = m_network.post(request, form);
        }
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QByteArray body = reply->readAll();
        reply->deleteLater();
        return {status, body};
    }

    QTemporaryDir m_dir;
    QProcess m_process;
    QNetworkAccessManager m_network;
    quint16 m_httpPort = 0;
    quint16 m_rpcPort = 0;
};
