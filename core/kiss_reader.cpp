#include "kiss_reader.h"

#include <cstring>
#include <utility>

namespace kesta {

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
    stats_ = {};
}

void KissReader::feed(std::span<const std::uint8_t> chunk)
{
    const std::uint8_t *p = chunk.data();
    const std::uint8_t *const end = p + chunk.size();
    while (p != end) {
        if (!inFrame_) {
            // Between frames only a FEND means anything; it opens the next frame.
            const void *fend = std::memchr(p, FEND, static_cast<std::size_t>(end - p));
            if (fend == nullptr)
                return;
            p = static_cast<const std::uint8_t *>(fend) + 1;
            inFrame_ = true;
            escapePending_ = false;
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

        // Plain data bytes in a run, the common case.
        if (!escapePending_) {
            while (p != end && *p != FEND && *p != FESC && length_ < FrameCapacity)
                buffer_[length_++] = *p++;
            if (p == end)
                return;
        }

        const std::uint8_t b = *p++;
        if (b == FEND) {
            escapePending_ = false;
            if (length_ == 0)
                continue; // an extra FEND: the frame stays open and empty
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
    if (inFrame_ && (length_ > 0 || overflow_))
        ++stats_.unfinishedFrames;
    length_ = 0;
    inFrame_ = false;
    escapePending_ = false;
    overflow_ = false;
}

void KissReader::closeFrame()
{
    if (overflow_) {
        ++stats_.oversizedFrames;
    } else if (length_ < 3) {
        ++stats_.runtFrames;
    } else if (buffer_[0] == 0x09) {
        ++stats_.rejectedFrames;
        if (length_ == 9) {
            std::uint64_t ms = 0;
            for (std::size_t i = 1; i < 9; ++i)
                ms = ms << 8 | buffer_[i];
            if (ms < TimestampLimitMs)
                latestTime_ = static_cast<std::int64_t>(ms);
        }
    } else {
        ++stats_.acceptedFrames;
        if (onFrame_)
            onFrame_(
                KissFrame{std::span<const std::uint8_t>(buffer_.data(), length_), latestTime_});
    }
    length_ = 0;
    inFrame_ = false;
    escapePending_ = false;
    overflow_ = false;
}

} // namespace kesta
