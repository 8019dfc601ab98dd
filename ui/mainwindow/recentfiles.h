#pragma once

#include <QObject>
#include <QStringList>

class QMenu;

namespace kesta {

// The logs opened last, newest first, at most MaxFiles, kept in the program's settings
// (QSettings) from one session to the next. Fills the "Recent Files" menu.
class RecentFiles : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxFiles = 8;

    explicit RecentFiles(QObject *parent = nullptr);

    QStringList files() const;
    // Puts `path` first, removing an older entry of it and anything past MaxFiles.
    void add(const QString &path);
    void clear();
    // Forgets `path` (a log that can no longer be read).
    void remove(const QString &path);
    // The folder of the newest log, or empty text when there is none.
    QString lastFolder() const;

    // Rebuilds `menu` from the list each time it opens: "&1 /path/name.kss", ...; choosing
    // an entry emits chosen().
    void attach(QMenu *menu);

signals:
    void chosen(const QString &path);

private:
    void fill(QMenu *menu);
};

} // namespace kesta
