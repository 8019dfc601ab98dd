// The movement-flag window: its layout, and the bits of the record shown explained as the
// record source shows one record after another.

#include "form2.h"
#include "program_state.h"
#include "recordsource.h"

#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QtTest>
#include <algorithm>
#include <cstdint>
#include <optional>
#include <memory>

using namespace kesta;

namespace {

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

    void followsTheRecordShown_data();
    void followsTheRecordShown();
    void noRecordShowsTheLayout();
    void closingDeletesTheWindow();

private:
    // Puts a record with `flag` (or without the movement flag) at store index `index`.
    void hold(int index, std::optional<std::uint8_t> flag);

    kesta::ProgramState m_state;
    std::unique_ptr<kesta::RecordSource> m_source;
    QPointer<Form2> m_window;
};

void TestForm2::init()
{
    m_state.store.reset();
    m_source = std::make_unique<kesta::RecordSource>(m_state);
    m_window = new Form2(*m_source);
}

void TestForm2::cleanup()
{
    delete m_window.data();
    m_source.reset();
}

void TestForm2::hold(int index, std::optional<std::uint8_t> flag)
{
    kesta::TelemetryRecord &record = m_state.store[static_cast<std::int16_t>(index)];
    record.clear();
    if (flag) {
        record.MovementFlag = *flag;
        record.Written.set(kesta::Field::MovementFlag);
    }
    m_state.store.RecordCount = static_cast<std::int16_t>(std::max<int>(m_state.store.RecordCount, index));
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

void TestForm2::followsTheRecordShown_data()
{
    // Record 1 is shown first, then record 2: the window follows without being asked.
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second"); // -1: the frame did not carry the flag
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");

    const QStringList notCarried{"The frame of this record did not carry the movement flag.",
                                 "", "", "", "", "", "", ""};
    QTest::newRow("bits 7 and 0") << 0 << 0x81 << "10000001" << linesFor("10000001");
    QTest::newRow("all zeros") << 0xFF << 0x00 << "00000000" << AllClear;
    QTest::newRow("all ones") << 0x00 << 0xFF << "11111111" << AllSet;
    QTest::newRow("bit 6 only") << 0x00 << 0x40 << "01000000" << linesFor("01000000");
    QTest::newRow("bits 5 4 2 1") << 0x00 << 0x36 << "00110110" << linesFor("00110110");
    QTest::newRow("not carried after a flag") << 0xFF << -1 << "" << notCarried;
    QTest::newRow("a flag after one not carried") << -1 << 0x81 << "10000001"
                                                  << linesFor("10000001");
}

void TestForm2::followsTheRecordShown()
{
    QFETCH(int, first);
    QFETCH(int, second);
    QFETCH(QString, text);
    QFETCH(QStringList, lines);

    auto flag = [](int value) {
        return value < 0 ? std::nullopt : std::optional<std::uint8_t>(static_cast<std::uint8_t>(value));
    };
    hold(1, flag(first));
    hold(2, flag(second));
    m_window->show();
    m_source->showRecord(1);
    m_source->showRecord(2);

    QCOMPARE(m_window->text1()->text(), text);
    QCOMPARE(bitLines(*m_window), lines);
}

void TestForm2::noRecordShowsTheLayout()
{
    // Before any record, and for a number the store does not hold: the layout.
    m_window->show();
    QCOMPARE(bitLines(*m_window), LayoutCaptions);
    m_source->showRecord(5);
    QCOMPARE(bitLines(*m_window), LayoutCaptions);
    QVERIFY(m_window->text1()->text().isEmpty());

    // A window opened on a record shown already explains it at once.
    hold(1, 0x81);
    m_source->showRecord(1);
    delete m_window.data();
    m_window = new Form2(*m_source);
    QCOMPARE(bitLines(*m_window), linesFor("10000001"));
    QCOMPARE(m_window->text1()->text(), QStringLiteral("10000001"));

    // The store emptied for a live session, no frame yet: the old record's bits go.
    m_state.store.reset();
    m_source->showRecord(0);
    QCOMPARE(bitLines(*m_window), LayoutCaptions);
    QVERIFY(m_window->text1()->text().isEmpty());
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
