// The about window: its texts, its version line and its layout.

#include "info.h"

#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QtTest>

using namespace kesta;

class TestInfo : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void versionLine();
    void window();
    void labels_data();
    void labels();
    void versionInCaptionlessFrame();
    void addressesLookLikeLinks_data();
    void addressesLookLikeLinks();
    void satellitePicture();
    void closingDeletesTheWindow();

private:
    QPointer<Info> m_window;
};

void TestInfo::init()
{
    m_window = new Info;
}

void TestInfo::cleanup()
{
    delete m_window.data();
}

void TestInfo::versionLine()
{
    // Four spaces separate the version number from the date.
    const QString expected = QStringLiteral("Version 1.2    (13 July 2009)");
    QCOMPARE(Info::versionText(), expected);
    QCOMPARE(m_window->label2()->text(), expected);
    QCOMPARE(m_window->findChild<QLabel *>("Label2"), m_window->label2());
}

void TestInfo::window()
{
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Info"));
    QCOMPARE(m_window->size(), QSize(341, 186));
    QVERIFY(m_window->minimumSize() != m_window->maximumSize()); // resizable
    QVERIFY(!m_window->windowIcon().isNull());
    QCOMPARE(m_window->palette().color(QPalette::Window), QColor(224, 224, 224));

    // First shown centred on the screen.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QPoint offset = m_window->geometry().center() - screen.center();
    QVERIFY2(offset.manhattanLength() <= 2,
             qPrintable(QStringLiteral("off centre by %1, %2").arg(offset.x()).arg(offset.y())));
}

void TestInfo::labels_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<bool>("bold");

    QTest::newRow("Label1") << "Label1"
                            << "KESTA-1 Telemetry Decoder" << QRect(8, 8, 329, 25) << true;
    QTest::newRow("Label8") << "Label8"
                            << "Orvan" << QRect(8, 64, 49, 17) << true;
    QTest::newRow("Label6") << "Label6"
                            << "Homepage:" << QRect(8, 136, 64, 17) << false;
    QTest::newRow("Label7") << "Label7"
                            << "e-mail:" << QRect(8, 160, 41, 17) << false;
}

void TestInfo::labels()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QRect, geometry);
    QFETCH(bool, bold);

    auto *label = m_window->findChild<QLabel *>(name);
    QVERIFY(label);
    QCOMPARE(label->text(), text);
    QCOMPARE(label->geometry(), geometry);
    QCOMPARE(label->font().bold(), bold);
    QVERIFY2(label->fontMetrics().horizontalAdvance(text) <= label->width(), qPrintable(text));
}

void TestInfo::versionInCaptionlessFrame()
{
    auto *frame = m_window->findChild<QGroupBox *>("Frame1");
    QVERIFY(frame);
    QVERIFY(frame->title().isEmpty());
    QCOMPARE(frame->geometry(), QRect(8, 88, 185, 41));
    QCOMPARE(m_window->label2()->parentWidget(), frame);
    QCOMPARE(m_window->label2()->geometry(), QRect(8, 16, 169, 17));
    QVERIFY(m_window->label2()->alignment() & Qt::AlignHCenter);

    auto *label1 = m_window->label1();
    QCOMPARE(label1->font().pointSizeF(), 13.5);
    QCOMPARE(label1->palette().color(QPalette::WindowText), QColor(0, 64, 0));

    auto *notice = m_window->findChild<QLabel *>("Label3");
    QVERIFY(notice);
    QVERIFY(!notice->text().isEmpty());
    QVERIFY(!notice->text().contains(u'\n'));
    QVERIFY2(notice->fontMetrics().horizontalAdvance(notice->text()) <= notice->width(),
             qPrintable(notice->text()));
}

void TestInfo::addressesLookLikeLinks_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::newRow("homepage") << "Label4" << QRect(72, 136, 121, 17);
    QTest::newRow("mail") << "Label5" << QRect(72, 160, 121, 17);
}

void TestInfo::addressesLookLikeLinks()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);

    auto *label = m_window->findChild<QLabel *>(name);
    QVERIFY(label);
    QCOMPARE(label->geometry(), geometry);
    QVERIFY(!label->text().isEmpty());
    QVERIFY(label->font().underline());
    QCOMPARE(label->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    QVERIFY(!label->openExternalLinks());
    QCOMPARE(label->textInteractionFlags(), Qt::NoTextInteraction);
    QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->width(),
             qPrintable(label->text()));
}

void TestInfo::satellitePicture()
{
    auto *image = m_window->findChild<QLabel *>("Image1");
    QVERIFY(image);
    QCOMPARE(image->geometry(), QRect(208, 56, 127, 102));
    const QPixmap picture = image->pixmap();
    QVERIFY(!picture.isNull());
    const QSizeF shown = picture.deviceIndependentSize();
    QVERIFY(shown.width() <= 127 && shown.height() <= 102);
    // Scaled to fit: one side fills the box.
    QVERIFY(qRound(shown.width()) == 127 || qRound(shown.height()) == 102);
    // Transparent background around the drawing.
    QVERIFY(picture.toImage().pixelColor(0, 0).alpha() == 0);
}

void TestInfo::closingDeletesTheWindow()
{
    m_window->show();
    m_window->close();
    QTRY_VERIFY(m_window.isNull());
}

QTEST_MAIN(TestInfo)
#include "tst_info.moc"
