// The movement-flag window: its layout, the refresh that explains the eight bits, and the timer
// that runs exactly while the window is open.

#include "form2.h"

#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>
#include <memory>

using namespace kesta;

namespace {

// What the main window's movement-flag box holds; the window under test reads it on every tick.
struct FlagBox
{
    QString text;
};

const QStringList LayoutCaptions{"bit 7", "bit 6", "bit 5", "bit 4",
                                 "bit 3", "bit 2", "bit 1", "bit 0"};

const QStringList AllClear{"bit 7 [0]: there is no stored command",
                           "bit 6 [0]: reset command 1 is not accepted",
                           "bit 5 [0]: no current flows in FSS",
                           "bit 4 [0]: no current flows in TNC",
                           "bit 3 [0]: unused",
                           "bit 2 [0]: no current flows in HTX",
                           "bit 1 [0]: no current flows in HTRX",
                           "bit 0 [0]: receiver detects no power"};

const QStringList AllSet{"bit 7 [1]: there is a stored command",
                         "bit 6 [1]: reset command 1 is accepted",
                         "bit 5 [1]: current flows in FSS",
                         "bit 4 [1]: current flows in TNC",
                         "bit 3 [1]: unused",
                         "bit 2 [1]: current flows in HTX",
                         "bit 1 [1]: current flows in HTRX",
                         "bit 0 [1]: receiver detects a power"};

// The lines expected for a flag text of eight "0"/"1" characters.
QStringList linesFor(const QString &bits)
{
    QStringList lines;
    for (int k = 0; k < 8; ++k)
        lines << (bits.at(k) == u'1' ? AllSet.at(k) : AllClear.at(k));
    return lines;
}

QStringList bitLines(const Form2 &window)
{
    QStringList lines;
    for (int k = 0; k < Form2::BitCount; ++k)
        lines << window.label2(k)->text();
    return lines;
}

} // namespace

class TestForm2 : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void layout();
    void bitLabelsFromTopToBottom();

    void tickExplainsBits_data();
    void tickExplainsBits();
    void tickKeepsLinesForOtherText_data();
    void tickKeepsLinesForOtherText();

    void timerRunsWhileOpen();
    void timerReadsTheSource();
    void closingDeletesTheWindow();

private:
    FlagBox m_box;
    QPointer<Form2> m_window;
};

void TestForm2::init()
{
    m_box = FlagBox{};
    m_window = new Form2([this] { return m_box.text; });
}

void TestForm2::cleanup()
{
    delete m_window.data();
}

void TestForm2::layout()
{
    Form2 &w = *m_window;
    QCOMPARE(w.windowTitle(), QStringLiteral("HTRX"));
    QCOMPARE(w.size(), QSize(382, 203));
    QVERIFY(w.minimumSize() != w.maximumSize()); // resizable

    auto *label1 = w.findChild<QLabel *>("Label1");
    QVERIFY(label1);
    QCOMPARE(label1->text(), QStringLiteral("HTRX Movement Flag"));
    QCOMPARE(label1->geometry(), QRect(8, 8, 225, 25));
    QVERIFY(label1->font().bold());
    QCOMPARE(label1->font().pointSizeF(), 12.0);
    QCOMPARE(label1->palette().color(QPalette::WindowText), QColor(0, 0, 192));

    auto *text1 = w.findChild<QLineEdit *>("Text1");
    QCOMPARE(text1, w.text1());
    QCOMPARE(text1->geometry(), QRect(8, 32, 185, 27));
    QVERIFY(text1->text().isEmpty());
    QVERIFY(text1->isReadOnly());
    QVERIFY(text1->font().bold());
    QCOMPARE(text1->font().pointSizeF(), 15.75);
    // Fixed pitch as it shows: every character as wide as the next. (QFontInfo's own flag
    // depends on how the installed font describes itself, not on its widths.)
    const QFontMetrics metrics(text1->font());
    for (const QChar c : QStringLiteral("01iMW"))
        QVERIFY2(metrics.horizontalAdvance(c) == metrics.horizontalAdvance(QLatin1Char('0')),
                 qPrintable(QFontInfo(text1->font()).family() + QStringLiteral(": ") + c));
    QCOMPARE(text1->palette().color(QPalette::Base), QColor(224, 224, 224));

    auto *image1 = w.findChild<QLabel *>("Image1");
    QVERIFY(image1);
    QCOMPARE(image1->geometry(), QRect(312, 0, 64, 64));
    QVERIFY(!image1->pixmap().isNull());

    QCOMPARE(w.palette().color(QPalette::Window), QColor(224, 224, 224));

    auto *timer1 = w.findChild<QTimer *>("Timer1");
    QCOMPARE(timer1, w.timer1());
    QCOMPARE(timer1->interval(), 1000);
    QVERIFY(!timer1->isActive());
}

