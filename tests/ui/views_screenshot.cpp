// kesta-views-screenshot: renders the light-element map and the record table offscreen,
// after decoding a log, into two PNG files.
//
//   kesta-views-screenshot [LOG [MAP_PNG [TABLE_PNG]]]
//   (defaults: samples/pass.kss, lightmap.png, recordtable.png)
//
// The log is decoded from a copy in a temporary folder, so that no dump or TLM file is
// written beside the original.

#include "form1.h"
#include "lightelementmap.h"
#include "program_state.h"
#include "recordtable.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPixmap>
#include <QTableView>
#include <QTemporaryDir>
#include <cstdio>

using namespace kesta;

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    const QString log = args.value(1, QStringLiteral("samples/pass.kss"));
    const QString mapPng = args.value(2, QStringLiteral("lightmap.png"));
    const QString tablePng = args.value(3, QStringLiteral("recordtable.png"));

    QTemporaryDir folder;
    const QString copy = folder.filePath(QFileInfo(log).fileName());
    if (!folder.isValid() || !QFile::copy(log, copy)) {
        std::fprintf(stderr, "kesta-views-screenshot: %s: cannot copy the log\n", qPrintable(log));
        return 1;
    }

    kesta::ProgramState state;
    Form1 window(state);
    window.show();
    window.openLog(copy);
    while (window.isRunning())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    QApplication::processEvents();

    window.showLightElementMap();
    LightElementMap *map = window.lightElementMap();
    map->resize(800, 420);
    QApplication::processEvents();
    // Point at a cell, as a user would, so that the picture shows what hovering says.
    const QRect plot = map->plotRect();
    const int column = map->columnCount() / 3;
    const QPointF at(plot.left() + (column + 0.5) * plot.width() / map->columnCount(),
                     plot.top() + plot.height() * 0.3);
    QMouseEvent move(QEvent::MouseMove, at, map->canvas()->mapToGlobal(at), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(map->canvas(), &move);
    QApplication::processEvents();

    window.showRecordTable();
    RecordTable *table = window.recordTable();
    table->resize(900, 420);
    table->view()->selectRow(2);
    QApplication::processEvents();

    bool ok = map->grab().save(mapPng, "PNG");
    ok = table->grab().save(tablePng, "PNG") && ok;
    if (!ok) {
        std::fprintf(stderr, "kesta-views-screenshot: cannot write the pictures\n");
        return 1;
    }
    window.close();
    return 0;
}
