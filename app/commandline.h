#pragma once

#include "hostport.h"

#include <QString>
#include <QStringList>
#include <optional>

// The desktop program's command line:
// kesta-decoder [--help] [--version] [--station NAME] [--influx-url URL]
//               [LOG | --connect HOST:PORT [--record FILE]].
namespace kesta::startup {

struct CommandLine
{
    enum class Action
    {
        ShowWindow, // start the program
        Exit,       // print `output` and end with `exitCode`
    };
    Action action = Action::ShowWindow;
    int exitCode = 0;
    // What to print before ending: on standard output for --help and --version, on standard
    // error for a usage mistake.
    QString output;

    // The log named on the command line, as an absolute path; empty when none was given.
    QString logPath;
    // Close the window as soon as it has been shown (and the log, if any, has been opened):
    // used to time the start of the program.
    bool quitAfterShow = false;

    // --connect: start connected to this KISS TCP server, recording into `recordPath`
    // (absolute; empty for the default name in the remembered folder).
    std::optional<HostPort> connect;
    QString recordPath;

    // --station: the receiving station for this run (Settings -> Station... otherwise);
    // empty when not given.
    QString station;
    // --influx-url: the InfluxDB server of this run (Settings -> InfluxDB... otherwise);
    // empty when not given.
    QString influxUrl;
};

// The program's name and version, as --version and --help print them, and the organisation
// name under which its settings are kept. Call once, after the application object exists.
void describeApplication();

// True for a command line that only asks for --help or --version: it is answered without a
// window, so it also works where there is no display.
bool answersWithoutWindow(const QStringList &arguments);

// Reads `arguments` (the program's own name first, Qt's options already removed).
CommandLine parseCommandLine(const QStringList &arguments);

// Prints the output of an Exit command line where it belongs and returns its exit code.
int finish(const CommandLine &line);

} // namespace kesta::startup
