// Main window timings, offscreen: drawing and switching the parameter chart over 1000
// records, exploring it with the mouse and the wheel, showing one record, and a whole
// "Open" from the chosen path to the chart on screen.

#include "decoding_session.h"
#include "form1.h"
#include "log_generator.h"
#include "parameterchart.h"
#include "program_state.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMouseEvent>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <benchmark/benchmark.h>
#include <cmath>
#include <vector>

using namespace kesta;

namespace {

std::vector<std::uint8_t> passLog(std::uint64_t frames)
{
    kesta::loggen::GeneratorOptions options;
    options.frames = frames;
    options.seed = 11;
    return kesta::loggen::GenerateLog(options);
}

void waitForRun(Form1 &form)
{
    while (form.isRunning())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
}

// A shown main window over the records of a 1000-frame log.
struct DecodedWindow
{
    kesta::ProgramState state;
    Form1 form{state};

    DecodedWindow()
    {
        kesta::DecodingSession session(kesta::RecordStore::MaxRecords);
        kesta::RecordStoreSink records(state.store);
        session.addSink(records);
        session.feed(passLog(1000));
        session.finish();
        form.show();
        QApplication::processEvents();
    }
    void paint() { form.repaint(); }
};

void BM_DrawParameterChart1000(benchmark::State &bench)
{
    DecodedWindow window;
    for (auto _ : bench) {
        window.form.DrawParameterChart(13);
        window.paint();
    }
    bench.counters["records"] = window.state.store.RecordCount;
}
BENCHMARK(BM_DrawParameterChart1000)->Unit(benchmark::kMillisecond);

void BM_DrawOnly(benchmark::State &bench)
{
    DecodedWindow window;
    for (auto _ : bench)
        window.form.DrawParameterChart(static_cast<std::int16_t>(bench.range(0)));
}
BENCHMARK(BM_DrawOnly)->Arg(13)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_PaintOnly(benchmark::State &bench)
{
    DecodedWindow window;
    window.form.DrawParameterChart(static_cast<std::int16_t>(bench.range(0)));
    for (auto _ : bench)
        window.paint();
}
BENCHMARK(BM_PaintOnly)->Arg(13)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_SwitchParameter1000(benchmark::State &bench)
{
    DecodedWindow window;
    const int parameters[] = {2, 13, 18, 0, 7};
    std::size_t next = 0;
    for (auto _ : bench) {
        window.form.optionClicked(parameters[next++ % std::size(parameters)]);
        window.paint();
    }
}
BENCHMARK(BM_SwitchParameter1000)->Unit(benchmark::kMillisecond);

void BM_ShowRecord(benchmark::State &bench)
{
    DecodedWindow window;
    std::int16_t record = 1;
    for (auto _ : bench) {
        window.form.ShowRecord(record);
        record = static_cast<std::int16_t>(record % 1000 + 1);
    }
}
BENCHMARK(BM_ShowRecord)->Unit(benchmark::kMicrosecond);

void BM_ShowRecordPainted(benchmark::State &bench)
{
    DecodedWindow window;
    std::int16_t record = 1;
    for (auto _ : bench) {
        window.form.ShowRecord(record);
        window.paint();
        record = static_cast<std::int16_t>(record % 1000 + 1);
    }
}
BENCHMARK(BM_ShowRecordPainted)->Unit(benchmark::kMillisecond);

// The chart explored over 1000 records: the mouse moved from point to point (read-out and
// highlight follow), and the wheel turned (the X axis zooms in and out again). Each
// iteration is one event and the repaint of the chart it causes.
struct ExploredChart : DecodedWindow
{
    ParameterChart *chart = form.chart();
    QWidget *viewport = chart->viewport();
    std::vector<QPointF> positions;

