// Live reception latency, offscreen: from a frame's closing FEND written by a loopback KISS
// server to its record painted in the main window, which stands on the newest record while
// the session already holds 1000 and the chart is redrawn as frames come.

#include "connectdialog.h"
#include "form1.h"
#include "livesession.h"
#include "log_generator.h"
#include "program_state.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QLineEdit>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <vector>

using namespace kesta;

namespace {

// Notes when Text2 is painted showing `expected`.
class PaintWatch : public QObject
{
public:
    QString expected;
    bool shown = false;
    QEventLoop *waiting = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint &&
            static_cast<QLineEdit *>(watched)->text() == expected) {
            shown = true;
            if (waiting)
                waiting->quit();
        }
        return false;
    }
};

// The generated pass cut into pieces: each a timestamp frame and a telemetry frame.
std::vector<QByteArray> passPieces(std::uint64_t frames, std::uint64_t seed)
{
    kesta::loggen::GeneratorOptions options;
    options.frames = frames;
    options.seed = seed;
    kesta::loggen::LogGenerator generator(options);
    std::vector<QByteArray> pieces;
    std::vector<std::uint8_t> bytes;
    while (generator.next(bytes)) {
        pieces.emplace_back(reinterpret_cast<const char *>(bytes.data()),
                            static_cast<qsizetype>(bytes.size()));
        bytes.clear();
    }
    return pieces;
}

// Lets the event loop sleep, as the program's own loop does, until the watched paint (10 s at
// most).
void sleepUntil(PaintWatch &watch)
{
    QEventLoop loop;
    watch.waiting = &loop;
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    if (!watch.shown)
        loop.exec();
    watch.waiting = nullptr;
}

void idleFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void processUntil(const std::function<bool()> &done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 10000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
}

double percentile(std::vector<double> sorted, double p)
{
    std::sort(sorted.begin(), sorted.end());
    const auto at = static_cast<std::size_t>(p * static_cast<double>(sorted.size() - 1) + 0.5);
    return sorted[std::min(at, sorted.size() - 1)];
}

void BM_LiveFrameToRecordShown(benchmark::State &bench)
{
    const auto gapMs = static_cast<int>(bench.range(0));
    constexpr std::uint64_t Measured = 500;
    const std::vector<QByteArray> warmUp = passPieces(1000, 3);
    const std::vector<QByteArray> pieces = passPieces(Measured, 4);
    std::vector<double> latencies;

    for (auto _ : bench) {
        QTemporaryDir folder;
        kesta::ProgramState state;
        Form1 form(state);
        form.show();
        QTcpServer server;
        server.listen(QHostAddress::LocalHost, 0);
        form.connectTo({HostPort{QStringLiteral("127.0.0.1"), server.serverPort()},
                        folder.filePath(QStringLiteral("bench.kss")), true, {}});
        processUntil([&] { return server.hasPendingConnections(); });
        QTcpSocket *client = server.nextPendingConnection();
        auto *text2 = form.findChild<QLineEdit *>(QStringLiteral("Text2"));
        PaintWatch watch;
        text2->installEventFilter(&watch);

        // A full store first: the window then holds and charts 1000 records.
        QByteArray all;
        for (const QByteArray &piece : warmUp)
            all += piece;
        client->write(all);
        client->flush();
        processUntil([&] { return text2->text() == QStringLiteral("#1000 / 1000"); });

        latencies.clear();
        QElapsedTimer clock;
        for (std::uint64_t n = 0; n < Measured; ++n) {
            const qint64 number = 1001 + static_cast<qint64>(n);
            watch.expected = QStringLiteral("#%1 / %1").arg(number);
            watch.shown = false;
            client->write(pieces[n]);
            client->flush(); // the closing FEND is with the kernel now
            clock.start();
            sleepUntil(watch);
            latencies.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
            // The next frame comes after a pause, as from a radio; the chart timer may fire.
            if (gapMs > 0)
                idleFor(gapMs);
        }
        form.menuFileDisconnect();
    }
    bench.counters["frames"] = static_cast<double>(latencies.size());
    bench.counters["median_ms"] = percentile(latencies, 0.5);
    bench.counters["p99_ms"] = percentile(latencies, 0.99);
    bench.counters["max_ms"] = percentile(latencies, 1.0);
}
// The pause between frames in ms: a busy downlink, and frames back to back.
BENCHMARK(BM_LiveFrameToRecordShown)->Arg(20)->Arg(0)->Unit(benchmark::kSecond)->Iterations(1);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
