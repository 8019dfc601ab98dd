// The main window before and without a decoding run: its layout, the record view and the
// parameter chart, driven through Form1's public routines and its controls.

#include "accessibility.h"
#include "form1.h"
#include "lightelementrow.h"
#include "parameter_catalogue.h"
#include "parameterchart.h"
#include "program_state.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QtTest>
#include <memory>

using namespace kesta;

namespace {

const QColor White(255, 255, 255);
const QColor PaleYellow(255, 255, 192);

QColor baseColor(const QWidget *box)
{
    return box->palette().color(QPalette::Base);
}

} // namespace

class TestForm1View : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<kesta::ProgramState> state;
    std::unique_ptr<Form1> form;

    template <typename T> T *control(const QString &name) const
    {
        auto *found = form->findChild<T *>(name);
        if (!found)
            qWarning("no control %s", qPrintable(name));
        return found;
    }
    QWidget *valueBox(int i) const { return control<QWidget>(QStringLiteral("Text1_%1").arg(i)); }
    QWidget *client() const { return control<QWidget>(QStringLiteral("ClientArea")); }

    // The controls the layout names (frames, option buttons, labels, boxes, pictures, the
    // list, the scroll bar and the chart), as the window built them.
    QList<QWidget *> layoutControls() const
    {
        static const QRegularExpression named(
            QStringLiteral("^(Frame|Option1_|Label[1-5]_?|Text[1-3]_?|Image|Shape|Line|List|"
                           "HScroll|MSChart)\\d+$"));
        QList<QWidget *> found;
        for (QWidget *w : client()->findChildren<QWidget *>())
            if (named.match(w->objectName()).hasMatch())
                found.append(w);
        return found;
    }
    // Where `w` stands in the client area.
    QRect placeOf(const QWidget *w) const
    {
        return w == client() ? client()->rect()
                             : QRect(w->mapTo(client(), QPoint(0, 0)), w->size());
    }
    // The part of `w` that shows something: a label's text, else all of it.
    QRect shownPartOf(const QWidget *w) const
    {
        QRect r = placeOf(w);
        const auto *label = qobject_cast<const QLabel *>(w);
        if (!label || label->text().isEmpty())
            return r;
        QString text = label->text();
        while (text.endsWith(QLatin1Char(' ')))
            text.chop(1);
        const int width = std::min(r.width(), label->fontMetrics().horizontalAdvance(text));
        if (label->alignment() & Qt::AlignRight)
            r.setLeft(r.right() - width + 1);
        else if (label->alignment() & Qt::AlignHCenter)
            r = QRect(r.center().x() - width / 2, r.top(), width, r.height());
        else
            r.setWidth(width);
        return r;
    }
    QString describe(const QWidget *w) const
    {
        const QRect r = placeOf(w);
        return QStringLiteral("%1 at %2,%3 %4x%5")
            .arg(w->objectName())
            .arg(r.x())
            .arg(r.y())
            .arg(r.width())
            .arg(r.height());
    }

    // Records 1 to `count` with distinct values in every plotted field.
    void fillStore(int count)
    {
        for (int n = 1; n <= count; ++n) {
            kesta::TelemetryRecord &r = state->store[static_cast<std::int16_t>(n)];
            r.HtrxCounter = 1000 + n;
            r.MovementFlag = static_cast<std::uint8_t>(n);
            r.Rssi = n / 3.0;
            r.ModeStatus = static_cast<std::uint8_t>(2 * n);
            r.Angle = 0.1f * static_cast<float>(n);
            r.Threshold = static_cast<std::int16_t>(-n);
            for (kesta::Field f :
                 {kesta::Field::HtrxCounter, kesta::Field::MovementFlag, kesta::Field::Rssi,
                  kesta::Field::ModeStatus, kesta::Field::Angle, kesta::Field::Threshold})
                r.Written.set(f);
        }
        state->store.RecordCount = static_cast<std::int16_t>(count);
    }

