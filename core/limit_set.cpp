#include "limit_set.h"

#include "parameter_catalogue.h"
#include "value_text.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kesta {

namespace {

constexpr double Infinity = std::numeric_limits<double>::infinity();

// Half a unit of the last significant digit that the value text of a field of `type`
// shows at the magnitude of `bound`; 0 for integer fields, whose values are exact.
double HalfLastDigit(double bound, ValueType type)
{
    int digits = 0;
    if (type == ValueType::F64)
        digits = 15;
    else if (type == ValueType::F32)
        digits = 7;
    if (digits == 0 || bound == 0 || !std::isfinite(bound))
        return 0;
    const double exponent = std::floor(std::log10(std::fabs(bound)));
    return 0.5 * std::pow(10.0, exponent - (digits - 1));
}

} // namespace

std::string_view LevelName(LimitLevel level)
{
    switch (level) {
    case LimitLevel::Ok:
        return "ok";
    case LimitLevel::Warning:
        return "warning";
    case LimitLevel::Critical:
        return "critical";
    }
    return "ok";
}

LimitSet::LimitSet()
{
    bounds_.fill(Bounds{-Infinity, Infinity, -Infinity, Infinity});
}

void LimitSet::set(Field field, const FieldLimits &limits)
{
    const auto i = static_cast<std::size_t>(field);
    const ValueType type = InfoOf(field).type;
    if (!IsNumeric(type))
        return; // a text has no level
    auto low = [type](const std::optional<LimitRange> &r) {
        if (!r || !r->low)
            return -Infinity;
        return *r->low - HalfLastDigit(*r->low, type);
    };
    auto high = [type](const std::optional<LimitRange> &r) {
        if (!r || !r->high)
            return Infinity;
        return *r->high + HalfLastDigit(*r->high, type);
    };
    given_[i] = limits;
    bounds_[i] = Bounds{low(limits.warning), high(limits.warning), low(limits.critical),
                        high(limits.critical)};
    if (std::find(fields_.begin(), fields_.end(), field) == fields_.end()) {
        fields_.push_back(field);
        mask_.set(field);
        std::sort(fields_.begin(), fields_.end());
    }
}

const FieldLimits *LimitSet::limitsOf(Field field) const
{
    const auto &given = given_[static_cast<std::size_t>(field)];
    return given ? &*given : nullptr;
}

std::optional<LimitBreach> LimitSet::breachOf(Field field, double value) const
{
    const LimitLevel level = levelOf(field, value);
    if (level == LimitLevel::Ok)
        return std::nullopt;
    const FieldLimits &given = *limitsOf(field);
    const LimitRange &range = level == LimitLevel::Critical ? *given.critical : *given.warning;
    const bool above = range.high && value > *range.high;
    return LimitBreach{level, above, above ? *range.high : *range.low};
}

std::string_view UnitOf(Field field)
{
    return Fields[static_cast<std::size_t>(field)].unit;
}

std::string BreachText(Field field, double value, const LimitBreach &breach)
{
    std::string text(LevelName(breach.level));
    text += ": ";
    AppendValueText(text, value);
    if (const std::string_view unit = UnitOf(field); !unit.empty()) {
        text += ' ';
        text += unit;
    }
    text += breach.above ? " above " : " below ";
    AppendValueText(text, breach.bound);
    return text;
}

} // namespace kesta