void TestForm2::bitLabelsFromTopToBottom()
{
    // Label2_0 belongs to the most significant bit and stands at the top.
    for (int k = 0; k < Form2::BitCount; ++k) {
        auto *label = m_window->findChild<QLabel *>(QStringLiteral("Label2_%1").arg(k));
        QVERIFY2(label, qPrintable(QStringLiteral("Label2_%1 missing").arg(k)));
        QCOMPARE(label, m_window->label2(k));
        QCOMPARE(label->text(), LayoutCaptions.at(k));
        QCOMPARE(label->geometry(), QRect(8, 72 + 16 * k, 369, 17));
    }
}

void TestForm2::tickExplainsBits_data()
{
    QTest::addColumn<QString>("flag");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("bits 7 and 0") << "10000001" << linesFor("10000001");
    QTest::newRow("all zeros") << "00000000" << AllClear;
    QTest::newRow("all ones") << "11111111" << AllSet;
    QTest::newRow("bit 6 only") << "01000000" << linesFor("01000000");
    QTest::newRow("bits 5 4 2 1") << "00110110" << linesFor("00110110");
}

void TestForm2::tickExplainsBits()
{
    QFETCH(QString, flag);
    QFETCH(QStringList, lines);

    m_box.text = flag;
    m_window->tick();

    QCOMPARE(m_window->text1()->text(), flag);
    QCOMPARE(bitLines(*m_window), lines);
}

void TestForm2::tickKeepsLinesForOtherText_data()
{
    // A tick with `before` in the box, then one with `flag`: the second copies the text but
    // leaves the lines of the first.
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("flag");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("empty, layout captions stay") << QString() << QString() << LayoutCaptions;
    QTest::newRow("spaces, layout captions stay") << QString() << "   " << LayoutCaptions;
    QTest::newRow("empty after a flag") << "10000001" << QString() << linesFor("10000001");
    QTest::newRow("seven characters") << "10000001"
                                      << "1111111" << linesFor("10000001");
    QTest::newRow("nine characters") << "10000001"
                                     << "111111111" << linesFor("10000001");
    QTest::newRow("not binary") << "00000000"
                                << "12345678" << AllClear;
    QTest::newRow("letters") << "00000000"
                             << "abcdefgh" << AllClear;
    QTest::newRow("padded with spaces") << "00000000"
                                        << " 11111111 " << AllClear;
    QTest::newRow("space inside") << "11111111"
                                  << "1111 111" << AllSet;
    QTest::newRow("first tick bad") << QString() << "1x000001" << LayoutCaptions;
}

void TestForm2::tickKeepsLinesForOtherText()
{
    QFETCH(QString, before);
    QFETCH(QString, flag);
    QFETCH(QStringList, lines);

    if (!before.isNull()) {
        m_box.text = before;
        m_window->tick();
    }
    m_box.text = flag;
    m_window->tick();

    QCOMPARE(m_window->text1()->text(), flag);
    QCOMPARE(bitLines(*m_window), lines);
}

void TestForm2::timerRunsWhileOpen()
{
    QVERIFY(!m_window->timer1()->isActive());
    m_window->show();
    QVERIFY(m_window->timer1()->isActive());
    QCOMPARE(m_window->timer1()->interval(), 1000);
    // Until the first tick the window shows its layout.
    QCOMPARE(bitLines(*m_window), LayoutCaptions);

    m_window->hide();
    QVERIFY(!m_window->timer1()->isActive());
    m_window->show();
    QVERIFY(m_window->timer1()->isActive());

    QVERIFY(m_window->close());
    QVERIFY(m_window); // deletion is deferred to the event loop
    QVERIFY(!m_window->timer1()->isActive());
}

void TestForm2::timerReadsTheSource()
{
    // The timer's ticks run the same refresh; a short interval keeps the test quick.
    m_box.text = "10000001";
    m_window->show();
    m_window->timer1()->setInterval(5);
    QTRY_COMPARE(m_window->text1()->text(), QStringLiteral("10000001"));
    QCOMPARE(bitLines(*m_window), linesFor("10000001"));

    m_box.text = "01111110";
    QTRY_COMPARE(bitLines(*m_window), linesFor("01111110"));
}

void TestForm2::closingDeletesTheWindow()
{
    // The next opening starts again from the layout, so a closed window is gone.
    m_window->show();
    m_window->close();
    QTRY_VERIFY(m_window.isNull());
}

QTEST_MAIN(TestForm2)
#include "tst_form2.moc"
