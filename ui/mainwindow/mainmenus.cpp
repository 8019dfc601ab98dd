#include "mainmenus.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

namespace kesta {

MainMenus::MainMenus(QMenuBar *bar) : QObject(bar), m_bar(bar)
{
    file = menu(tr("&File"), "MnuFile");
    file->menuAction()->setObjectName(QStringLiteral("MnuFileAction"));
    views = menu(tr("&View"), "MnuView");
    settings = menu(tr("&Settings"), "MnuSettings");
    records = menu(tr("&Record"), "MnuRecord");

    open = command(file, tr("&Open"), "MenuFileOpen");
    open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    reload = command(file, tr("&Reload"), "MenuFileReload");
    reload->setShortcut(QKeySequence(Qt::Key_F5));
    reload->setEnabled(false); // until a log has been decoded
    recentFiles = new QMenu(tr("Recent &Files"), file);
    recentFiles->setObjectName(QStringLiteral("MnuRecentFiles"));
    exportRecords = command(file, tr("&Export Records..."), "MenuFileExportRecords");
    exportRecords->setEnabled(false); // until a log has been decoded
    exit = command(file, tr("E&xit"), "MenuFileExit");
    exit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    lightElementMap = command(views, tr("Light-Element &Map"), "MenuViewLightMap");
    recordTable = command(views, tr("Record &Table"), "MenuViewRecordTable");

    writeTlmFile = command(settings, tr("&Write TLM File"), "WriteTLMFile");
    // The check mark is inverted by the window's handler, so that the menu and the
    // window's toggle are one and the same command.
    writeTlmFile->setCheckable(true);
    writeTlmFile->setChecked(true);
    station = command(settings, tr("&Station..."), "MenuStation");
    influxDb = command(settings, tr("&InfluxDB..."), "MenuInfluxDB");

    info = command(m_bar, tr("&Info"), "MnuInfo");
}

QAction *MainMenus::command(QWidget *menu, const QString &text, const char *name)
{
    auto *action = new QAction(text, menu);
    action->setObjectName(QLatin1String(name));
    return action;
}

QMenu *MainMenus::menu(const QString &title, const char *name)
{
    auto *created = new QMenu(title, m_bar);
    created->setObjectName(QLatin1String(name));
    return created;
}

void MainMenus::build(const Contributions &parts)
{
    // File: open, go live, write out what the window holds, leave.
    m_bar->addMenu(file);
    file->addActions({open, reload});
    file->addMenu(recentFiles);
    file->addSeparator();
    file->addActions(parts.liveCommands);
    file->addSeparator();
    file->addAction(exportRecords);
    for (QAction *action : {parts.savePassReport, parts.saveChart, parts.copyChart}) {
        if (action)
            file->addAction(action);
    }
    file->addSeparator();
    file->addAction(exit);

    m_bar->addMenu(views);
    views->addActions({lightElementMap, recordTable});
    views->addSeparator();
    if (parts.passes)
        views->addMenu(parts.passes);

    m_bar->addMenu(settings);
    settings->addActions({writeTlmFile, station});
    // Beside "Station...", before the chart's own settings.
    if (parts.limitsFile)
        settings->addAction(parts.limitsFile);
    settings->addAction(influxDb);
    if (parts.timeAxis)
        settings->addAction(parts.timeAxis);

    m_bar->addMenu(records);
    records->addActions(parts.recordCommands);
    if (!parts.outsideLimits.isEmpty()) {
        records->addSeparator();
        records->addActions(parts.outsideLimits);
    }

    m_bar->addAction(info);
}

} // namespace kesta
