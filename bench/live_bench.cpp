// kesta-decode --connect against a loopback KISS TCP server that sends a generated
// 100 MB log as fast as the connection takes it: MB of stream per second (wall clock,
// from the program's start to its end after the server closed), with the recording,
// dump, TLM and JSON Lines written as frames arrive, and the peak memory of the process.

#include "log_generator.h"

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <netinet/in.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

namespace fs = std::filesystem;

// The stream, generated once into a file: the benchmark process stays small, so that
// the child's peak memory (which a spawn briefly shares with its parent) is its own.
struct StreamFile
{
    fs::path path;
    std::uint64_t size = 0;
};

const StreamFile &Stream()
{
    static const StreamFile stream = [] {
        StreamFile file;
        file.path = fs::temp_directory_path() / ("kesta-live-stream-" + std::to_string(::getpid()));
        kesta::loggen::GeneratorOptions options;
        options.seed = 100;
        options.targetBytes = std::uint64_t{100} << 20;
        kesta::loggen::LogGenerator generator(options);
        std::FILE *out = std::fopen(file.path.c_str(), "wb");
        std::vector<std::uint8_t> block;
        bool more = true;
        while (out != nullptr && more) {
            block.clear();
            for (int i = 0; i < 1000 && (more = generator.next(block));)
                ++i;
            std::fwrite(block.data(), 1, block.size(), out);
            file.size += block.size();
        }
        if (out != nullptr)
            std::fclose(out);
        std::atexit([] { fs::remove(Stream().path); });
        return file;
    }();
    return stream;
}

// Listens on a free loopback port; serves the stream once to the first connection.
class Server
{
public:
    Server()
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr *>(&address), sizeof address);
        ::listen(fd_, 1);
        socklen_t length = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr *>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] {
            const int client = ::accept(fd_, nullptr, nullptr);
            if (client < 0)
                return;
            std::FILE *in = std::fopen(Stream().path.c_str(), "rb");
            std::vector<char> block(std::size_t{1} << 20);
            std::size_t got = 0;
            bool open = true;
            while (in != nullptr && open &&
                   (got = std::fread(block.data(), 1, block.size(), in)) > 0) {
                for (std::size_t sent = 0; sent < got;) {
                    const ssize_t n = ::write(client, block.data() + sent, got - sent);
                    if (n <= 0) {
                        open = false;
                        break;
                    }
                    sent += static_cast<std::size_t>(n);
                }
            }
            if (in != nullptr)
                std::fclose(in);
            ::close(client);
        });
    }
    ~Server()
    {
        thread_.join();
        ::close(fd_);
    }
    int port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
    std::thread thread_;
};

void BM_ConnectDumpTlmJsonl(benchmark::State &state)
{
    Stream(); // generated before the clock runs
    const fs::path folder =
        fs::temp_directory_path() / ("kesta-live-bench-" + std::to_string(::getpid()));
    long peakKb = 0;
    for (auto _ : state) {
        fs::remove_all(folder);
        fs::create_directories(folder);
        Server server;
        const std::string target = "127.0.0.1:" + std::to_string(server.port());
        const std::string recording = (folder / "pass.kss").string();
        const std::string jsonl = (folder / "pass.jsonl").string();
        std::vector<std::string> args{KESTA_DECODE, "--connect", target,   "--jsonl",
                                      jsonl,        "-q",        recording};
        std::vector<char *> argv;
        for (std::string &arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        const auto start = std::chrono::steady_clock::now();
        pid_t pid = 0;
        if (::posix_spawn(&pid, KESTA_DECODE, nullptr, nullptr, argv.data(), environ) != 0) {
            state.SkipWithError("cannot start kesta-decode");
            break;
        }
        int status = 0;
        rusage usage{};
        ::wait4(pid, &status, 0, &usage);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("kesta-decode failed");
            break;
        }
        state.SetIterationTime(took.count());
        peakKb = std::max(peakKb, usage.ru_maxrss);
    }
    fs::remove_all(folder);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Stream().size));
    state.counters["peak_RSS_MB"] = static_cast<double>(peakKb) / 1024.0;
}
BENCHMARK(BM_ConnectDumpTlmJsonl)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
