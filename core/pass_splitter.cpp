#include "pass_splitter.h"

namespace kesta {

Pass &PassSplitter::add(std::uint64_t number, std::optional<std::int64_t> time,
                        FrameType countedAs)
{
    bool opens = passes_.empty();
    if (time && lastTime_) {
        const std::int64_t gap = *time > *lastTime_ ? *time - *lastTime_ : *lastTime_ - *time;
        opens = opens || gap > gapMs_;
    }
    if (opens) {
        passes_.emplace_back();
        passes_.back().first = number;
    }
    Pass &pass = passes_.back();
    pass.last = number;
    if (time) {
        if (!pass.start)
            pass.start = time;
        pass.end = time;
        lastTime_ = time;
    }
    switch (countedAs) {
    case FrameType::Htrx:
        ++pass.frames.htrx;
        break;
    case FrameType::Fss:
        ++pass.frames.fss;
        break;
    case FrameType::FssHi:
        ++pass.frames.fssHi;
        break;
    case FrameType::None:
        break;
    }
    return pass;
}

} // namespace kesta
