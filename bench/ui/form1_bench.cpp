// Main window timings, offscreen: drawing and switching the parameter chart over 1000
// records, showing one record, and a whole "Open" from the chosen path to the chart on
// screen.

#include "decoding_session.h"
#include "form1.h"
#include "log_generator.h"
#include "program_state.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <vector>

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

// From the chosen path to the chart of parameter 13 on screen, dump and TLM files included.
void BM_OpenToChart1000(benchmark::State &bench)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("pass.kss"));
    const std::vector<std::uint8_t> bytes = passLog(1000);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(reinterpret_cast<const char *>(bytes.data()), static_cast<qint64>(bytes.size()));
    file.close();

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
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
