// kesta-decode against the naive loop (naive_dump.cpp), in one run on one
// generated log, so that anybody can check the speed-up on their own machine.
// Runs alternate (naive loop, kesta-decode, any other decoder given), the disk is
// synced between runs, untimed, so that no run waits for the writes of the one
// before, and the medians of wall time are compared: the speed-up is the naive loop's time over
// kesta-decode's. Outputs are written as a user's would be: beside the log, the
// earlier run's files replaced, kesta-decode's made durable.
//
//   decode_ratio [--frames N] [--runs N] [--decoder PATH]... [-- OPTION...]
//
// --frames: telemetry frames in the log (1200000, about 100 MB); --runs: runs of
// each (7); --decoder: a further kesta-decode to time alongside, e.g. an older
// build; options after -- go to every kesta-decode, "@out" standing for a file in
// the work folder (-- --no-dump --no-tlm --jsonl @out times the JSON Lines export).

#include "bench_process.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Timing
{
    std::vector<double> seconds;
    long peakRssKiB = 0;
    double cpuSeconds = 0;
};

[[noreturn]] void Fail(const std::string &message)
{
    std::fprintf(stderr, "decode_ratio: %s\n", message.c_str());
    std::exit(1);
}

// Runs `argv` with its output to /dev/null; adds its wall time, CPU time and peak memory.
void Run(const std::vector<std::string> &argv, Timing &timing)
{
    const kesta::bench::ProcessRun run = kesta::bench::RunProcess(argv);
    if (!run.ok)
        Fail(run.error);
    timing.seconds.push_back(run.seconds);
    timing.peakRssKiB = std::max(timing.peakRssKiB, run.peakRssKiB);
    timing.cpuSeconds += run.cpuSeconds;
    // What the run left for the disk to write is written now, untimed: otherwise the
    // program run next would wait behind it (the naive loop leaves hundreds of MB).
    ::sync();
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void WriteLog(const fs::path &path, std::uint64_t frames)
{
    kesta::loggen::GeneratorOptions options;
    options.seed = 100;
    options.frames = frames;
    std::string error;
    if (kesta::bench::WriteGeneratedLog(path, options, error) == 0)
        Fail(error);
}

} // namespace

int main(int argc, char **argv)
{
    std::uint64_t frames = 1200000;
    int runs = 7;
    std::vector<std::string> decoders{KESTA_DECODE_PATH};
    std::vector<std::string> options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") {
            options.assign(argv + i + 1, argv + argc);
            break;
        }
        if (i + 1 >= argc)
            Fail("usage: decode_ratio [--frames N] [--runs N] [--decoder PATH]... [-- OPTION...]");
        if (arg == "--frames")
            frames = std::strtoull(argv[++i], nullptr, 10);
        else if (arg == "--runs")
            runs = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--decoder")
            decoders.push_back(fs::absolute(argv[++i]).string());
        else
            Fail("unknown option " + arg);
    }

    const kesta::bench::TemporaryFolder work("kesta-ratio");
    if (!work.ok())
        Fail(work.error());
    const fs::path &folder = work.path();
    // The naive loop reads a copy of the log, so that neither program reads a file
    // the other has just brought into the page cache more than the other.
    const fs::path log = folder / "a.kss", copy = folder / "b.kss";
    WriteLog(log, frames);
    fs::copy_file(log, copy);
    const double megabytes = static_cast<double>(fs::file_size(log)) / 1e6;

    // Each decoder writes beside a log of its own, so that it replaces its own earlier files.
    std::vector<fs::path> logs;
    for (std::size_t d = 0; d < decoders.size(); ++d) {
        logs.push_back(d == 0 ? log : folder / ("d" + std::to_string(d) + ".kss"));
        if (d > 0)
            fs::create_hard_link(log, logs.back());
    }
    Timing naive;
    std::vector<Timing> decoded(decoders.size());
    for (int run = 0; run < runs; ++run) {
        Run({NAIVE_DUMP_PATH, copy.string(), (folder / "n.dmp").string()}, naive);
        for (std::size_t d = 0; d < decoders.size(); ++d) {
            std::vector<std::string> argv{decoders[d], "--quiet"};
            for (const std::string &o : options)
                argv.push_back(o == "@out" ? (folder / ("out" + std::to_string(d))).string() : o);
            argv.push_back(logs[d].string());
            Run(argv, decoded[d]);
        }
    }
    const double naiveTime = Median(naive.seconds);
    std::printf("log %.0f MB, %d runs each, medians of wall time\n", megabytes, runs);
    std::printf("naive loop:   %7.3f s  %6.0f MB/s\n", naiveTime, megabytes / naiveTime);
    for (std::size_t d = 0; d < decoders.size(); ++d) {
        const double t = Median(decoded[d].seconds);
        std::printf("%s:\n  %7.3f s  %6.0f MB/s  CPU %.3f s/run  peak RSS %.1f MB  "
                    "speed-up over the naive loop %.2fx\n",
                    decoders[d].c_str(), t, megabytes / t, decoded[d].cpuSeconds / runs,
                    static_cast<double>(decoded[d].peakRssKiB) / 1024.0, naiveTime / t);
    }
    return 0;
}
