#pragma once

// Synthetic KISS logs of a KESTA-1 pass, for tests, benchmarks, fuzz seeds and
// the bundled sample. The output depends only on the options: the generator has
// its own random numbers and integer-only arithmetic, so a seed gives the same
// bytes with every compiler, standard library and machine.
//
// The encoder here is written independently of the reader in core/, so that
// tests comparing the two check one against the other.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace kesta::loggen {

struct GeneratorOptions
{
    std::uint64_t seed = 1;
    // Telemetry frames to write (timestamp frames and injected junk not counted).
    // Used when targetBytes is 0.
    std::uint64_t frames = 300;
    // When non-zero: write frames until the log holds at least this many bytes.
    std::uint64_t targetBytes = 0;
    // A 0x09 timestamp frame (9 bytes, big-endian ms since 1970) before each
    // telemetry frame, as ground-station software records them.
    bool timestamps = true;
    // Reception time of the first frame, ms since 1970-01-01 00:00 UTC
    // (default 2026-12-01T10:00:00.000Z).
    std::int64_t startTimeMs = 1796119200000;

    // Fault injection.
    // Stray bytes between frames, runt frames of 1-2 bytes, FESC followed by a
    // byte other than TFEND/TFESC inside a frame, extra FENDs, and a last frame
    // that the log never closes.
    bool malformed = false;
    // Some frames longer than 512 bytes.
    bool oversized = false;
    // Some frames shorter than their type needs (64, 85, 88 bytes).
    bool shortFrames = false;
};

// What a telemetry frame was made as.
enum class FrameKind : std::uint8_t
{
    Htrx,       // type 1
    FssNormal,  // type 2, FSS mode 4 to 7
    FssStandby, // type 2, FSS mode 0
    FssMessage, // type 2, FSS mode 12
    FssHi,      // type 4
    Oversized,  // more than 512 bytes; a reader drops it
};

// One frame the generator wrote, as a reader should see it after undoing the
// framing. A frame with `badEscape` holds a 0xDB that was written without its
// escape code, followed by an ordinary byte: `bytes` shows the 0xDB as a data
// byte followed by that byte.
struct GeneratedFrame
{
    FrameKind kind;
    std::span<const std::uint8_t> bytes;
    // The time of the timestamp frame written just before it, if any.
    std::int64_t receptionTimeMs;
    bool hasReceptionTime;
    bool shortened;
    bool badEscape;
};

// Counts of what went into a log.
struct GeneratedLogSummary
{
    std::uint64_t bytes = 0;
    std::uint64_t telemetryFrames = 0; // every complete frame with command byte 0x00
    std::uint64_t htrxFrames = 0;      // complete frames of each type whose byte 17 exists
    std::uint64_t fssFrames = 0;       // all FSS kinds
    std::uint64_t fssHiFrames = 0;
    std::uint64_t messageFrames = 0; // FSS messages of full length
    std::uint64_t timestampFrames = 0;
    std::uint64_t shortFrames = 0;     // shorter than their type needs (counted above too)
    std::uint64_t untypedFrames = 0;   // short frames of fewer than 18 bytes: no type byte
    std::uint64_t oversizedFrames = 0; // not among telemetryFrames
    std::uint64_t runtFrames = 0;
    std::uint64_t strayBytes = 0;
    std::uint64_t badEscapes = 0;
    bool unterminatedTail = false;
};

// Writes a log piece by piece. Each call of next() appends the bytes of one
// telemetry frame (with its timestamp frame and any injected junk) to `out`.
class LogGenerator
{
public:
    using FrameObserver = std::function<void(const GeneratedFrame &)>;

    explicit LogGenerator(const GeneratorOptions &options, FrameObserver observer = {});

    // Appends the next piece; returns false (and appends nothing more) when the
    // log is complete. An unterminated tail is appended by the last call.
    bool next(std::vector<std::uint8_t> &out);

    const GeneratedLogSummary &summary() const { return summary_; }

private:
    struct Rng
    {
        std::uint64_t state;
        std::uint64_t next();
        // 0 to bound - 1.
        std::uint32_t below(std::uint32_t bound);
        bool chance(std::uint32_t perMille) { return below(1000) < perMille; }
        std::int32_t between(std::int32_t lo, std::int32_t hi); // inclusive
    };

    void buildHeader();
    void buildHtrx();
    void buildFss(FrameKind kind);
    void buildFssHi();
    void buildOversized();
    void fillLightElements(std::uint8_t *elements, std::uint8_t &elementNumber);
    void emitFrame(std::vector<std::uint8_t> &out, FrameKind kind, bool shortened,
                   std::size_t badEscapeAt);
    void emitTimestamp(std::vector<std::uint8_t> &out);
    void emitJunk(std::vector<std::uint8_t> &out);
    void advanceClock();
    bool done() const;

    GeneratorOptions options_;
    FrameObserver observer_;
    Rng rng_;
    GeneratedLogSummary summary_;
    std::vector<std::uint8_t> frame_;
    std::uint64_t piecesWritten_ = 0;
    bool finished_ = false;

    // The simulated satellite.
    std::int64_t clockMs_;
    std::uint32_t framesInPass_ = 0;
    std::uint32_t passLength_ = 0;
    std::uint16_t htrxCounter_ = 0;
    std::uint16_t ccuTime_ = 0;
    std::uint8_t fssCounter_ = 0;
    std::uint8_t fssFrameCounter_ = 0;
    std::uint8_t movementFlag_ = 0x21;
    std::uint8_t fssStatus_ = 0x81;
    std::uint16_t hiAddress_ = 0;
    std::int32_t hrxCurrent_ = 95;
    std::int32_t htxCurrent_ = 180;
    std::int32_t tncCurrent_ = 48;
    std::int32_t fssCurrent_ = 72;
    std::int32_t spotPos_ = 0;    // sun spot centre in 1/16 element
    std::int32_t spotSpeed_ = 3;  // 1/16 element per frame
    std::int32_t spotPeak_ = 200; // brightness at the centre
    std::uint8_t fssMode_ = 4;
    std::uint8_t thresholdStep_ = 7;
    std::uint8_t lastElementNumber_ = 1;
    std::uint8_t ccu_[32]{};
    std::uint32_t messageIndex_ = 0;
};

// The whole log in memory.
std::vector<std::uint8_t> GenerateLog(const GeneratorOptions &options,
                                      GeneratedLogSummary *summary = nullptr);

} // namespace kesta::loggen
