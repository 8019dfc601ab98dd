#include "log_health.h"

#include <algorithm>

namespace kesta {

LogHealth::LogHealth(const LimitSet *limits, std::int64_t passGapMs,
                     std::vector<Field> seriesFields)
    : limits_(limits), splitter_(passGapMs), seriesFields_(std::move(seriesFields))
{}

void LogHealth::add(std::uint64_t number, const TelemetryRecord &record, FrameType countedAs)
{
    Pass &pass = splitter_.add(number, record.ReceptionTime, countedAs);
    LimitLevel worst = LimitLevel::Ok;
    if (limits_ != nullptr) {
        limits_->check(record, [&](Field field, double value, LimitLevel level) {
            if (level == LimitLevel::Ok)
                return;
            tally_.add(field, level, number, record.ReceptionTime, value);
            pass.limits.add(field, level, number, record.ReceptionTime, value);
            worst = std::max(worst, level);
        });
    }
    if (worst == LimitLevel::Warning) {
        ++recordsInWarning_;
        ++pass.recordsInWarning;
    } else if (worst == LimitLevel::Critical) {
        ++recordsInCritical_;
        ++pass.recordsInCritical;
    }
    if (seriesFields_.empty())
        return;
    for (const Field field : seriesFields_) {
        if (!record.Written.test(field))
            continue;
        const auto value = FieldNumber(record, field);
        if (!value)
            continue;
        const LimitLevel level = limits_ != nullptr && limits_->limitsOf(field) != nullptr
                                     ? limits_->levelOf(field, *value)
                                     : LimitLevel::Ok;
        series_[static_cast<std::size_t>(field)].push_back(
            SeriesPoint{number, record.ReceptionTime, *value, level});
    }
}

LimitLevel LogHealth::worst() const
{
    if (recordsInCritical_ > 0)
        return LimitLevel::Critical;
    return recordsInWarning_ > 0 ? LimitLevel::Warning : LimitLevel::Ok;
}

} // namespace kesta
