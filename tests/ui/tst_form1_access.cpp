// The main window for every user: what a screen reader finds in it (walking Qt's
// accessibility interfaces, as the AT-SPI bridge does), the Tab order, readable text under
// a dark theme, a screen smaller than the window, and texts that fit their boxes.

#include "dark_theme.h"
#include "form1_fixture.h"
#include "form2.h"
#include "info.h"
#include "lightelementrow.h"
#include "parameterchart.h"
#include "recordstatus.h"
#include "screenfit.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextLayout>
#include <cmath>

using namespace kesta;

namespace {

double luminance(const QColor &c)
{
    const auto channel = [](double v) {
        v /= 255.0;
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.red()) + 0.7152 * channel(c.green()) + 0.0722 * channel(c.blue());
}

// The WCAG contrast ratio of two colours, 1 to 21.
double contrast(const QColor &a, const QColor &b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The colour a widget's background is painted with: its own, or that of the nearest
// container that fills its background.
QColor backgroundOf(const QWidget *widget)
{
    for (const QWidget *w = widget; w; w = w->parentWidget()) {
        if (w->autoFillBackground() || w->isWindow())
            return w->palette().color(w->backgroundRole());
    }
    return {};
}

// Every accessible interface under `root`, depth first.
void walk(QAccessibleInterface *root, QList<QAccessibleInterface *> &out, int depth = 0)
{
    if (!root || depth > 40)
        return;
    out.append(root);
    for (int i = 0; i < root->childCount(); ++i)
        walk(root->child(i), out, depth + 1);
}

} // namespace

class TestForm1Access : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<kesta::ProgramState> state;
    std::unique_ptr<Form1> form;

    template <typename T> T *control(const QString &name) const
    {
        return form->findChild<T *>(name);
    }
    QWidget *client() const { return control<QWidget>(QStringLiteral("ClientArea")); }
    bool inView(const QWidget *w) const
    {
        return client()->rect().intersects(QRect(w->mapTo(client(), QPoint(0, 0)), w->size()));
    }
    void openLog(int frames = 40)
    {
        const QString path = folder->filePath(QStringLiteral("pass.kss"));
        QVERIFY(fixture::writeFile(path, fixture::generatedLog(frames)));
        QVERIFY(fixture::openAndWait(*form, path));
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        darktheme::apply();
    }
    void init()
    {
        folder = std::make_unique<QTemporaryDir>();
        state = std::make_unique<kesta::ProgramState>();
        form = std::make_unique<Form1>(*state);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    }
    void cleanup()
    {
        form.reset();
        state.reset();
        folder.reset();
    }

    void screenReaderFindsEveryValueAndNothingHidden()
    {
        openLog();
        QList<QAccessibleInterface *> all;
        walk(QAccessible::queryAccessibleInterface(form.get()), all);
        QHash<QObject *, QAccessibleInterface *> byObject;
        for (QAccessibleInterface *iface : all) {
            byObject.insert(iface->object(), iface);
            auto *widget = qobject_cast<QWidget *>(iface->object());
            if (!widget || !client()->isAncestorOf(widget))
                continue;
            // Nothing that cannot be seen, and no blank label.
            QVERIFY2(inView(widget), qPrintable(widget->objectName()));
            if (auto *label = qobject_cast<QLabel *>(widget))
                QVERIFY2(!label->text().isEmpty(), qPrintable(widget->objectName()));
        }
        const auto find = [&](const QString &name) -> QAccessibleInterface * {
            return byObject.value(form->findChild<QObject *>(name));
        };
        for (const QString name : {"Option1_5", "Option1_12", "Option1_14", "Label2_1", "Label2_35",
                                   "Label1_14", "List1", "Text1_5"})
            QVERIFY2(!find(name), qPrintable(name));

        // A label says its text and what it is.
        const kesta::TelemetryRecord &first = state->store[1];
        QAccessibleInterface *kind = find(QStringLiteral("Label4"));
        QVERIFY(kind);
        QCOMPARE(kind->text(QAccessible::Name), QString::fromLatin1(kesta::KindText(first.FrameKind)));
        QCOMPARE(kind->text(QAccessible::Description), QStringLiteral("Frame kind"));
        QAccessibleInterface *counts = find(QStringLiteral("Label5"));
        QVERIFY(counts);
        QVERIFY(counts->text(QAccessible::Name).startsWith(QStringLiteral("HTRX: ")));
        QAccessibleInterface *position = find(QStringLiteral("Text2"));
        QVERIFY(position);
        QCOMPARE(position->text(QAccessible::Name), QStringLiteral("Record position"));
        QCOMPARE(position->text(QAccessible::Value), QStringLiteral("#1 / 40"));
        QAccessibleInterface *time = find(QStringLiteral("ReceptionTime"));
        QVERIFY(time);
        QCOMPARE(time->text(QAccessible::Name), RecordStatus::timeText(first.ReceptionTime));
        QCOMPARE(time->text(QAccessible::Description), QStringLiteral("Reception time"));

        // The "i" button is a button that can be pressed.
        QAccessibleInterface *info = find(QStringLiteral("Image4"));
        QVERIFY(info);
        QCOMPARE(info->role(), QAccessible::Button);
        QVERIFY(info->actionInterface());
        QVERIFY(info->actionInterface()->actionNames().contains(
            QAccessibleActionInterface::pressAction()));
        QVERIFY(!info->text(QAccessible::Name).isEmpty());

        // The two "Counter" parameters are told apart, on option button and value box.
        for (const QString prefix : {"Option1_", "Text1_"}) {
            QCOMPARE(find(prefix + "0")->text(QAccessible::Name), QStringLiteral("HTRX Counter"));
            QCOMPARE(find(prefix + "16")->text(QAccessible::Name),
                     QStringLiteral("FSS Frame Counter"));
        }

        // The light-element row reads out its 64 readings.
        QAccessibleInterface *lights = byObject.value(form->lightElements());
        QVERIFY(lights);
        QCOMPARE(lights->text(QAccessible::Name), QStringLiteral("Light elements"));
        const QString readings = lights->text(QAccessible::Description);
        QCOMPARE(readings.section(QLatin1Char(':'), 1).split(QLatin1Char(',')).size(), 64);
    }

