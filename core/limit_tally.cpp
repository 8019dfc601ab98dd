#include "limit_tally.h"

namespace kesta {

void LimitTally::add(Field field, LimitLevel level, std::uint64_t record,
                     std::optional<std::int64_t> time, double value)
{
    FieldLimitCounts &c = counts_[static_cast<std::size_t>(field)];
    if (level == LimitLevel::Warning) {
        if (c.warning++ == 0)
            c.firstWarning = LimitFirst{record, time, value};
    } else if (level == LimitLevel::Critical) {
        if (c.critical++ == 0)
            c.firstCritical = LimitFirst{record, time, value};
    }
}

} // namespace kesta
