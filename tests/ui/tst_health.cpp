// Limits in the main window: the levels it shows at and beyond the bounds, a bad limits
// file, the keys to the records outside limits, the table's filter, the chart's marks and
// the saved pass report.
#include "decode_command.h"
#include "form1_fixture.h"
#include "healthwatch.h"
#include "kiss_bytes.h"
#include "parameterchart.h"
#include "passreportcommand.h"
#include "passview.h"
#include "passoverlay.h"
#include "lightelementmap.h"
#include "recordtable.h"
#include "savefilechooser.h"
#include "stationdialog.h"

#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QStandardPaths>
#include <QTableView>
#include <QtTest>

using namespace kesta;

using kesta::LimitLevel;
using kesta::test::Bytes;

namespace {

constexpr std::uint64_t T0 = 1796119200000; // 2026-12-01T10:00:00Z
constexpr int RssiBox = 2;

// HTRX telemetry: counter, movement flag, RSSI byte, then 43 bytes 1, 2, ...
Bytes HtrxFrame(std::uint16_t counter, std::uint8_t rssi)
{
    Bytes frame(18, 0);
    frame[17] = 1;
    for (std::uint8_t b : {static_cast<std::uint8_t>(counter >> 8),
                           static_cast<std::uint8_t>(counter), std::uint8_t{0}, rssi})
        frame.push_back(b);
    for (std::uint8_t i = 1; frame.size() < 64; ++i)
        frame.push_back(i);
    return frame;
}

// RSSI reads 32.946 - 0.289 * byte: 100 is 4.046 (the warning bound), 120 is -1.734 (the
// critical bound).
constexpr const char *RssiLimits = "[Rssi]\nwarning = { low = 4.046 }\ncritical = { low = -1.734 }\n";
constexpr std::array<std::uint8_t, 6> RssiBytes{50, 100, 101, 120, 121, 60};
constexpr std::array<LimitLevel, 6> Levels{LimitLevel::Ok,      LimitLevel::Ok,
                                           LimitLevel::Warning, LimitLevel::Warning,
                                           LimitLevel::Critical, LimitLevel::Ok};

class FakeSaveChooser : public SaveFileChooser
{
public:
    QString answer;
    QString suggested;
    Choice chooseSaveFile(QWidget *, const QString &, const QStringList &filters,
                          const QString &suggestedName) override
    {
        suggested = suggestedName;
        return {answer, filters.value(0)};
    }
};

} // namespace

class TestHealth : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init();
    void cleanup();

    void valueBoxesShowTheLevelEqualToABoundIsInside();
    void badLimitsFileKeepsTheLimitsInForce();
    void keysGoToTheRecordsOutsideLimits();
    void tableFiltersAndColoursRecordsOutsideLimits();
    void chartMarksThePointsOutsideLimits();
    void passReportIsTheCommandLinesWithTheStation();
    void choosingAPassShowsItsRecordsOnly();

private:
    bool loadLimits(const QByteArray &text);
    LimitLevel shownLevel() const;

    QTemporaryDir m_dir;
    QString m_log;
    kesta::ProgramState m_state;
    std::unique_ptr<Form1> m_form;
    QStringList m_errors;
};

void TestHealth::init()
{
    QSettings().remove(HealthWatch::settingsKey());
    Bytes log;
    for (std::size_t i = 0; i < RssiBytes.size(); ++i) {
        // Two passes: the last record comes an hour after the others.
        const std::uint64_t at = T0 + (i == RssiBytes.size() - 1 ? 3600000 : i * 1000);
        log = kesta::test::Concat({log, kesta::test::Kiss(kesta::test::Timestamp(at)),
                                   kesta::test::Kiss(HtrxFrame(static_cast<std::uint16_t>(i + 1),
                                                               RssiBytes[i]))});
    }
    m_log = m_dir.filePath(QStringLiteral("pass.kss"));
    QVERIFY(fixture::writeFile(m_log, QByteArray(reinterpret_cast<const char *>(log.data()),
                                                 static_cast<qsizetype>(log.size()))));
    m_state = {};
    m_form = std::make_unique<Form1>(m_state);
    m_errors.clear();
    m_form->health()->setErrorHandler([this](const QString &text) { m_errors << text; });
    QVERIFY(fixture::openAndWait(*m_form, m_log));
    QVERIFY(loadLimits(RssiLimits));
}

void TestHealth::cleanup()
{
    m_form.reset();
    QSettings().remove(HealthWatch::settingsKey());
}

