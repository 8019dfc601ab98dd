#include "limit_tally.h"

namespace kesta {

LimitTally::LimitTally(const LimitTally &other)
    : counts_(other.counts_ ? std::make_unique<std::array<FieldLimitCounts, FieldCount>>(
                                  *other.counts_)
                            : nullptr)
{}

LimitTally &LimitTally::operator=(const LimitTally &other)
{
    if (this != &other)
        *this = LimitTally(other);
    return *this;
}

void LimitTally::add(Field field, LimitLevel level, std::uint64_t record,
                     std::optional<std::int64_t> time, double value)
{
    if (level != LimitLevel::Warning && level != LimitLevel::Critical)
        return;
    if (!counts_)
        counts_ = std::make_unique<std::array<FieldLimitCounts, FieldCount>>();
    FieldLimitCounts &c = (*counts_)[static_cast<std::size_t>(field)];
    if (level == LimitLevel::Warning) {
        if (c.warning++ == 0)
            c.firstWarning = LimitFirst{record, time, value};
    } else if (level == LimitLevel::Critical) {
        if (c.critical++ == 0)
            c.firstCritical = LimitFirst{record, time, value};
    }
}

} // namespace kesta