private slots:
    void init()
    {
        QLocale::setDefault(QLocale::c());
        state = std::make_unique<kesta::ProgramState>();
        form = std::make_unique<Form1>(*state);
    }
    void cleanup()
    {
        form.reset();
        state.reset();
        QLocale::setDefault(QLocale::c());
    }

    // Each control of the fixed layout stands wholly inside its container, or wholly out of
    // view right of the client area (the layout parks some there); none is cut by an edge.
    void controlsAreWhollyInOrOutOfView()
    {
        const QRect clientRect = client()->rect();
        const QList<QWidget *> controls = layoutControls();
        QVERIFY2(controls.size() > 90, qPrintable(QString::number(controls.size())));
        int inView = 0;
        for (QWidget *w : controls) {
            if (w->objectName() == QLatin1String("Line1"))
                continue; // the rule along the top edge runs on past it
            const QRect at = placeOf(w);
            if (!clientRect.intersects(at)) {
                QVERIFY2(at.left() >= clientRect.right(), qPrintable(describe(w)));
                continue;
            }
            ++inView;
            QVERIFY2(placeOf(w->parentWidget()).contains(at), qPrintable(describe(w)));
        }
        QVERIFY2(inView > 60, qPrintable(QString::number(inView)));
    }

    // What the controls in view show does not cover each other (a label shows its text,
    // which may run under a picture beside it only where it is blank). Edges may touch: a
    // column's neighbours share a pixel, and value boxes 19 px high stand on rows 16 px
    // apart, so stacked boxes share their 3 px borders.
    void shownControlsDoNotOverlap()
    {
        QList<QWidget *> shown;
        for (QWidget *w : layoutControls()) {
            if (client()->rect().intersects(placeOf(w)) && !accessibility::isHidden(w))
                shown.append(w);
        }
        QStringList covered;
        for (qsizetype i = 0; i < shown.size(); ++i) {
            for (qsizetype j = i + 1; j < shown.size(); ++j) {
                QWidget *a = shown.at(i);
                QWidget *b = shown.at(j);
                if (a->isAncestorOf(b) || b->isAncestorOf(a))
                    continue;
                const QRect common = shownPartOf(a).intersected(shownPartOf(b));
                if (!common.isEmpty() && common.width() > 1 && common.height() > 3)
                    covered << describe(a) + QStringLiteral(" and ") + describe(b);
            }
        }
        QVERIFY2(covered.isEmpty(), qPrintable(covered.join(QStringLiteral("; "))));
    }

    // A parameter's name is read before its value: left of it on the same row, or above it.
    void eachNameStandsBeforeItsValue()
    {
        int pairs = 0;
        for (int i = 0; i < Form1::ValueBoxCount; ++i) {
            QWidget *name = control<QWidget>(QStringLiteral("Label1_%1").arg(i));
            QWidget *box = valueBox(i);
            QVERIFY(name && box);
            const QRect n = placeOf(name);
            const QRect v = placeOf(box);
            if (!client()->rect().intersects(n) || !client()->rect().intersects(v))
                continue;
            ++pairs;
            const bool sameRow = std::abs(n.top() - v.top()) <= 2 && n.right() <= v.left() + 1;
            const bool above =
                n.bottom() <= v.top() + 1 && n.left() < v.right() && v.left() < n.right();
            QVERIFY2(sameRow || above,
                     qPrintable(describe(name) + QStringLiteral(" and ") + describe(box)));
        }
        QVERIFY2(pairs >= 17, qPrintable(QString::number(pairs)));
    }

    void controlArraysHaveTheirIndicesAndGaps()
    {
        for (int i = 0; i <= 18; ++i) {
            QVERIFY2(control<QRadioButton>(QStringLiteral("Option1_%1").arg(i)),
                     qPrintable(QString::number(i)));
            QVERIFY(control<QLabel>(QStringLiteral("Label2_%1").arg(i)));
        }
        for (int i = 0; i <= 21; ++i) {
            QVERIFY(control<QLabel>(QStringLiteral("Label1_%1").arg(i)));
            QVERIFY(valueBox(i));
        }
        for (int i = 19; i <= 34; ++i)
            QVERIFY(!form->findChild<QWidget *>(QStringLiteral("Label2_%1").arg(i)));
        QVERIFY(!form->findChild<QWidget *>(QStringLiteral("Option1_19")));
        QVERIFY(!form->findChild<QWidget *>(QStringLiteral("Text1_22")));
        QVERIFY(!form->findChild<QWidget *>(QStringLiteral("Text3_1")));
        QVERIFY(!form->findChild<QWidget *>(QStringLiteral("Text3_2")));
        QVERIFY(control<QLineEdit>(QStringLiteral("Text3_0")));
        QVERIFY(control<QPlainTextEdit>(QStringLiteral("Text3_3")));
        for (const char *name : {"Frame1", "Frame2", "Frame5", "Image1", "Image4", "Shape1",
                                 "Line1", "List1", "Label4", "Label5", "Text2", "HScroll1",
                                 "MSChart1", "Label2_35", "Label2_36", "Label2_37"})
            QVERIFY2(control<QWidget>(QLatin1String(name)), name);
    }

    void windowIsFixedAndTitled()
    {
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QCOMPARE(form->windowTitle(), QStringLiteral("KESTA-1Telemetry Decoder"));
        QCOMPARE(form->centralWidget()->size(), QSize(560, 665));
        QCOMPARE(form->minimumSize(), form->maximumSize());
        QVERIFY(!(form->windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(!(form->windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!form->windowIcon().isNull());
        // Controls beyond the right edge exist but cannot be seen.
        const QRect client = form->centralWidget()->rect();
        QVERIFY(!client.intersects(control<QWidget>(QStringLiteral("Option1_5"))->geometry()));
        QVERIFY(!client.intersects(control<QWidget>(QStringLiteral("List1"))->geometry()));
    }

    void menuTree()
    {
        QMenuBar *bar = form->menuBar();
        QStringList top;
        for (QAction *action : bar->actions())
            top << action->text();
        QCOMPARE(top, QStringList({"&File", "&View", "&Settings", "&Record", "&Info"}));
        auto *file = control<QMenu>(QStringLiteral("MnuFile"));
        QStringList fileEntries;
        for (QAction *action : file->actions())
            fileEntries << (action->isSeparator() ? QStringLiteral("-") : action->text());
        QCOMPARE(fileEntries, QStringList({"&Open", "&Reload", "Recent &Files", "-", "&Connect...",
                                           "&Disconnect", "Reconnect &Now", "-",
                                           "&Export Records...", "Save &Pass Report...",
                                           "Save Chart...", "Copy Chart", "-", "E&xit"}));
        // Nothing to export before a log has been decoded.
        QVERIFY(!control<QAction>(QStringLiteral("MenuFileExportRecords"))->isEnabled());
        QStringList viewEntries;
        for (QAction *action : control<QMenu>(QStringLiteral("MnuView"))->actions())
            viewEntries << action->text();
        QCOMPARE(viewEntries, QStringList({"Light-Element &Map", "Record &Table", "", "&Pass"}));
        QVERIFY(!control<QAction>(QStringLiteral("MenuFileDisconnect"))->isEnabled());
        auto *tlm = control<QAction>(QStringLiteral("WriteTLMFile"));
        QCOMPARE(tlm->text(), QStringLiteral("&Write TLM File"));
        QVERIFY(tlm->isCheckable());
        QVERIFY(tlm->isChecked());
        auto *info = control<QAction>(QStringLiteral("MnuInfo"));
        QVERIFY(!info->menu()); // a command on the bar itself
        // The menus show the keys that run their commands.
        QCOMPARE(control<QAction>(QStringLiteral("MenuFileOpen"))->shortcut(),
                 QKeySequence(Qt::CTRL | Qt::Key_O));
        QCOMPARE(control<QAction>(QStringLiteral("MenuFileExit"))->shortcut(),
                 QKeySequence(Qt::CTRL | Qt::Key_Q));
        QCOMPARE(control<QAction>(QStringLiteral("MenuFileReload"))->shortcut(),
                 QKeySequence(Qt::Key_F5));
    }

    // Every entry of every menu, in order: object name, text, keys; "-" for a line.
    static void listMenu(const QList<QAction *> &actions, const QString &indent, QStringList &out)
    {
        for (QAction *action : actions) {
            if (action->isSeparator()) {
                out << indent + QStringLiteral("-");
                continue;
            }
            out << indent + QStringLiteral("%1 %2 %3")
                                .arg(action->objectName(), action->text(),
                                     action->shortcut().toString());
            if (action->menu() && action->menu()->objectName() != QStringLiteral("MnuRecentFiles"))
                listMenu(action->menu()->actions(), indent + QStringLiteral("  "), out);
        }
    }

    void menuEntriesInOrder()
    {
        QStringList entries;
        listMenu(form->menuBar()->actions(), QString(), entries);
        // Where each command stands, its name and its keys are what users and their
        // scripts know: a reshuffle is a change of the program, not of its code.
        const QStringList expected{
            QStringLiteral("MnuFileAction &File "),
            QStringLiteral("  MenuFileOpen &Open Ctrl+O"),
            QStringLiteral("  MenuFileReload &Reload F5"),
            QStringLiteral("   Recent &Files "),
            QStringLiteral("  -"),
            QStringLiteral("  MenuFileConnect &Connect... "),
            QStringLiteral("  MenuFileDisconnect &Disconnect "),
            QStringLiteral("  MenuFileReconnectNow Reconnect &Now "),
            QStringLiteral("  -"),
            QStringLiteral("  MenuFileExportRecords &Export Records... "),
            QStringLiteral("  MenuSavePassReport Save &Pass Report... "),
            QStringLiteral("  ChartSave Save Chart... "),
            QStringLiteral("  ChartCopy Copy Chart "),
            QStringLiteral("  -"),
            QStringLiteral("  MenuFileExit E&xit Ctrl+Q"),
            QStringLiteral(" &View "),
            QStringLiteral("  MenuViewLightMap Light-Element &Map "),
            QStringLiteral("  MenuViewRecordTable Record &Table "),
            QStringLiteral("  -"),
            QStringLiteral("   &Pass "),
            QStringLiteral("    MenuPassAll &All Passes "),
            QStringLiteral("    -"),
            QStringLiteral("    MenuPassOverlay &Overlay Passes "),
            QStringLiteral(" &Settings "),
            QStringLiteral("  WriteTLMFile &Write TLM File "),
            QStringLiteral("  MenuStation &Station... "),
            QStringLiteral("  MenuLimitsFile &Limits File... "),
            QStringLiteral("  MenuInfluxDB &InfluxDB... "),
            QStringLiteral("  ChartTimeAxis Time Axis "),
            QStringLiteral(" &Record "),
            QStringLiteral("   &Next Record Right"),
            QStringLiteral("   &Previous Record Left"),
            QStringLiteral("   &Ten Forward PgDown"),
            QStringLiteral("   Ten &Back PgUp"),
            QStringLiteral("   &First Record Home"),
            QStringLiteral("   &Last Record End"),
            QStringLiteral("  -"),
            QStringLiteral("   Next of Same &Kind Ctrl+Right"),
            QStringLiteral("   Previous of Same K&ind Ctrl+Left"),
            QStringLiteral("  -"),
            QStringLiteral("   &Go to Record... Ctrl+G"),
            QStringLiteral("  -"),
            QStringLiteral("  MenuNextOutside Next Record Outside Limits Ctrl+Shift+Right"),
            QStringLiteral("  MenuPreviousOutside Previous Record Outside Limits Ctrl+Shift+Left"),
            QStringLiteral("MnuInfo &Info "),
        };
        for (qsizetype i = 0; i < std::max(entries.size(), expected.size()); ++i)
            QCOMPARE(entries.value(i), expected.value(i));
    }

    void initialState()
    {
        QCOMPARE(control<QLabel>(QStringLiteral("Label1_0"))->text(),
                 QStringLiteral("Counter        "));
        QCOMPARE(control<QLabel>(QStringLiteral("Label1_16"))->text(),
                 QStringLiteral("Counter        "));
        QCOMPARE(control<QLabel>(QStringLiteral("Label1_5"))->text(),
                 QStringLiteral("-              "));
        QCOMPARE(control<QLabel>(QStringLiteral("Label2_5"))->text(), QStringLiteral("-"));
        QCOMPARE(control<QLabel>(QStringLiteral("Label2_2"))->text(), QStringLiteral("dbuV"));
        QCOMPARE(control<QLabel>(QStringLiteral("Label1_14"))->text(),
                 QStringLiteral("Light Element  "));
        QCOMPARE(control<QLabel>(QStringLiteral("Label1_17"))->text(),
                 QStringLiteral("Treshold       "));
        QCOMPARE(control<QLabel>(QStringLiteral("Label1_19"))->text(),
                 QStringLiteral("Hi :  Upper Address"));
        QCOMPARE(control<QLabel>(QStringLiteral("Label1_20"))->text(),
                 QStringLiteral("Lower Address"));
        QCOMPARE(control<QLabel>(QStringLiteral("Label1_21"))->text(), QStringLiteral("DataSize"));
        QCOMPARE(control<QLabel>(QStringLiteral("Label2_18"))->text(), QStringLiteral("deg"));
        QVERIFY(control<QLabel>(QStringLiteral("Label2_35"))->text().isEmpty());
        for (int i = 0; i < Form1::ValueBoxCount; ++i)
            QVERIFY2(form->valueText(i).isEmpty(), qPrintable(QString::number(i)));
        QVERIFY(control<QLineEdit>(QStringLiteral("Text2"))->text().isEmpty());
        QVERIFY(control<QLabel>(QStringLiteral("Label4"))->text().isEmpty());
        QVERIFY(control<QLabel>(QStringLiteral("Label5"))->text().isEmpty());
        QCOMPARE(control<QGroupBox>(QStringLiteral("Frame1"))->title(), QStringLiteral("Graph"));
        QCOMPARE(control<QGroupBox>(QStringLiteral("Frame2"))->title(),
                 QStringLiteral("HTRX telemetry"));
        QCOMPARE(control<QGroupBox>(QStringLiteral("Frame5"))->title(),
                 QStringLiteral("FSS telemetry"));
        auto *scroll = control<QScrollBar>(QStringLiteral("HScroll1"));
        QVERIFY(!scroll->isEnabled());
        QCOMPARE(scroll->minimum(), 1);
        QCOMPARE(scroll->value(), 1);
        for (int i = 0; i <= 18; ++i)
            QVERIFY(!control<QRadioButton>(QStringLiteral("Option1_%1").arg(i))->isChecked());
        for (int k = 0; k < LightElementRow::BarCount; ++k)
            QCOMPARE(form->lightElements()->fillColor(k), QColor(192, 192, 192));
        QCOMPARE(control<QWidget>(QStringLiteral("MSChart1"))->toolTip(),
                 QStringLiteral("graphical value"));
        QVERIFY(control<QListWidget>(QStringLiteral("List1")));
    }

    void textBoxesAreReadOnlyButSelectable()
    {
        fillStore(1);
        form->ShowRecord(1);
        auto *counter = control<QLineEdit>(QStringLiteral("Text1_0"));
        QVERIFY(counter->isReadOnly());
        counter->setFocus();
        QTest::keyClicks(counter, QStringLiteral("99"));
        QCOMPARE(counter->text(), QStringLiteral("1001"));
        counter->selectAll();
        QCOMPARE(counter->selectedText(), QStringLiteral("1001"));
        QVERIFY(control<QPlainTextEdit>(QStringLiteral("Text1_14"))->isReadOnly());
        QVERIFY(control<QPlainTextEdit>(QStringLiteral("Text3_3"))->isReadOnly());
        QVERIFY(control<QLineEdit>(QStringLiteral("Text2"))->isReadOnly());
    }

    void showRecordWritesEveryBox_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("separator");
        QTest::newRow("C") << QLocale::c() << ".";
        QTest::newRow("German") << QLocale(QLocale::German) << ",";
    }
    void showRecordWritesEveryBox()
    {
        QFETCH(QLocale, locale);
        QFETCH(QString, separator);
        QLocale::setDefault(locale);
        kesta::TelemetryRecord &r = state->store[7];
        r.RawHex = "00C0FFEE";
        r.FrameKind = kesta::FrameKind::Htrx;
        r.MessageText = std::string("Sun\xE9\x01", 5);
        r.HtrxCounter = -12;
        r.MovementFlag = 0x21;
        r.Rssi = 4.045999999999999;
        r.HrxCurrent = 0.0109 * 22;
        r.HtxCurrent = -40.749;
        r.TncCurrent = 0;
        r.FssCurrent = 1.0 / 3.0;
        r.FssStatus = 0x81;
        r.FssCounter = 70000;
        r.FssAngleData = 255;
        r.CcuTime = 123456;
        r.CcuTelemetry = "0A0B0C";
        r.ModeStatus = 5;
        r.LightElements = {0x01, 0xFF};
        r.Written.set(kesta::Field::LightElements);
        r.ElementNumber = 2;
        r.FssFrameCounter = 9;
        r.Threshold = -300;
        r.Angle = 84.5f;
        r.HiUpperAddress = 1;
        r.HiLowerAddress = 2;
        r.HiDataSize = 3;
        form->ShowRecord(7);

        const QString sep = separator;
        const QStringList expected = {"-12",
                                      "00100001",
                                      "4" + sep + "046",
                                      "0" + sep + "2398",
                                      "-40" + sep + "749",
                                      QString(),
                                      "0",
                                      "0" + sep + "333333333333333",
                                      "10000001",
                                      "70000",
                                      "255",
                                      "123456",
                                      "0A0B0C",
                                      "00000101",
                                      "01FF" + QString(124, QLatin1Char('0')),
                                      "2",
                                      "9",
                                      "-300",
                                      "84" + sep + "5",
                                      "1",
                                      "2",
                                      "3"};
        for (int i = 0; i < Form1::ValueBoxCount; ++i)
            QCOMPARE(form->valueText(i), expected.at(i));
        QCOMPARE(control<QLabel>(QStringLiteral("Label4"))->text(),
                 QStringLiteral("HTRX Telemetry"));
        QCOMPARE(control<QPlainTextEdit>(QStringLiteral("Text3_3"))->toPlainText(),
                 QStringLiteral("00C0FFEE"));
        // Message bytes become the characters of the same code.
        QCOMPARE(control<QLineEdit>(QStringLiteral("Text3_0"))->text(),
                 QString::fromUtf16(u"Sun\u00E9\u0001"));
        QCOMPARE(form->movementFlagText(), QStringLiteral("00100001"));
    }

    void freshSlotShowsZerosAndBlackLights()
    {
        form->ShowRecord(1);
        QCOMPARE(form->valueText(0), QStringLiteral("0"));
        QCOMPARE(form->valueText(13), QStringLiteral("00000000"));
        QVERIFY(form->valueText(14).isEmpty());
        for (int k = 0; k < LightElementRow::BarCount; ++k)
            QCOMPARE(form->lightElements()->fillColor(k), QColor(0, 0, 0));
    }

    void valueBoxFiveIsNeverWritten()
    {
        control<QLineEdit>(QStringLiteral("Text1_5"))->setText(QStringLiteral("kept"));
        fillStore(2);
        form->ShowRecord(1);
        form->ShowRecord(2);
        form->InitParameterCatalogue();
        QCOMPARE(form->valueText(5), QStringLiteral("kept"));
    }

    void lightElementColours_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("carried");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<QColor>>("first");
        const QColor black(0, 0, 0);
        const QColor yellow(255, 255, 0);
        const QByteArray readings = QByteArray::fromHex("00011F20FF0A");
        const QString hex = QString::fromLatin1(readings.toHex().toUpper()) +
                            QString(2 * (64 - readings.size()), QLatin1Char('0'));
        QTest::newRow("readings")
            << readings << true << hex
            << QList<QColor>{black, {8, 8, 0}, {248, 248, 0}, yellow, yellow, {80, 80, 0}, black};
        // Bytes the frame did not carry are neither shown nor drawn.
        QTest::newRow("not carried") << readings << false << QString() << QList<QColor>{black};
    }
    void lightElementColours()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, carried);
        QFETCH(QString, text);
        QFETCH(QList<QColor>, first);
        kesta::TelemetryRecord &r = state->store[1];
        std::copy(bytes.begin(), bytes.end(), r.LightElements.begin());
        if (carried)
            r.Written.set(kesta::Field::LightElements);
        form->ShowRecord(1);
        QCOMPARE(form->valueText(14), text);
        for (int k = 0; k < LightElementRow::BarCount; ++k) {
            // Beyond the listed bars every bar is black like the last one listed.
            const QColor expected = first.at(std::min<qsizetype>(k, first.size() - 1));
            QVERIFY2(
                form->lightElements()->fillColor(k) == expected,
                qPrintable(QStringLiteral("bar %1: %2, expected %3")
                               .arg(k)
                               .arg(form->lightElements()->fillColor(k).name(), expected.name())));
        }
    }

    void fullLightRowFollowsEveryPair()
    {
        kesta::TelemetryRecord &r = state->store[1];
        for (int k = 0; k < 64; ++k)
            r.LightElements[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(k % 33);
        r.Written.set(kesta::Field::LightElements);
        form->ShowRecord(1);
        for (int k = 0; k < 64; ++k) {
            const int level = std::min(8 * (k % 33), 255);
            QCOMPARE(form->lightElements()->fillColor(k), QColor(level, level, 0));
        }
    }

    void optionClickRecoloursAndRedraws()
    {
        fillStore(3);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        auto *mode = control<QRadioButton>(QStringLiteral("Option1_13"));
        QTest::mouseClick(mode, Qt::LeftButton);
        QVERIFY(mode->isChecked());
        QCOMPARE(control<QGroupBox>(QStringLiteral("Frame1"))->title(),
                 QStringLiteral("Mode Status    "));
        QCOMPARE(form->chart()->points(), (QList<QPointF>{{1, 2}, {2, 4}, {3, 6}}));

        // A button in another frame: the 19 buttons are one group.
        auto *status = control<QRadioButton>(QStringLiteral("Option1_8"));
        QTest::mouseClick(status, Qt::LeftButton);
        QVERIFY(status->isChecked());
        QVERIFY(!mode->isChecked());
        for (int i = 0; i <= 18; ++i)
            QCOMPARE(baseColor(valueBox(i)), i == 8 ? PaleYellow : White);
        QCOMPARE(control<QGroupBox>(QStringLiteral("Frame1"))->title(),
                 QStringLiteral("FSS Status     "));
        // No record carried the FSS status: nothing to plot, not a line of zeros.
        QVERIFY(form->chart()->points().isEmpty());

        // The Hi-mode boxes are never recoloured.
        for (int i = 19; i <= 21; ++i)
            QCOMPARE(baseColor(valueBox(i)), White);
    }

    void chartCaption_data()
    {
        QTest::addColumn<int>("parameter");
        QTest::addColumn<QString>("caption");
        QTest::newRow("0") << 0 << "Counter        ";
        QTest::newRow("2") << 2 << "RSSI            [ dbuV ] ";
        QTest::newRow("3") << 3 << "HRX Current     [ mA ] ";
        QTest::newRow("18") << 18 << "Angle           [ deg ] ";
        QTest::newRow("5") << 5 << "-               [ - ] ";
        QTest::newRow("17") << 17 << "Treshold       ";
    }
    void chartCaption()
    {
        QFETCH(int, parameter);
        QFETCH(QString, caption);
        form->DrawParameterChart(static_cast<std::int16_t>(parameter));
        QCOMPARE(control<QGroupBox>(QStringLiteral("Frame1"))->title(), caption);
    }

    void axisRule_data()
    {
        QTest::addColumn<int>("records");
        QTest::addColumn<bool>("automatic");
        QTest::addColumn<int>("step");
        QTest::newRow("0") << 0 << true << 0;
        QTest::newRow("100") << 100 << true << 0;
        QTest::newRow("101") << 101 << false << 5;
        QTest::newRow("109") << 109 << false << 5;
        QTest::newRow("110") << 110 << false << 6;
        QTest::newRow("130") << 130 << false << 6;
        QTest::newRow("150") << 150 << false << 8;
        QTest::newRow("1000") << 1000 << false << 50;
    }
    void axisRule()
    {
        QFETCH(int, records);
        QFETCH(bool, automatic);
        QFETCH(int, step);
        fillStore(records);
        form->DrawParameterChart(0);
        QCOMPARE(form->chart()->rowCount(), records);
        QCOMPARE(form->chart()->isAutoScale(), automatic);
        if (!automatic)
            QCOMPARE(form->chart()->divisionsPerLabel(), step);
        QCOMPARE(form->chart()->points().size(), records);
    }

    void chartPointsAreTheRecordsValues()
    {
        fillStore(150);
        form->DrawParameterChart(2); // the records' numbers, not their texts read back
        const QList<QPointF> rssi = form->chart()->points();
        QCOMPARE(rssi.size(), 150);
        QCOMPARE(rssi.at(0).x(), 1.0);
        QCOMPARE(rssi.at(0).y(), 1.0 / 3.0);
        QCOMPARE(rssi.at(149).x(), 150.0);
        QCOMPARE(rssi.at(149).y(), 50.0);

        form->DrawParameterChart(18); // the 32-bit angle as the float it is
        QCOMPARE(form->chart()->points().at(2).y(), static_cast<double>(0.3F));

        form->DrawParameterChart(1); // a status byte is plotted as its number
        QCOMPARE(form->chart()->points().at(32).y(), 33.0);

        form->DrawParameterChart(17);
        QCOMPARE(form->chart()->points().at(9).y(), -10.0);
    }

    void parametersWithoutNumbersKeepTheEarlierPoints_data()
    {
        QTest::addColumn<int>("parameter");
        QTest::newRow("5") << 5;
        QTest::newRow("12") << 12;
        QTest::newRow("14") << 14;
    }
    void parametersWithoutNumbersKeepTheEarlierPoints()
    {
        QFETCH(int, parameter);
        fillStore(120);
        form->DrawParameterChart(0);
        const QList<QPointF> before = form->chart()->points();
        fillStore(101);
        form->DrawParameterChart(static_cast<std::int16_t>(parameter));
        QCOMPARE(form->chart()->points(), before);
        QCOMPARE(form->chart()->rowCount(), 101);
        QCOMPARE(form->chart()->divisionsPerLabel(), 5);
        QCOMPARE(control<QGroupBox>(QStringLiteral("Frame1"))->title().left(15),
                 control<QLabel>(QStringLiteral("Label1_%1").arg(parameter))->text());
    }

    void cancelledCatalogueRefreshEmptiesOnlyTheFirstFourBoxes()
    {
        fillStore(1);
        form->ShowRecord(1);
        form->InitParameterCatalogue();
        for (int i = 0; i <= 3; ++i)
            QVERIFY(form->valueText(i).isEmpty());
        QCOMPARE(form->valueText(13), QStringLiteral("00000010"));
    }
};

QTEST_MAIN(TestForm1View)
#include "tst_form1_view.moc"
