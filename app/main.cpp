// kesta-decoder: the desktop program. Opens the main window, and the log named on the command
// line once the window is on screen.

#include "commandline.h"
#include "connectdialog.h"
#include "firstshow.h"
#include "form1.h"
#include "influxdialog.h"
#include "program_state.h"
#include "standard_descriptors.h"
#include "stopsignals.h"
#include "stationdialog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QIcon>
#include <cstdio>

namespace {

// The program's icon, the one the desktop entry shows: built in, and the installed theme icon
// should the built-in one not load.
QIcon programIcon()
{
    const QIcon builtIn(QStringLiteral(":/images/kesta-decoder.svg"));
    if (!builtIn.pixmap(QSize(32, 32)).isNull())
        return builtIn;
    return QIcon::fromTheme(QStringLiteral("kesta-decoder"));
}

} // namespace

int main(int argc, char *argv[])
{
    using namespace kesta;
    EnsureStandardDescriptors();
    QElapsedTimer sinceStart;
    sinceStart.start();

    QStringList rawArguments;
    for (int i = 0; i < argc; ++i)
        rawArguments << QString::fromLocal8Bit(argv[i]);
    if (startup::answersWithoutWindow(rawArguments)) {
        const QCoreApplication app(argc, argv);
        startup::describeApplication();
        return startup::finish(startup::parseCommandLine(QCoreApplication::arguments()));
    }

    QApplication app(argc, argv);
    startup::describeApplication();
    // Ties the windows to the installed desktop entry (its name and icon on Wayland).
    QGuiApplication::setDesktopFileName(QStringLiteral("test.orvan.KestaDecoder"));
    const QIcon icon = programIcon();
    QApplication::setWindowIcon(icon);
    const startup::CommandLine line = startup::parseCommandLine(QApplication::arguments());
    if (line.action == startup::CommandLine::Action::Exit)
        return startup::finish(line);

    if (!line.station.isEmpty())
        StationDialog::setForThisRun(line.station);
    if (!line.influxUrl.isEmpty())
        InfluxDialog::setForThisRun(line.influxUrl);
    ProgramState state;
    Form1 window(state);
    window.setWindowIcon(icon);
    window.show();
    // SIGINT and SIGTERM end the program as Exit does, with the status a shell gives a
    // process ended by them (130, 143).
    int stoppedBy = 0;
    const StopSignals stopSignals([&](int signal) {
        if (stoppedBy != 0)
            return;
        stoppedBy = signal;
        window.close();
        QCoreApplication::exit(128 + signal);
    });
    const auto quit = [&] {
        std::printf("shown after %lld ms\n", static_cast<long long>(sinceStart.elapsed()));
        std::fflush(stdout);
        window.close();
    };
    startup::whenFirstShown(&window, [&] {
        if (line.connect) {
            ConnectRequest request;
            request.server = *line.connect;
            request.recordingPath = line.recordPath.isEmpty()
                                        ? connectsettings::defaultRecordingPath()
                                        : line.recordPath;
            request.writeTlm = window.writeTlmFile();
            request.influxUrl = InfluxDialog::url();
            window.connectTo(request); // a file it cannot create is reported in a message
            if (line.quitAfterShow)
                quit();
        } else if (!line.logPath.isEmpty()) {
            // The log is decoded on a thread of its own; quitting waits for it to end.
            if (line.quitAfterShow)
                QObject::connect(&window, &Form1::runEnded, &window, quit);
            window.openLog(line.logPath);
            if (line.quitAfterShow && !window.isRunning())
                quit();
        } else if (line.quitAfterShow) {
            quit();
        }
    });
    const int status = QApplication::exec();
    return stoppedBy != 0 ? 128 + stoppedBy : status;
}
