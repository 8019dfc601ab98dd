#pragma once

#include "telemetry_record.h"

#include <array>
#include <bit>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kesta {

// How far a value is from where it should be.
enum class LimitLevel : std::uint8_t
{
    Ok,       // inside the warning range (or no warning range)
    Warning,  // outside the warning range, inside the critical range
    Critical, // outside the critical range
};

// "ok", "warning", "critical": the words of the limits file and the reports.
std::string_view LevelName(LimitLevel level);

// A range of good values; a missing bound is open on that side. Bounds belong to
// the range: a value equal to a bound is inside.
struct LimitRange
{
    std::optional<double> low;
    std::optional<double> high;
};

// The two levels of one field; either may be missing.
struct FieldLimits
{
    std::optional<LimitRange> warning;
    std::optional<LimitRange> critical;
};

// Which bound a value crossed, for texts such as "critical: 3.21 mA above 3".
struct LimitBreach
{
    LimitLevel level;
    bool above; // above the high bound, else below the low one
    double bound;
};

// The limits of the numeric fields of a record, keyed by the fields table, and the
// check of a record against them. Checking costs a few comparisons per limited
// field the frame wrote; fields the frame did not write are never checked.
//
// "Equal to a bound" is judged as a user sees the values: a value whose value text
// (15 significant digits for doubles, 7 for floats) is the bound's is inside, so
// a current of 0.0109 * 229 that reads "2.4961" is inside a bound of 2.4961 although
// the two doubles differ in their last bit.
class LimitSet
{
public:
    LimitSet();

    // Sets a numeric field's limits, replacing earlier ones; a text field is left without.
    void set(Field field, const FieldLimits &limits);
    // The field's limits as given; nullptr when it has none.
    const FieldLimits *limitsOf(Field field) const;
    // The fields that have limits, in the order of the fields table.
    const std::vector<Field> &fields() const { return fields_; }
    bool empty() const { return fields_.empty(); }

    LimitLevel levelOf(Field field, double value) const
    {
        const Bounds &b = bounds_[static_cast<std::size_t>(field)];
        if (value < b.criticalLow || value > b.criticalHigh)
            return LimitLevel::Critical;
        if (value < b.warningLow || value > b.warningHigh)
            return LimitLevel::Warning;
        return LimitLevel::Ok;
    }
    // The level and the bound crossed; nullopt for a value that is ok.
    std::optional<LimitBreach> breachOf(Field field, double value) const;

    // Calls visit(field, value, level) for every limited field that the record's frame
    // wrote, in the order of the fields table.
    // Walks the set bits of written-and-limited fields only: most frames carry few of them.
    template <typename Visit> void check(const TelemetryRecord &record, Visit &&visit) const
    {
        for (std::uint32_t bits = record.Written.bits() & mask_.bits(); bits != 0;
             bits &= bits - 1) {
            const auto f = static_cast<Field>(std::countr_zero(bits));
            const double value = *FieldNumber(record, f);
            visit(f, value, levelOf(f, value));
        }
    }

private:
    // The bounds compared against, open sides at infinity, each widened by half a unit
    // of the last digit of the field's value text.
    struct Bounds
    {
        double warningLow, warningHigh, criticalLow, criticalHigh;
    };

    std::array<std::optional<FieldLimits>, FieldCount> given_;
    std::array<Bounds, FieldCount> bounds_;
    std::vector<Field> fields_;
    FieldMask mask_; // fields_ as bits
};

// "critical: 3.21 mA above 3", the text of a breach with the field's unit (if any).
std::string BreachText(Field field, double value, const LimitBreach &breach);

// The unit of a field as the record view shows it ("mA", "deg"); empty for none.
std::string_view UnitOf(Field field);

} // namespace kesta
