// kesta-decode: decodes a KISS log of KESTA-1 telemetry from the command line, or a pass
// live from a KISS TCP server.
#include "decode_command.h"
#include "live_command.h"
#include "standard_descriptors.h"

#include <CLI/CLI.hpp>
#include <QCoreApplication>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");
int stopPipe[2] = {-1, -1};

extern "C" void OnSignal(int)
{
    interrupted = true;
    if (stopPipe[1] >= 0) {
        const int saved = errno;
        [[maybe_unused]] const ssize_t n = ::write(stopPipe[1], "x", 1);
        errno = saved;
    }
}

// SIGINT and SIGTERM stop the decode between blocks; no SA_RESTART, so a read
// that waits on a pipe returns at once. The output files are then discarded and
// the earlier ones stay as they were.
void CatchInterrupts()
{
    struct sigaction action
    {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A reader of standard output that goes away (`| head`) makes the write fail with
    // EPIPE, which is reported like any failed output, instead of killing the process
    // with its temporary files left behind.
    std::signal(SIGPIPE, SIG_IGN);
}

} // namespace

int main(int argc, char **argv)
{
    kesta::EnsureStandardDescriptors();
    CLI::App app{"Decodes a KISS log of KESTA-1 telemetry: writes the dump file and the TLM "
                 "file beside the log, and the records as CSV, JSON Lines or InfluxDB line "
                 "protocol on request.",
                 "kesta-decode"};
    app.set_version_flag("--version", "kesta-decode " KESTA_VERSION);

    kesta::DecodeOptions options;
    bool noDump = false;
    bool noTlm = false;
    bool quiet = false;
    std::string csv, jsonl, influx, report, connect;
    bool reconnect = false;
    app.add_flag("--no-dump", noDump, "Do not write the dump file (LOG with the extension .dmp)");
    app.add_flag("--no-tlm", noTlm, "Do not write the TLM file (LOG with the extension .tlm)");
    CLI::Option *csvOption =
        app.add_option("--csv", csv, "Write the records as CSV to FILE (- for standard output)")
            ->option_text("FILE");
    CLI::Option *jsonlOption =
        app.add_option("--jsonl", jsonl,
                       "Write the records as JSON Lines to FILE (- for standard output)")
            ->option_text("FILE");
    CLI::Option *influxOption =
        app.add_option(
               "--influx", influx,
               "Write the records that have a reception time and numeric values (HTRX, FSS, "
               "FSS Hi-Mode) as InfluxDB line protocol to FILE (- for standard output)")
            ->option_text("FILE");
    CLI::Option *reportOption =
        app.add_option("--report", report,
                       "Write the load report (counts and first offsets of what the reader "
                       "skipped) as one JSON object to FILE (- for standard output)")
            ->option_text("FILE");
    CLI::Option *connectOption =
        app.add_option("--connect", connect,
                       "Receive live from the KISS TCP server at HOST:PORT (8001 for soundcard "
                       "modems, 8100 for SDR decoders by custom) and record the pass into LOG, "
                       "a new file; ends when the server closes the connection or on Ctrl+C")
            ->option_text("HOST:PORT");
    app.add_flag("--reconnect", reconnect,
                 "With --connect: retry a lost or refused connection (after 1, 2, 4 ... 30 s) "
                 "until interrupted")
        ->needs(connectOption);
    app.add_flag("-q,--quiet", quiet, "Print no counts on standard error");
    app.add_option("LOG", options.logPath,
                   "The KISS log to decode; with --connect, the new log to record into")
        ->required();
    app.footer(
        "Every output file takes its name only when the whole log has been decoded; a "
        "decode that fails or is interrupted leaves the earlier files as they were.\n"
        "With --connect, every received frame is recorded in LOG behind a timestamp frame, and "
        "LOG, its dump and TLM files and the exports are written as frames arrive; "
        "decoding LOG afterwards gives the same files.\n"
        "Exit status: 0 success, 1 log or output failure, 2 usage error, 130 interrupted (a "
        "log; with --connect, Ctrl+C or SIGTERM ends the session with 0).");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        // CLI11 returns 0 for --help and --version, and its own code for usage errors.
        return app.exit(e) == 0 ? kesta::ExitSuccess : kesta::ExitUsage;
    }
    options.writeDump = !noDump;
    options.writeTlm = !noTlm;
    if (csvOption->count() > 0)
        options.csvPath = csv;
    if (jsonlOption->count() > 0)
        options.jsonlPath = jsonl;
    if (influxOption->count() > 0)
        options.influxPath = influx;
    if (reportOption->count() > 0)
        options.reportPath = report;
    options.cancel = &interrupted;

    if (connectOption->count() > 0) {
        QString error;
        const auto server = ParseHostPort(QString::fromLocal8Bit(connect), error);
        if (!server) {
            std::fprintf(stderr, "kesta-decode: %s\n", qPrintable(error));
            return kesta::ExitUsage;
        }
        if (options.reportPath) {
            std::fprintf(stderr, "kesta-decode: --report goes with a log, not with --connect\n");
            return kesta::ExitUsage;
        }
        LiveOptions live;
        live.server = *server;
        live.recordingPath = options.logPath;
        live.writeDump = options.writeDump;
        live.writeTlm = options.writeTlm;
        live.csvPath = options.csvPath;
        live.jsonlPath = options.jsonlPath;
        live.influxPath = options.influxPath;
        live.reconnect = reconnect;
        live.stopRequested = [] { return interrupted.load(); };
        if (::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
            std::perror("kesta-decode: pipe");
            return kesta::ExitFailure;
        }
        CatchInterrupts();
        QCoreApplication application(argc, argv);
        return RunLiveCommand(live, quiet, stopPipe[0]);
    }
    CatchInterrupts();

    const kesta::DecodeOutcome outcome = kesta::RunDecodeCommand(options);
    for (const std::string &error : outcome.errors) {
        std::fprintf(stderr, "kesta-decode: %s\n", error.c_str());
    }
    if (!quiet && outcome.exitCode == kesta::ExitSuccess) {
        std::fputs(kesta::SummaryText(outcome.totals).c_str(), stderr);
    }
    return outcome.exitCode;
}
