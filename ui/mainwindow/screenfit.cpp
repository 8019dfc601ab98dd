#include "screenfit.h"

#include <QEvent>
#include <QFontMetrics>
#include <QLineEdit>
#include <QPlainTextEdit>
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
