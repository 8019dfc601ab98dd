// Settings -> Station...: what it accepts, what it remembers, and the command line's name.
#include "stationdialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <QtTest>

using namespace kesta;

class TestStationDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init()
    {
        // Only its own key: other tests share the settings file and run at the same time.
        QSettings(QStringLiteral("kesta-decoder"), QStringLiteral("kesta-decoder"))
            .remove(QStringLiteral("station/name"));
        StationDialog::setForThisRun({});
    }
    void acceptsOnlyNamesTheExportsCanCarry_data();
    void acceptsOnlyNamesTheExportsCanCarry();
    void remembersTheNameAndTheCommandLineNameWinsForItsRun();
};

void TestStationDialog::acceptsOnlyNamesTheExportsCanCarry_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("none") << QString() << true;
    QTest::newRow("plain") << "DL0ABC" << true;
    QTest::newRow("spaces, commas, equals") << "Bremen 2, roof=a" << true;
    QTest::newRow("trailing backslash") << "roof\\" << false;
}

void TestStationDialog::acceptsOnlyNamesTheExportsCanCarry()
{
    QFETCH(QString, name);
    QFETCH(bool, accepted);
    StationDialog dialog;
    dialog.findChild<QLineEdit *>(QStringLiteral("StationName"))->setText(name);
    const auto *buttons = dialog.findChild<QDialogButtonBox *>();
    QCOMPARE(buttons->button(QDialogButtonBox::Ok)->isEnabled(), accepted);
    QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("StationProblem"))->text().isEmpty(),
             accepted);
}

void TestStationDialog::remembersTheNameAndTheCommandLineNameWinsForItsRun()
{
    // Answered as a user would: the name typed, then OK.
    QTimer::singleShot(0, [] {
        auto *dialog = qobject_cast<StationDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog != nullptr);
        dialog->findChild<QLineEdit *>(QStringLiteral("StationName"))->setText("north");
        dialog->accept();
    });
    QVERIFY(StationDialog::edit(nullptr));
    QCOMPARE(StationDialog::station(), QStringLiteral("north"));
    QCOMPARE(QSettings(QStringLiteral("kesta-decoder"), QStringLiteral("kesta-decoder"))
                 .value(QStringLiteral("station/name"))
                 .toString(),
             QStringLiteral("north"));

    StationDialog::setForThisRun(QStringLiteral("south"));
    QCOMPARE(StationDialog::station(), QStringLiteral("south"));
    StationDialog::setForThisRun({});
    QCOMPARE(StationDialog::station(), QStringLiteral("north"));
}

QTEST_MAIN(TestStationDialog)
#include "tst_stationdialog.moc"
