// The "Connect" dialog: its first answers, what it remembers, and the answers it refuses.

#include "connectdialog.h"
#include "influxdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QAccessible>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QtTest>

using namespace kesta;

class TestConnectDialog : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir folder;

    static void forget()
    {
        QSettings(QStringLiteral("kesta-decoder"), QStringLiteral("kesta-decoder")).clear();
    }
    template <typename T> static T *control(const QDialog &dialog, const char *name)
    {
        return dialog.findChild<T *>(QLatin1String(name));
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        // The user's own settings are never touched.
        const QSettings settings(QStringLiteral("kesta-decoder"), QStringLiteral("kesta-decoder"));
        QVERIFY2(settings.fileName().contains(QStringLiteral(".qttest")),
                 qPrintable(settings.fileName()));
        QVERIFY(folder.isValid());
    }
    void init() { forget(); }
    void cleanupTestCase() { forget(); }

    void firstAnswersBeforeAnySession_data()
    {
        QTest::addColumn<bool>("writeTlm");
        QTest::newRow("Write TLM File checked") << true;
        QTest::newRow("Write TLM File unchecked") << false;
    }
    void firstAnswersBeforeAnySession()
    {
        QFETCH(bool, writeTlm);
        const ConnectDialog dialog(writeTlm);
        QCOMPARE(control<QLineEdit>(dialog, "ConnectHost")->text(), QStringLiteral("localhost"));
        auto *port = control<QComboBox>(dialog, "ConnectPort");
        QVERIFY(port->isEditable());
        QCOMPARE(port->currentText(), QStringLiteral("8001"));
        QCOMPARE(port->itemText(0), QStringLiteral("8001"));
        QCOMPARE(port->itemText(1), QStringLiteral("8100"));
        const QString documents =
            QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        const QString expectedFolder = QFileInfo(documents).isDir() ? documents : QDir::homePath();
        QCOMPARE(QDir::fromNativeSeparators(control<QLineEdit>(dialog, "ConnectFolder")->text()),
                 expectedFolder);
        const QRegularExpression name(QStringLiteral("^kesta1-\\d{8}-\\d{6}Z\\.kss$"));
        QVERIFY(name.match(control<QLineEdit>(dialog, "ConnectName")->text()).hasMatch());
        QCOMPARE(control<QCheckBox>(dialog, "ConnectWriteTlm")->isChecked(), writeTlm);
        // Every field is named by its label. Qt names an editable combo box by its value on
        // Linux; its label reaches a screen reader as the "labelled by" relation.
        for (const auto &[name, spoken] : {std::pair{"ConnectHost", "Host"},
                                           {"ConnectFolder", "Folder"}, {"ConnectName", "Recording"}}) {
            QAccessibleInterface *field =
                QAccessible::queryAccessibleInterface(control<QWidget>(dialog, name));
            QVERIFY(field);
            QCOMPARE(field->text(QAccessible::Name), QLatin1String(spoken));
        }
        QAccessibleInterface *portField =
            QAccessible::queryAccessibleInterface(control<QWidget>(dialog, "ConnectPort"));
        const auto labels = portField->relations(QAccessible::Label);
        QCOMPARE(labels.size(), 1);
        QCOMPARE(labels.first().first->text(QAccessible::Name), QStringLiteral("Port:"));
    }

    void recordingNameIsUtc_data()
    {
        QTest::addColumn<QDateTime>("when");
        QTest::addColumn<QString>("name");
        QTest::newRow("UTC") << QDateTime(QDate(2026, 12, 1), QTime(10, 0, 0), QTimeZone::utc())
                             << "kesta1-20261201-100000Z.kss";
        QTest::newRow("two hours east, past midnight")
            << QDateTime(QDate(2026, 1, 1), QTime(1, 30, 5), QTimeZone(7200))
            << "kesta1-20251231-233005Z.kss";
    }
    void recordingNameIsUtc()
    {
        QFETCH(QDateTime, when);
        QFETCH(QString, name);
        QCOMPARE(connectsettings::defaultRecordingName(when), name);
    }

    void remembersHostPortAndFolder()
    {
        QVERIFY(QDir(folder.path()).mkpath(QStringLiteral("passes")));
        const QString passes = folder.filePath(QStringLiteral("passes"));
        connectsettings::remember(
            {HostPort{QStringLiteral("192.0.2.7"), 8100}, passes + "/a.kss", true, {}});
        const ConnectDialog dialog(true);
        QCOMPARE(control<QLineEdit>(dialog, "ConnectHost")->text(), QStringLiteral("192.0.2.7"));
        QCOMPARE(control<QComboBox>(dialog, "ConnectPort")->currentText(), QStringLiteral("8100"));
        QCOMPARE(QDir::fromNativeSeparators(control<QLineEdit>(dialog, "ConnectFolder")->text()),
                 passes);
        QVERIFY(connectsettings::defaultRecordingPath().startsWith(passes + "/kesta1-"));

        // A folder removed since is not offered again.
        QVERIFY(QDir(passes).removeRecursively());
        QVERIFY(connectsettings::rememberedFolder() != passes);
    }

    void answerIsChecked_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("folderName"); // under the test folder
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("problem"); // empty: accepted
        QTest::newRow("usual") << "localhost"
                               << "8100"
                               << ""
                               << "pass.kss"
                               << "";
        QTest::newRow("own port") << "192.0.2.7"
                                  << "7300"
                                  << ""
                                  << "pass.kss"
                                  << "";
        QTest::newRow("IPv6 address") << "::1"
                                      << "8001"
                                      << ""
                                      << "pass.kss"
                                      << "";
        QTest::newRow("no host") << " "
                                 << "8001"
                                 << ""
                                 << "pass.kss"
                                 << "host name";
        QTest::newRow("port 0") << "localhost"
                                << "0"
                                << ""
                                << "pass.kss"
                                << "1 to 65535";
        QTest::newRow("port out of range") << "localhost"
                                           << "65536"
                                           << ""
                                           << "pass.kss"
                                           << "1 to 65535";
        QTest::newRow("port not a number") << "localhost"
                                           << "80a"
                                           << ""
                                           << "pass.kss"
                                           << "1 to 65535";
        QTest::newRow("missing folder") << "localhost"
                                        << "8001"
                                        << "gone"
                                        << "pass.kss"
                                        << "does not exist";
        QTest::newRow("no name") << "localhost"
                                 << "8001"
                                 << ""
                                 << ""
                                 << "file name";
        QTest::newRow("existing recording") << "localhost"
                                            << "8001"
                                            << ""
                                            << "old.kss"
                                            << "exists already";
    }
    void answerIsChecked()
    {
        QFETCH(QString, host);
        QFETCH(QString, port);
        QFETCH(QString, folderName);
        QFETCH(QString, name);
        QFETCH(QString, problem);
        QFile old(folder.filePath(QStringLiteral("old.kss")));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.close();

        ConnectDialog dialog(true);
        control<QLineEdit>(dialog, "ConnectHost")->setText(host);
        control<QComboBox>(dialog, "ConnectPort")->setCurrentText(port);
        control<QLineEdit>(dialog, "ConnectFolder")->setText(folder.filePath(folderName));
        control<QLineEdit>(dialog, "ConnectName")->setText(name);
        dialog.accept();
        const auto request = dialog.request();
        if (problem.isEmpty()) {
            QVERIFY2(request, qPrintable(dialog.problem()));
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
            QCOMPARE(request->server.host, host);
            QCOMPARE(QString::number(request->server.port), port);
            QCOMPARE(request->recordingPath, QDir(folder.path()).absoluteFilePath(name));
        } else {
            QVERIFY(!request);
            QVERIFY2(dialog.problem().contains(problem), qPrintable(dialog.problem()));
            QCOMPARE(dialog.result(), int(QDialog::Rejected)); // still open for a correction
            QCOMPARE(control<QLabel>(dialog, "ConnectProblem")->text(), dialog.problem());
        }
    }

    // The InfluxDB URL: refused with the reason while it cannot be used, in the Connect
    // dialog as in Settings; a session's URL is the one Settings shows next, and the next
    // run's. The token is never shown.
    void influxUrlIsCheckedAndShared()
    {
        qputenv("INFLUX_TOKEN", "s3cret-token");
        const QString bad = QStringLiteral("http://h:8086/query?db=k");
        const QString good = QStringLiteral("http://h:8086/write?db=k");
        ConnectDialog dialog(true);
        QCOMPARE(control<QLineEdit>(dialog, "ConnectInfluxUrl")->text(), QString());
        control<QLineEdit>(dialog, "ConnectFolder")->setText(folder.path());
        control<QLineEdit>(dialog, "ConnectName")->setText(QStringLiteral("influx.kss"));
        control<QLineEdit>(dialog, "ConnectInfluxUrl")->setText(bad);
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY2(dialog.problem().contains(QLatin1String("the path must end in /write")),
                 qPrintable(dialog.problem()));
        control<QLineEdit>(dialog, "ConnectInfluxUrl")->setText(good);
        const auto request = dialog.request();
        QVERIFY2(request, qPrintable(dialog.problem()));
        QCOMPARE(request->influxUrl, good);
        connectsettings::remember(*request);
        QCOMPARE(InfluxDialog::url(), good);

        InfluxDialog settings;
        auto *url = control<QLineEdit>(settings, "InfluxUrl");
        auto *ok = settings.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok);
        QCOMPARE(url->text(), good);
        QVERIFY(ok->isEnabled());
        url->setText(QStringLiteral("http://h/api/v2/write?org=o"));
        QVERIFY(!ok->isEnabled());
        QVERIFY(control<QLabel>(settings, "InfluxProblem")->text().contains(QLatin1String("bucket=NAME")));
        for (const QLabel *label : settings.findChildren<QLabel *>())
            QVERIFY(!label->text().contains(QLatin1String("s3cret")));
        QVERIFY(control<QLabel>(settings, "InfluxToken")->text().contains(QLatin1String("(set")));
        url->clear();
        QVERIFY(ok->isEnabled()); // empty: no server
        qunsetenv("INFLUX_TOKEN");
    }
};

QTEST_MAIN(TestConnectDialog)
#include "tst_connectdialog.moc"
