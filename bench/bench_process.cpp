#include "bench_process.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char **environ;

namespace kesta::bench {

namespace fs = std::filesystem;

TemporaryFolder::TemporaryFolder(const std::string &prefix)
{
    std::string pattern = (fs::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr) {
        error_ = pattern + ": " + std::strerror(errno);
        return;
    }
    path_ = pattern;
}

TemporaryFolder::~TemporaryFolder()
{
    if (!path_.empty()) {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
}

std::uint64_t WriteGeneratedLog(const fs::path &path, const loggen::GeneratorOptions &options,
                                std::string &error)
{
    loggen::LogGenerator generator(options);
    std::FILE *file = std::fopen(path.c_str(), "wbx");
    if (file == nullptr) {
        error = path.string() + ": " + std::strerror(errno);
        return 0;
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
        error = path.string() + ": write failed";
        return 0;
    }
    return generator.summary().bytes;
}

ProcessRun RunProcess(const std::vector<std::string> &argv)
{
    ProcessRun result;
    std::vector<std::string> copies = argv;
    std::vector<char *> args;
    for (auto &a : copies)
        args.push_back(a.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawnError = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawnError != 0) {
        result.error = argv[0] + ": " + std::strerror(spawnError);
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
    const auto toSeconds = [](const timeval &t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    result.cpuSeconds = toSeconds(usage.ru_utime) + toSeconds(usage.ru_stime);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        result.error = argv[0] + " failed with status " + std::to_string(status);
        return result;
    }
    result.ok = true;
    return result;
}

} // namespace kesta::bench
