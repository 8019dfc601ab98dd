// kesta-decode: decodes a KISS log of KESTA-1 telemetry from the command line.
#include "decode_command.h"

#include <CLI/CLI.hpp>
#include <atomic>
#include <csignal>
#include <cstdio>

namespace {

std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void OnSignal(int)
{
    interrupted = true;
}

// SIGINT and SIGTERM stop the decode between blocks; no SA_RESTART, so a read
// that waits on a pipe returns at once. The output files are then discarded and
// the earlier ones stay as they were.
void CatchInterrupts()
{
    struct sigaction action{};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

} // namespace

int main(int argc, char **argv)
{
    CLI::App app{"Decodes a KISS log of KESTA-1 telemetry: writes the dump file and the TLM "
                 "file beside the log, and the records as CSV or JSON Lines on request.",
                 "kesta-decode"};
    app.set_version_flag("--version", "kesta-decode " KESTA_VERSION);

    kesta::DecodeOptions options;
    bool noDump = false;
    bool noTlm = false;
    bool quiet = false;
    std::string csv, jsonl, report;
    app.add_flag("--no-dump", noDump, "Do not write the dump file (LOG with the extension .dmp)");
    app.add_flag("--no-tlm", noTlm, "Do not write the TLM file (LOG with the extension .tlm)");
    CLI::Option *csvOption =
        app.add_option("--csv", csv, "Write the records as CSV to FILE (- for standard output)")
            ->option_text("FILE");
    CLI::Option *jsonlOption =
        app.add_option("--jsonl", jsonl,
                       "Write the records as JSON Lines to FILE (- for standard output)")
            ->option_text("FILE");
    CLI::Option *reportOption =
        app.add_option("--report", report,
                       "Write the load report (counts and first offsets of what the reader "
                       "skipped) as one JSON object to FILE (- for standard output)")
            ->option_text("FILE");
    app.add_flag("-q,--quiet", quiet, "Print no counts on standard error");
    app.add_option("LOG", options.logPath, "The KISS log to decode")->required();
    app.footer("Every output file takes its name only when the whole log has been decoded; a "
               "decode that fails or is interrupted leaves the earlier files as they were.\n"
               "Exit status: 0 success, 1 log or output failure, 2 usage error, 130 interrupted.");

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
    if (reportOption->count() > 0)
        options.reportPath = report;
    options.cancel = &interrupted;
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
