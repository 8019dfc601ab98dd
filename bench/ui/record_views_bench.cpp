// The views of all records and the export of the whole log, offscreen: the light-element map
// of 1000 records built and painted, the record table sorted by a numeric column, and
// "Export Records..." in MB of log per second.

#include "decoding_session.h"
#include "lightelementmap.h"
#include "log_export.h"
#include "log_generator.h"
#include "record_store.h"
#include "recordtable.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <vector>

using namespace kesta;

namespace {

std::vector<std::uint8_t> passLog(std::uint64_t frames, std::uint64_t targetBytes = 0)
{
    kesta::loggen::GeneratorOptions options;
    options.frames = frames;
    options.targetBytes = targetBytes;
    options.seed = 11;
    return kesta::loggen::GenerateLog(options);
}

// The records of a 1000-frame log, as a run leaves them.
struct Store1000
{
    kesta::RecordStore store;
    Store1000()
    {
        kesta::DecodingSession session(kesta::RecordStore::MaxRecords);
        kesta::RecordStoreSink records(store);
        session.addSink(records);
        session.feed(passLog(1000));
        session.finish();
    }
};

void BM_LightMapBuild1000(benchmark::State &bench)
{
    Store1000 records;
    LightElementMap map(records.store);
    for (auto _ : bench)
        map.refresh();
    bench.counters["columns"] = map.columnCount();
}
BENCHMARK(BM_LightMapBuild1000)->Unit(benchmark::kMillisecond);

void BM_LightMapBuildAndPaint1000(benchmark::State &bench)
{
    Store1000 records;
    LightElementMap map(records.store);
    map.resize(800, 420);
    map.show();
    QApplication::processEvents();
    for (auto _ : bench) {
        map.refresh();
        map.canvas()->repaint();
    }
}
BENCHMARK(BM_LightMapBuildAndPaint1000)->Unit(benchmark::kMillisecond);

// Sorting the table's 1000 rows by RSSI, up and down in turn.
void BM_RecordTableSortNumeric1000(benchmark::State &bench)
{
    Store1000 records;
    RecordTableModel model(records.store);
    RecordTableFilter filter;
    filter.setSourceModel(&model);
    int rssi = 0;
    for (int c = 0; c < model.columnCount(); ++c)
        if (model.fieldOf(c) == kesta::Field::Rssi)
            rssi = c;
    bool up = true;
    for (auto _ : bench) {
        filter.sort(rssi, up ? Qt::AscendingOrder : Qt::DescendingOrder);
        up = !up;
    }
    bench.counters["rows"] = filter.rowCount();
}
BENCHMARK(BM_RecordTableSortNumeric1000)->Unit(benchmark::kMillisecond);

// What a run's end costs the shown table: the model made again, the rows sorted and the
// columns fitted.
void BM_RecordTableRefreshShown1000(benchmark::State &bench)
{
    Store1000 records;
    RecordTable table(records.store);
    table.resize(900, 480);
    table.show();
    QApplication::processEvents();
    for (auto _ : bench) {
        table.refresh();
        table.repaint();
    }
}
BENCHMARK(BM_RecordTableRefreshShown1000)->Unit(benchmark::kMillisecond);

// "Export Records..." of a 64 MB log, durable file included.
void BM_ExportLog(benchmark::State &bench)
{
    QTemporaryDir folder;
    const QString log = folder.filePath(QStringLiteral("pass.kss"));
    const std::vector<std::uint8_t> bytes = passLog(0, std::uint64_t{64} << 20);
    QFile file(log);
    file.open(QIODevice::WriteOnly);
    file.write(reinterpret_cast<const char *>(bytes.data()), static_cast<qint64>(bytes.size()));
    file.close();

    const auto format = static_cast<kesta::RecordExporter::Format>(bench.range(0));
    kesta::LogExportRequest request;
    request.logPath = QFile::encodeName(log).toStdString();
    request.exportPath = QFile::encodeName(folder.filePath(QStringLiteral("out"))).toStdString();
    request.makeSink = kesta::RecordExportSink(format);
    request.keptFiles = kesta::KeptFilesOf(request.logPath);
    std::uint64_t records = 0;
    for (auto _ : bench) {
        const kesta::LogExportResult result = kesta::ExportLog(request);
        if (result.outcome != kesta::LogExportResult::Outcome::Written)
            bench.SkipWithError(result.error.c_str());
        records = result.records;
    }
    bench.SetBytesProcessed(static_cast<std::int64_t>(bench.iterations() * bytes.size()));
    bench.counters["records"] = static_cast<double>(records);
    bench.SetLabel(format == kesta::RecordExporter::Format::Csv ? "CSV" : "JSON Lines");
}
BENCHMARK(BM_ExportLog)
    ->Arg(static_cast<int>(kesta::RecordExporter::Format::Csv))
    ->Arg(static_cast<int>(kesta::RecordExporter::Format::JsonLines))
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

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