    void secondaryWindowsAreWindows()
    {
        form->showMovementFlagWindow();
        form->showInfoWindow();
        for (QWidget *window : {static_cast<QWidget *>(form->movementFlagWindow()),
                                static_cast<QWidget *>(form->infoWindow())}) {
            QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(window);
            QVERIFY(iface);
            QVERIFY2(iface->role() == QAccessible::Window || iface->role() == QAccessible::Dialog,
                     qPrintable(window->objectName()));
        }
    }

    void tabRunsThroughVisibleControlsInReadingOrder()
    {
        openLog();
        QApplication::setActiveWindow(form.get());
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        auto *first = control<QWidget>(QStringLiteral("Text1_0"));
        first->setFocus();
        QList<QWidget *> visited{first};
        for (int i = 0; i < 80; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget *now = QApplication::focusWidget();
            if (now == first)
                break;
            visited.append(now);
        }
        QList<QWidget *> inClient;
        for (QWidget *w : visited) {
            if (client()->isAncestorOf(w))
                inClient.append(w);
            // Every stop is something to see, and a screen reader can say what.
            QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(w);
            QVERIFY2(iface && !iface->text(QAccessible::Name).isEmpty(),
                     qPrintable(w->metaObject()->className() + QStringLiteral(" ") + w->objectName()));
            QVERIFY2(w->isVisible(), qPrintable(w->objectName()));
        }
        // The chain is a ring: read it from the stop that comes first on the page.
        const auto place = [&](QWidget *w) {
            const QPoint at = w->mapTo(client(), QPoint(0, 0));
            return std::pair(at.y(), at.x());
        };
        const auto top = std::min_element(inClient.begin(), inClient.end(),
                                          [&](QWidget *a, QWidget *b) { return place(a) < place(b); });
        std::rotate(inClient.begin(), top, inClient.end());
        QStringList names;
        for (QWidget *w : inClient)
            names << w->objectName();
        QVERIFY2(inClient.size() > 25, qPrintable(names.join(' ')));
        // The option buttons are one group: Tab stops there once, Up and Down go on.
        QCOMPARE(names.filter(QStringLiteral("Option1_")).size(), 1);
        QVERIFY(inClient.contains(control<QWidget>(QStringLiteral("Image4"))));
        QVERIFY(inClient.contains(control<QWidget>(QStringLiteral("HScroll1"))));
        QPoint before(-1, -1);
        for (QWidget *w : inClient) {
            QVERIFY2(inView(w), qPrintable(w->objectName()));
            const QPoint at = w->mapTo(client(), QPoint(0, 0));
            const bool later = at.y() > before.y() || (at.y() == before.y() && at.x() > before.x());
            QVERIFY2(later, qPrintable(w->objectName() + QLatin1Char(' ') + names.join(' ')));
            before = at;
        }
    }

