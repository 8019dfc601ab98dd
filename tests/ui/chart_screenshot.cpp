// kesta-chart-screenshot: renders the main window offscreen with its chart explored (zoomed
// with the wheel, the mouse over a point, the marker at the shown record) into a PNG.
//
//   kesta-chart-screenshot [LOG [PNG [time]]]   (defaults: samples/pass.kss, chart.png)
//
// With "time" the chart's X axis shows reception times (for this run only: nothing is
// remembered).
//
// The log is decoded from a copy in a temporary folder, so that no dump or TLM file is
// written beside the original.

#include "form1.h"
#include "parameterchart.h"
#include "program_state.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPixmap>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <cstdio>

using namespace kesta;

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true); // the user's settings stay untouched
    const QStringList args = QApplication::arguments();
    const QString log = args.size() > 1 ? args.at(1) : QStringLiteral("samples/pass.kss");
    const QString png = args.size() > 2 ? args.at(2) : QStringLiteral("chart.png");

    QTemporaryDir folder;
    const QString copy = folder.filePath(QFileInfo(log).fileName());
    if (!folder.isValid() || !QFile::copy(log, copy)) {
        std::fprintf(stderr, "kesta-chart-screenshot: %s: cannot copy the log\n", qPrintable(log));
        return 1;
    }

    kesta::ProgramState state;
    Form1 window(state);
    window.show();
    window.openLog(copy);
    while (window.isRunning())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    window.optionClicked(2); // RSSI
    QApplication::processEvents();

    ParameterChart *chart = window.chart();
    if (args.size() > 3 && args.at(3) == QLatin1String("time"))
        chart->setTimeAxis(true);
    QApplication::processEvents();
    QWidget *viewport = chart->viewport();
    // A record with a point, about two fifths into the log.
    int shown = 1;
    for (const QPointF &point : chart->points()) {
        shown = static_cast<int>(point.x());
        if (shown >= state.store.RecordCount * 2 / 5)
            break;
    }
    window.findChild<QScrollBar *>(QStringLiteral("HScroll1"))->setValue(shown);

    // Three notches of the wheel over the shown record, then the mouse on a point near it.
    if (const auto at = chart->pointPosition(shown)) {
        const QPointF centre(at->x(), viewport->height() / 2.0);
        QWheelEvent wheel(centre, viewport->mapToGlobal(centre), QPoint(), QPoint(0, 360),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport, &wheel);
        QApplication::processEvents();
    }
    for (int record = shown + 6; record < shown + 60; ++record) {
        if (const auto at = chart->pointPosition(record)) {
            QMouseEvent move(QEvent::MouseMove, *at, viewport->mapToGlobal(*at), Qt::NoButton,
                             Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(viewport, &move);
            break;
        }
    }
    QApplication::processEvents();

    if (!window.grab().save(png, "PNG")) {
        std::fprintf(stderr, "kesta-chart-screenshot: %s: cannot write the picture\n",
                     qPrintable(png));
        return 1;
    }
    window.close();
    return 0;
}
