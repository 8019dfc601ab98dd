// The views of all records and the export of the whole log: the light-element map, the record
// table and "Export Records...", on their own and through the main window.

#include "decode_command.h"
#include "form1.h"
#include "lightelementmap.h"
#include "lightelementrow.h"
#include "log_generator.h"
#include "program_state.h"
#include "record_export.h"
#include "recordtable.h"
#include "savefilechooser.h"
#include "value_text.h"

#include <QAction>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressDialog>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QAccessible>
#include <QtTest>
#include <memory>

using namespace kesta;

namespace {

// Answers the save dialog as a user would, and remembers what it was offered.
class FakeSaveChooser : public SaveFileChooser
{
public:
    Choice answer;
    QStringList offered;
    QString suggested;
    int asked = 0;
    Choice chooseSaveFile(QWidget *, const QString &, const QStringList &filters,
                          const QString &suggestedName) override
    {
        ++asked;
        offered = filters;
        suggested = suggestedName;
        return answer;
    }
};

class RecordingNotifier : public RunNotifier
{
public:
    QStringList errors;
    bool modal = false;           // keeps the event loop turning a while, as a message box does
    bool progressOverMessage = false; // a progress dialog showed while the message was up
    void notify(QWidget *, Severity severity, const QString &, const QString &text) override
    {
        if (severity == Severity::Error)
            errors << text;
        if (!modal)
            return;
        QTest::qWait(600); // longer than a progress dialog waits before it shows
        for (QWidget *w : QApplication::topLevelWidgets())
            progressOverMessage |= qobject_cast<QProgressDialog *>(w) && w->isVisible();
    }
};

// The light-element bytes of 64 readings.
std::vector<std::uint8_t> LightBytes(const std::array<int, 64> &readings)
{
    return {readings.begin(), readings.end()};
}

int ReadingOf(int record, int element)
{
    return (record * 7 + element * 3) % 40; // beyond 32 the colour stays full yellow
}

void AddFss(kesta::RecordStore &store, int n, const std::vector<std::uint8_t> &lights)
{
    kesta::TelemetryRecord &r = store[static_cast<std::int16_t>(n)];
    r.Type = kesta::FrameType::Fss;
    r.FrameKind = kesta::FrameKind::FssNormal;
    r.Written.set(kesta::Field::FrameKind);
    r.LightElements = {};
    std::copy(lights.begin(), lights.end(), r.LightElements.begin());
    r.Written.set(kesta::Field::LightElements);
    store.RecordCount = std::max<std::int16_t>(store.RecordCount, static_cast<std::int16_t>(n));
}

void AddHtrx(kesta::RecordStore &store, int n, double rssi)
{
    kesta::TelemetryRecord &r = store[static_cast<std::int16_t>(n)];
    r.Type = kesta::FrameType::Htrx;
    r.FrameKind = kesta::FrameKind::Htrx;
    r.Written.set(kesta::Field::FrameKind);
    r.Rssi = rssi;
    r.Written.set(kesta::Field::Rssi);
    store.RecordCount = std::max<std::int16_t>(store.RecordCount, static_cast<std::int16_t>(n));
}

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestRecordViews : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<kesta::ProgramState> state;
    std::unique_ptr<QTemporaryDir> folder;

    // Records 1 FSS, 2 HTRX (no light elements), 3 FSS with only its first reading above 0,
    // 4 FSS.
    void fillMapStore()
    {
        for (int n : {1, 4}) {
            std::array<int, 64> readings{};
            for (int e = 1; e <= 64; ++e)
                readings[static_cast<std::size_t>(e - 1)] = ReadingOf(n, e);
            AddFss(state->store, n, LightBytes(readings));
        }
        AddHtrx(state->store, 2, -5);
        AddFss(state->store, 3, {0x0A});
    }

    // Writes a generated pass as `name` in the folder; returns its path.
    QString writeLog(const QString &name, kesta::loggen::GeneratorOptions options)
    {
        const std::vector<std::uint8_t> bytes = kesta::loggen::GenerateLog(options);
        const QString path = folder->filePath(name);
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size()));
        return path;
    }

    QPoint cellCentre(const LightElementMap &map, int column, int element) const
    {
        const QRect plot = map.plotRect();
        return {plot.left() + int((column + 0.5) * plot.width() / map.columnCount()),
                plot.top() + int((64 - element + 0.5) * plot.height() / 64.0)};
    }

    QStringList columnTexts(const RecordTable &table, int column) const
    {
        QStringList texts;
        const QAbstractItemModel *model = table.view()->model();
        for (int row = 0; row < model->rowCount(); ++row)
            texts << model->index(row, column).data().toString();
        return texts;
    }

    int columnOf(const RecordTableModel &model, kesta::Field field) const
    {
        for (int c = 0; c < model.columnCount(); ++c)
            if (model.fieldOf(c) == field)
                return c;
        return -1;
    }

