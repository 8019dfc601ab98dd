#pragma once

#include "limit_set.h"
#include "telemetry_record.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

namespace kesta {

// The first record of a field at one level.
struct LimitFirst
{
    std::uint64_t record;
    std::optional<std::int64_t> time; // reception time, ms since 1970, where known
    double value;
};

// How often one field was outside its limits, and where first.
struct FieldLimitCounts
{
    std::uint64_t warning = 0;
    std::uint64_t critical = 0;
    std::optional<LimitFirst> firstWarning;
    std::optional<LimitFirst> firstCritical;
};

// Per field, the records in warning and in critical, of a log or of one pass.
//
// The counts are made at the first record outside a limit: a long log has thousands
// of passes, most of them with no record outside any limit, and a pass's counts of
// every field take kilobytes.
class LimitTally
{
public:
    LimitTally() = default;
    LimitTally(const LimitTally &other);
    LimitTally &operator=(const LimitTally &other);
    LimitTally(LimitTally &&) noexcept = default;
    LimitTally &operator=(LimitTally &&) noexcept = default;
    ~LimitTally() = default;

    void add(Field field, LimitLevel level, std::uint64_t record, std::optional<std::int64_t> time,
             double value);
    const FieldLimitCounts &of(Field field) const
    {
        static const FieldLimitCounts none;
        return counts_ ? (*counts_)[static_cast<std::size_t>(field)] : none;
    }

private:
    std::unique_ptr<std::array<FieldLimitCounts, FieldCount>> counts_;
};

} // namespace kesta
