// kesta-decode end to end on a generated 100 MB log: MB of log per second and
// the peak memory of the process. The log is written once into a fresh temporary
// folder, which is removed at exit; it stays in the page cache, so the figures
// are those of a warm cache.

#include "log_generator.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char **environ;

namespace {

namespace fs = std::filesystem;

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
    const fs::path &folder() const { return folder_; }
    const fs::path &log() const { return log_; }
    std::uint64_t logSize() const { return logSize_; }

    ~Workspace()
    {
        if (!folder_.empty()) {
            std::error_code ec;
            fs::remove_all(folder_, ec);
        }
    }

private:
    Workspace()
    {
        std::string pattern = (fs::temp_directory_path() / "kesta-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            error_ = pattern + ": " + std::strerror(errno);
            return;
        }
        folder_ = pattern;
        log_ = folder_ / "pass.kss";

        kesta::loggen::GeneratorOptions options;
        options.seed = 100;
        options.targetBytes = LogBytes;
        kesta::loggen::LogGenerator generator(options);
        std::FILE *file = std::fopen(log_.c_str(), "wbx");
        if (file == nullptr) {
            error_ = log_.string() + ": " + std::strerror(errno);
            return;
        }
        std::vector<std::uint8_t> block;
        bool more = true;
        bool written = true;
        while (more && written) {
            more = generator.next(block);
            if (block.size() >= (std::size_t{1} << 20) || !more) {
                written = std::fwrite(block.data(), 1, block.size(), file) == block.size();
                block.clear();
            }
        }
        if (std::fclose(file) != 0 || !written) {
            error_ = log_.string() + ": write failed";
            return;
        }
        logSize_ = generator.summary().bytes;
    }

    fs::path folder_;
    fs::path log_;
    std::uint64_t logSize_ = 0;
    std::string error_;
};

struct RunResult
{
    bool ok = false;
    std::string error;
    double seconds = 0;
    double cpuSeconds = 0; // user + system time of the process
    long peakRssKiB = 0;
};

// Runs kesta-decode with `args` (the log path last), stderr to /dev/null.
RunResult RunDecoder(const std::vector<std::string> &args)
{
    RunResult result;
    std::vector<char *> argv;
    std::string program = KESTA_DECODE_PATH;
    argv.push_back(program.data());
    std::vector<std::string> copies = args;
    for (auto &a : copies)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);

    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawnError =
        posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawnError != 0) {
        result.error = program + ": " + std::strerror(spawnError);
        return result;
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) {
        result.error = std::string("wait4: ") + std::strerror(errno);
        return result;
    }
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.peakRssKiB = usage.ru_maxrss;
    auto toSeconds = [](const timeval &t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    result.cpuSeconds = toSeconds(usage.ru_utime) + toSeconds(usage.ru_stime);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        result.error = "kesta-decode failed with status " + std::to_string(status);
        return result;
    }
    result.ok = true;
    return result;
}

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
    std::vector<std::string> args;
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
        const RunResult run = RunDecoder(args);
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

} // namespace

BENCHMARK_MAIN();