    // The chart and the record scroll bar, which the style draws no focus for, show it.
    void focusIsVisibleOnTheChartAndTheScrollBar()
    {
        openLog();
        QApplication::setActiveWindow(form.get());
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        auto *bar = control<QScrollBar>(QStringLiteral("HScroll1"));
        auto *ring = control<QWidget>(QStringLiteral("HScroll1FocusRing"));
        QVERIFY(ring);
        QWidget *chart = form->chart();
        const QColor highlight = chart->palette().color(QPalette::Highlight);
        const auto edge = [&] { return chart->grab().toImage().pixelColor(1, 1); };
        const QColor unfocused = edge();
        QVERIFY(unfocused != highlight);

        chart->setFocus();
        QTRY_VERIFY(chart->hasFocus());
        QTRY_COMPARE(edge(), highlight);
        QVERIFY(!ring->isVisible());

        bar->setFocus();
        QTRY_VERIFY(bar->hasFocus());
        QVERIFY(ring->isVisible());
        QVERIFY(ring->geometry().contains(bar->geometry()));
        QCOMPARE(ring->grab().toImage().pixelColor(0, ring->height() / 2), highlight);
        QCOMPARE(edge(), unfocused);
    }

    void darkThemeKeepsEveryTextReadable()
    {
        openLog();
        form->showMovementFlagWindow();
        form->showInfoWindow();
        QList<QWidget *> checked;
        const auto check = [&](const QWidget *w, const QColor &text, const QColor &back) {
            const double ratio = contrast(text, back);
            QVERIFY2(ratio >= 4.5, qPrintable(QStringLiteral("%1: %2 on %3, %4")
                                                  .arg(w->objectName(), text.name(), back.name())
                                                  .arg(ratio)));
        };
        QList<QWidget *> windows{form.get(), form->movementFlagWindow(), form->infoWindow()};
        for (QWidget *window : windows) {
            for (QWidget *w : window->findChildren<QWidget *>()) {
                if (!w->isVisible() || (client()->isAncestorOf(w) && !inView(w)))
                    continue;
                if (auto *label = qobject_cast<QLabel *>(w)) {
                    if (!label->text().isEmpty())
                        check(w, w->palette().color(w->foregroundRole()), backgroundOf(w));
                } else if (qobject_cast<QLineEdit *>(w) || qobject_cast<QPlainTextEdit *>(w)) {
                    const QColor text = w->palette().color(QPalette::Text);
                    // A value its frame did not carry is greyed on purpose.
                    if (text != QColor(150, 150, 150))
                        check(w, text, w->palette().color(QPalette::Base));
                } else if (qobject_cast<QRadioButton *>(w) || qobject_cast<QMenuBar *>(w)) {
                    check(w, w->palette().color(QPalette::ButtonText), backgroundOf(w));
                    check(w, w->palette().color(QPalette::WindowText), backgroundOf(w));
                } else {
                    continue;
                }
                checked.append(w);
            }
        }
        for (QMenu *menu : form->findChildren<QMenu *>()) {
            check(menu, menu->palette().color(QPalette::WindowText),
                  menu->palette().color(QPalette::Window));
            check(menu, menu->palette().color(QPalette::Text),
                  menu->palette().color(QPalette::Window));
        }
        QVERIFY(checked.size() > 60);

        // And as drawn: the frame kind and the chosen value box, text pixels against their
        // background.
        const QImage shot = form->grab().toImage();
        for (const QString name : {"Label4", "Text1_13", "Label1_0"}) {
            auto *w = control<QWidget>(name);
            const QRect area(w->mapTo(form.get(), QPoint(0, 0)), w->size());
            const QImage part = shot.copy(area.adjusted(3, 3, -3, -3));
            const QColor back = backgroundOf(w);
            double best = 1;
            for (int y = 0; y < part.height(); ++y)
                for (int x = 0; x < part.width(); ++x)
                    best = std::max(best, contrast(part.pixelColor(x, y), back));
            QVERIFY2(best >= 4.5, qPrintable(name));
        }
    }

