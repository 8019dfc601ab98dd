// The desktop program's command line: how it is read, and what the built program does with it.

#include "commandline.h"
#include "decoding_run.h"
#include "decoding_session.h"
#include "log_generator.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <sys/stat.h>

using namespace kesta;

using startup::CommandLine;

namespace {

// Runs the built program offscreen in `directory`; fails the test if it does not end by itself.
struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

Run runProgram(const QStringList &arguments, const QString &directory = QDir::currentPath())
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(directory);
    process.start(QStringLiteral(KESTA_DECODER_BINARY), arguments);
    Run run;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void startsTheWindow_data();
    void startsTheWindow();
    void startsConnected_data();
    void startsConnected();
    void endsAtOnce_data();
    void endsAtOnce();
    void answersWithoutWindow_data();
    void answersWithoutWindow();

    void programPrintsVersionAndHelp();
    void programRefusesUsageMistakes();
    void programOpensTheLogGiven();
    void signalEndsTheProgramAsExitDoes_data();
    void signalEndsTheProgramAsExitDoes();
};

void TestCommandLine::initTestCase()
{
    startup::describeApplication();
}

void TestCommandLine::startsTheWindow_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("logPath");
    QTest::addColumn<bool>("quitAfterShow");

    const QString here = QDir::currentPath();
    QTest::newRow("no log") << QStringList{"kesta-decoder"} << QString() << false;
    QTest::newRow("absolute log") << QStringList{"kesta-decoder", "/logs/pass1.kss"}
                                  << "/logs/pass1.kss" << false;
    QTest::newRow("relative log") << QStringList{"kesta-decoder", "logs/pass1.kss"}
                                  << here + "/logs/pass1.kss" << false;
    QTest::newRow("log with spaces")
        << QStringList{"kesta-decoder", "/my logs/pass 1.kss"} << "/my logs/pass 1.kss" << false;
    QTest::newRow("log named like an option after --")
        << QStringList{"kesta-decoder", "--", "-pass.kss"} << here + "/-pass.kss" << false;
    QTest::newRow("timing run") << QStringList{"kesta-decoder", "--quit-after-show", "/l/a.kss"}
                                << "/l/a.kss" << true;
    QTest::newRow("station") << QStringList{"kesta-decoder", "--station", "Z\u00fcrich 2", "/l/a.kss"}
                             << "/l/a.kss" << false;
    QTest::newRow("InfluxDB") << QStringList{"kesta-decoder", "--influx-url", "http://h:8086/write?db=k", "/l/a.kss"}
                              << "/l/a.kss" << false;
}

void TestCommandLine::startsTheWindow()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, logPath);
    QFETCH(bool, quitAfterShow);

    const CommandLine line = startup::parseCommandLine(arguments);
    QVERIFY2(line.action == CommandLine::Action::ShowWindow, qPrintable(line.output));
    QCOMPARE(line.logPath, logPath);
    QCOMPARE(line.quitAfterShow, quitAfterShow);
    QCOMPARE(line.station, arguments.contains("--station") ? QStringLiteral("Z\u00fcrich 2") : QString());
    QCOMPARE(line.influxUrl, arguments.contains("--influx-url") ? QStringLiteral("http://h:8086/write?db=k") : QString());
}

void TestCommandLine::startsConnected_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("recordPath");

    const QString here = QDir::currentPath();
    QTest::newRow("default recording")
        << QStringList{"kesta-decoder", "--connect", "localhost:8100"} << "localhost" << 8100
        << QString();
    QTest::newRow("relative recording")
        << QStringList{"kesta-decoder", "--connect=192.0.2.7:8001", "--record", "p/pass.kss"}
        << "192.0.2.7" << 8001 << here + "/p/pass.kss";
    QTest::newRow("IPv6 address") << QStringList{"kesta-decoder", "--connect", "[::1]:8001"}
                                  << "::1" << 8001 << QString();
}

void TestCommandLine::startsConnected()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(QString, recordPath);

    const CommandLine line = startup::parseCommandLine(arguments);
    QVERIFY2(line.action == CommandLine::Action::ShowWindow, qPrintable(line.output));
    QVERIFY(line.connect);
    QCOMPARE(line.connect->host, host);
    QCOMPARE(int(line.connect->port), port);
    QCOMPARE(line.recordPath, recordPath);
    QVERIFY(line.logPath.isEmpty());
}

