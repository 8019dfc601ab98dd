// kesta-screenshot: renders the main window offscreen, after decoding a log, into a PNG.
//
//   kesta-screenshot [LOG [PNG]]   (defaults: samples/pass.kss, form1.png)
//
// The log is decoded from a copy in a temporary folder, so that no dump or TLM file is
// written beside the original.

#include "form1.h"
#include "program_state.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstdio>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    const QString log = args.size() > 1 ? args.at(1) : QStringLiteral("samples/pass.kss");
    const QString png = args.size() > 2 ? args.at(2) : QStringLiteral("form1.png");

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
    window.openLog(copy); // shows record 1 and the chart of parameter 13
    QApplication::processEvents();

    if (!window.grab().save(png, "PNG")) {
        std::fprintf(stderr, "kesta-screenshot: %s: cannot write the picture\n", qPrintable(png));
        return 1;
    }
    window.close();
    return 0;
}
