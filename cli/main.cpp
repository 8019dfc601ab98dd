// kesta-decode: decodes a KISS log of KESTA-1 telemetry from the command line, or a pass
// live from a KISS TCP server.
#include "decode_command.h"
#include "health_report.h"
#include "live_command.h"
#include "standard_descriptors.h"
#include "merge_command.h"
#include "station_name.h"

#include <CLI/CLI.hpp>
#include <QCoreApplication>
#include <atomic>
#include <cstdlib>
#include <optional>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <string_view>
#include <cstdio>
#include <fcntl.h>
#include <map>
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
    // `kesta-decode merge ...` has options of its own; a log named merge is ./merge.
    if (argc > 1 && std::string_view(argv[1]) == "merge") {
        CatchInterrupts();
        return kesta::MergeMain(argc, argv, &interrupted);
    }

    CLI::App app{"Decodes a KISS log of KESTA-1 telemetry: writes the dump file and the TLM "
                 "file beside the log, and the records as CSV, JSON Lines or InfluxDB line "
                 "protocol on request.",
                 "kesta-decode"};
    app.set_version_flag("--version", "kesta-decode " KESTA_VERSION);

    kesta::DecodeOptions options;
    bool noDump = false;
    bool noTlm = false;
    bool quiet = false;
    std::string csv, jsonl, influx, influxUrl, report, connect, station, limits, failOn, html;
    double passGapSeconds = 300;
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
    CLI::Option *influxUrlOption =
        app.add_option("--influx-url", influxUrl,
                       "Send the same lines to an InfluxDB server: "
                       "http://HOST:8086/write?db=NAME (1.x) or "
                       "http://HOST:8086/api/v2/write?org=ORG&bucket=BUCKET (2.x); the token, "
                       "if any, from the environment variable INFLUX_TOKEN. Lines the server "
                       "cannot take yet wait in a spool file (beside the recording with "
                       "--connect, in ~/.local/state/kesta-decoder otherwise) and are sent "
                       "when it answers again")
            ->option_text("URL");
    CLI::Option *reportOption =
        app.add_option("--report", report,
                       "Write the load report (counts and first offsets of what the reader "
                       "skipped) as one JSON object to FILE (- for standard output)")
            ->option_text("FILE");
    CLI::Option *stationOption =
        app.add_option("--station", station,
                       "Name the station that received the log or the live session: every "
                       "line-protocol line gets the tag station=NAME, and the CSV and JSON "
                       "Lines exports a Station column")
            ->option_text("NAME");
    CLI::Option *limitsOption =
        app.add_option("--limits", limits,
                       "Check the records against the limits in FILE (TOML, one table per "
                       "field named as in the JSON Lines export); the summary and --report give "
                       "per field the records in warning and in critical")
            ->option_text("FILE");
    app.add_option("--fail-on", failOn,
                   "With --limits: exit with status 3 when a record reaches LEVEL (warning: "
                   "warning or critical)")
        ->option_text("warning|critical")
        ->check(CLI::IsMember({"warning", "critical"}))
        ->needs(limitsOption);
    app.add_option("--pass-gap", passGapSeconds,
                   "A pause in reception longer than this begins a new pass (s, min or h; "
                   "default 5min)")
        ->option_text("DURATION")
        ->transform(CLI::AsNumberWithUnit(
            std::map<std::string, double>{{"s", 1}, {"min", 60}, {"m", 60}, {"h", 3600}}))
        ->check(CLI::PositiveNumber);
    CLI::Option *htmlOption =
        app.add_option("--html-report", html,
                       "Write the pass report to FILE: one HTML page with each pass's times, "
                       "frame counts, records outside limits and charts of the limited fields "
                       "(- for standard output)")
            ->option_text("FILE");
    app.add_option("--report-fields", options.reportFields,
                   "With --html-report: chart these fields (A,B,...) instead of the limited ones")
        ->option_text("A,B,...")
        ->delimiter(',')
        ->needs(htmlOption);
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
        "kesta-decode merge -o MERGED LOG... merges the logs of several stations into one; see "
        "kesta-decode merge --help.\n"
        "Exit status: 0 success, 1 log, limits file or output failure, 2 usage error, 3 a "
        "record reached the --fail-on level, 130 interrupted (a log; with --connect, Ctrl+C or "
        "SIGTERM ends the session with 0). A server that refuses the lines (4xx: no such "
        "database, a bad token) is a failure; one that cannot be reached is not: the lines "
        "wait, and the summary says where.");

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
    if (influxUrlOption->count() > 0) {
        QString error;
        const char *token = std::getenv("INFLUX_TOKEN");
        options.influx = kesta::ParseInfluxUrl(QString::fromLocal8Bit(influxUrl),
                                        QByteArray(token != nullptr ? token : ""), error);
        if (!options.influx) {
            std::fprintf(stderr, "kesta-decode: %s\n", qPrintable(error));
            return kesta::ExitUsage;
        }
    }
    if (limitsOption->count() > 0)
        options.limitsPath = limits;
    if (!failOn.empty())
        options.failOn =
            failOn == "critical" ? kesta::LimitLevel::Critical : kesta::LimitLevel::Warning;
    options.passGapMs = std::llround(passGapSeconds * 1000);
    if (htmlOption->count() > 0)
        options.htmlReportPath = html;
    options.cancel = &interrupted;
    if (stationOption->count() > 0) {
        if (const auto problem = kesta::StationNameProblem(station)) {
            std::fprintf(stderr, "kesta-decode: --station: %s\n", problem->c_str());
            return kesta::ExitUsage;
        }
        options.station = station;
    }

    if (connectOption->count() > 0) {
        QString error;
        const auto server = kesta::ParseHostPort(QString::fromLocal8Bit(connect), error);
        if (!server) {
            std::fprintf(stderr, "kesta-decode: %s\n", qPrintable(error));
            return kesta::ExitUsage;
        }
        if (options.reportPath || options.limitsPath || options.htmlReportPath) {
            std::fprintf(stderr, "kesta-decode: --report, --limits and --html-report go with a "
                                 "log, not with --connect\n");
            return kesta::ExitUsage;
        }
        kesta::LiveOptions live;
        live.server = *server;
        live.recordingPath = options.logPath;
        live.writeDump = options.writeDump;
        live.writeTlm = options.writeTlm;
        live.csvPath = options.csvPath;
        live.jsonlPath = options.jsonlPath;
        live.influxPath = options.influxPath;
        live.influx = options.influx;
        live.reconnect = reconnect;
        live.station = options.station;
        live.stopRequested = [] { return interrupted.load(); };
        if (::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
            std::perror("kesta-decode: pipe");
            return kesta::ExitFailure;
        }
        CatchInterrupts();
        QCoreApplication application(argc, argv);
        return kesta::RunLiveCommand(live, quiet, stopPipe[0]);
    }
    CatchInterrupts();

    // The InfluxDB sender works on Qt's event loop, between the decode's blocks.
    std::optional<QCoreApplication> application;
    if (options.influx)
        application.emplace(argc, argv);
    const kesta::DecodeOutcome outcome = kesta::RunDecodeCommand(options);
    for (const std::string &error : outcome.errors) {
        std::fprintf(stderr, "kesta-decode: %s\n", error.c_str());
    }
    if (!quiet &&
        (outcome.exitCode == kesta::ExitSuccess || outcome.exitCode == kesta::ExitLimits)) {
        std::fputs(kesta::SummaryText(outcome.totals).c_str(), stderr);
        std::fputs(kesta::HealthSummaryText(*outcome.health).c_str(), stderr);
    }
    if (outcome.exitCode == kesta::ExitSuccess || outcome.exitCode == kesta::ExitLimits) {
        // Not a count: a file that is no telemetry log is said so even with --quiet.
        const kesta::DecodeTotals &t = outcome.totals;
        const std::string content = kesta::LogContentText(
            t.load, kesta::SessionTotals{t.records, t.htrx, t.fss, t.fssHi});
        if (!content.empty()) {
            const std::string name =
                options.logPath == "-" ? std::string("standard input") : options.logPath;
            std::fprintf(stderr, "kesta-decode: %s %s\n", name.c_str(), content.c_str());
        }
    }
    if (!quiet && outcome.exitCode == kesta::ExitLimits) {
        std::fprintf(stderr, "kesta-decode: records reached the %s level (--fail-on)\n",
                     failOn.c_str());
    }
    if (!quiet || outcome.influxLinesWait) {
        for (const std::string &note : outcome.notes)
            std::fprintf(stderr, "%s\n", note.c_str());
    }
    return outcome.exitCode;
}
