#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

namespace kesta {

inline constexpr std::uint8_t FEND = 0xC0;
inline constexpr std::uint8_t FESC = 0xDB;
inline constexpr std::uint8_t TFEND = 0xDC;
inline constexpr std::uint8_t TFESC = 0xDD;

// Reception times at or after the year 10000 are not timestamps.
inline constexpr std::uint64_t TimestampLimitMs = 253402300800000ull;

struct KissFrame
{
    std::span<const std::uint8_t> bytes;       // de-escaped, the KISS command byte first
    std::optional<std::int64_t> receptionTime; // ms since epoch, from the last timestamp frame
    std::uint64_t offset = 0;                  // where the frame's first byte stands in the input
    // The time of a timestamp frame that was the very frame closed before this one
    // (no other frame between them); empty otherwise.
    std::optional<std::int64_t> precedingTimestamp;
};

// Offset meaning "never seen".
inline constexpr std::uint64_t NoOffset = ~std::uint64_t{0};

// What the reader found in its input, each with the byte offset of the first
// occurrence (NoOffset while there was none). Frame offsets are those of the
// frame's first byte after its opening FEND.
struct KissReaderStats
{
    std::uint64_t acceptedFrames = 0;   // handed on
    std::uint64_t rejectedFrames = 0;   // command byte 0x09 (timestamps included)
    std::uint64_t timestampFrames = 0;  // of those, 9-byte frames with a valid time
    std::uint64_t oversizedFrames = 0;  // more than 512 bytes, dropped whole
    std::uint64_t runtFrames = 0;       // closed with only 1 or 2 bytes, discarded
    std::uint64_t unfinishedFrames = 0; // still open when the input ended
    std::uint64_t ignoredBytes = 0;     // bytes between frames (after a closing FEND)
    std::uint64_t badEscapes = 0;       // FESC followed by neither TFEND nor TFESC

    struct FirstOffsets
    {
        std::uint64_t timestamp = NoOffset;
        std::uint64_t otherRejected = NoOffset; // a 0x09 frame that is not a valid timestamp
        std::uint64_t oversized = NoOffset;
        std::uint64_t runt = NoOffset;
        std::uint64_t unfinished = NoOffset;
        std::uint64_t ignored = NoOffset;
        std::uint64_t badEscape = NoOffset; // the FESC's offset
    } first;
};

// Incremental KISS de-framer. Feed it chunks of any size; each complete frame of
// three or more bytes whose command byte is not 0x09 goes to the frame handler.
// It never touches a file, so it serves a log and a live byte stream alike.
//
// Malformed input: outside a frame every byte but FEND is ignored; a frame that
// closes with 1 or 2 bytes is discarded; a FEND clears a pending escape; an FESC
// followed by anything but TFEND/TFESC stays as a 0xDB data byte, the escape is
// cancelled and the other byte is taken by its own rule; a frame longer than 512
// bytes is dropped whole and the reader resynchronises at the next FEND.
class KissReader
{
public:
    static constexpr std::size_t FrameCapacity = 512;
    using FrameHandler = std::function<void(const KissFrame &)>;

    explicit KissReader(FrameHandler onFrame = {});

    void setFrameHandler(FrameHandler onFrame);
    // Starts afresh: empty buffer, no frame open, no escape pending, no time, stats zeroed.
    void reset();
    void feed(std::span<const std::uint8_t> chunk);
    // End of input: a frame that is still open is dropped.
    void finish();

    const KissReaderStats &stats() const { return stats_; }

    // The length of the frame being assembled (0 to 512).
    std::int16_t FrameLength() const { return static_cast<std::int16_t>(length_); }
    // Bytes fed since the start.
    std::uint64_t position() const { return position_; }

private:
    void closeFrame();
    static void note(std::uint64_t &first, std::uint64_t offset)
    {
        if (first == NoOffset)
            first = offset;
    }

    FrameHandler onFrame_;
    std::array<std::uint8_t, FrameCapacity> buffer_{};
    std::size_t length_ = 0;
    bool inFrame_ = false;
    bool escapePending_ = false;
    bool overflow_ = false;
    std::optional<std::int64_t> latestTime_;
    std::optional<std::int64_t> justClosedTimestamp_; // the last frame closed was this timestamp
    std::uint64_t position_ = 0;                      // offset of the chunk being fed
    std::uint64_t frameStart_ = 0;                    // offset of the open frame's first byte
    KissReaderStats stats_;
};

} // namespace kesta
