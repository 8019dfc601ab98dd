#include "screenfit.h"

#include "layoutstyle.h"

#include <QEvent>
#include <QFontMetrics>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollArea>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cmath>

namespace kesta {

namespace screenfit {

QSize viewportSize(QSize content, QSize extra, QSize available, int scrollBarExtent)
{
    const int roomWidth = available.width() - extra.width();
    const int roomHeight = available.height() - extra.height();
    QSize size = content;
    bool vertical = content.height() > roomHeight;
    bool horizontal = content.width() + (vertical ? scrollBarExtent : 0) > roomWidth;
    // A horizontal scroll bar takes height, which can make a vertical one needed too.
    if (horizontal && !vertical)
        vertical = content.height() + scrollBarExtent > roomHeight;
    if (vertical) {
        size.setHeight(std::max(roomHeight, 3 * scrollBarExtent));
        size.setWidth(content.width() + scrollBarExtent);
    }
    if (horizontal)
        size.setWidth(std::max(roomWidth, 3 * scrollBarExtent));
    return size;
}

QPoint besidePosition(const QRect &anchor, QSize size, const QRect &available, int gap)
{
    const auto inside = [&](QPoint p) {
        p.setX(std::max(std::min(p.x(), available.right() + 1 - size.width()), available.left()));
        p.setY(std::max(std::min(p.y(), available.bottom() + 1 - size.height()), available.top()));
        return p;
    };
    const auto covered = [&](QPoint p) {
        const QRect overlap = QRect(p, size).intersected(anchor);
        return overlap.isEmpty() ? 0 : qint64(overlap.width()) * overlap.height();
    };
    // Right, left, below, above: the first side with room for the whole window.
    const QPoint sides[] = {
        {anchor.right() + 1 + gap, anchor.top()},
        {anchor.left() - gap - size.width(), anchor.top()},
        {anchor.left(), anchor.bottom() + 1 + gap},
        {anchor.left(), anchor.top() - gap - size.height()},
    };
    for (const QPoint &side : sides) {
        const QPoint p = inside(side);
        if (covered(p) == 0 && available.contains(QRect(p, size)))
            return p;
    }
    // No room anywhere: on the screen where it covers the least of the anchor.
    QPoint best = inside(sides[0]);
    for (const QPoint &side : sides) {
        const QPoint p = inside(side);
        if (covered(p) < covered(best))
            best = p;
    }
    return best;
}

namespace {

class FrameWatch : public QObject
{
public:
    FrameWatch(QWidget *window, std::function<void()> refit)
        : QObject(window), m_window(window), m_refit(std::move(refit))
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // The window manager frames a window before it is first painted or activated,
        // and may move it.
        if (watched == m_window &&
            (event->type() == QEvent::Move || event->type() == QEvent::Paint ||
             event->type() == QEvent::WindowActivate || event->type() == QEvent::Show)) {
            const QWindow *handle = m_window->windowHandle();
            const QMargins frame = handle ? handle->frameMargins() : QMargins();
            if (!frame.isNull()) {
                m_window->removeEventFilter(this);
                // Not inside the event (a paint, say): when it has been handled.
                QTimer::singleShot(0, m_window, std::move(m_refit));
                deleteLater();
            }
        }
        return false;
    }

private:
    QWidget *m_window;
    std::function<void()> m_refit;
};

} // namespace

void refitWhenFramed(QWidget *window, std::function<void()> refit)
{
    new FrameWatch(window, std::move(refit));
}

QScrollArea *scrollClientArea(QMainWindow *window)
{
    QWidget *client = window->takeCentralWidget();
    auto *scroll = new QScrollArea(window);
    scroll->setObjectName(QStringLiteral("ClientScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    // Not a Tab stop of its own: it has nothing to say, and Tab brings each control into
    // view anyway when the window is smaller than its contents.
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setWidgetResizable(false);
    scroll->setWidget(client);
    layoutstyle::setBackground(scroll->viewport());
    scroll->setFixedSize(client->size());
    window->setCentralWidget(scroll);
    return scroll;
}

void fitClientArea(QMainWindow *window, QScrollArea *scroll, QWidget *keepVisible,
                   const QRect &available)
{
    const QWidget *client = scroll->widget();
    // Before the window is first on screen its frame is not known: a title bar is assumed.
    QMargins frame = window->windowHandle() ? window->windowHandle()->frameMargins() : QMargins();
    if (frame.isNull())
        frame = QMargins(0, 32, 0, 0);
    const QSize extra(frame.left() + frame.right(), frame.top() + frame.bottom() +
                                                        window->menuBar()->sizeHint().height() +
                                                        window->statusBar()->sizeHint().height());
    const int bar = window->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, scroll);
    scroll->setFixedSize(viewportSize(client->size(), extra, available.size(), bar));
    window->adjustSize();
    // A window shorter than the client area shows the row to keep visible, and as much as
    // fits above it; Tab brings the rest into view. With the client area's own margin below
    // the row, which the status bar's final height may still take a few pixels of.
    scroll->ensureWidgetVisible(keepVisible, 8, 8);
    // And once more when the scroll bars that the new size brings have taken their room.
    QTimer::singleShot(0, scroll,
                       [scroll, keepVisible] { scroll->ensureWidgetVisible(keepVisible, 8, 8); });
}

void fitAndCentre(QWidget *window, std::function<void(const QRect &available)> fit)
{
    const auto fitAndCentreNow = [window, fit = std::move(fit)] {
        if (QScreen *screen = window->screen()) {
            fit(screen->availableGeometry());
            QRect frame = window->frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            window->move(frame.topLeft());
        }
    };
    fitAndCentreNow();
    refitWhenFramed(window, fitAndCentreNow); // with the frame it really has
}

int lineTextWidth(const QLineEdit *box)
{
    QStyleOptionFrame option;
    option.initFrom(box);
    option.rect = box->contentsRect();
    option.lineWidth =
        box->hasFrame() ? box->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, box) : 0;
    option.midLineWidth = 0;
    option.state |= QStyle::State_Sunken;
    option.features = QStyleOptionFrame::None;
    const QRect contents = box->style()->subElementRect(QStyle::SE_LineEditContents, &option, box);
    const QMargins margins = box->textMargins();
    constexpr int InnerMargin = 2; // QLineEdit's own space left and right of its text
    return contents.width() - margins.left() - margins.right() - 2 * InnerMargin;
}

void fitLineFont(QLineEdit *box, const QString &widest)
{
    const int room = lineTextWidth(box);
    QFont font = box->font();
    const qreal largest = font.pointSizeF();
    for (const int stretch : {QFont::SemiCondensed, QFont::Condensed}) {
        for (qreal size = largest; size >= 6.0; size -= 0.25) {
            font.setStretch(stretch);
            font.setPointSizeF(size);
            if (QFontMetrics(font).horizontalAdvance(widest) <= room) {
                box->setFont(font);
                return;
            }
        }
    }
    box->setFont(font);
}

void fitWholeLines(QPlainTextEdit *box)
{
    constexpr int Margin = 1;
    box->document()->setDocumentMargin(Margin);
    const int inner = box->height() - 2 * box->frameWidth() - 2 * Margin;
    QFont font = box->font();
    for (qreal size = font.pointSizeF(); size >= 6.0; size -= 0.25) {
        font.setPointSizeF(size);
        const int line = QFontMetrics(font).lineSpacing();
        if (line > 0 && inner >= line && inner % line == 0) {
            box->setFont(font);
            return;
        }
    }
}

} // namespace screenfit

} // namespace kesta
