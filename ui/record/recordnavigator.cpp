#include "recordnavigator.h"

#include "focusring.h"
#include "record_store.h"

#include <QCoreApplication>
#include <QAction>
#include <QEvent>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <algorithm>

namespace kesta {

namespace {

constexpr int PageStep = 10;

std::optional<int> askWithDialog(QWidget *parent, int current, int last)
{
    bool ok = false;
    const int number = QInputDialog::getInt(parent, QCoreApplication::translate("kesta::RecordNavigator", "Go to Record"),
                                            QCoreApplication::translate("kesta::RecordNavigator", "Record (1 to %1):").arg(last), current,
                                            1, last, 1, &ok);
    if (!ok)
        return std::nullopt;
    return number;
}

bool isReadOnlyText(const QObject *object)
{
    if (auto *line = qobject_cast<const QLineEdit *>(object))
        return line->isReadOnly();
    if (auto *text = qobject_cast<const QPlainTextEdit *>(object))
        return text->isReadOnly();
    return false;
}

} // namespace

RecordNavigator::RecordNavigator(QWidget *window, QScrollBar *records,
                                 const kesta::RecordStore &store)
    : QObject(window), m_window(window), m_records(records), m_store(store), m_ask(askWithDialog)
{
    m_records->setPageStep(PageStep);
    m_records->setSingleStep(1);
    m_records->setFocusPolicy(Qt::StrongFocus);
    // The style draws no focus on a scroll bar: without a ring, the keys' user cannot
    // tell that the arrows are on it.
    if (m_records->parentWidget())
        new FocusRing(m_records);
    makeCommands();
}

QAction *RecordNavigator::separator()
{
    auto *line = new QAction(this);
    line->setSeparator(true);
    return line;
}

QAction *RecordNavigator::addCommand(const QString &text, const QKeySequence &key,
                                     std::function<void()> run)
{
    auto *action = new QAction(text, m_window);
    action->setShortcut(key);
    action->setShortcutContext(Qt::WindowShortcut);
    connect(action, &QAction::triggered, this, std::move(run));
    m_window->addAction(action);
    m_actions.append(action);
    return action;
}

void RecordNavigator::makeCommands()
{
    auto add = [this](const QString &text, const QKeySequence &key, std::function<void()> run) {
        QAction *action = addCommand(text, key, std::move(run));
        m_menuCommands.append(action);
        return action;
    };
    add(tr("&Next Record"), QKeySequence(Qt::Key_Right), [this] { step(1); });
    add(tr("&Previous Record"), QKeySequence(Qt::Key_Left), [this] { step(-1); });
    add(tr("&Ten Forward"), QKeySequence(Qt::Key_PageDown), [this] { step(PageStep); });
    add(tr("Ten &Back"), QKeySequence(Qt::Key_PageUp), [this] { step(-PageStep); });
    add(tr("&First Record"), QKeySequence(Qt::Key_Home), [this] { first(); });
    add(tr("&Last Record"), QKeySequence(Qt::Key_End), [this] { last(); });
    m_menuCommands.append(separator());
    add(tr("Next of Same &Kind"), QKeySequence(Qt::CTRL | Qt::Key_Right), [this] { sameKind(1); });
    add(tr("Previous of Same K&ind"), QKeySequence(Qt::CTRL | Qt::Key_Left),
        [this] { sameKind(-1); });
    m_menuCommands.append(separator());
    m_goTo = add(tr("&Go to Record..."), QKeySequence(Qt::CTRL | Qt::Key_G), [this] { goToRecord(); });
    updateEnabled();
}

void RecordNavigator::watchTextBoxes(QWidget *window)
{
    for (QWidget *child : window->findChildren<QWidget *>()) {
        if (qobject_cast<QLineEdit *>(child) || qobject_cast<QPlainTextEdit *>(child))
            child->installEventFilter(this);
    }
}

void RecordNavigator::updateEnabled()
{
    const bool records = m_records->isEnabled() && m_store.RecordCount > 0;
    for (QAction *action : m_actions)
        action->setEnabled(records);
}

bool RecordNavigator::eventFilter(QObject *watched, QEvent *event)
{
    // A read-only box claims the navigation keys for its cursor; left unclaimed, they reach
    // the window's shortcuts. A box that can be edited keeps them.
    if (event->type() == QEvent::ShortcutOverride && isReadOnlyText(watched)) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const QKeySequence pressed(key->keyCombination());
        for (const QAction *action : std::as_const(m_actions)) {
            if (action->isEnabled() && action->shortcut() == pressed)
                return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

void RecordNavigator::moveTo(int record)
{
    if (!m_records->isEnabled() || m_store.RecordCount <= 0)
        return;
    m_records->setValue(std::clamp(record, m_records->minimum(), m_records->maximum()));
}

void RecordNavigator::step(int records)
{
    moveTo(m_records->value() + records);
}

void RecordNavigator::first()
{
    moveTo(m_records->minimum());
}

void RecordNavigator::last()
{
    moveTo(m_records->maximum());
}

void RecordNavigator::sameKind(int direction)
{
    // The bar counts record numbers; the store holds FirstNumber onwards (a live session
    // past 1000 frames).
    const int count = m_store.RecordCount;
    const qint64 shown = m_records->value() - m_store.FirstNumber + 1;
    if (count <= 0 || shown < 1 || shown > count)
        return;
    const kesta::TelemetryRecord &from = m_store[static_cast<std::int16_t>(shown)];
    const int stepBy = direction < 0 ? -1 : 1;
    for (auto r = static_cast<int>(shown) + stepBy; r >= 1 && r <= count; r += stepBy) {
        const kesta::TelemetryRecord &to = m_store[static_cast<std::int16_t>(r)];
        if (to.Type == from.Type && to.FrameKind == from.FrameKind) {
            moveTo(static_cast<int>(m_store.numberAt(static_cast<std::int16_t>(r))));
            return;
        }
    }
}

void RecordNavigator::goToRecord()
{
    if (!m_records->isEnabled() || m_store.RecordCount <= 0)
        return;
    // Up to the newest record number; one older than a session holds goes to its oldest.
    if (const std::optional<int> number = m_ask(m_window, m_records->value(), m_records->maximum()))
        moveTo(*number);
}

void RecordNavigator::setNumberAsker(NumberAsker asker)
{
    m_ask = asker ? std::move(asker) : NumberAsker(askWithDialog);
}

} // namespace kesta
