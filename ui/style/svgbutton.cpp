#include "svgbutton.h"

#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

namespace kesta {

SvgButton::SvgButton(const QString &resource, QWidget *parent)
    : QAbstractButton(parent), m_renderer(resource)
{
    m_renderer.setAspectRatioMode(Qt::KeepAspectRatio);
    setAttribute(Qt::WA_TranslucentBackground);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
}

QSize SvgButton::sizeHint() const
{
    return {16, 16};
}

void SvgButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (hasFocus()) {
        // The picture shrinks by a pixel each side, so the frame around it stays clear of it.
        m_renderer.render(&painter, QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5));
        painter.setRenderHint(QPainter::Antialiasing, false);
        QPen pen(palette().color(QPalette::Highlight), 1, Qt::SolidLine);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    } else {
        m_renderer.render(&painter, QRectF(rect()));
    }
}

void SvgButton::keyPressEvent(QKeyEvent *event)
{
    // Space is a button's own key (pressed on release); Enter opens at once, as on a
    // default push button.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        click();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

} // namespace kesta
