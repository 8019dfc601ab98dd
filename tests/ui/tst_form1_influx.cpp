// A log opened in the windows, and a live session, send their records to a real InfluxDB
// server (Debian's influxd, started on loopback) as kesta-decode --influx-url does, and the
// status line tells how it went: every point lands, or the server's own words on a refusal.

#include "../live/influx_server.h"
#include "decode_command.h"
#include "form1_fixture.h"
#include "connectdialog.h"
#include "influxdialog.h"
#include "stationdialog.h"

#include <QDir>
#include <QLabel>
#include <QStatusBar>
#include <QTcpServer>
#include <QTcpSocket>

using namespace kesta;

namespace {

class RecordingNotifier : public RunNotifier
{
public:
    QList<QPair<Severity, QString>> notes;
    void notify(QWidget *, Severity severity, const QString &, const QString &text) override
    {
        notes.append({severity, text});
    }
};

// The points kesta-decode sends for `log`, as "kind time", sorted.
QStringList referencePoints(const QString &log, const QString &lp)
{
    kesta::DecodeOptions reference;
    reference.logPath = QFile::encodeName(log).toStdString();
    reference.writeDump = reference.writeTlm = false;
    reference.influxPath = QFile::encodeName(lp).toStdString();
    reference.station = "Win 1";
    if (kesta::RunDecodeCommand(reference).exitCode != 0)
        return {QStringLiteral("<reference decode failed>")};
    return LinePoints(fixture::readAll(lp));
}

} // namespace

class TestForm1Influx : public QObject
{
    Q_OBJECT

    InfluxServer m_influx;
    QTemporaryDir m_dir;
    QTemporaryDir m_state; // the user's state folder, where waiting lines are spooled

    QString influxStatus(const Form1 &form) const
    {
        const auto *label = form.statusBar()->findChild<QLabel *>(QStringLiteral("InfluxStatus"));
        return label && label->isVisible() ? label->text() : QStringLiteral("<hidden>");
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        qputenv("XDG_STATE_HOME", QFile::encodeName(m_state.path()));
        QString error;
        QVERIFY2(m_influx.start(error), qPrintable(error));
        QJsonObject result;
        QVERIFY(m_influx.query(QStringLiteral("CREATE DATABASE windows"), result));
        StationDialog::setForThisRun(QStringLiteral("Win 1"));
    }

    // More frames than the window keeps: every one lands, tagged with the station, as the
    // command line sends them.
    void openedLogLandsEveryPoint()
    {
        const QString log = m_dir.filePath(QStringLiteral("pass.kss"));
        QVERIFY(fixture::writeFile(log, fixture::generatedLog(3000)));
        const QStringList expected = referencePoints(log, m_dir.filePath(QStringLiteral("ref.lp")));
        QCOMPARE(expected.size(), 3000);

        InfluxDialog::setForThisRun(m_influx.writeUrl(QStringLiteral("windows")));
        kesta::ProgramState state;
        Form1 form(state);
        RecordingNotifier notifier;
        form.setNotifier(&notifier);
        form.show();
        QVERIFY(fixture::openAndWait(form, log));
        QTRY_COMPARE(influxStatus(form), QStringLiteral("InfluxDB: 3000 lines sent"));
        for (const auto &[severity, text] : notifier.notes) // the records past 1000 are told
            QVERIFY2(severity == RunNotifier::Severity::Information, qPrintable(text));
        QCOMPARE(m_influx.points(QStringLiteral("windows")), expected);
        QJsonObject tags;
        QVERIFY(m_influx.query(QStringLiteral("SHOW TAG VALUES FROM kesta1 WITH KEY = \"station\""),
                               tags, QStringLiteral("windows")));
        QVERIFY(QJsonDocument(tags).toJson(QJsonDocument::Compact).contains(R"(["station","Win 1"])"));
        QVERIFY(QDir(m_state.filePath(QStringLiteral("kesta-decoder"))).isEmpty());
    }

    // A live session with the Connect dialog's URL: the points of its recording land.
    void liveSessionLandsEveryPoint()
    {
        QJsonObject result;
        QVERIFY(m_influx.query(QStringLiteral("CREATE DATABASE live"), result));
        QTcpServer kiss;
        QVERIFY(kiss.listen(QHostAddress::LocalHost));
        InfluxDialog::setForThisRun(QString());
        kesta::ProgramState state;
        Form1 form(state);
        RecordingNotifier notifier;
        form.setNotifier(&notifier);
        form.show();
        const QString recording = m_dir.filePath(QStringLiteral("live.kss"));
        QVERIFY(form.connectTo({HostPort{QStringLiteral("127.0.0.1"), kiss.serverPort()}, recording,
                                true, m_influx.writeUrl(QStringLiteral("live"))}));
        QTRY_VERIFY_WITH_TIMEOUT(kiss.hasPendingConnections(), 10000);
        QTcpSocket *feed = kiss.nextPendingConnection();
        feed->write(fixture::generatedLog(500));
        const auto *counts = form.statusBar()->findChild<QLabel *>(QStringLiteral("LiveCounts"));
        QTRY_COMPARE_WITH_TIMEOUT(counts->text(), QStringLiteral("500 frames"), 20000);
        form.menuFileDisconnect();
        QTRY_COMPARE_WITH_TIMEOUT(influxStatus(form), QStringLiteral("InfluxDB: 500 lines sent"), 20000);
        QCOMPARE(m_influx.points(QStringLiteral("live")),
                 referencePoints(recording, m_dir.filePath(QStringLiteral("live-ref.lp"))));
        QVERIFY(!QFileInfo::exists(m_dir.filePath(QStringLiteral("live.spool.lp"))));
    }

    // No such database: the run's own files are whole, the server's words are on the
    // status line and in the run's warning.
    void refusalIsToldInTheServersWords()
    {
        const QString log = m_dir.filePath(QStringLiteral("refused.kss"));
        QVERIFY(fixture::writeFile(log, fixture::generatedLog(20)));
        InfluxDialog::setForThisRun(m_influx.writeUrl(QStringLiteral("nosuch")));
        kesta::ProgramState state;
        Form1 form(state);
        RecordingNotifier notifier;
        form.setNotifier(&notifier);
        form.show();
        QVERIFY(fixture::openAndWait(form, log));
        const QString words = QStringLiteral("HTTP 404: database not found: \"nosuch\"");
        QTRY_VERIFY2(influxStatus(form).contains(words), qPrintable(influxStatus(form)));
        QCOMPARE(notifier.notes.size(), 1);
        QCOMPARE(notifier.notes.at(0).first, RunNotifier::Severity::Warning);
        QVERIFY2(notifier.notes.at(0).second.contains(words), qPrintable(notifier.notes.at(0).second));
        QCOMPARE(state.store.RecordCount, 20);
        QVERIFY(QFileInfo(m_dir.filePath(QStringLiteral("refused.dmp"))).size() > 0);
    }
};

QTEST_MAIN(TestForm1Influx)
#include "tst_form1_influx.moc"
