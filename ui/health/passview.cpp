#include "passview.h"

#include "record_store.h"

#include <QAction>
#include <QActionGroup>
#include <QDateTime>
#include <QLocale>
#include <QMenu>
#include <algorithm>

namespace kesta {

namespace {

QString TimeOfDay(const std::optional<std::int64_t> &ms)
{
    if (!ms)
        return QStringLiteral("?");
    return QDateTime::fromMSecsSinceEpoch(*ms, Qt::UTC).toString(QStringLiteral("HH:mm:ss"));
}

} // namespace

PassView::PassView(QWidget *menuParent, const kesta::RecordStore &store, QObject *parent)
    : QObject(parent), m_store(store), m_menu(new QMenu(tr("&Pass"), menuParent)),
      m_group(new QActionGroup(this))
{
    m_menu->setObjectName(QStringLiteral("MnuViewPass"));
    m_group->setExclusive(true);
    rebuildMenu();
}

void PassView::setPasses(std::vector<Pass> passes)
{
    m_passes = std::move(passes);
    const bool changed = m_chosen != 0;
    m_chosen = 0;
    rebuildMenu();
    if (changed)
        emit chosenChanged();
}

void PassView::choose(int pass)
{
    if (pass < 0 || pass > static_cast<int>(m_passes.size()) || pass == m_chosen)
        return;
    if (pass > 0 && m_passes[static_cast<std::size_t>(pass - 1)].first >
                        static_cast<std::uint64_t>(std::max<int>(m_store.RecordCount, 0)))
        return;
    m_chosen = pass;
    const QList<QAction *> actions = m_group->actions();
    if (pass < actions.size())
        actions.at(pass)->setChecked(true);
    emit chosenChanged();
}

std::pair<int, int> PassView::span() const
{
    const int held = std::max<int>(m_store.RecordCount, 0);
    if (m_chosen == 0)
        return {1, held};
    const Pass &pass = m_passes[static_cast<std::size_t>(m_chosen - 1)];
    return {static_cast<int>(pass.first),
            static_cast<int>(std::min<std::uint64_t>(pass.last, static_cast<std::uint64_t>(held)))};
}

void PassView::rebuildMenu()
{
    for (QAction *action : m_group->actions())
        delete action;
    m_menu->clear();
    QAction *all = m_menu->addAction(tr("&All Passes"));
    all->setObjectName(QStringLiteral("MenuPassAll"));
    all->setCheckable(true);
    all->setChecked(true);
    m_group->addAction(all);
    connect(all, &QAction::triggered, this, [this] { choose(0); });
    const QLocale locale;
    const auto held = static_cast<std::uint64_t>(std::max<int>(m_store.RecordCount, 0));
    for (std::size_t i = 0; i < m_passes.size(); ++i) {
        const Pass &pass = m_passes[i];
        QString text = tr("Pass %1: %2 to %3 UTC, records %4 to %5")
                           .arg(i + 1)
                           .arg(TimeOfDay(pass.start), TimeOfDay(pass.end),
                                locale.toString(static_cast<qulonglong>(pass.first)),
                                locale.toString(static_cast<qulonglong>(pass.last)));
        if (pass.first > held)
            text += tr(" (past the records held)");
        QAction *action = m_menu->addAction(text);
        action->setObjectName(QStringLiteral("MenuPass_%1").arg(i + 1));
        action->setCheckable(true);
        action->setEnabled(pass.first <= held);
        m_group->addAction(action);
        const int number = static_cast<int>(i + 1);
        connect(action, &QAction::triggered, this, [this, number] { choose(number); });
    }
    m_menu->addSeparator();
    QAction *overlay = m_menu->addAction(tr("&Overlay Passes"));
    overlay->setObjectName(QStringLiteral("MenuPassOverlay"));
    connect(overlay, &QAction::triggered, this, &PassView::overlayRequested);
    m_menu->setEnabled(!m_passes.empty());
}

} // namespace kesta
