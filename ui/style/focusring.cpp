#include "focusring.h"

#include <QEvent>
#include <QPainter>

namespace kesta {

FocusRing::FocusRing(QWidget *target) : QWidget(target->parentWidget()), m_target(target)
{
    setObjectName(target->objectName() + QStringLiteral("FocusRing"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    target->installEventFilter(this);
    follow();
}

bool FocusRing::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_target) {
        switch (event->type()) {
        case QEvent::FocusIn:
        case QEvent::FocusOut:
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
        case QEvent::Hide:
            follow();
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FocusRing::follow()
{
    setGeometry(m_target->geometry().adjusted(-Width - 1, -Width - 1, Width + 1, Width + 1));
    const bool shown = m_target->isVisible() && m_target->hasFocus();
    setVisible(shown);
    if (shown)
        raise();
}

void FocusRing::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(QPen(palette().color(QPalette::Highlight), Width));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(rect()).adjusted(Width / 2.0, Width / 2.0, -Width / 2.0, -Width / 2.0));
}

} // namespace kesta
