#include "screenfit.h"

#include <QFontMetrics>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStyle>
#include <QStyleOptionFrame>
#include <algorithm>
#include <cmath>

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
    int x = anchor.right() + 1 + gap;
    if (x + size.width() > available.right() + 1) {
        const int left = anchor.left() - gap - size.width();
        x = left >= available.left() ? left : available.right() + 1 - size.width();
    }
    int y = anchor.top();
    y = std::min(y, available.bottom() + 1 - size.height());
    y = std::max(y, available.top());
    x = std::max(x, available.left());
    return {x, y};
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