void TestCommandLine::endsAtOnce_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("printed"); // a part of what is printed

    QTest::newRow("--version") << QStringList{"kesta-decoder", "--version"} << 0
                               << "kesta-decoder 1.2.0\n";
    QTest::newRow("-v") << QStringList{"kesta-decoder", "-v"} << 0 << "kesta-decoder 1.2.0\n";
    QTest::newRow("--help") << QStringList{"kesta-decoder", "--help"} << 0 << "[LOG]";
    QTest::newRow("-h with a log")
        << QStringList{"kesta-decoder", "pass.kss", "-h"} << 0 << "--version";
    QTest::newRow("help despite a wrong option")
        << QStringList{"kesta-decoder", "--colour", "--help"} << 0 << "Usage:";
    QTest::newRow("unknown option")
        << QStringList{"kesta-decoder", "--colour"} << 2 << "Unknown option 'colour'";
    QTest::newRow("two logs") << QStringList{"kesta-decoder", "a.kss", "b.kss"} << 2
                              << "Only one log";
    QTest::newRow("empty log name") << QStringList{"kesta-decoder", ""} << 2 << "empty";
    QTest::newRow("--connect without port")
        << QStringList{"kesta-decoder", "--connect", "localhost"} << 2 << "HOST:PORT";
    QTest::newRow("--connect port 0")
        << QStringList{"kesta-decoder", "--connect", "localhost:0"} << 2 << "1 to 65535";
    QTest::newRow("--connect port out of range")
        << QStringList{"kesta-decoder", "--connect", "localhost:65536"} << 2 << "1 to 65535";
    QTest::newRow("--connect without value")
        << QStringList{"kesta-decoder", "--connect"} << 2 << "Missing value";
    QTest::newRow("--connect and a log")
        << QStringList{"kesta-decoder", "--connect", "localhost:8100", "a.kss"} << 2
        << "one or the other";
    QTest::newRow("--record alone")
        << QStringList{"kesta-decoder", "--record", "a.kss"} << 2 << "needs --connect";
    QTest::newRow("--record empty")
        << QStringList{"kesta-decoder", "--connect", "h:8001", "--record", ""} << 2 << "empty";
    QTest::newRow("--station empty")
        << QStringList{"kesta-decoder", "--station", ""} << 2 << "--station: the station name is empty";
    QTest::newRow("--station with a line break")
        << QStringList{"kesta-decoder", "--station", "a\nb"} << 2 << "line break";
    QTest::newRow("--influx-url without a database")
        << QStringList{"kesta-decoder", "--influx-url", "http://h:8086/write"} << 2
        << "--influx-url http://h:8086/write: the database is missing (db=NAME)";
}

void TestCommandLine::endsAtOnce()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, printed);

    const CommandLine line = startup::parseCommandLine(arguments);
    QVERIFY(line.action == CommandLine::Action::Exit);
    QCOMPARE(line.exitCode, exitCode);
    QVERIFY2(line.output.contains(printed), qPrintable(line.output));
    if (exitCode != 0)
        QVERIFY2(line.output.contains("--help"), qPrintable(line.output));
}

void TestCommandLine::answersWithoutWindow_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("withoutWindow");

    QTest::newRow("nothing") << QStringList{"kesta-decoder"} << false;
    QTest::newRow("a log") << QStringList{"kesta-decoder", "pass.kss"} << false;
    QTest::newRow("--help") << QStringList{"kesta-decoder", "--help"} << true;
    QTest::newRow("-h") << QStringList{"kesta-decoder", "-h"} << true;
    QTest::newRow("--version with Qt's options")
        << QStringList{"kesta-decoder", "-platform", "xcb", "--version"} << true;
    QTest::newRow("a log called --help") << QStringList{"kesta-decoder", "--", "--help"} << false;
    QTest::newRow("a log called help") << QStringList{"kesta-decoder", "help"} << false;
}

void TestCommandLine::answersWithoutWindow()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, withoutWindow);
    QCOMPARE(startup::answersWithoutWindow(arguments), withoutWindow);
}

void TestCommandLine::programPrintsVersionAndHelp()
{
    const Run version = runProgram({"--version"});
    QCOMPARE(version.exitCode, 0);
    QCOMPARE(version.out, QStringLiteral("kesta-decoder 1.2.0\n"));

    const Run help = runProgram({"--help"});
    QCOMPARE(help.exitCode, 0);
    QVERIFY2(help.out.contains("[LOG]") && help.out.contains("--version"), qPrintable(help.out));
    QVERIFY2(!help.out.contains("quit-after-show"), qPrintable(help.out));
}

void TestCommandLine::programRefusesUsageMistakes()
{
    const Run run = runProgram({"--colour"});
    QCOMPARE(run.exitCode, 2);
    QVERIFY(run.out.isEmpty());
    QVERIFY2(run.err.contains("Unknown option 'colour'"), qPrintable(run.err));
}

