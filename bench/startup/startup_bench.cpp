// Start of the desktop program: from launching kesta-decoder to its main window on screen,
// offscreen. The program is started with --quit-after-show, which closes the window once it
// has been painted (and the log given, if any, decoded) and prints "shown after N ms".
//
//   StartToShown          launch to the line on standard output (process start, library
//                         loading, the main window built, shown and painted)
//   StartToShownWithLog   the same with the bundled sample log decoded at start
//   WholeRun              launch to exit, shutdown included
// The counter "in_process_ms" is the program's own figure, measured from the top of main().

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <string>

namespace {

struct Timing
{
    double shownSeconds = 0;
    double exitedSeconds = 0;
    double inProcessMs = 0;
};

bool startOnce(const QStringList &arguments, const QString &directory, Timing &timing,
               std::string &error)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(directory);
    process.setProcessChannelMode(QProcess::SeparateChannels);

    QElapsedTimer clock;
    clock.start();
    process.start(QStringLiteral(KESTA_DECODER_BINARY), arguments);
    while (!process.canReadLine()) {
        if (!process.waitForReadyRead(30000)) {
            error =
                "kesta-decoder printed nothing: " + process.readAllStandardError().toStdString();
            process.kill();
            process.waitForFinished();
            return false;
        }
    }
    timing.shownSeconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    const QByteArray line = process.readLine().trimmed(); // "shown after N ms"
    if (!process.waitForFinished(30000) || process.exitCode() != 0) {
        error =
            "kesta-decoder did not end cleanly: " + process.readAllStandardError().toStdString();
        process.kill();
        process.waitForFinished();
        return false;
    }
    timing.exitedSeconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    const QList<QByteArray> words = line.split(' ');
    timing.inProcessMs = words.size() == 4 ? words.at(2).toDouble() : -1;
    return true;
}

enum class Measure
{
    Shown,
    Exited
};

void runBenchmark(benchmark::State &state, Measure measure, bool withLog)
{
    QTemporaryDir directory;
    QStringList arguments{QStringLiteral("--quit-after-show")};
    if (withLog) {
        const QString log = directory.filePath(QStringLiteral("pass.kss"));
        if (!QFile::copy(QStringLiteral(KESTA_SAMPLE_LOG), log)) {
            state.SkipWithError("cannot copy the sample log");
            return;
        }
        arguments << log;
    }
    double inProcessMs = 0;
    for (auto _ : state) {
        Timing timing;
        std::string error;
        if (!startOnce(arguments, directory.path(), timing, error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        state.SetIterationTime(measure == Measure::Shown ? timing.shownSeconds
                                                         : timing.exitedSeconds);
        inProcessMs += timing.inProcessMs;
    }
    state.counters["in_process_ms"] =
        benchmark::Counter(inProcessMs, benchmark::Counter::kAvgIterations);
}

void StartToShown(benchmark::State &state)
{
    runBenchmark(state, Measure::Shown, false);
}
void StartToShownWithLog(benchmark::State &state)
{
    runBenchmark(state, Measure::Shown, true);
}
void WholeRun(benchmark::State &state)
{
    runBenchmark(state, Measure::Exited, false);
}

BENCHMARK(StartToShown)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(StartToShownWithLog)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(WholeRun)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3.0);

} // namespace

int main(int argc, char **argv)
{
    // QProcess wants an application object; no event loop runs, the waits drive it.
    const QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
