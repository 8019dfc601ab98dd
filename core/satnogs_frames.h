#pragma once

#include "kiss_reader.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kesta {

// A frame export of the SatNOGS station network: one frame a line,
//
//   2026-12-01 10:00:01|0096A6628E9C8860...
//
// the reception time (UTC, whole seconds), a '|', then the frame's AX.25 bytes in
// hex, upper or lower case; lines end in LF or CR LF. Such a file is decoded as a
// KISS log whose frames are 0x00 (the KISS data command) followed by the line's
// bytes, each received at its line's time.

// What reading the lines found. Line numbers start at 1; 0 while there was none.
struct SatnogsLineStats
{
    std::uint64_t frameLines = 0;   // lines that gave a frame
    std::uint64_t badLines = 0;     // lines that are neither blank nor a frame
    std::uint64_t firstBadLine = 0; // the number of the first of those
};

// The lengths a line's frame may have: with its command byte, a frame of the KISS
// reader has 3 to 512 bytes.
inline constexpr std::size_t SatnogsMinFrameBytes = 2;
inline constexpr std::size_t SatnogsMaxFrameBytes = KissReader::FrameCapacity - 1;

// Reads one line (without its line end). Returns the reception time in ms since
// 1970 and fills `frame` with the KISS data command 0x00 and the line's bytes;
// nullopt for a line that is no frame line.
std::optional<std::int64_t> ParseSatnogsLine(std::string_view line,
                                             std::vector<std::uint8_t> &frame);

// What the start of a log says it is. KISS unless its first line that is not blank
// is a frame line; nullopt while that line is still incomplete (at most a few KB are
// looked at). `endOfInput`: `start` is the whole log.
enum class LogFormat
{
    Kiss,
    SatnogsFrames,
};
std::optional<LogFormat> SniffLogFormat(std::span<const std::uint8_t> start, bool endOfInput);

// Incremental reader of a frame export, fed chunks of any size like the KISS reader.
// Each frame line goes to the frame handler as the KISS reader would hand on the same
// frame behind a timestamp frame: `bytes` with the command byte first, the line's
// time, and the offset of the line's first byte. Blank lines are skipped; other lines
// that do not parse are counted. A line never needs more memory than the longest
// frame line: a longer one is not a frame.
class SatnogsReader
{
public:
    using FrameHandler = std::function<void(const KissFrame &)>;
    explicit SatnogsReader(FrameHandler onFrame);

    void feed(std::span<const std::uint8_t> chunk);
    // End of input: a last line without a line end is read too.
    void finish();

    const SatnogsLineStats &stats() const { return stats_; }

private:
    void endLine();

    FrameHandler onFrame_;
    std::string line_;
    bool lineTooLong_ = false;
    std::uint64_t position_ = 0;  // offset of the chunk being fed
    std::uint64_t lineStart_ = 0; // offset of the line being read
    std::uint64_t lineNumber_ = 1;
    std::vector<std::uint8_t> frame_;
    SatnogsLineStats stats_;
};

} // namespace kesta
