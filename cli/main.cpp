// kesta-decode: decodes a KISS log of KESTA-1 telemetry from the command line.
#include "decode_command.h"

#include <CLI/CLI.hpp>
#include <cstdio>

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
    app.add_flag("--no-dump", noDump, "Do not write the dump file (LOG with the extension .dmp)");
    app.add_flag("--no-tlm", noTlm, "Do not write the TLM file (LOG with the extension .tlm)");
    app.add_option("--csv", options.csvPath,
                   "Write the records as CSV to FILE (- for standard output)")
        ->option_text("FILE");
    app.add_option("--jsonl", options.jsonlPath,
                   "Write the records as JSON Lines to FILE (- for standard output)")
        ->option_text("FILE");
    app.add_flag("-q,--quiet", quiet, "Print no counts on standard error");
    app.add_option("LOG", options.logPath, "The KISS log to decode")->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        // CLI11 returns 0 for --help and --version, and its own code for usage errors.
        return app.exit(e) == 0 ? kesta::ExitSuccess : kesta::ExitUsage;
    }
    options.writeDump = !noDump;
    options.writeTlm = !noTlm;

    const kesta::DecodeOutcome outcome = kesta::RunDecodeCommand(options);
    for (const std::string &error : outcome.errors) {
        std::fprintf(stderr, "kesta-decode: %s\n", error.c_str());
    }
    if (!quiet && outcome.exitCode == kesta::ExitSuccess) {
        std::fputs(kesta::SummaryText(outcome.totals).c_str(), stderr);
    }
    return outcome.exitCode;
}
