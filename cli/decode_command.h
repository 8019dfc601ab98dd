#pragma once

#include "kiss_reader.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kesta {

// What `kesta-decode` was asked to do.
struct DecodeOptions
{
    std::string logPath;
    bool writeDump = true;
    bool writeTlm = true;
    std::string csvPath;   // empty: no CSV; "-": standard output
    std::string jsonlPath; // empty: no JSON Lines; "-": standard output
};

// What a decode saw, counted without limit.
struct DecodeTotals
{
    std::uint64_t records = 0; // accepted frames, each one a record
    std::uint64_t htrx = 0;
    std::uint64_t fss = 0;
    std::uint64_t fssHi = 0;
    KissReaderStats reader;
};

struct DecodeOutcome
{
    int exitCode = 0;                // 0 success, 1 log unreadable, output unwritable or refused
    std::vector<std::string> errors; // one line each, naming the file and the reason
    DecodeTotals totals;
};

inline constexpr int ExitSuccess = 0;
inline constexpr int ExitFailure = 1;
inline constexpr int ExitUsage = 2;

// Decodes a whole log as a stream: one record reused frame after frame, so the
// memory needed does not grow with the log and there is no limit on the number
// of frames. Writes the dump and the TLM file beside the log (unless switched
// off) and the requested exports. Nothing is created before the log has been
// opened, and no output may be the log itself.
DecodeOutcome RunDecodeCommand(const DecodeOptions &options);

// "HTRX: 3    FSS: 2    FSS (Hi): 1" and the line with records, oversized and
// rejected frames, each ending in a newline.
std::string SummaryText(const DecodeTotals &totals);

} // namespace kesta