    void smallScreenScrollsTheClientArea_data()
    {
        // Whether the window needs to scroll depends on its frame, which the window system
        // gives; each size is checked both ways.
        QTest::addColumn<QSize>("available");
        QTest::newRow("1920x1040") << QSize(1920, 1040);
        QTest::newRow("1280x720, 1080p at 150 %") << QSize(1280, 720);
        QTest::newRow("1280x690 under a panel") << QSize(1280, 690);
        QTest::newRow("1280x600") << QSize(1280, 600);
        QTest::newRow("1024x600") << QSize(1024, 600);
        QTest::newRow("480x400") << QSize(480, 400);
    }
    void smallScreenScrollsTheClientArea()
    {
        QFETCH(QSize, available);
        form->fitToScreen(QRect(0, 0, 4000, 3000));
        QApplication::processEvents();
        const QSize whole = form->frameGeometry().size();
        const bool scrolls =
            whole.height() > available.height() || whole.width() > available.width();
        form->fitToScreen(QRect(QPoint(0, 0), available));
        QApplication::processEvents();
        QScrollArea *area = form->clientScroll();
        QCOMPARE(client()->size(), QSize(kesta::RecordPanel::Width, kesta::RecordPanel::Height));
        QCOMPARE(area->verticalScrollBar()->maximum() > 0, scrolls);
        if (!scrolls) {
            QCOMPARE(area->size(), client()->size());
            return;
        }
        // On a screen as wide as a small laptop's, the navigation row (scroll bar and
        // position) is in view without scrolling by hand; narrower, it is scrolled to below.
        auto *position = control<QWidget>(QStringLiteral("Text2"));
        if (available.width() >= 1024)
            QTRY_VERIFY2(area->viewport()->rect().contains(
                         QRect(position->mapTo(area->viewport(), QPoint(0, 0)), position->size())),
                     qPrintable(QStringLiteral("%1,%2 in %3x%4, scrolled %5 of %6")
                                    .arg(position->mapTo(area->viewport(), QPoint(0, 0)).x())
                                    .arg(position->mapTo(area->viewport(), QPoint(0, 0)).y())
                                    .arg(area->viewport()->width())
                                    .arg(area->viewport()->height())
                                    .arg(area->verticalScrollBar()->value())
                                    .arg(area->verticalScrollBar()->maximum())));
        // The window with its frame fits the screen, and all of it can be scrolled to.
        QVERIFY(form->frameGeometry().height() <= available.height());
        QVERIFY(form->frameGeometry().width() <= available.width());
        area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum());
        area->horizontalScrollBar()->setValue(area->horizontalScrollBar()->maximum());
        const QPoint bottomRight =
            client()->mapTo(area->viewport(), QPoint(client()->width(), client()->height()));
        QVERIFY(area->viewport()->rect().contains(bottomRight - QPoint(1, 1)));
    }

    void secondWindowGoesBeside_data()
    {
        QTest::addColumn<QRect>("anchor");
        QTest::addColumn<QRect>("screen");
        QTest::addColumn<QPoint>("expected");
        const QRect screen(0, 0, 1920, 1080);
        QTest::newRow("room on the right") << QRect(100, 50, 560, 720) << screen << QPoint(668, 50);
        QTest::newRow("room on the left") << QRect(1300, 50, 560, 720) << screen << QPoint(910, 50);
        QTest::newRow("room below") << QRect(0, 0, 1900, 700) << screen << QPoint(0, 708);
        QTest::newRow("room above") << QRect(300, 400, 1400, 680) << screen << QPoint(300, 189);
        // 1280x720, the main window centred: no side has room; it covers the least there.
        QTest::newRow("no room") << QRect(360, 0, 560, 720) << QRect(0, 0, 1280, 720)
                                 << QPoint(898, 0);
    }
    void secondWindowGoesBeside()
    {
        QFETCH(QRect, anchor);
        QFETCH(QRect, screen);
        QFETCH(QPoint, expected);
        QCOMPARE(screenfit::besidePosition(anchor, QSize(382, 203), screen), expected);
    }

    void recordPositionAndRawFrameFitTheirBoxes()
    {
        auto *position = control<QLineEdit>(QStringLiteral("Text2"));
        QCOMPARE(position->size(), QSize(57, 19));
        QVERIFY(QFontMetrics(position->font()).horizontalAdvance(QStringLiteral("#1000 / 1000")) <=
                screenfit::lineTextWidth(position));
        QVERIFY(position->font().pointSizeF() >= 6.0);

        openLog();
        auto *raw = control<QPlainTextEdit>(QStringLiteral("Text3_3"));
        QCOMPARE(raw->size(), QSize(465, 43));
        QApplication::processEvents();
        const QTextLayout *layout = raw->document()->firstBlock().layout();
        QVERIFY(layout->lineCount() >= 2);
        const int line = qRound(layout->lineAt(0).height());
        const int inner = raw->viewport()->height() - 2 * qRound(raw->document()->documentMargin());
        QVERIFY2(inner % line == 0,
                 qPrintable(QStringLiteral("%1 px for lines of %2 px").arg(inner).arg(line)));
    }
};

QTEST_MAIN(TestForm1Access)
#include "tst_form1_access.moc"
