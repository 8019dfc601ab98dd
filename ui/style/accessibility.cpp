#include "accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QGroupBox>
#include <QWidget>

namespace kesta {

namespace accessibility {

namespace {

constexpr char HiddenProperty[] = "kestaAccessibleHidden";

QList<QWidget *> shownChildren(const QWidget *container)
{
    QList<QWidget *> children;
    for (QObject *object : container->children()) {
        auto *widget = qobject_cast<QWidget *>(object);
        if (widget && !widget->isWindow() && !isHidden(widget))
            children.append(widget);
    }
    return children;
}

// A container (the client area, a frame) whose accessible children are its child widgets
// less the hidden ones. A frame keeps its role and is named by its caption.
class FilteredContainer : public QAccessibleWidget
{
public:
    explicit FilteredContainer(QWidget *widget)
        : QAccessibleWidget(widget, qobject_cast<QGroupBox *>(widget) ? QAccessible::Grouping
                                                                      : QAccessible::Pane)
    {}

    int childCount() const override { return static_cast<int>(shownChildren(widget()).size()); }

    QAccessibleInterface *child(int index) const override
    {
        const QList<QWidget *> children = shownChildren(widget());
        if (index < 0 || index >= children.size())
            return nullptr;
        return QAccessible::queryAccessibleInterface(children.at(index));
    }

    int indexOfChild(const QAccessibleInterface *child) const override
    {
        if (!child)
            return -1;
        return static_cast<int>(
            shownChildren(widget()).indexOf(qobject_cast<QWidget *>(child->object())));
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty()) {
            if (auto *frame = qobject_cast<QGroupBox *>(widget()))
                return frame->title();
        }
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface *factory(const QString &className, QObject *object)
{
    auto *widget = qobject_cast<QWidget *>(object);
    if (!widget)
        return nullptr;
    // The secondary windows are plain widgets, which Qt would offer as a client area.
    if (widget->isWindow() &&
        (className == QLatin1String("kesta::Form2") || className == QLatin1String("kesta::Info")))
        return new QAccessibleWidget(widget, QAccessible::Window);
    if (className == QLatin1String("kesta::accessibility::ClientPane") ||
        className == QLatin1String("kesta::accessibility::CaptionFrame"))
        return new FilteredContainer(widget);
    return nullptr;
}

} // namespace

void install()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QAccessible::installFactory(factory);
}

void hide(QWidget *widget)
{
    widget->setProperty(HiddenProperty, true);
    widget->setFocusPolicy(Qt::NoFocus);
}

bool isHidden(const QWidget *widget)
{
    return widget->property(HiddenProperty).toBool();
}

} // namespace accessibility

} // namespace kesta
