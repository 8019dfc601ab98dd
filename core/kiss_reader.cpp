#include "kiss_reader.h"

#include <algorithm>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <utility>

namespace kesta {
namespace {

// Length of the run of bytes at `p` (at most `n`) that holds neither FEND nor FESC.
// Nearly every byte of a log passes through here, so the run is searched a block at
// a time: sixteen bytes with SSE2, else eight in a word, where a byte of
// x ^ pattern is zero exactly where x holds the pattern's byte and
// (v - 0x01..) & ~v & 0x80.. is non-zero when v has a zero byte.
std::size_t PlainRun(const std::uint8_t *p, std::size_t n)
{
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i fends = _mm_set1_epi8(static_cast<char>(FEND));
    const __m128i fescs = _mm_set1_epi8(static_cast<char>(FESC));
    for (; i + 16 <= n; i += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
        const int hits = _mm_movemask_epi8(
            _mm_or_si128(_mm_cmpeq_epi8(block, fends), _mm_cmpeq_epi8(block, fescs)));
        if (hits != 0)
            return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(hits)));
    }
#else
    constexpr std::uint64_t Ones = 0x0101010101010101ull;
    constexpr std::uint64_t Highs = 0x8080808080808080ull;
    constexpr std::uint64_t Fends = Ones * FEND;
    constexpr std::uint64_t Fescs = Ones * FESC;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, p + i, sizeof word);
        const std::uint64_t a = word ^ Fends;
        const std::uint64_t b = word ^ Fescs;
        if ((((a - Ones) & ~a) | ((b - Ones) & ~b)) & Highs)
            break;
    }
#endif
    while (i < n && p[i] != FEND && p[i] != FESC)
        ++i;
    return i;
}

} // namespace

KissReader::KissReader(FrameHandler onFrame) : onFrame_(std::move(onFrame)) {}

void KissReader::setFrameHandler(FrameHandler onFrame)
{
    onFrame_ = std::move(onFrame);
}

void KissReader::reset()
{
    length_ = 0;
    inFrame_ = false;
    escapePending_ = false;
    overflow_ = false;
    latestTime_.reset();
    justClosedTimestamp_.reset();
    position_ = 0;
    frameStart_ = 0;
    stats_ = {};
}

void KissReader::feed(std::span<const std::uint8_t> chunk)
{
    const std::uint8_t *const begin = chunk.data();
    const std::uint8_t *p = begin;
    const std::uint8_t *const end = p + chunk.size();
    const std::uint64_t base = position_;
    position_ += chunk.size();
    const auto offsetOf = [&](const std::uint8_t *q) {
        return base + static_cast<std::uint64_t>(q - begin);
    };
    while (p != end) {
        if (!inFrame_) {
            // Between frames only a FEND means anything; it opens the next frame.
            const void *found = std::memchr(p, FEND, static_cast<std::size_t>(end - p));
            const std::uint8_t *fend = found ? static_cast<const std::uint8_t *>(found) : end;
            if (fend != p) {
                note(stats_.first.ignored, offsetOf(p));
                stats_.ignoredBytes += static_cast<std::uint64_t>(fend - p);
            }
            if (fend == end)
                return;
            p = fend + 1;
            inFrame_ = true;
            escapePending_ = false;
            frameStart_ = offsetOf(p);
            continue;
        }

        if (overflow_) {
            // The frame no longer fits: skip to its closing FEND.
            const void *fend = std::memchr(p, FEND, static_cast<std::size_t>(end - p));
            if (fend == nullptr)
                return;
            p = static_cast<const std::uint8_t *>(fend) + 1;
            closeFrame();
            continue;
        }

        // Plain data bytes in a run, the common case: copied in one go.
        if (!escapePending_) {
            const std::size_t room =
                std::min<std::size_t>(static_cast<std::size_t>(end - p), FrameCapacity - length_);
            const std::size_t run = PlainRun(p, room);
            std::memcpy(buffer_.data() + length_, p, run);
            length_ += run;
            p += run;
            if (p == end)
                return;
        }

        const std::uint8_t b = *p++;
        if (b == FEND) {
            if (escapePending_) {
                ++stats_.badEscapes;
                note(stats_.first.badEscape, offsetOf(p) - 2);
            }
            escapePending_ = false;
            if (length_ == 0) {
                frameStart_ = offsetOf(p); // an extra FEND: the frame stays open and empty
                continue;
            }
            closeFrame();
            continue;
        }
        if (escapePending_) {
            escapePending_ = false;
            if (b == TFEND) {
                buffer_[length_ - 1] = FEND; // the 0xDB stored for the FESC becomes 0xC0
                continue;
            }
            if (b == TFESC)
                continue; // the 0xDB stored for the FESC is the data byte
            ++stats_.badEscapes;
            note(stats_.first.badEscape, offsetOf(p) - 2);
            // Any other byte cancels the escape: the 0xDB stays as data and the
            // byte is taken by its own rule, so nothing carries into later frames.
        }
        if (length_ == FrameCapacity) {
            overflow_ = true;
            continue;
        }
        buffer_[length_++] = b;
        if (b == FESC)
            escapePending_ = true;
    }
}

void KissReader::finish()
{
    if (inFrame_ && (length_ > 0 || overflow_)) {
        ++stats_.unfinishedFrames;
        note(stats_.first.unfinished, frameStart_);
    }
    length_ = 0;
    inFrame_ = false;
    escapePending_ = false;
    overflow_ = false;
}

void KissReader::closeFrame()
{
    const std::optional<std::int64_t> preceding = justClosedTimestamp_;
    justClosedTimestamp_.reset();
    if (overflow_) {
        ++stats_.oversizedFrames;
        note(stats_.first.oversized, frameStart_);
    } else if (length_ < 3) {
        ++stats_.runtFrames;
        note(stats_.first.runt, frameStart_);
    } else if (buffer_[0] == 0x09) {
        ++stats_.rejectedFrames;
        bool timestamp = false;
        if (length_ == 9) {
            std::uint64_t ms = 0; // big-endian
            for (std::size_t i = 1; i < 9; ++i)
                ms = ms << 8 | buffer_[i];
            if (ms < TimestampLimitMs) {
                // Both from the local value: copying the optional just written would
                // read it back before its two stores have settled, a stall per frame.
                latestTime_ = static_cast<std::int64_t>(ms);
                justClosedTimestamp_ = static_cast<std::int64_t>(ms);
                timestamp = true;
            }
        }
        if (timestamp) {
            ++stats_.timestampFrames;
            note(stats_.first.timestamp, frameStart_);
        } else {
            note(stats_.first.otherRejected, frameStart_);
        }
    } else {
        ++stats_.acceptedFrames;
        if (onFrame_)
            onFrame_(KissFrame{std::span<const std::uint8_t>(buffer_.data(), length_), latestTime_,
                               frameStart_, preceding});
    }
    length_ = 0;
    inFrame_ = false;
    escapePending_ = false;
    overflow_ = false;
}

} // namespace kesta
