#include "firstshow.h"

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <utility>

namespace kesta::startup {

namespace {

// Watches the window's native surface for its first expose. Qt paints a widget window while
// it handles the expose, so an action queued from here runs after the first paint.
class ExposeWatcher : public QObject
{
public:
    ExposeWatcher(QWidget *window, std::function<void()> action)
        : QObject(window), m_window(window), m_action(std::move(action))
    {}

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Expose && m_window->windowHandle()->isExposed())
            fire();
        return QObject::eventFilter(watched, event);
    }

    void fire()
    {
        if (m_fired)
            return;
        m_fired = true;
        m_window->windowHandle()->removeEventFilter(this);
        QTimer::singleShot(0, m_window, [action = std::move(m_action)] { action(); });
        deleteLater();
    }

private:
    QPointer<QWidget> m_window;
    std::function<void()> m_action;
    bool m_fired = false;
};

} // namespace

void whenFirstShown(QWidget *window, std::function<void()> action)
{
    window->winId(); // makes sure the native surface exists
    QWindow *surface = window->windowHandle();
    auto *watcher = new ExposeWatcher(window, std::move(action));
    if (surface->isExposed())
        watcher->fire();
    else
        surface->installEventFilter(watcher);
}

} // namespace kesta::startup