    // `parameter` -1: a point on every one of the 1000 records (no parameter is on every
    // frame kind), one second apart.
    explicit ExploredChart(int parameter)
    {
        if (parameter >= 0) {
            form.DrawParameterChart(static_cast<std::int16_t>(parameter));
        } else {
            QList<QPointF> points;
            QList<std::optional<qint64>> times;
            for (int r = 1; r <= 1000; ++r) {
                points.append(QPointF(r, std::sin(r / 40.0) * 20));
                times.append(std::int64_t{1796119200000} + r * 1000);
            }
            chart->setRowCount(1000);
            chart->setPoints(points, times);
        }
        QApplication::processEvents();
        for (const QPointF &point : chart->points())
            if (const auto at = chart->pointPosition(static_cast<int>(point.x())))
                positions.push_back(*at);
    }
    void redraw()
    {
        QApplication::processEvents(); // the chart's layout after a change of range
        viewport->repaint();
    }
};

void BM_ChartHover1000(benchmark::State &bench)
{
    ExploredChart window(static_cast<int>(bench.range(0)));
    std::size_t next = 0;
    for (auto _ : bench) {
        const QPointF at = window.positions[next++ % window.positions.size()] + QPointF(2, 1);
        QMouseEvent move(QEvent::MouseMove, at, window.viewport->mapToGlobal(at), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(window.viewport, &move);
        window.redraw();
    }
    bench.counters["points"] = static_cast<double>(window.chart->points().size());
}
BENCHMARK(BM_ChartHover1000)->Arg(-1)->Arg(13)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_ChartWheelZoom1000(benchmark::State &bench)
{
    ExploredChart window(static_cast<int>(bench.range(0)));
    if (bench.range(1) != 0)
        window.chart->setTimeAxis(true);
    const QPointF at(window.viewport->width() * 0.4, window.viewport->height() / 2.0);
    int turn = 0;
    for (auto _ : bench) {
        // Four notches in, then four out: every range from the whole log to a fifth of it.
        const int notches = (turn++ / 4) % 2 == 0 ? 1 : -1;
        QWheelEvent wheel(at, window.viewport->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(window.viewport, &wheel);
        window.redraw();
    }
    bench.counters["points"] = static_cast<double>(window.chart->points().size());
}
BENCHMARK(BM_ChartWheelZoom1000)
    ->Args({-1, 0})
    ->Args({-1, 1})
    ->Args({13, 0})
    ->Args({2, 0})
    ->Args({13, 1})
    ->Unit(benchmark::kMillisecond);

void writeLog(const QString &path, const std::vector<std::uint8_t> &bytes)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(reinterpret_cast<const char *>(bytes.data()), static_cast<qint64>(bytes.size()));
}

// From the chosen path to the chart of parameter 13 on screen, dump and TLM files included.
void BM_OpenToChart1000(benchmark::State &bench)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("pass.kss"));
    const std::vector<std::uint8_t> bytes = passLog(1000);
    writeLog(path, bytes);

    kesta::ProgramState state;
    Form1 form(state);
    form.show();
    QApplication::processEvents();
    for (auto _ : bench) {
        form.openLog(path);
        waitForRun(form);
        form.repaint();
    }
    bench.counters["records"] = state.store.RecordCount;
    bench.SetBytesProcessed(static_cast<std::int64_t>(bench.iterations() * bytes.size()));
}
BENCHMARK(BM_OpenToChart1000)->Unit(benchmark::kMillisecond);

// Takes the run's message instead of a message box, which would wait for a click.
class QuietNotifier : public RunNotifier
{
public:
    void notify(QWidget *, Severity, const QString &, const QString &) override {}
};

// From the chosen path to the chart on screen for a 200 MB log: the whole log read for
// the dump, the TLM file and the passes, its first 1000 records kept and charted. The
// log's message (frames past record 1000) is taken by a quiet notifier.
void BM_OpenToChart200MB(benchmark::State &bench)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("large.kss"));
    kesta::loggen::GeneratorOptions options;
    options.seed = 100;
    options.targetBytes = 200000000;
    const std::vector<std::uint8_t> bytes = kesta::loggen::GenerateLog(options);
    writeLog(path, bytes);

    kesta::ProgramState state;
    Form1 form(state);
    QuietNotifier quiet;
    form.setNotifier(&quiet);
    form.show();
    QApplication::processEvents();
    int ended = 0;
    QObject::connect(&form, &Form1::runEnded, [&ended] { ++ended; });
    for (auto _ : bench) {
        const int before = ended;
        form.openLog(path);
        while (ended == before)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        form.repaint();
    }
    bench.counters["records"] = state.store.RecordCount;
    bench.counters["log_MB"] = static_cast<double>(bytes.size()) / 1e6;
    bench.SetBytesProcessed(static_cast<std::int64_t>(bench.iterations() * bytes.size()));
}
BENCHMARK(BM_OpenToChart200MB)->Unit(benchmark::kMillisecond)->Iterations(3);

// From Cancel to the window answering again, half a second into the run of a 2 GB log:
// the time the run takes to see the request, drop its temporary files and hand back.
void BM_CancelLargeLog(benchmark::State &bench)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("large.kss"));
    const std::vector<std::uint8_t> bytes = passLog(100000); // about 9 MB
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    const std::int64_t target = std::int64_t{2} << 30;
    while (file.size() < target)
        file.write(reinterpret_cast<const char *>(bytes.data()), static_cast<qint64>(bytes.size()));
    file.close();

    kesta::ProgramState state;
    Form1 form(state);
    form.show();
    QApplication::processEvents();
    for (auto _ : bench) {
        bench.PauseTiming();
        form.openLog(path);
        QElapsedTimer running;
        running.start();
        while (running.elapsed() < 500)
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        bench.ResumeTiming();
        form.cancelRun();
        waitForRun(form);
    }
    bench.counters["log_GB"] = static_cast<double>(target) / (1 << 30);
}
BENCHMARK(BM_CancelLargeLog)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true); // the chart's settings are not the user's
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