private slots:
    void init()
    {
        QLocale::setDefault(QLocale::c());
        state = std::make_unique<kesta::ProgramState>();
        folder = std::make_unique<QTemporaryDir>();
        QVERIFY(folder->isValid());
    }
    void cleanup()
    {
        state.reset();
        folder.reset();
        QLocale::setDefault(QLocale::c());
    }

    void mapPixelHasTheColourOfItsReading_data()
    {
        QTest::addColumn<int>("record");
        QTest::addColumn<int>("element");
        QTest::addColumn<QColor>("color");
        for (int record : {1, 4})
            for (int element : {1, 2, 33, 63, 64})
                QTest::addRow("record %d element %d", record, element)
                    << record << element
                    << LightElementRow::readingColor(ReadingOf(record, element));
        QTest::newRow("no light elements") << 2 << 10 << LightElementMap::NoReadingColor;
        QTest::newRow("first reading") << 3 << 1 << LightElementRow::readingColor(0x0A);
        QTest::newRow("reading 0") << 3 << 2 << LightElementRow::readingColor(0);
    }
    void mapPixelHasTheColourOfItsReading()
    {
        QFETCH(int, record);
        QFETCH(int, element);
        QFETCH(QColor, color);
        fillMapStore();
        LightElementMap map(state->store);
        QCOMPARE(map.columnCount(), 4);
        QCOMPARE(map.recordAt(record - 1), record);
        // Element 1 is the bottom row.
        QCOMPARE(map.image().pixelColor(record - 1, 64 - element), color);
        // What is drawn on screen is the same picture.
        map.resize(700, 400);
        const QImage shown = map.canvas()->grab().toImage();
        const qreal ratio = shown.devicePixelRatio();
        const QPoint centre = cellCentre(map, record - 1, element) * ratio;
        QCOMPARE(shown.pixelColor(centre).rgb(), color.rgb());
    }

    void mapHoverAndClickFindRecordAndElement()
    {
        fillMapStore();
        LightElementMap map(state->store);
        map.resize(700, 400);
        map.show();
        QVERIFY(QTest::qWaitForWindowExposed(&map));
        QSignalSpy clicked(&map, &LightElementMap::recordClicked);

        QTest::mouseMove(map.canvas(), cellCentre(map, 3, 40));
        QTRY_COMPARE(map.hoverText(),
                     QStringLiteral("Record 4, element 40: reading %1").arg(ReadingOf(4, 40)));
        // The read-out is named by the reading, for a screen reader.
        QCOMPARE(map.findChild<QLabel *>(QStringLiteral("LightMapHover"))->accessibleName(),
                 map.hoverText());
        QTest::mouseClick(map.canvas(), Qt::LeftButton, {}, cellCentre(map, 3, 40));
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(clicked.at(0).at(0).toInt(), 4);

        QTest::mouseMove(map.canvas(), cellCentre(map, 1, 64));
        QTRY_VERIFY(map.hoverText().startsWith(QStringLiteral("Record 2")));
        QVERIFY(map.hoverText().contains(QStringLiteral("no light elements")));

        // Outside the cells: nothing said, nothing clicked.
        QTest::mouseMove(map.canvas(), QPoint(2, 2));
        QTRY_VERIFY(map.hoverText().isEmpty());
        QTest::mouseClick(map.canvas(), Qt::LeftButton, {}, QPoint(2, 2));
        QCOMPARE(clicked.count(), 1);
    }

    // A log without timestamps: the map falls back to record numbers, as the chart does.
    void mapWithoutReceptionTimesKeepsRecordNumbers()
    {
        fillMapStore();
        LightElementMap map(state->store);
        map.setTimeAxis(true);
        QVERIFY(!map.timeAxis());
        QCOMPARE(map.columnCount(), 4);
        QCOMPARE(map.recordAt(3), 4);
        state->store[2].ReceptionTime = 1796119200000;
        map.refresh();
        QVERIFY(map.timeAxis());
        QCOMPARE(map.columnCount(), 1);
    }

    void mapOnTheTimeAxisPlacesRecordsByReceptionTime()
    {
        fillMapStore();
        state->store[1].ReceptionTime = 1796119200000;
        state->store[3].ReceptionTime = 1796119260000; // a minute later
        state->store[4].ReceptionTime = 1796119230000; // between, though later in the log
        LightElementMap map(state->store);
        map.setTimeAxis(true);
        // Record 2 has no time and no place; the others in the order of their times.
        QCOMPARE(map.columnCount(), 3);
        QCOMPARE(map.recordAt(0), 1);
        QCOMPARE(map.recordAt(1), 4);
        QCOMPARE(map.recordAt(2), 3);
        QCOMPARE(map.image().pixelColor(1, 64 - 33),
                 LightElementRow::readingColor(ReadingOf(4, 33)));
        map.setTimeAxis(false);
        QCOMPARE(map.columnCount(), 4);
    }

    void mapTellsScreenReadersWhatItShows()
    {
        fillMapStore();
        LightElementMap map(state->store);
        const QString description = map.canvas()->accessibleDescription();
        QVERIFY2(description.contains(QStringLiteral("4 records, 3 of them with readings")),
                 qPrintable(description));
        QVERIFY2(description.contains(QStringLiteral("readings from 0 to 39")),
                 qPrintable(description));
        QVERIFY(!map.canvas()->accessibleName().isEmpty());
        // A window holding a picture, not two fillers.
        QCOMPARE(QAccessible::queryAccessibleInterface(&map)->role(), QAccessible::Window);
        QCOMPARE(QAccessible::queryAccessibleInterface(map.canvas())->role(),
                 QAccessible::Graphic);
    }

    // Without a mouse: Tab reaches the map, the arrows point at cells and read them out,
    // Enter shows the record.
    void mapIsUsableByKeyboard()
    {
        fillMapStore();
        LightElementMap map(state->store);
        map.resize(700, 400);
        map.show();
        QVERIFY(QTest::qWaitForWindowExposed(&map));
        QSignalSpy clicked(&map, &LightElementMap::recordClicked);
        QVERIFY(map.canvas()->focusPolicy() & Qt::TabFocus);
        map.canvas()->setFocus();
        QTRY_VERIFY(map.canvas()->hasFocus());
        QCOMPARE(map.hoverText(),
                 QStringLiteral("Record 1, element 64: reading %1").arg(ReadingOf(1, 64)));
        const struct
        {
            Qt::Key key;
            QString text;
        } steps[] = {
            {Qt::Key_End, QStringLiteral("Record 4, element 64: reading %1").arg(ReadingOf(4, 64))},
            {Qt::Key_Down, QStringLiteral("Record 4, element 63: reading %1").arg(ReadingOf(4, 63))},
            {Qt::Key_Left, QStringLiteral("Record 3, element 63: reading 0")},
            {Qt::Key_Home, QStringLiteral("Record 1, element 63: reading %1").arg(ReadingOf(1, 63))},
            {Qt::Key_Left, QStringLiteral("Record 1, element 63: reading %1").arg(ReadingOf(1, 63))},
            {Qt::Key_Right, QStringLiteral("Record 2 (HTRX Telemetry): no light elements")},
        };
        for (const auto &step : steps) {
            QTest::keyClick(map.canvas(), step.key);
            QCOMPARE(map.hoverText(), step.text);
        }
        QTest::keyClick(map.canvas(), Qt::Key_Return);
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(clicked.at(0).at(0).toInt(), 2);
    }

    void mapSavesAPngThroughTheChooser()
    {
        fillMapStore();
        LightElementMap map(state->store);
        map.resize(600, 300);
        FakeSaveChooser chooser;
        chooser.answer.path = folder->filePath(QStringLiteral("map.png"));
        map.setSaveChooser(&chooser);
        map.saveImageAs();
        QCOMPARE(chooser.asked, 1);
        QImage saved(chooser.answer.path, "PNG");
        QVERIFY(!saved.isNull());
        QCOMPARE(saved.size(), map.canvas()->grab().toImage().size());
    }

    // Esc and Ctrl+W close the map and the table, as they close a dialog.
    void viewsCloseOnEscAndCtrlW_data()
    {
        QTest::addColumn<bool>("table");
        QTest::addColumn<QKeySequence>("keys");
        QTest::newRow("map, Esc") << false << QKeySequence(Qt::Key_Escape);
        QTest::newRow("map, Ctrl+W") << false << QKeySequence(Qt::CTRL | Qt::Key_W);
        QTest::newRow("table, Esc") << true << QKeySequence(Qt::Key_Escape);
        QTest::newRow("table, Ctrl+W") << true << QKeySequence(Qt::CTRL | Qt::Key_W);
    }
    void viewsCloseOnEscAndCtrlW()
    {
        QFETCH(bool, table);
        QFETCH(QKeySequence, keys);
        fillMapStore();
        std::unique_ptr<QWidget> window;
        if (table)
            window = std::make_unique<RecordTable>(state->store);
        else
            window = std::make_unique<LightElementMap>(state->store);
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QTest::keySequence(window.get(), keys);
        QTRY_VERIFY(!window->isVisible());
    }

    void tableSortsByTheNumberNotTheText()
    {
        QLocale::setDefault(QLocale(QLocale::German)); // "," as decimal separator
        AddHtrx(state->store, 1, -2);
        AddHtrx(state->store, 2, -10);
        AddFss(state->store, 3, {0x00}); // no RSSI: an empty cell, sorted last
        AddHtrx(state->store, 4, 5.5);
        AddHtrx(state->store, 5, 30);
        RecordTable table(state->store);
        const int rssi = columnOf(*table.model(), kesta::Field::Rssi);
        QVERIFY(rssi > 0);
        QCOMPARE(table.model()->headerData(rssi, Qt::Horizontal).toString(),
                 QStringLiteral("RSSI [dbuV]"));

        table.view()->sortByColumn(rssi, Qt::AscendingOrder);
        QCOMPARE(columnTexts(table, rssi), (QStringList{"-10", "-2", "5,5", "30", ""}));
        QCOMPARE(columnTexts(table, RecordTableModel::RecordColumn),
                 (QStringList{"2", "1", "4", "5", "3"}));
        table.view()->sortByColumn(rssi, Qt::DescendingOrder);
        QCOMPARE(columnTexts(table, rssi).mid(0, 4), (QStringList{"30", "5,5", "-2", "-10"}));
    }

    void tableFiltersByFrameKind_data()
    {
        QTest::addColumn<int>("entry");
        QTest::addColumn<QStringList>("records");
        QTest::newRow("All") << 0 << QStringList{"1", "2", "3", "4", "5", "6"};
        QTest::newRow("HTRX") << 1 << QStringList{"1"};
        // Record 5 is an FSS frame whose mode names no kind: grouped by its type.
        QTest::newRow("FSS") << 2 << QStringList{"2", "3", "5"};
        QTest::newRow("FSS Hi-Mode") << 3 << QStringList{"4"};
        QTest::newRow("other") << 4 << QStringList{"6"};
    }
    void tableFiltersByFrameKind()
    {
        QFETCH(int, entry);
        QFETCH(QStringList, records);
        using kesta::FrameKind;
        using kesta::FrameType;
        const std::pair<FrameType, FrameKind> kinds[] = {
            {FrameType::Htrx, FrameKind::Htrx},    {FrameType::Fss, FrameKind::FssNormal},
            {FrameType::Fss, FrameKind::FssMessage}, {FrameType::FssHi, FrameKind::FssHiMode},
            {FrameType::Fss, FrameKind::None},     {FrameType::None, FrameKind::None}};
        for (int n = 1; n <= 6; ++n) {
            kesta::TelemetryRecord &r = state->store[static_cast<std::int16_t>(n)];
            std::tie(r.Type, r.FrameKind) = kinds[n - 1];
        }
        state->store.RecordCount = 6;
        RecordTable table(state->store);
        table.setKindFilter(entry);
        QCOMPARE(columnTexts(table, RecordTableModel::RecordColumn), records);
    }

    void tableCopiesTheChosenRowsAsTheCsvExport()
    {
        AddHtrx(state->store, 1, -2.25);
        AddFss(state->store, 2, {0x01, 0x02});
        state->store[2].MessageText = "=HYPERLINK(\"x\"), ok";
        state->store[2].Written.set(kesta::Field::MessageText);
        AddHtrx(state->store, 3, 7);
        RecordTable table(state->store);
        table.view()->sortByColumn(RecordTableModel::RecordColumn, Qt::DescendingOrder);
        table.view()->selectRow(0); // record 3
        table.view()->selectionModel()->select(table.view()->model()->index(1, 0),
                                               QItemSelectionModel::Select |
                                                   QItemSelectionModel::Rows); // record 2

        kesta::RecordExporter exporter(kesta::RecordExporter::Format::Csv);
        std::string expected;
        exporter.appendHeader(expected);
        exporter.appendRecord(expected, 3, state->store[3]);
        exporter.appendRecord(expected, 2, state->store[2]);
        const QString copied = table.copySelection();
        QCOMPARE(copied, QString::fromStdString(expected));
        QCOMPARE(QGuiApplication::clipboard()->text(), copied);
    }

    void viewsFollowTheRunAndMoveTheMainWindow()
    {
        kesta::loggen::GeneratorOptions options;
        options.frames = 60;
        const QString log = writeLog(QStringLiteral("pass.kss"), options);
        Form1 form(*state);
        form.show();
        // Opened from the menu before any log: empty, then filled by the run.
        form.menuBar()->findChild<QAction *>(QStringLiteral("MenuViewLightMap"))->trigger();
        form.menuBar()->findChild<QAction *>(QStringLiteral("MenuViewRecordTable"))->trigger();
        LightElementMap *map = form.lightElementMap();
        RecordTable *table = form.recordTable();
        QVERIFY(map && table);
        QCOMPARE(map->columnCount(), 0);
        QCOMPARE(table->model()->rowCount(), 0);

        form.openLog(log);
        QTRY_VERIFY_WITH_TIMEOUT(!form.isRunning(), 20000);
        QCOMPARE(map->columnCount(), 60);
        QCOMPARE(table->model()->rowCount(), 60);

        auto *scroll = form.findChild<QScrollBar *>(QStringLiteral("HScroll1"));
        table->view()->sortByColumn(RecordTableModel::RecordColumn, Qt::DescendingOrder);
        table->view()->selectRow(2); // record 58
        QCOMPARE(scroll->value(), 58);
        QCOMPARE(form.valueText(14),
                 QString::fromStdString(
                     kesta::FieldValueText(state->store[58], kesta::Field::LightElements)));

        map->resize(700, 400);
        QTest::mouseClick(map->canvas(), Qt::LeftButton, {}, cellCentre(*map, 9, 5));
        QCOMPARE(scroll->value(), 10);
    }

    void exportIsWhatKestaDecodeWrites_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("option");
        QTest::newRow("CSV") << "CSV (*.csv)"
                             << "csv";
        QTest::newRow("JSON Lines") << "JSON Lines (*.jsonl)"
                                    << "jsonl";
        QTest::newRow("line protocol") << "InfluxDB line protocol (*.lp)"
                                       << "lp";
        // The name's ending decides over the filter in force.
        QTest::newRow("JSON Lines by name") << "CSV (*.csv)"
                                            << "jsonl";
        QTest::newRow("CSV by name") << "InfluxDB line protocol (*.lp)"
                                     << "csv";
    }
    void exportIsWhatKestaDecodeWrites()
    {
        QFETCH(QString, filter);
        QFETCH(QString, option);
        kesta::loggen::GeneratorOptions options;
        options.frames = 1200; // more than the record view holds
        options.malformed = true;
        const QString log = writeLog(QStringLiteral("pass.kss"), options);
        state->InputPath = QFile::encodeName(log).toStdString();

        Form1 form(*state);
        FakeSaveChooser chooser;
        chooser.answer = {folder->filePath(QStringLiteral("records.") + option), filter};
        form.setSaveChooser(&chooser);
        RecordingNotifier notifier;
        form.setNotifier(&notifier);
        QSignalSpy ended(&form, &Form1::exportEnded);
        form.exportRecords();
        QTRY_VERIFY_WITH_TIMEOUT(!form.isExporting(), 20000);
        QCOMPARE(ended.count(), 1);
        QVERIFY(notifier.errors.isEmpty());
        QCOMPARE(chooser.offered.mid(0, 2), (QStringList{"CSV (*.csv)", "JSON Lines (*.jsonl)"}));
        QCOMPARE(chooser.suggested, QStringLiteral("pass.csv"));
        // The message names the file and is read whole: the record's fields make room.
        const QString message = form.statusBar()->currentMessage();
        QVERIFY2(message.endsWith(QStringLiteral(" records exported to records.") + option),
                 qPrintable(message));
        QVERIFY(!form.findChild<QWidget *>(QStringLiteral("RecordStatus"))->isVisibleTo(&form));

        kesta::DecodeOptions decode;
        decode.logPath = state->InputPath;
        decode.writeDump = false;
        decode.writeTlm = false;
        const std::string expectedPath =
            folder->filePath(QStringLiteral("decode.out")).toStdString();
        (option == QLatin1String("csv")     ? decode.csvPath
         : option == QLatin1String("jsonl") ? decode.jsonlPath
                                            : decode.influxPath) = expectedPath;
        QCOMPARE(kesta::RunDecodeCommand(decode).exitCode, kesta::ExitSuccess);
        const QByteArray expected = ReadAll(QString::fromStdString(expectedPath));
        QVERIFY(!expected.isEmpty());
        QCOMPARE(ReadAll(chooser.answer.path), expected);
    }

    void exportRefusesTheLogAndItsFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reason");
        QTest::newRow("the log") << "pass.kss"
                                 << "it is the log";
        QTest::newRow("the dump file") << "pass.dmp"
                                       << "dump file";
        QTest::newRow("the TLM file") << "pass.tlm"
                                      << "TLM file";
        // Folders that cannot take the file: said with the system's reason, nothing left.
        QTest::newRow("no such folder") << "gone/records.csv"
                                        << "No such file or directory";
        QTest::newRow("a file as folder") << "pass.kss/records.csv"
                                          << "Not a directory";
    }
    void exportRefusesTheLogAndItsFiles()
    {
        QFETCH(QString, name);
        QFETCH(QString, reason);
        kesta::loggen::GeneratorOptions options;
        options.frames = 20;
        const QString log = writeLog(QStringLiteral("pass.kss"), options);
        const QByteArray logBytes = ReadAll(log);
        QFile dump(folder->filePath(QStringLiteral("pass.dmp")));
        QVERIFY(dump.open(QIODevice::WriteOnly));
        dump.write("old dump\r\n");
        dump.close();
        state->InputPath = QFile::encodeName(log).toStdString();
        const QStringList before = QDir(folder->path()).entryList(QDir::Files);

        Form1 form(*state);
        FakeSaveChooser chooser;
        // Another spelling of the same file.
        chooser.answer = {folder->path() + QStringLiteral("/./") + name,
                          QStringLiteral("CSV (*.csv)")};
        form.setSaveChooser(&chooser);
        RecordingNotifier notifier;
        notifier.modal = true;
        form.setNotifier(&notifier);
        form.show();
        form.exportRecords();
        QTRY_VERIFY_WITH_TIMEOUT(!form.isExporting(), 20000);

        // The refusal comes alone: no progress over it, nothing left open after it.
        QCOMPARE(notifier.errors.size(), 1);
        QVERIFY(!notifier.progressOverMessage);
        QTRY_VERIFY(form.findChildren<QProgressDialog *>().isEmpty());
        QVERIFY2(notifier.errors.first().contains(chooser.answer.path),
                 qPrintable(notifier.errors.first()));
        QVERIFY2(notifier.errors.first().contains(reason), qPrintable(notifier.errors.first()));
        QCOMPARE(QDir(folder->path()).entryList(QDir::Files), before);
        QCOMPARE(ReadAll(log), logBytes);
        QCOMPARE(ReadAll(folder->filePath(QStringLiteral("pass.dmp"))), QByteArray("old dump\r\n"));
    }

    void cancelledExportKeepsTheEarlierFile()
    {
        kesta::loggen::GeneratorOptions options;
        options.targetBytes = 24u << 20; // long enough to be stopped half-way
        const QString log = writeLog(QStringLiteral("big.kss"), options);
        state->InputPath = QFile::encodeName(log).toStdString();
        const QString target = folder->filePath(QStringLiteral("records.csv"));
        QFile earlier(target);
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("earlier export\n");
        earlier.close();

        Form1 form(*state);
        FakeSaveChooser chooser;
        chooser.answer = {target, QStringLiteral("CSV (*.csv)")};
        form.setSaveChooser(&chooser);
        RecordingNotifier notifier;
        form.setNotifier(&notifier);
        form.exportRecords();
        QVERIFY(form.isExporting());
        form.cancelExport();
        QTRY_VERIFY_WITH_TIMEOUT(!form.isExporting(), 20000);

        QVERIFY(notifier.errors.isEmpty());
        QCOMPARE(ReadAll(target), QByteArray("earlier export\n"));
        QCOMPARE(QDir(folder->path()).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"big.kss", "records.csv"}));
    }
};

QTEST_MAIN(TestRecordViews)
#include "tst_record_views.moc"