void TestCommandLine::programOpensTheLogGiven()
{
    // A log named on the command line is decoded at start, as "Open" would: its dump file,
    // one line per accepted frame, and its TLM file appear beside it; the log stays as it was.
    QTemporaryDir directory;
    QVERIFY(directory.isValid());
    kesta::loggen::GeneratorOptions options;
    options.frames = 37;
    kesta::loggen::GeneratedLogSummary summary;
    const std::vector<std::uint8_t> bytes = kesta::loggen::GenerateLog(options, &summary);
    const QByteArray log(reinterpret_cast<const char *>(bytes.data()),
                         static_cast<qsizetype>(bytes.size()));
    QFile file(directory.filePath("pass1.kss"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(log);
    file.close();

    // A relative name, resolved against the directory the program was started in.
    const Run run = runProgram({"--quit-after-show", "pass1.kss"}, directory.path());
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QVERIFY2(run.out.startsWith("shown after "), qPrintable(run.out));

    QFile dump(directory.filePath("pass1.dmp"));
    QVERIFY2(dump.open(QIODevice::ReadOnly), "no dump file beside the log");
    const QList<QByteArray> lines = dump.readAll().split('\n');
    QCOMPARE(lines.size() - 1, static_cast<qsizetype>(summary.telemetryFrames));
    QVERIFY(QFile::exists(directory.filePath("pass1.tlm")));

    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), log);
}

namespace {

QByteArray generatedLog(std::uint64_t frames)
{
    kesta::loggen::GeneratorOptions options;
    options.frames = frames;
    const std::vector<std::uint8_t> bytes = kesta::loggen::GenerateLog(options);
    return QByteArray(reinterpret_cast<const char *>(bytes.data()),
                      static_cast<qsizetype>(bytes.size()));
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

std::uint64_t framesIn(const QByteArray &log)
{
    kesta::DecodingSession session;
    session.feed(
        std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t *>(log.constData()),
                                      static_cast<std::size_t>(log.size())));
    session.finish();
    return session.totals().frames;
}

} // namespace

void TestCommandLine::signalEndsTheProgramAsExitDoes_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("live");
    QTest::newRow("SIGTERM, live session") << SIGTERM << true;
    QTest::newRow("SIGINT, live session") << SIGINT << true;
    QTest::newRow("SIGTERM, log run") << SIGTERM << false;
}

// A live session's files hold every frame the recording holds; a run is cancelled and
// leaves nothing behind; the exit status is the one a shell gives for the signal.
void TestCommandLine::signalEndsTheProgramAsExitDoes()
{
    QFETCH(int, signal);
    QFETCH(bool, live);
    QTemporaryDir directory;
    const QString recording = directory.filePath("pass.kss");
    const QByteArray log = generatedLog(300);
    QTcpServer server; // sends the pass and keeps the connection open
    QVERIFY(server.listen(QHostAddress::LocalHost));
    connect(&server, &QTcpServer::newConnection, &server,
            [&] { server.nextPendingConnection()->write(log); });
    QFile fifo(recording);
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(environment);
    QSignalSpy ended(&program, &QProcess::finished);
    if (live) {
        program.start(QStringLiteral(KESTA_DECODER_BINARY),
                      {QStringLiteral("--connect"),
                       QStringLiteral("127.0.0.1:%1").arg(server.serverPort()),
                       QStringLiteral("--record"), recording});
        QTRY_COMPARE_WITH_TIMEOUT(framesIn(contents(recording)), framesIn(log), 30000);
    } else {
        // A log read from a FIFO: the run waits in the middle for as long as the test likes.
        QVERIFY(::mkfifo(QFile::encodeName(recording).constData(), 0600) == 0);
        program.start(QStringLiteral(KESTA_DECODER_BINARY), {recording});
        QVERIFY(fifo.open(QIODevice::WriteOnly));
        fifo.write(log.left(log.size() / 2));
        fifo.flush();
        QTRY_VERIFY_WITH_TIMEOUT(QDir(directory.path())
                                     .entryList(QDir::Files | QDir::Hidden)
                                     .join(' ')
                                     .contains("kesta-part"),
                                 30000);
    }
    ::kill(static_cast<pid_t>(program.processId()), signal);
    QVERIFY(ended.wait(30000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 128 + signal);

    if (!live) {
        QCOMPARE(QDir(directory.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
                 QStringList{QStringLiteral("pass.kss")});
        return;
    }
    // Decoding the recording afterwards gives the same dump and TLM text.
    QTemporaryDir after;
    const QString copy = after.filePath("pass.kss");
    QVERIFY(QFile::copy(recording, copy));
    kesta::ProgramState state;
    QCOMPARE(kesta::RunDecoding(state, QFile::encodeName(copy).toStdString(), true).outcome,
             kesta::RunReport::Outcome::Decoded);
    QCOMPARE(contents(directory.filePath("pass.dmp")), contents(after.filePath("pass.dmp")));
    if (QFile::exists(directory.filePath("pass.tlm"))) {
        const QByteArray tlm = contents(directory.filePath("pass.tlm"));
        const QByteArray expected = contents(after.filePath("pass.tlm"));
        QCOMPARE(tlm.mid(tlm.indexOf("\r\n\r\n")), expected.mid(expected.indexOf("\r\n\r\n")));
    }
}

QTEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"
