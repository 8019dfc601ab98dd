#pragma once

#include <QList>
#include <QObject>

class QAction;
class QMenu;
class QMenuBar;
class QWidget;

namespace kesta {

// Every command on the main window's menu bar, and the one place that puts them in their
// menus, in their order. The window's own commands are made here (text, name, keys); the
// commands other parts of the window own (the chart's, the limits', the record keys') are
// handed to build(). The window connects the commands; this class only arranges them.
class MainMenus : public QObject
{
    Q_OBJECT

public:
    // Commands other parts of the window own, in the order they are listed.
    struct Contributions
    {
        QList<QAction *> liveCommands; // connect, disconnect, reconnect now
        QAction *savePassReport = nullptr;
        QAction *saveChart = nullptr;
        QAction *copyChart = nullptr;
        QMenu *passes = nullptr;         // View -> Pass
        QAction *limitsFile = nullptr;
        QAction *timeAxis = nullptr;
        QList<QAction *> recordCommands; // the Record menu; separators as separator actions
        QList<QAction *> outsideLimits;  // after a line at the Record menu's end
    };

    // The menus and their commands are children of `bar`.
    explicit MainMenus(QMenuBar *bar);

    // Fills the bar: File, View, Settings, Record and the Info command. Called once.
    void build(const Contributions &parts);

    // The menus, empty until build().
    QMenu *file = nullptr;
    QMenu *views = nullptr;
    QMenu *settings = nullptr;
    QMenu *records = nullptr;

    // File
    QAction *open = nullptr;
    QAction *reload = nullptr;
    QMenu *recentFiles = nullptr;
    QAction *exportRecords = nullptr;
    QAction *exit = nullptr;
    // View
    QAction *lightElementMap = nullptr;
    QAction *recordTable = nullptr;
    // Settings
    QAction *writeTlmFile = nullptr;
    QAction *station = nullptr;
    QAction *influxDb = nullptr;
    // On the bar itself
    QAction *info = nullptr;

private:
    QAction *command(QWidget *menu, const QString &text, const char *name);
    QMenu *menu(const QString &title, const char *name);
    QMenuBar *m_bar;
};

} // namespace kesta