bool TestHealth::loadLimits(const QByteArray &text)
{
    const QString path = m_dir.filePath(QStringLiteral("limits.toml"));
    if (!fixture::writeFile(path, text) || !m_form->health()->loadLimitsFile(path))
        return false;
    // The log on view is decoded again to count the whole of it.
    return QTest::qWaitFor([this] { return !m_form->isRunning(); }, 20000);
}

LimitLevel TestHealth::shownLevel() const
{
    auto *frame = m_form->findChild<QWidget *>(QStringLiteral("Text1_%1_Limit").arg(RssiBox));
    if (!frame || frame->isHidden())
        return LimitLevel::Ok;
    auto *box = m_form->findChild<QWidget *>(QStringLiteral("Text1_%1").arg(RssiBox));
    return box->toolTip().startsWith(QStringLiteral("critical")) ? LimitLevel::Critical
                                                                  : LimitLevel::Warning;
}

void TestHealth::valueBoxesShowTheLevelEqualToABoundIsInside()
{
    auto *box = m_form->findChild<QWidget *>(QStringLiteral("Text1_%1").arg(RssiBox));
    for (int record = 1; record <= static_cast<int>(Levels.size()); ++record) {
        m_form->goToRecord(record);
        QCOMPARE(shownLevel(), Levels[static_cast<std::size_t>(record - 1)]);
        QCOMPARE(box->accessibleDescription(), box->toolTip());
    }
    m_form->goToRecord(5);
    QCOMPARE(box->toolTip(), QStringLiteral("critical: -2.023 dbuV below -1.734"));
    m_form->goToRecord(1);
    QVERIFY(box->toolTip().isEmpty());
    const QLabel *status = m_form->health()->statusLabel();
    QCOMPARE(status->accessibleName(), QStringLiteral("2 records in warning, 1 in critical"));
    QVERIFY(status->toolTip().contains(QStringLiteral("limits.toml")));
}

void TestHealth::badLimitsFileKeepsTheLimitsInForce()
{
    const auto before = m_form->health()->limits();
    QVERIFY(!loadLimits("[Rssi]\nwarning = [5, 1]\n"));
    QCOMPARE(m_errors.size(), 1);
    QVERIFY2(m_errors.first().contains(QStringLiteral("limits.toml:2:")), qPrintable(m_errors.first()));
    QCOMPARE(m_form->health()->limits(), before);
    m_form->goToRecord(5);
    QCOMPARE(shownLevel(), LimitLevel::Critical);
}

