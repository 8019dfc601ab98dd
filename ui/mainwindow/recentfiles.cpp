#include "recentfiles.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QSettings>

namespace kesta {

namespace {

const QString Key = QStringLiteral("recentFiles");

} // namespace

RecentFiles::RecentFiles(QObject *parent) : QObject(parent) {}

QStringList RecentFiles::files() const
{
    QStringList list = QSettings().value(Key).toStringList();
    list.removeAll(QString());
    while (list.size() > MaxFiles)
        list.removeLast();
    return list;
}

void RecentFiles::add(const QString &path)
{
    if (path.isEmpty())
        return;
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QStringList list = files();
    list.removeAll(absolute);
    list.prepend(absolute);
    while (list.size() > MaxFiles)
        list.removeLast();
    QSettings().setValue(Key, list);
}

void RecentFiles::clear()
{
    QSettings().remove(Key);
}

void RecentFiles::remove(const QString &path)
{
    QStringList list = files();
    if (list.removeAll(QFileInfo(path).absoluteFilePath()) > 0)
        QSettings().setValue(Key, list);
}

QString RecentFiles::lastFolder() const
{
    const QStringList list = files();
    return list.isEmpty() ? QString() : QFileInfo(list.first()).absolutePath();
}

void RecentFiles::attach(QMenu *menu)
{
    connect(menu, &QMenu::aboutToShow, this, [this, menu] { fill(menu); });
    fill(menu);
}

void RecentFiles::fill(QMenu *menu)
{
    menu->clear();
    const QStringList list = files();
    int number = 0;
    for (const QString &path : list) {
        ++number;
        QString shown = QDir::toNativeSeparators(path);
        shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction *action = menu->addAction(QStringLiteral("&%1 %2").arg(number).arg(shown));
        action->setData(path);
        connect(action, &QAction::triggered, this, [this, path] { emit chosen(path); });
    }
    if (list.isEmpty()) {
        menu->addAction(tr("(none)"))->setEnabled(false);
        return;
    }
    menu->addSeparator();
    QAction *clearAll = menu->addAction(tr("&Clear Recent Files"));
    clearAll->setObjectName(QStringLiteral("ClearRecentFiles"));
    connect(clearAll, &QAction::triggered, this, [this, menu] {
        clear();
        fill(menu);
    });
}

} // namespace kesta
