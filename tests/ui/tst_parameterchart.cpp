// The parameter chart explored in the main window: the read-out under the mouse, a click on
// a point, the marker at the shown record, zoom and pan, the time axis, saving and copying
// the chart, its numbers under the user's locale and its accessible description.

#include "chartexport.h"
#include "form1.h"
#include "log_generator.h"
#include "parameterchart.h"
#include "program_state.h"
#include "savefilechooser.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <QtTest>
#include <memory>

using namespace kesta;

namespace {

// 2026-12-01 10:00:00.000 UTC
constexpr qint64 StartMs = 1796119200000;

class FakeImageChooser : public SaveFileChooser
{
public:
    QString answer;
    int asked = 0;
    Choice chooseSaveFile(QWidget *, const QString &, const QStringList &filters,
                          const QString &) override
    {
        ++asked;
        return {answer, filters.value(0)};
    }
};

void moveMouse(QWidget *viewport, QPointF at)
{
    QMouseEvent move(QEvent::MouseMove, at, viewport->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
}

void turnWheel(QWidget *viewport, QPointF at, int notches)
{
    QWheelEvent wheel(at, viewport->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(viewport, &wheel);
}

QStringList sceneTexts(ParameterChart *chart)
{
    QStringList texts;
    for (QGraphicsItem *item : chart->scene()->items())
        if (auto *text = dynamic_cast<QGraphicsTextItem *>(item); text && text->isVisible())
            texts << text->toPlainText();
    return texts;
}

} // namespace

class TestParameterChart : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<kesta::ProgramState> state;
    std::unique_ptr<Form1> form;
    QTemporaryDir folder;

    ParameterChart *chart() const { return form->chart(); }
    QWidget *viewport() const { return form->chart()->viewport(); }
    QScrollBar *scrollBar() const { return form->findChild<QScrollBar *>("HScroll1"); }

    // Records 1 to `count`: RSSI n/3 and mode status 2n; record n received n seconds and n
    // ms after StartMs unless it is in `untimed`.
    void fillStore(int count, const QList<int> &untimed = {})
    {
        for (int n = 1; n <= count; ++n) {
            kesta::TelemetryRecord &r = state->store[static_cast<std::int16_t>(n)];
            r.Rssi = n / 3.0;
            r.ModeStatus = static_cast<std::uint8_t>(2 * n);
            r.Written.set(kesta::Field::Rssi);
            r.Written.set(kesta::Field::ModeStatus);
            r.ReceptionTime = untimed.contains(n) ? std::nullopt
                                                  : std::optional<std::int64_t>(StartMs + n * 1001);
        }
        state->store.RecordCount = static_cast<std::int16_t>(count);
    }

    void showForm()
    {
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    }

    // Opens a generated log of `frames` frames (with reception times) as the user would.
    void openGeneratedLog(int frames)
    {
        kesta::loggen::GeneratorOptions options;
        options.frames = static_cast<std::uint64_t>(frames);
        options.seed = 5;
        const std::vector<std::uint8_t> bytes = kesta::loggen::GenerateLog(options);
        const QString path = folder.filePath(QStringLiteral("pass.kss"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char *>(bytes.data()), static_cast<qint64>(bytes.size()));
        file.close();
        form->openLog(path);
        QTRY_VERIFY_WITH_TIMEOUT(!form->isRunning(), 20000);
        QCOMPARE(state->store.RecordCount, frames);
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setOrganizationName(QStringLiteral("KESTA-1"));
        QCoreApplication::setApplicationName(QStringLiteral("tst_parameterchart"));
    }
    void init()
    {
        QSettings().clear();
        QLocale::setDefault(QLocale::c());
        state = std::make_unique<kesta::ProgramState>();
        form = std::make_unique<Form1>(*state);
    }
    void cleanup()
    {
        form.reset();
        state.reset();
        QSettings().clear();
        QLocale::setDefault(QLocale::c());
    }

    void menusOfferTheChartCommands()
    {
        auto *file = form->findChild<QMenu *>(QStringLiteral("MnuFile"));
        QStringList captions;
        for (QAction *action : file->actions())
            captions << action->text();
        QVERIFY(file->actions().contains(chart()->saveChartAction()));
        QVERIFY(file->actions().contains(chart()->copyChartAction()));
        auto *settings = form->findChild<QMenu *>(QStringLiteral("MnuSettings"));
        QCOMPARE(settings->actions().last(), chart()->timeAxisAction());
        QCOMPARE(chart()->timeAxisAction()->text(), QStringLiteral("Time Axis"));
    }

    void hoverReadsOutTheNearestPoint_data()
    {
        QTest::addColumn<int>("parameter");
        QTest::addColumn<int>("record");
        QTest::addColumn<QPointF>("offset");
        QTest::addColumn<QString>("readout");
        QTest::newRow("on the point")
            << 2 << 3 << QPointF(0, 0) << "Record 3\n1 dbuV\n2026-12-01 10:00:03.003 UTC";
        QTest::newRow("beside it")
            << 2 << 6 << QPointF(4, -5) << "Record 6\n2 dbuV\n2026-12-01 10:00:06.006 UTC";
        QTest::newRow("decimals") << 2 << 4 << QPointF(-3, 3)
                                  << "Record 4\n1.33333333333333 dbuV\n2026-12-01 10:00:04.004 UTC";
        QTest::newRow("no time") << 2 << 5 << QPointF(0, 0)
                                 << "Record 5\n1.66666666666667 dbuV\nno time";
        QTest::newRow("no unit") << 13 << 7 << QPointF(2, 0)
                                 << "Record 7\n14\n2026-12-01 10:00:07.007 UTC";
    }
    void hoverReadsOutTheNearestPoint()
    {
        QFETCH(int, parameter);
        QFETCH(int, record);
        QFETCH(QPointF, offset);
        QFETCH(QString, readout);
        fillStore(10, {5});
        showForm();
        form->DrawParameterChart(static_cast<std::int16_t>(parameter));
        const auto at = chart()->pointPosition(record);
        QVERIFY(at);
        moveMouse(viewport(), *at + offset);
        QCOMPARE(chart()->readout(), readout);
        QCOMPARE(chart()->readoutRecord(), record);

        // Far from every point there is nothing to read; leaving the chart hides it too.
        moveMouse(viewport(), QPointF(viewport()->width() - 2, 2));
        QVERIFY(chart()->readout().isEmpty());
        moveMouse(viewport(), *at);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(chart(), &leave);
        QVERIFY(chart()->readout().isEmpty());
    }

    void clickOnAPointShowsItsRecord()
    {
        showForm();
        openGeneratedLog(40);
        form->optionClicked(2); // RSSI: HTRX frames only
        const QList<QPointF> points = chart()->points();
        QVERIFY(points.size() >= 3);
        const int record = static_cast<int>(points.at(points.size() / 2).x());
        const auto at = chart()->pointPosition(record);
        QVERIFY(at);
        QSignalSpy clicked(chart(), &ParameterChart::recordClicked);
        QTest::mouseClick(viewport(), Qt::LeftButton, {}, at->toPoint());
        QCOMPARE(clicked.size(), 1);
        QCOMPARE(scrollBar()->value(), record);
        QCOMPARE(form->findChild<QLineEdit *>("Text2")->text(),
                 QStringLiteral("#%1 / 40").arg(record));
        QCOMPARE(chart()->shownRecord(), record);

        // A click beside every point shows nothing else.
        QTest::mouseClick(viewport(), Qt::LeftButton, {}, QPoint(viewport()->width() - 2, 2));
        QCOMPARE(clicked.size(), 1);
        QCOMPARE(scrollBar()->value(), record);
    }

    void markerFollowsTheShownRecord()
    {
        showForm();
        openGeneratedLog(60);
        form->optionClicked(13);
        const QList<QPointF> points = chart()->points();
        for (int k : {0, 7, static_cast<int>(points.size()) - 1}) {
            const int record = static_cast<int>(points.at(k).x());
            scrollBar()->setValue(record);
            QCOMPARE(chart()->shownRecord(), record);
            QVERIFY(chart()->isMarkerVisible());
            QVERIFY(std::abs(chart()->markerPosition() - chart()->pointPosition(record)->x()) < 1);
        }
        // A record without the parameter's point still has its marker.
        scrollBar()->setValue(1);
        QVERIFY(chart()->isMarkerVisible());
        // Zoomed away from the shown record, the marker is out of view.
        chart()->showXRange(40, 50);
        QVERIFY(!chart()->isMarkerVisible());
        chart()->resetZoom();
        QVERIFY(chart()->isMarkerVisible());

        // A live session past 1000 frames: its records 101 to 1100, the newest shown.
        QList<QPointF> session;
        for (int number = 101; number <= 1100; ++number)
            session.append(QPointF(number, number % 7));
        chart()->setRowCount(1000, 101);
        chart()->setPoints(session);
        chart()->setShownRecord(1100);
        QVERIFY(chart()->isMarkerVisible());
        QVERIFY(std::abs(chart()->markerPosition() - chart()->pointPosition(1100)->x()) < 1);
    }

    // The record rule's labels where they fit; wider round steps where the numbers are
    // long (a live session past record 999,999): labels never overlap.
    void recordLabelsNeverOverlap_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<qint64>("first");
        QTest::addColumn<int>("ruleStep"); // 0: wider than the rule
        QTest::newRow("400 records") << 400 << qint64{1} << 20;
        QTest::newRow("1000 records") << 1000 << qint64{1} << 50;
        QTest::newRow("records 999401 to 1000400") << 1000 << qint64{999401} << 0;
        QTest::newRow("records 9999001 to 10000000") << 1000 << qint64{9999001} << 0;
    }
    void recordLabelsNeverOverlap()
    {
        QFETCH(int, rows);
        QFETCH(qint64, first);
        QFETCH(int, ruleStep);
        showForm();
        chart()->setRowCount(rows, first);
        QApplication::processEvents();
        const QAbstractAxis *axis = chart()->chart()->axes(Qt::Horizontal).constFirst();
        const double widest =
            QFontMetricsF(axis->labelsFont()).horizontalAdvance(QString::number(first + rows - 1));
        const double spacing =
            chart()->divisionsPerLabel() * chart()->chart()->plotArea().width() / rows;
        if (ruleStep != 0)
            QCOMPARE(chart()->divisionsPerLabel(), ruleStep);
        else
            QVERIFY2(
                spacing > widest,
                qPrintable(QStringLiteral("%1 px apart, %2 px wide").arg(spacing).arg(widest)));
    }

    void wheelZoomsAndResetShowsTheWholeRange_data()
    {
        QTest::addColumn<QString>("reset");
        QTest::newRow("double-click") << "double-click";
        QTest::newRow("Esc") << "Esc";
        QTest::newRow("Reset Zoom") << "action";
    }
    void wheelZoomsAndResetShowsTheWholeRange()
    {
        QFETCH(QString, reset);
        fillStore(400);
        showForm();
        form->DrawParameterChart(13);
        const QPointF full = chart()->fullXRange();
        QCOMPARE(chart()->visibleXRange(), full);
        QCOMPARE(chart()->divisionsPerLabel(), 20);

        // Four notches over record 100: a narrower span, record 100 still under the mouse.
        const QPointF at = *chart()->pointPosition(100);
        turnWheel(viewport(), at, 4);
        const QPointF zoomed = chart()->visibleXRange();
        QVERIFY(chart()->isZoomed());
        QVERIFY(zoomed.y() - zoomed.x() < 0.5 * (full.y() - full.x()));
        QVERIFY(std::abs(chart()->pointPosition(100)->x() - at.x()) < 2);
        QVERIFY(chart()->divisionsPerLabel() < 20); // a finer scale for the narrower span

        // Dragging pans: the span stays, the range moves.
        QTest::mousePress(viewport(), Qt::LeftButton, {}, at.toPoint());
        moveMouse(viewport(), at + QPointF(-60, 0));
        moveMouse(viewport(), at + QPointF(-100, 0));
        QTest::mouseRelease(viewport(), Qt::LeftButton, {}, (at + QPointF(-100, 0)).toPoint());
        const QPointF panned = chart()->visibleXRange();
        QVERIFY(panned.x() > zoomed.x());
        QCOMPARE(panned.y() - panned.x(), zoomed.y() - zoomed.x());
        QCOMPARE(scrollBar()->value(), 1); // a drag is no click

        if (reset == QLatin1String("double-click")) {
            QTest::mouseDClick(viewport(), Qt::LeftButton, {}, QPoint(5, 5));
        } else if (reset == QLatin1String("Esc")) {
            chart()->setFocus();
            QTest::keyClick(chart(), Qt::Key_Escape);
        } else {
            chart()->findChild<QAction *>(QStringLiteral("ChartResetZoom"))->trigger();
        }
        QVERIFY(!chart()->isZoomed());
        QCOMPARE(chart()->visibleXRange(), full);
        QCOMPARE(chart()->divisionsPerLabel(), 20); // the record rule again
    }

    // With the chart focused, the arrows pan it and leave the record alone; elsewhere
    // they go on stepping through the records.
    void arrowsPanTheFocusedChart()
    {
        showForm();
        openGeneratedLog(400);
        form->DrawParameterChart(13);
        chart()->zoomX(0.25, 200);
        const QPointF zoomed = chart()->visibleXRange();
        chart()->setFocus();
        QTRY_VERIFY(chart()->hasFocus());
        QTest::keyClick(chart(), Qt::Key_Right);
        QVERIFY(chart()->visibleXRange().x() > zoomed.x());
        QCOMPARE(scrollBar()->value(), 1);
        QTest::keyClick(chart(), Qt::Key_Left);
        QCOMPARE(chart()->visibleXRange(), zoomed);

        scrollBar()->setFocus();
        QTRY_VERIFY(scrollBar()->hasFocus());
        QTest::keyClick(scrollBar(), Qt::Key_Right);
        QCOMPARE(scrollBar()->value(), 2);
    }

    void shiftDragZoomsToTheDraggedSpan()
    {
        fillStore(200);
        showForm();
        form->DrawParameterChart(2);
        const QPointF from = *chart()->pointPosition(50);
        const QPointF to = *chart()->pointPosition(80);
        moveMouse(viewport(), from);
        QVERIFY(!chart()->readout().isEmpty());
        QTest::mousePress(viewport(), Qt::LeftButton, Qt::ShiftModifier, from.toPoint());
        moveMouse(viewport(), to);
        QVERIFY2(chart()->readout().isEmpty(), qPrintable(chart()->readout())); // not over the span
        QTest::mouseRelease(viewport(), Qt::LeftButton, Qt::ShiftModifier, to.toPoint());
        const QPointF range = chart()->visibleXRange();
        QVERIFY2(std::abs(range.x() - 50) < 1.5 && std::abs(range.y() - 80) < 1.5,
                 qPrintable(QStringLiteral("%1 to %2").arg(range.x()).arg(range.y())));
        // Zoom never goes beyond the records.
        for (int i = 0; i < 10; ++i)
            turnWheel(viewport(), from, -3);
        QCOMPARE(chart()->visibleXRange(), chart()->fullXRange());
    }

    void saveChartWritesPngAndSvg_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("svg");
        QTest::newRow("png") << "chart.png" << false;
        QTest::newRow("svg") << "chart.svg" << true;
        QTest::newRow("SVG") << "CHART.SVG" << true;
        QTest::newRow("other ending") << "chart.img" << false;
    }
    void saveChartWritesPngAndSvg()
    {
        QFETCH(QString, name);
        QFETCH(bool, svg);
        fillStore(50);
        showForm();
        form->DrawParameterChart(2);
        FakeImageChooser chooser;
        chooser.answer = folder.filePath(name);
        QFile::remove(chooser.answer);
        chart()->setSaveChooser(&chooser);
        form->findChild<QAction *>(QStringLiteral("ChartSave"))->trigger();
        QCOMPARE(chooser.asked, 1);

        QFile file(chooser.answer);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(!bytes.isEmpty());
        if (svg) {
            QVERIFY(bytes.startsWith("<?xml") || bytes.startsWith("<svg"));
            QVERIFY(bytes.contains("</svg>"));
            // The picture is titled with the parameter's name; the window is not.
            const QByteArray title = chart()->parameterName().toHtmlEscaped().toUtf8();
            QVERIFY2(bytes.contains(">" + title + "</text>"), bytes.left(3000).constData());
            QVERIFY(chart()->chart()->title().isEmpty());
        } else {
            QImage image;
            QVERIFY(image.loadFromData(bytes, "PNG"));
            QCOMPARE(image.size(), viewport()->size() * 2);
        }
        // No temporary stays behind.
        const QStringList left = QDir(folder.path()).entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(
            left.filter(QRegularExpression(QLatin1Char('^') + QRegularExpression::escape(name))),
            QStringList{name});
    }

