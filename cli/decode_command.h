#pragma once

#include "decoding_session.h"
#include "influx_target.h"
#include "kiss_reader.h"
#include "limit_set.h"
#include "log_health.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kesta {

// What `kesta-decode` was asked to do.
struct DecodeOptions
{
    std::string logPath;
    bool writeDump = true;
    bool writeTlm = true;
    std::optional<std::string> csvPath;    // nullopt: no CSV; "-": standard output
    std::optional<std::string> jsonlPath;  // nullopt: no JSON Lines; "-": standard output
    std::optional<std::string> influxPath; // InfluxDB line protocol; "-": standard output
    std::optional<std::string> reportPath; // the load report as JSON; "-": standard output
    // Send the records to this InfluxDB server too (needs a QCoreApplication); lines
    // that wait for it are kept in InfluxStateSpoolFor(target).
    std::optional<InfluxTarget> influx;
    // The receiving station: the tag station=NAME of the line protocol and the Station
    // column of the exports; empty for none.
    std::string station;
    std::optional<std::string> limitsPath; // a limits file (TOML) to check the records against
    // With limits: a record at this level or worse makes the exit status ExitLimits.
    std::optional<LimitLevel> failOn;
    std::int64_t passGapMs = PassSplitter::DefaultGapMs; // a longer pause begins a new pass
    std::optional<std::string> htmlReportPath;           // the pass report; "-": standard output
    std::vector<std::string> reportFields; // fields the pass report charts; none: the limited ones
    // Set (from a signal handler, say) to stop the decode; the earlier files stay.
    const std::atomic<bool> *cancel = nullptr;
};

// What a decode saw, counted without limit.
struct DecodeTotals
{
    std::uint64_t records = 0; // accepted frames, each one a record
    std::uint64_t htrx = 0;
    std::uint64_t fss = 0;
    std::uint64_t fssHi = 0;
    KissReaderStats reader;
    LoadReport load;
};

// The totals of a session's counts and load report.
DecodeTotals TotalsOf(const SessionTotals &counts, const LoadReport &load);

struct DecodeOutcome
{
    int exitCode = 0;                // see the Exit constants
    std::vector<std::string> errors; // one line each, naming the file and the reason
    DecodeTotals totals;
    bool cancelled = false;
    // Lines for after the summary: what went to the InfluxDB server, what waits.
    std::vector<std::string> notes;
    bool influxLinesWait = false; // said even when the counts are not
    // The log's passes and, with limits, the records outside them; set once the log was read.
    std::unique_ptr<LimitSet> limits;
    std::unique_ptr<LogHealth> health;
};

inline constexpr int ExitSuccess = 0;
inline constexpr int ExitFailure = 1;
inline constexpr int ExitUsage = 2;
inline constexpr int ExitLimits = 3; // decoded, and a record reached the --fail-on level
inline constexpr int ExitInterrupted = 130;

// Decodes a whole log as a stream, so the memory needed does not grow with the
// log and there is no limit on the number of frames. Writes the dump and the TLM
// file beside the log (unless switched off) and the requested exports. Each file
// is written under a temporary name and takes its place only when the whole log
// has been decoded: a decode that fails or is cancelled leaves every earlier file
// as it was. Outputs that are one file with each other or with the log, by any
// spelling, are a usage error, and nothing is created.
DecodeOutcome RunDecodeCommand(const DecodeOptions &options);

// "HTRX: 3    FSS: 2    FSS (Hi): 1", the line with records, oversized and
// rejected frames, then the load report's lines, each ending in a newline.
std::string SummaryText(const DecodeTotals &totals);

// The load report as one JSON object: counts and the offsets of first occurrences.
std::string LoadReportJson(const DecodeTotals &totals);

} // namespace kesta
