// The record panel on its own: decoded frames shown in its value boxes, the boxes of
// fields a frame did not carry greyed, and the parameter chosen by a click.

#include "frame_decoder.h"
#include "mainlayout.h"
#include "recordpanel.h"
#include "recordview.h"

#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QtTest>
#include <vector>

using namespace kesta;

namespace {

// A frame of 100 bytes of `fill` with `type` at byte 17, decoded as a log's frame is.
kesta::TelemetryRecord decoded(std::uint8_t type, std::uint8_t fill)
{
    std::vector<std::uint8_t> frame(100, fill);
    frame[0] = 0x00;
    frame[17] = type;
    kesta::TelemetryRecord record;
    kesta::FrameCounters counters;
    kesta::DecodeFrame(frame, record, counters);
    return record;
}

bool looksCarried(const QWidget *box)
{
    return box->palette().color(QPalette::Text) != RecordView::NotCarriedColor &&
           box->accessibleDescription().isEmpty();
}

} // namespace

class TestRecordPanel : public QObject
{
    Q_OBJECT

private slots:
    void showsDecodedFrames_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("counterText"); // Text1(0), the HTRX counter
        QTest::addColumn<bool>("htrxCarried");   // boxes 0 to 4 and 6 to 11
        QTest::addColumn<bool>("fssCarried");    // box 16, the FSS frame counter
        QTest::newRow("HTRX") << 1 << "HTRX Telemetry" << "4369" << true << false;
        QTest::newRow("FSS Hi-mode") << 4 << "FSS Telemetry Hi-Mode" << "0" << false << true;
    }

    void showsDecodedFrames()
    {
        QFETCH(int, type);
        QFETCH(QString, kind);
        QFETCH(QString, counterText);
        QFETCH(bool, htrxCarried);
        QFETCH(bool, fssCarried);
        kesta::RecordPanel panel;
        // A frame of the other kind first: what it showed must not linger as "received".
        panel.showRecord(decoded(type == 1 ? 4 : 1, 0x22));
        panel.showRecord(decoded(static_cast<std::uint8_t>(type), 0x11));

        QCOMPARE(panel.findChild<QLabel *>(QStringLiteral("Label4"))->text(), kind);
        QCOMPARE(panel.valueText(0), counterText);
        for (int box : {0, 2, 3, 4, 6, 7, 8, 9, 10, 11}) {
            QVERIFY2(looksCarried(panel.valueBox(box)) == htrxCarried, qPrintable(QString::number(box)));
            QCOMPARE(panel.isCarried(box), htrxCarried);
        }
        QCOMPARE(looksCarried(panel.valueBox(16)), fssCarried);
        QCOMPARE(panel.isCarried(16), fssCarried);
        // A greyed box keeps the text the window shows for it; it is announced as not received.
        if (!htrxCarried) {
            QVERIFY(!panel.valueText(0).isEmpty());
            QVERIFY(!panel.valueBox(0)->accessibleDescription().isEmpty());
        }
    }

    void catalogueEmptiesTheFirstBoxes()
    {
        kesta::RecordPanel panel;
        panel.showRecord(decoded(1, 0x11));
        const QString htxCurrent = panel.valueText(4);
        QVERIFY(!htxCurrent.isEmpty());
        panel.initParameterCatalogue();
        for (int box = 0; box <= 3; ++box)
            QCOMPARE(panel.valueText(box), QString());
        QCOMPARE(panel.valueText(4), htxCurrent); // the rest stay as they were
    }

    void clickChoosesOneParameter()
    {
        kesta::RecordPanel panel;
        QSignalSpy clicked(&panel, &kesta::RecordPanel::parameterClicked);
        auto *option = panel.findChild<QRadioButton *>(QStringLiteral("Option1_3"));
        QTest::mouseClick(option, Qt::LeftButton);
        QCOMPARE(clicked.size(), 1);
        QCOMPARE(clicked.at(0).at(0).toInt(), 3);
        QCOMPARE(panel.chosenParameter(), 3);

        panel.chooseParameter(13);
        QCOMPARE(panel.chosenParameter(), 13);
        QCOMPARE(clicked.size(), 1); // chosen by the program: no click reported
        for (int box = 0; box < static_cast<int>(mainlayout::ParameterRows.size()); ++box)
            QCOMPARE(panel.valueBox(box)->palette().color(QPalette::Base),
                     box == 13 ? mainlayout::ChosenValueColor : mainlayout::PlainValueColor);
        panel.chooseParameter(99); // no such parameter: nothing changes
        QCOMPARE(panel.chosenParameter(), 13);
    }
};

QTEST_MAIN(TestRecordPanel)
#include "tst_recordpanel.moc"