    void cancelledSaveWritesNothingAndCopyFillsTheClipboard()
    {
        fillStore(50);
        showForm();
        form->DrawParameterChart(2);
        FakeImageChooser chooser; // answers empty text: cancelled
        chart()->setSaveChooser(&chooser);
        const QStringList before = QDir(folder.path()).entryList(QDir::Files | QDir::Hidden);
        chart()->saveChartAction()->trigger();
        QCOMPARE(chooser.asked, 1);
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), before);

        QApplication::clipboard()->clear();
        form->findChild<QAction *>(QStringLiteral("ChartCopy"))->trigger();
        const QImage copied = QApplication::clipboard()->image();
        QCOMPARE(copied.size(), viewport()->size() * 2);
    }

    void numbersFollowTheLocale_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("separator");
        QTest::newRow("German") << QLocale(QLocale::German) << ",";
        QTest::newRow("C") << QLocale::c() << ".";
    }
    void numbersFollowTheLocale()
    {
        QFETCH(QLocale, locale);
        QFETCH(QString, separator);
        QLocale::setDefault(locale);
        fillStore(4);
        showForm();
        form->DrawParameterChart(2); // RSSI 1/3 to 4/3: axis ticks 0.2, 0.4, ...
        QApplication::processEvents();
        const QString other = separator == QLatin1String(",") ? "." : ",";
        bool decimal = false;
        for (const QString &text : sceneTexts(chart())) {
            QVERIFY2(!text.contains(other), qPrintable(text));
            decimal = decimal || text.contains(separator);
        }
        QVERIFY(decimal);
        moveMouse(viewport(), *chart()->pointPosition(1));
        QVERIFY(chart()->readout().contains(QStringLiteral("0") + separator +
                                            QStringLiteral("333333333333333 dbuV")));
    }

    void timeAxisIsOfferedOnlyWithTimesAndRemembered()
    {
        QAction *timeAxis = chart()->timeAxisAction();
        fillStore(10, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
        form->DrawParameterChart(2);
        QVERIFY(!timeAxis->isEnabled());
        QCOMPARE(chart()->xAxisTitle(), QStringLiteral("Record"));

        fillStore(10, {4});
        showForm();
        form->DrawParameterChart(2);
        QVERIFY(timeAxis->isEnabled());
        QVERIFY(!timeAxis->isChecked());
        timeAxis->trigger();
        QVERIFY(chart()->isTimeAxis());
        QCOMPARE(chart()->xAxisTitle(), QStringLiteral("Reception time (UTC)"));
        // The points are at their times; the one without a time is left out.
        const QPointF range = chart()->fullXRange();
        QVERIFY(range.x() < StartMs + 1001 && range.y() > StartMs + 10010);
        QVERIFY(range.y() - range.x() < 20000);
        QVERIFY(!chart()->pointPosition(4));
        moveMouse(viewport(), *chart()->pointPosition(2));
        QCOMPARE(chart()->readout(), QStringLiteral("Record 2\n0.666666666666667 dbuV\n"
                                                    "2026-12-01 10:00:02.002 UTC"));
        QApplication::processEvents();
        QVERIFY2(sceneTexts(chart()).contains(QStringLiteral("10:00:06")),
                 qPrintable(sceneTexts(chart()).join(" ")));
        QCOMPARE(QSettings().value(ParameterChart::timeAxisSettingsKey()).toBool(), true);

        // A log without times shows record numbers, and the choice is kept for the next.
        fillStore(10, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
        form->DrawParameterChart(2);
        QVERIFY(!chart()->isTimeAxis());
        QVERIFY(!timeAxis->isEnabled());
        fillStore(10);
        form->DrawParameterChart(2);
        QVERIFY(chart()->isTimeAxis());

        // The next start remembers it; turned off, it stays off.
        form = std::make_unique<Form1>(*state);
        form->DrawParameterChart(2);
        QVERIFY(chart()->isTimeAxis());
        chart()->timeAxisAction()->trigger();
        QVERIFY(!chart()->isTimeAxis());
        QCOMPARE(chart()->xAxisTitle(), QStringLiteral("Record"));
        QCOMPARE(QSettings().value(ParameterChart::timeAxisSettingsKey()).toBool(), false);
    }

    void chartDescribesItself_data()
    {
        QTest::addColumn<int>("parameter");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("valueTitle");
        QTest::newRow("mode status") << 13 << "Chart of Mode Status"
                                     << "Mode Status: 3 points, minimum 2, maximum 6"
                                     << "Mode Status";
        QTest::newRow("RSSI") << 2 << "Chart of RSSI"
                              << "RSSI: 3 points, minimum 0.333333333333333 dbuV, maximum 1 dbuV"
                              << "dbuV";
        QTest::newRow("no points") << 18 << "Chart of Angle"
                                   << "Angle: no points"
                                   << "deg";
    }
    void chartDescribesItself()
    {
        QFETCH(int, parameter);
        QFETCH(QString, name);
        QFETCH(QString, description);
        QFETCH(QString, valueTitle);
        fillStore(3);
        showForm();
        form->DrawParameterChart(static_cast<std::int16_t>(parameter));
        QApplication::processEvents();
        QCOMPARE(chart()->accessibleName(), name);
        QCOMPARE(chart()->accessibleDescription(), description);
        QCOMPARE(chart()->valueAxisTitle(), valueTitle);
        QVERIFY(sceneTexts(chart()).contains(valueTitle));
    }
};

QTEST_MAIN(TestParameterChart)
#include "tst_parameterchart.moc"
