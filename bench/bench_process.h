#pragma once

// What the end-to-end benchmarks (kesta_decode_bench, merge_bench, decode_ratio)
// share: a temporary work folder, a generated log written into it, and a program
// run with its wall time, CPU time and peak memory.

#include "log_generator.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kesta::bench {

// A fresh folder under the system's temporary folder, removed with everything in it
// when the object goes.
class TemporaryFolder
{
public:
    // `prefix`: the start of the folder's name, e.g. "kesta-bench".
    explicit TemporaryFolder(const std::string &prefix);
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder &) = delete;
    TemporaryFolder &operator=(const TemporaryFolder &) = delete;

    bool ok() const { return error_.empty(); }
    const std::string &error() const { return error_; }
    const std::filesystem::path &path() const { return path_; }

private:
    std::filesystem::path path_;
    std::string error_;
};

// Writes the log the generator makes with `options` to `path`, a new file. Returns
// the log's size in bytes, or 0 with `error` set.
std::uint64_t WriteGeneratedLog(const std::filesystem::path &path,
                                const loggen::GeneratorOptions &options, std::string &error);

struct ProcessRun
{
    bool ok = false;
    std::string error; // why the run failed: not started, or its exit status
    double seconds = 0;
    double cpuSeconds = 0; // user + system time of the process
    long peakRssKiB = 0;
};

// Runs `argv` (the program's path first) with standard output and error to
// /dev/null, and waits for it; ok only for exit status 0.
ProcessRun RunProcess(const std::vector<std::string> &argv);

} // namespace kesta::bench