void TestHealth::keysGoToTheRecordsOutsideLimits()
{
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    auto *scroll = m_form->findChild<QScrollBar *>(QStringLiteral("HScroll1"));
    m_form->goToRecord(1);
    QList<int> visited;
    for (int i = 0; i < 4; ++i) {
        QTest::keyClick(m_form.get(), Qt::Key_Right, Qt::ControlModifier | Qt::ShiftModifier);
        visited << scroll->value();
    }
    QCOMPARE(visited, (QList<int>{3, 4, 5, 5})); // stays on the last one outside
    QTest::keyClick(m_form.get(), Qt::Key_Left, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(scroll->value(), 4);
}

void TestHealth::tableFiltersAndColoursRecordsOutsideLimits()
{
    m_form->showRecordTable();
    RecordTable *table = m_form->recordTable();
    QVERIFY(table->outsideOnlyBox()->isEnabled());
    table->outsideOnlyBox()->setChecked(true);
    QList<int> shown;
    for (int row = 0; row < table->filter()->rowCount(); ++row)
        shown << table->filter()->index(row, 0).data().toInt();
    QCOMPARE(shown, (QList<int>{3, 4, 5}));

    const int rssiColumn = [&] {
        for (int c = 0; c < table->model()->columnCount(); ++c)
            if (table->model()->fieldOf(c) == kesta::Field::Rssi)
                return c;
        return -1;
    }();
    const QVariant warning = table->model()->index(2, rssiColumn).data(Qt::BackgroundRole);
    const QVariant critical = table->model()->index(4, rssiColumn).data(Qt::BackgroundRole);
    QVERIFY(warning.isValid() && critical.isValid() && warning != critical);
    QVERIFY(!table->model()->index(1, rssiColumn).data(Qt::BackgroundRole).isValid());

    QVERIFY(m_form->health()->loadLimitsFile(QString())); // limits taken away
    QTRY_VERIFY_WITH_TIMEOUT(!m_form->isRunning(), 20000);
    QVERIFY(!table->outsideOnlyBox()->isEnabled());
    QCOMPARE(table->filter()->rowCount(), static_cast<int>(Levels.size()));
}

void TestHealth::chartMarksThePointsOutsideLimits()
{
    m_form->optionClicked(RssiBox);
    ParameterChart *chart = m_form->chart();
    QCOMPARE(chart->markedRecords(LimitLevel::Warning), (QList<int>{3, 4}));
    QCOMPARE(chart->markedRecords(LimitLevel::Critical), (QList<int>{5}));
    m_form->optionClicked(3); // a field without limits
    QVERIFY(chart->markedRecords(LimitLevel::Warning).isEmpty());
}

void TestHealth::passReportIsTheCommandLinesWithTheStation()
{
    FakeSaveChooser chooser;
    chooser.answer = m_dir.filePath(QStringLiteral("windows.html"));
    m_form->setSaveChooser(&chooser);
    StationDialog::setForThisRun(QStringLiteral("Hill"));
    QSignalSpy done(m_form->health()->passReport(), &PassReportCommand::finished);
    m_form->health()->savePassReport();
    QVERIFY(done.count() == 1 || done.wait(20000));
    StationDialog::setForThisRun(QString());
    QCOMPARE(chooser.suggested, QStringLiteral("pass-passes.html"));

    kesta::DecodeOptions options;
    options.logPath = QFile::encodeName(m_log).toStdString();
    options.writeDump = false;
    options.writeTlm = false;
    options.limitsPath = QFile::encodeName(m_form->health()->limitsPath()).toStdString();
    options.station = "Hill";
    options.htmlReportPath = QFile::encodeName(m_dir.filePath(QStringLiteral("cli.html"))).toStdString();
    QCOMPARE(kesta::RunDecodeCommand(options).exitCode, 0);

    const QByteArray windows = fixture::readAll(chooser.answer);
    QVERIFY(windows.contains("<th>Station</th><td>Hill</td>"));
    QCOMPARE(windows.count("<h2>Pass "), 2);
    QCOMPARE(windows, fixture::readAll(m_dir.filePath(QStringLiteral("cli.html"))));
}

// Records 1 to 5 are one pass, record 6 (an hour later) another.
void TestHealth::choosingAPassShowsItsRecordsOnly()
{
    PassView *passes = m_form->passView();
    QCOMPARE(passes->passes().size(), std::size_t{2});
    m_form->optionClicked(RssiBox);
    m_form->showRecordTable();
    m_form->showLightElementMap();
    auto *scroll = m_form->findChild<QScrollBar *>(QStringLiteral("HScroll1"));

    passes->choose(2);
    QCOMPARE(m_form->chart()->points().size(), 1);
    QCOMPARE(m_form->chart()->points().first().x(), 6.0);
    QCOMPARE(m_form->recordTable()->filter()->rowCount(), 1);
    QCOMPARE(m_form->lightElementMap()->columnCount(), 1);
    QCOMPARE(scroll->value(), 6); // the pass's first record is shown

    passes->choose(1);
    QCOMPARE(m_form->chart()->points().size(), 5);
    QCOMPARE(m_form->chart()->markedRecords(LimitLevel::Critical), (QList<int>{5}));
    QCOMPARE(m_form->recordTable()->filter()->rowCount(), 5);

    passes->choose(0);
    QCOMPARE(m_form->chart()->points().size(), 6);
    m_form->showPassOverlay(); // one line per pass, over seconds since its start
    QCOMPARE(m_form->passOverlay()->lineCount(), 2);
    QCOMPARE(m_form->recordTable()->filter()->rowCount(), 6);
    // A log opened again shows all its passes.
    passes->choose(2);
    m_form->reloadLog();
    QTRY_VERIFY_WITH_TIMEOUT(!m_form->isRunning(), 20000);
    QCOMPARE(passes->chosen(), 0);
    QCOMPARE(m_form->recordTable()->filter()->rowCount(), 6);
    // The log without its second pass: the overlay left open shows the one pass left.
    const Bytes second =
        kesta::test::Concat({kesta::test::Kiss(kesta::test::Timestamp(T0 + 3600000)),
                             kesta::test::Kiss(HtrxFrame(6, RssiBytes[5]))});
    QVERIFY(QFile::resize(m_log, QFileInfo(m_log).size() - static_cast<qint64>(second.size())));
    m_form->reloadLog();
    QTRY_VERIFY_WITH_TIMEOUT(!m_form->isRunning(), 20000);
    QCOMPARE(passes->passes().size(), std::size_t{1});
    QTRY_COMPARE(m_form->passOverlay()->lineCount(), 1); // its legend laid out anew
}

QTEST_MAIN(TestHealth)
#include "tst_health.moc"
