// kesta-decode merge end to end on two generated 100 MB logs of the same passes, as two
// stations hear them: each misses some frames the other heard, and the second station's
// clock runs 0.7 s late. MB of input per second and the peak memory of the process. The
// logs are written once into a fresh temporary folder, removed at exit; they stay in the
// page cache, so the figures are those of a warm cache.

#include "bench_process.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t LogBytes = std::uint64_t{100} << 20;

void AppendKiss(std::vector<std::uint8_t> &out, std::span<const std::uint8_t> frame)
{
    out.push_back(0xC0);
    for (const std::uint8_t b : frame) {
        if (b == 0xC0 || b == 0xDB) {
            out.push_back(0xDB);
            out.push_back(b == 0xC0 ? 0xDC : 0xDD);
        } else {
            out.push_back(b);
        }
    }
    out.push_back(0xC0);
}

void AppendTimestamp(std::vector<std::uint8_t> &out, std::int64_t ms)
{
    std::uint8_t frame[9] = {0x09};
    for (int i = 0; i < 8; ++i)
        frame[1 + i] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(ms) >> (56 - 8 * i));
    AppendKiss(out, frame);
}

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
    const fs::path &log(int i) const { return logs_[i]; }
    std::uint64_t inputBytes() const { return sizes_[0] + sizes_[1]; }

private:
    Workspace() : folder_("kesta-merge-bench")
    {
        if (!folder_.ok()) {
            error_ = folder_.error();
            return;
        }
        logs_[0] = folder_.path() / "north.kss";
        logs_[1] = folder_.path() / "south.kss";
        std::FILE *files[2] = {std::fopen(logs_[0].c_str(), "wbx"),
                               std::fopen(logs_[1].c_str(), "wbx")};
        if (files[0] == nullptr || files[1] == nullptr) {
            error_ = folder_.path().string() + ": cannot create the logs";
            return;
        }
        std::vector<std::uint8_t> blocks[2];
        std::uint64_t index = 0;
        kesta::loggen::GeneratorOptions options;
        options.seed = 7;
        options.targetBytes = LogBytes * 5 / 4 + (LogBytes >> 3); // each station misses some
        kesta::loggen::LogGenerator generator(
            options, [&](const kesta::loggen::GeneratedFrame &frame) {
                const std::uint64_t i = index++;
                if (i % 7 != 3) {
                    AppendTimestamp(blocks[0], frame.receptionTimeMs);
                    AppendKiss(blocks[0], frame.bytes);
                }
                if (i % 5 != 1) {
                    AppendTimestamp(blocks[1], frame.receptionTimeMs + 700);
                    AppendKiss(blocks[1], frame.bytes);
                }
            });
        std::vector<std::uint8_t> unused;
        bool more = true;
        bool written = true;
        while (more && written) {
            more = generator.next(unused);
            unused.clear();
            for (int f = 0; f < 2; ++f) {
                if (blocks[f].size() >= (std::size_t{1} << 20) || !more) {
                    written = written && std::fwrite(blocks[f].data(), 1, blocks[f].size(),
                                                     files[f]) == blocks[f].size();
                    sizes_[f] += blocks[f].size();
                    blocks[f].clear();
                }
            }
        }
        for (std::FILE *file : files)
            written = std::fclose(file) == 0 && written;
        if (!written)
            error_ = folder_.path().string() + ": write failed";
    }

    kesta::bench::TemporaryFolder folder_;
    fs::path logs_[2];
    std::uint64_t sizes_[2] = {0, 0};
    std::string error_;
};

void BM_Merge(benchmark::State &state)
{
    Workspace &ws = Workspace::get();
    if (!ws.ok()) {
        state.SkipWithError(ws.error().c_str());
        return;
    }
    const fs::path merged = ws.folder() / "merged.kss";
    std::vector<std::string> args{KESTA_DECODE_PATH, "merge",        "-q", "-o", merged.string(),
                                  ws.log(0).string(), ws.log(1).string()};
    long peakKiB = 0;
    double cpuSeconds = 0;
    for (auto _ : state) {
        std::error_code ec;
        fs::remove(merged, ec);
        const kesta::bench::ProcessRun run = kesta::bench::RunProcess(args);
        if (!run.ok) {
            state.SkipWithError(run.error.c_str());
            return;
        }
        state.SetIterationTime(run.seconds);
        peakKiB = std::max(peakKiB, run.peakRssKiB);
        cpuSeconds += run.cpuSeconds;
    }
    const double inputMB = static_cast<double>(ws.inputBytes()) / (1024.0 * 1024.0);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * ws.inputBytes()));
    state.counters["peak_rss_MB"] = static_cast<double>(peakKiB) / 1024.0;
    state.counters["cpu_MB_per_s"] = static_cast<double>(state.iterations()) * inputMB / cpuSeconds;
    state.counters["input_MB"] = inputMB;
}

BENCHMARK(BM_Merge)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
