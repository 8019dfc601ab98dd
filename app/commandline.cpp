#include "commandline.h"

#include "influx_target.h"
#include "station_name.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>

namespace kesta::startup {

namespace {

constexpr int UsageError = 2;

const QStringList HelpNames{QStringLiteral("h"), QStringLiteral("help"), QStringLiteral("?")};
const QStringList VersionNames{QStringLiteral("v"), QStringLiteral("version")};
const QString QuitAfterShowName = QStringLiteral("quit-after-show");

QString versionLine()
{
    return QCoreApplication::applicationName() + u' ' + QCoreApplication::applicationVersion() +
           u'\n';
}

CommandLine exitWith(int code, const QString &output)
{
    CommandLine line;
    line.action = CommandLine::Action::Exit;
    line.exitCode = code;
    line.output = output;
    return line;
}

} // namespace

void describeApplication()
{
    QCoreApplication::setApplicationName(QStringLiteral("kesta-decoder"));
    // Where QSettings keeps the program's choices (~/.config/KESTA-1/kesta-decoder.conf).
    QCoreApplication::setOrganizationName(QStringLiteral("KESTA-1"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KESTA_PACKAGE_VERSION));
}

bool answersWithoutWindow(const QStringList &arguments)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("--"))
            return false; // only log names follow
        for (const QStringList *names : {&HelpNames, &VersionNames}) {
            for (const QString &name : *names) {
                if (argument == u'-' + name || argument == QLatin1String("--") + name)
                    return true;
            }
        }
    }
    return false;
}

CommandLine parseCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("KESTA-1 telemetry decoder: opens a KISS log (.kss) of received frames, "
                       "decodes every frame into a record and shows, charts and explains them."));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(HelpNames, QStringLiteral("Show this help and exit."));
    const QCommandLineOption version(VersionNames,
                                     QStringLiteral("Show the program's version and exit."));
    QCommandLineOption quitAfterShow(QuitAfterShowName);
    quitAfterShow.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption(quitAfterShow);
    const QCommandLineOption connect(
        QStringLiteral("connect"),
        QStringLiteral("Start connected to the KISS TCP server at HOST:PORT (8001 for soundcard "
                       "TNC programs, 8100 for SDR satellite decoders), as \"Connect...\" does."),
        QStringLiteral("HOST:PORT"));
    const QCommandLineOption record(
        QStringLiteral("record"),
        QStringLiteral("With --connect: the new log the received frames are recorded in "
                       "(default: kesta1-YYYYMMDD-HHMMSSZ.kss in the last folder used)."),
        QStringLiteral("FILE"));
    const QCommandLineOption station(
        QStringLiteral("station"),
        QStringLiteral("Name the receiving station for this run, as Settings > Station... does: "
                       "exported records carry it (the Station column, station=NAME in the "
                       "line protocol)."),
        QStringLiteral("NAME"));
    const QCommandLineOption influxUrl(
        QStringLiteral("influx-url"),
        QStringLiteral("Send the records of the log opened or the live session to this InfluxDB "
                       "server as well, for this run, as Settings > InfluxDB... does: "
                       "http://HOST:8086/write?db=NAME (1.x) or "
                       "http://HOST:8086/api/v2/write?org=ORG&bucket=BUCKET (2.x); the token, "
                       "if any, from the environment variable INFLUX_TOKEN."),
        QStringLiteral("URL"));
    parser.addOption(connect);
    parser.addOption(record);
    parser.addOption(station);
    parser.addOption(influxUrl);
    parser.addPositionalArgument(
        QStringLiteral("LOG"), QStringLiteral("A log to open at start, as if chosen in \"Open\"."),
        QStringLiteral("[LOG]"));

    const bool parsed = parser.parse(arguments);
    // A request for help or the version is answered even when other words are wrong.
    if (parser.isSet(help))
        return exitWith(0, parser.helpText());
    if (parser.isSet(version))
        return exitWith(0, versionLine());

    const QString tryHelp = QStringLiteral("Try '%1 --help' for more information.\n")
                                .arg(QCoreApplication::applicationName());
    if (!parsed)
        return exitWith(UsageError, parser.errorText() + u'\n' + tryHelp);
    const QStringList logs = parser.positionalArguments();
    if (logs.size() > 1) {
        return exitWith(UsageError,
                        QStringLiteral("Only one log can be opened at a time; %1 were given.\n")
                                .arg(logs.size()) +
                            tryHelp);
    }

    CommandLine line;
    if (!logs.isEmpty()) {
        if (logs.first().isEmpty())
            return exitWith(UsageError, QStringLiteral("The log name is empty.\n") + tryHelp);
        // The open dialog hands over full paths; the output files are named from this one.
        line.logPath = QFileInfo(logs.first()).absoluteFilePath();
    }
    line.quitAfterShow = parser.isSet(quitAfterShow);
    if (parser.isSet(station)) {
        const QByteArray name = parser.value(station).toUtf8();
        if (const auto problem = StationNameProblem(name.toStdString()))
            return exitWith(UsageError, QStringLiteral("--station: ") +
                                            QString::fromStdString(*problem) + u'\n' + tryHelp);
        line.station = parser.value(station);
    }

    if (parser.isSet(influxUrl)) {
        QString error;
        if (!ParseInfluxUrl(parser.value(influxUrl), qgetenv("INFLUX_TOKEN"), error))
            return exitWith(UsageError, QStringLiteral("--influx-url ") + error + u'\n' + tryHelp);
        line.influxUrl = parser.value(influxUrl);
    }

    if (parser.isSet(record) && !parser.isSet(connect))
        return exitWith(UsageError, QStringLiteral("--record needs --connect.\n") + tryHelp);
    if (parser.isSet(connect)) {
        if (!logs.isEmpty()) {
            return exitWith(UsageError,
                            QStringLiteral("A log cannot be opened while connecting to a "
                                           "server; give one or the other.\n") +
                                tryHelp);
        }
        QString error;
        line.connect = ParseHostPort(parser.value(connect), error);
        if (!line.connect)
            return exitWith(UsageError, QStringLiteral("--connect ") + error + u'\n' + tryHelp);
        if (parser.isSet(record)) {
            if (parser.value(record).isEmpty()) {
                return exitWith(UsageError,
                                QStringLiteral("The recording's name is empty.\n") + tryHelp);
            }
            line.recordPath = QFileInfo(parser.value(record)).absoluteFilePath();
        }
    }
    return line;
}

int finish(const CommandLine &line)
{
    std::FILE *stream = line.exitCode == 0 ? stdout : stderr;
    std::fputs(line.output.toLocal8Bit().constData(), stream);
    std::fflush(stream);
    return line.exitCode;
}

} // namespace kesta::startup
