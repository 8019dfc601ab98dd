#pragma once

#include "decoding_session.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kesta {

// Several stations' logs of the same passes made into one KISS log in which each
// reception appears once, in time order, behind a timestamp frame holding its
// earliest reception time. Two frames of different logs are the same reception when
// their bytes are equal and their reception times differ by at most the window; a
// frame only one station heard is kept too. Logs may be KISS logs or SatNOGS frame
// exports, told by their content.
//
// Streaming: each log is read in blocks and its frames taken in the order they come,
// which is time order in a station's log, so the memory needed is that of the frames
// within one window of each other, whatever the logs' sizes.

struct MergeInput
{
    std::string name; // how the summary and the heard-by file call it
    std::string path;
};

struct MergeRequest
{
    std::vector<MergeInput> inputs; // at most MaxMergeInputs
    std::string outputPath;         // the merged log; "-" for standard output
    // One JSON Lines object per merged frame: its record number, time and the names
    // of the inputs that heard it. "-" for standard output.
    std::optional<std::string> heardByPath;
    std::int64_t windowMs = 30'000;
    // Asked between blocks, by the thread that reads the logs (so it must be safe to call
    // from another thread); true stops the merge, and the outputs are discarded.
    std::function<bool()> cancel;
};

inline constexpr std::size_t MaxMergeInputs = 64;

// What each input gave.
struct MergeCounts
{
    std::uint64_t framesRead = 0;    // frames of the input
    std::uint64_t onlyHere = 0;      // merged frames that only this input heard
    std::uint64_t alsoElsewhere = 0; // merged frames that other inputs heard too
    // Frames received earlier than the frame before them: the log is not in time order,
    // and the merged log is then not either around them.
    std::uint64_t outOfOrder = 0;
    // What reading the input skipped, as a decode reports it.
    LoadReport load;
};

struct MergeResult
{
    enum class Outcome
    {
        Merged,
        Refused,   // a usage error: nothing was created (an output is an input, ...)
        Failed,    // an input could not be read or an output written: earlier files kept
        Cancelled, // stopped on request: earlier files kept
    };
    Outcome outcome = Outcome::Merged;
    std::string error; // for Refused and Failed: naming the file and the reason
    std::vector<MergeCounts> inputs;
    std::uint64_t merged = 0; // frames in the merged log
};

// Writes the merged log (and the heard-by file) under temporary names that take their
// own only when every input has been read to its end. A log whose first frame comes
// before any timestamp frame cannot be placed in time: refused, unless it is the only
// input (its frames are then written as they are, without a time).
MergeResult MergeLogs(const MergeRequest &request);

} // namespace kesta
