#pragma once

#include "frame_decoder.h"
#include "limit_tally.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace kesta {

// Frames of a pass counted by type.
struct PassFrames
{
    std::uint64_t htrx = 0;
    std::uint64_t fss = 0;
    std::uint64_t fssHi = 0;
};

// One pass over the station: a run of records received without a long pause.
struct Pass
{
    std::uint64_t first = 0; // record numbers, inclusive
    std::uint64_t last = 0;
    std::optional<std::int64_t> start; // first and last reception time, ms since 1970
    std::optional<std::int64_t> end;
    PassFrames frames;
    // Filled by whoever checks limits (LogHealth).
    LimitTally limits;
    std::uint64_t recordsInWarning = 0; // records whose worst field is in warning
    std::uint64_t recordsInCritical = 0;
};

// Splits records into passes as they come: a record opens a new pass when its
// reception time is more than the gap away from the last timed record's, either way
// (a log pieced together out of order still splits where the times jump). A record
// without a time joins the pass of the record before it; a log without any time is
// one pass.
class PassSplitter
{
public:
    static constexpr std::int64_t DefaultGapMs = 5 * 60 * 1000;

    explicit PassSplitter(std::int64_t gapMs = DefaultGapMs) : gapMs_(gapMs) {}

    // Adds record `number` (1, 2, ... in order) and returns its pass. Inline: it runs for
    // every record of a log.
    Pass &add(std::uint64_t number, const std::optional<std::int64_t> &time, FrameType countedAs)
    {
        if (passes_.empty() || (time && lastTime_ && Distance(*time, *lastTime_) > gapMs_))
            open(number);
        Pass &pass = passes_.back();
        pass.last = number;
        if (time) {
            if (!pass.start)
                pass.start = time;
            pass.end = time;
            lastTime_ = time;
        }
        if (countedAs == FrameType::Htrx)
            ++pass.frames.htrx;
        else if (countedAs == FrameType::Fss)
            ++pass.frames.fss;
        else if (countedAs == FrameType::FssHi)
            ++pass.frames.fssHi;
        return pass;
    }

    const std::vector<Pass> &passes() const { return passes_; }
    std::int64_t gapMs() const { return gapMs_; }

private:
    static std::int64_t Distance(std::int64_t a, std::int64_t b) { return a > b ? a - b : b - a; }
    void open(std::uint64_t first);

    std::int64_t gapMs_;
    std::vector<Pass> passes_;
    std::optional<std::int64_t> lastTime_;
};

} // namespace kesta
