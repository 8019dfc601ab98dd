// kesta-decode end to end on a generated 100 MB log: MB of log per second and
// the peak memory of the process. The log is written once into a fresh temporary
// folder, which is removed at exit; it stays in the page cache, so the figures
// are those of a warm cache.

#include "bench_process.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using kesta::bench::ProcessRun;

constexpr std::uint64_t LogBytes = std::uint64_t{100} << 20;

// The temporary folder with the log; made on first use, removed at exit.
class Workspace
{
public:
    static Workspace &get()
    {
        static Workspace workspace;
        return workspace;
    }

    bool ok() const { return error_.empty(); }
    const std::string &error() const { return error_; }
    const fs::path &folder() const { return folder_.path(); }
    const fs::path &log() const { return log_; }
    std::uint64_t logSize() const { return logSize_; }

private:
    Workspace() : folder_("kesta-bench")
    {
        if (!folder_.ok()) {
            error_ = folder_.error();
            return;
        }
        log_ = folder_.path() / "pass.kss";
        kesta::loggen::GeneratorOptions options;
        options.seed = 100;
        options.targetBytes = LogBytes;
        logSize_ = kesta::bench::WriteGeneratedLog(log_, options, error_);
    }

    kesta::bench::TemporaryFolder folder_;
    fs::path log_;
    std::uint64_t logSize_ = 0;
    std::string error_;
};

// Deletes every file of the workspace but the log.
void RemoveOutputs(const Workspace &ws)
{
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(ws.folder(), ec)) {
        if (entry.path() != ws.log())
            fs::remove(entry.path(), ec);
    }
}

void BM_KestaDecode(benchmark::State &state, std::vector<std::string> options)
{
    Workspace &ws = Workspace::get();
    if (!ws.ok()) {
        state.SkipWithError(ws.error().c_str());
        return;
    }
    std::vector<std::string> args{KESTA_DECODE_PATH};
    for (const auto &o : options)
        args.push_back(o == "@out"      ? (ws.folder() / "records.out").string()
                       : o == "@limits" ? std::string(KESTA_SAMPLE_LIMITS)
                                        : o);
    args.push_back(ws.log().string());

    long peakKiB = 0;
    double cpuSeconds = 0;
    for (auto _ : state) {
        // Each run writes its files afresh, as for a log decoded the first time;
        // emptying the last run's hundreds of MB is not part of decoding.
        RemoveOutputs(ws);
        const ProcessRun run = kesta::bench::RunProcess(args);
        if (!run.ok) {
            state.SkipWithError(run.error.c_str());
            return;
        }
        state.SetIterationTime(run.seconds);
        peakKiB = std::max(peakKiB, run.peakRssKiB);
        cpuSeconds += run.cpuSeconds;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * ws.logSize()));
    state.counters["peak_rss_MB"] = static_cast<double>(peakKiB) / 1024.0;
    // The rate over the process's own CPU time, which other load on the machine
    // disturbs less than the wall-clock rate above.
    state.counters["cpu_MB_per_s"] = static_cast<double>(state.iterations()) *
                                     static_cast<double>(ws.logSize()) / (1024.0 * 1024.0) /
                                     cpuSeconds;
    state.counters["log_MB"] = static_cast<double>(ws.logSize()) / (1024.0 * 1024.0);
}

BENCHMARK_CAPTURE(BM_KestaDecode, dump_tlm, std::vector<std::string>{})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);
// The same with the sample limits checked on every record: the cost of limit checking
// is the difference to dump_tlm.
BENCHMARK_CAPTURE(BM_KestaDecode, dump_tlm_limits, std::vector<std::string>{"--limits", "@limits"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);
BENCHMARK_CAPTURE(BM_KestaDecode, jsonl, std::vector<std::string>{"--jsonl", "@out"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);
BENCHMARK_CAPTURE(BM_KestaDecode, csv, std::vector<std::string>{"--csv", "@out"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);
BENCHMARK_CAPTURE(BM_KestaDecode, influx, std::vector<std::string>{"--influx", "@out"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
