// kesta-screenshot: renders the main window offscreen, after decoding a log, into a PNG.
//
//   kesta-screenshot [--dark] [LOG [PNG]]   (defaults: samples/pass.kss, form1.png)
//
// The log is decoded from a copy in a temporary folder, so that no dump or TLM file is
// written beside the original. --dark renders under the Fusion style with a dark palette.

#include "dark_theme.h"
#include "form1.h"
#include "program_state.h"

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QPixmap>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstdio>

using namespace kesta;

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The tool's own runs stay out of the user's recent files.
    QStandardPaths::setTestModeEnabled(true);
    QStringList args = QApplication::arguments();
    args.removeFirst();
    if (args.removeAll(QStringLiteral("--dark")) > 0)
        darktheme::apply();
    const QString log = !args.isEmpty() ? args.at(0) : QStringLiteral("samples/pass.kss");
    const QString png = args.size() > 1 ? args.at(1) : QStringLiteral("form1.png");

    QTemporaryDir folder;
    const QString copy = folder.filePath(QFileInfo(log).fileName());
    if (!folder.isValid() || !QFile::copy(log, copy)) {
        std::fprintf(stderr, "kesta-screenshot: %s: cannot copy the log to a temporary folder\n",
                     qPrintable(log));
        return 1;
    }

    kesta::ProgramState state;
    Form1 window(state);
    window.show();
    // The log is decoded on a thread of its own: the picture waits for the run to end.
    QEventLoop loop;
    QObject::connect(&window, &Form1::runEnded, &loop, &QEventLoop::quit);
    window.openLog(copy); // shows record 1 and the chart of parameter 13
    if (window.isRunning())
        loop.exec();
    // The status bar lays out its new texts over a few rounds of events.
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();

    if (!window.grab().save(png, "PNG")) {
        std::fprintf(stderr, "kesta-screenshot: %s: cannot write the picture\n", qPrintable(png));
        return 1;
    }
    window.close();
    return 0;
}
