#pragma once

#include "log_merge.h"

#include <atomic>
#include <optional>
#include <string>
#include <vector>

namespace kesta {

// What `kesta-decode merge` was asked to do.
struct MergeOptions
{
    std::vector<std::string> logs; // as given: PATH or NAME=PATH
    std::string outputPath;
    std::optional<std::string> heardByPath;
    std::optional<std::string> reportPath; // the counts as one JSON object
    double windowSeconds = 30;
    const std::atomic<bool> *cancel = nullptr;
};

// A log as given on the command line: NAME=PATH names it NAME (a name as --station
// takes it), anything else is a path and names itself. A path with '=' in its first
// component is reached as ./PATH.
std::optional<MergeInput> ParseMergeInput(const std::string &argument, std::string &error);

struct MergeCommandOutcome
{
    int exitCode = 0;
    std::vector<std::string> errors; // one line each, naming the file and the reason
    std::vector<MergeInput> inputs;
    MergeResult result;
};

MergeCommandOutcome RunMergeCommand(const MergeOptions &options);

// One line per input with its counts, then the merged total, each ending in a newline.
std::string MergeSummaryText(const MergeCommandOutcome &outcome);
// The same as one JSON object.
std::string MergeReportJson(const MergeCommandOutcome &outcome);

// `kesta-decode merge ARGS...`: argv[0] is the program, argv[1] "merge". Returns the
// exit code.
int MergeMain(int argc, char **argv, const std::atomic<bool> *cancel);

} // namespace kesta
