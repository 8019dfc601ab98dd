// Throughput of the decoding engine in memory, in MB of log per second: the KISS
// reader alone, the decoding session (reader and frame decoder) as kesta-decode
// drives it, the same with passes and with limits checked, a run of the windows
// into the record store, and the two record exports.

#include "decoding_session.h"
#include "frame_decoder.h"
#include "kiss_reader.h"
#include "limits_file.h"
#include "log_generator.h"
#include "log_health.h"
#include "record_export.h"
#include "record_store.h"
#include "telemetry_record.h"
#include "value_text.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace {

constexpr std::size_t BlockSize = std::size_t{1} << 20; // as the log is read from disk

// A realistic pass log of about 64 MB, timestamp frames included.
const std::vector<std::uint8_t> &Log()
{
    static const std::vector<std::uint8_t> log = [] {
        kesta::loggen::GeneratorOptions options;
        options.seed = 42;
        options.targetBytes = std::uint64_t{64} << 20;
        return kesta::loggen::GenerateLog(options);
    }();
    return log;
}

// A log the windows open: 1000 telemetry frames.
const std::vector<std::uint8_t> &LogOf1000Frames()
{
    static const std::vector<std::uint8_t> log = [] {
        kesta::loggen::GeneratorOptions options;
        options.seed = 42;
        options.frames = 1000;
        return kesta::loggen::GenerateLog(options);
    }();
    return log;
}

template <typename Reader> void FeedInBlocks(Reader &reader, std::span<const std::uint8_t> log)
{
    for (std::size_t pos = 0; pos < log.size(); pos += BlockSize)
        reader.feed(log.subspan(pos, std::min(BlockSize, log.size() - pos)));
    reader.finish();
}

void BM_KissReader(benchmark::State &state)
{
    const auto &log = Log();
    std::uint64_t frames = 0;
    kesta::KissReader reader([&frames](const kesta::KissFrame &f) { frames += f.bytes.size(); });
    for (auto _ : state) {
        reader.reset();
        FeedInBlocks(reader, log);
    }
    benchmark::DoNotOptimize(frames);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * log.size()));
}
BENCHMARK(BM_KissReader)->Unit(benchmark::kMillisecond);

// Takes every frame and does nothing with it.
class NullSink final : public kesta::SessionSink
{
public:
    void frame(const kesta::SessionFrame &frame) override
    {
        benchmark::DoNotOptimize(frame.record.RawHex.data());
    }
};

// Reader + decoder through the session: per frame the record's RawHex and
// DecodeFrame, the work kesta-decode does before anything is written.
void BM_ReaderDecoder(benchmark::State &state)
{
    const auto &log = Log();
    std::uint64_t records = 0;
    for (auto _ : state) {
        kesta::DecodingSession session;
        NullSink sink;
        session.addSink(sink);
        FeedInBlocks(session, log);
        records += session.totals().frames;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * log.size()));
    state.counters["records"] =
        benchmark::Counter(static_cast<double>(records), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_ReaderDecoder)->Unit(benchmark::kMillisecond);

// Limits on seven fields of HTRX and FSS frames, some of them crossed on the generated log.
constexpr std::string_view BenchLimits = R"(
[Rssi]
warning = { low = -12 }
critical = { low = -15 }
[HtxCurrent]
warning = [1.5, 2.5]
critical = [1.0, 2.6]
[HrxCurrent]
warning = [0.9, 1.1]
critical = [0.8, 1.2]
[TncCurrent]
warning = { high = 0.55 }
[FssCurrent]
critical = [0.5, 1.0]
[Threshold]
warning = [20, 120]
[Angle]
critical = { low = 30 }
)";

// BM_ReaderDecoder with what kesta-decode adds for passes (arg 0) and for passes and
// limits (arg 1): the cost of checking is the difference to BM_ReaderDecoder.
void BM_ReaderDecoderHealth(benchmark::State &state)
{
    const auto &log = Log();
    const kesta::LimitsFileResult limits = kesta::ParseLimits(BenchLimits, "bench.toml");
    if (!limits.limits) {
        state.SkipWithError(limits.error.c_str());
        return;
    }
    const bool checkLimits = state.range(0) != 0;
    std::uint64_t outside = 0;
    for (auto _ : state) {
        kesta::DecodingSession session;
        NullSink sink;
        kesta::LogHealth health(checkLimits ? &*limits.limits : nullptr);
        kesta::HealthSink healthSink(health);
        session.addSink(sink);
        session.addSink(healthSink);
        FeedInBlocks(session, log);
        outside += health.recordsInWarning() + health.recordsInCritical();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * log.size()));
    state.counters["outside_limits"] =
        benchmark::Counter(static_cast<double>(outside), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_ReaderDecoderHealth)->ArgName("limits")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// A decoding run of the windows over a 1000-frame log, into the record store.
void BM_WindowsRun1000Frames(benchmark::State &state)
{
    const auto &log = LogOf1000Frames();
    kesta::RecordStore store;
    for (auto _ : state) {
        kesta::DecodingSession session(kesta::RecordStore::MaxRecords);
        kesta::RecordStoreSink records(store);
        NullSink sink;
        session.addSink(records);
        session.addSink(sink);
        session.feed(log);
        session.finish();
        benchmark::DoNotOptimize(store.RecordCount);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * log.size()));
}
BENCHMARK(BM_WindowsRun1000Frames)->Unit(benchmark::kMicrosecond);

// The exports alone, over records decoded beforehand; bytes are bytes of log.
void BM_Export(benchmark::State &state, kesta::RecordExporter::Format format)
{
    const auto &log = LogOf1000Frames();
    std::vector<kesta::TelemetryRecord> records;
    kesta::KissReader reader([&records](const kesta::KissFrame &frame) {
        kesta::TelemetryRecord &r = records.emplace_back();
        r.RawHex = kesta::HexText(frame.bytes);
        r.Written.set(kesta::Field::RawHex);
        r.ReceptionTime = frame.receptionTime;
        kesta::FrameCounters counters;
        kesta::DecodeFrame(frame.bytes, r, counters);
    });
    FeedInBlocks(reader, log);

    kesta::RecordExporter exporter(format);
    std::string out;
    std::size_t written = 0;
    for (auto _ : state) {
        out.clear();
        std::uint64_t n = 0;
        for (const auto &r : records)
            exporter.appendRecord(out, ++n, r);
        written += out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * log.size()));
    state.counters["output_per_log_byte"] =
        static_cast<double>(written) / static_cast<double>(state.iterations() * log.size());
}
BENCHMARK_CAPTURE(BM_Export, csv, kesta::RecordExporter::Format::Csv)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Export, jsonl, kesta::RecordExporter::Format::JsonLines)
    ->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
