#pragma once

#include "decoding_session.h"
#include "limit_set.h"
#include "limit_tally.h"
#include "pass_splitter.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace kesta {

// One value of a field for a chart of it.
struct SeriesPoint
{
    std::uint64_t record;
    std::optional<std::int64_t> time;
    double value;
    LimitLevel level;
};

// Is the satellite well, and since when not: a log's records checked against limits,
// split into passes, counted per pass and for the whole log, and, for the fields asked
// for, their values kept for charts. Fed record by record in order, by a session's
// HealthSink or from records held elsewhere.
class LogHealth
{
public:
    // `limits` may be null (passes only) and must outlive this object. `seriesFields`
    // are numeric fields whose values are kept.
    explicit LogHealth(const LimitSet *limits, std::int64_t passGapMs = PassSplitter::DefaultGapMs,
                       std::vector<Field> seriesFields = {});

    void add(std::uint64_t number, const TelemetryRecord &record, FrameType countedAs);
    // Whether add() looks at a record's values: it does with limits or series fields.
    // Without them a frame's number, time and kind are all it needs (addUndecoded).
    bool readsValues() const { return limits_ != nullptr || !seriesFields_.empty(); }
    void addUndecoded(std::uint64_t number, std::optional<std::int64_t> time, FrameType countedAs)
    {
        splitter_.add(number, time, countedAs);
    }

    const LimitSet *limitSet() const { return limits_; }
    const std::vector<Pass> &passes() const { return splitter_.passes(); }
    std::int64_t passGapMs() const { return splitter_.gapMs(); }
    // The whole log.
    const LimitTally &limits() const { return tally_; }
    std::uint64_t recordsInWarning() const { return recordsInWarning_; }
    std::uint64_t recordsInCritical() const { return recordsInCritical_; }
    // The worst level any record reached.
    LimitLevel worst() const;

    const std::vector<Field> &seriesFields() const { return seriesFields_; }
    // The kept values of a series field, in record order; empty for another field.
    const std::vector<SeriesPoint> &series(Field field) const
    {
        return series_[static_cast<std::size_t>(field)];
    }

private:
    const LimitSet *limits_;
    PassSplitter splitter_;
    LimitTally tally_;
    std::uint64_t recordsInWarning_ = 0;
    std::uint64_t recordsInCritical_ = 0;
    std::vector<Field> seriesFields_;
    std::array<std::vector<SeriesPoint>, FieldCount> series_;
};

// Feeds every frame of a session into a LogHealth.
class HealthSink final : public SessionSink
{
public:
    explicit HealthSink(LogHealth &health) : health_(health) {}
    // Passes alone need no decoded record, so that a session whose other sinks need
    // none either (dump, TLM, exports made on their own thread) decodes nothing.
    bool readsRecord() const override { return health_.readsValues(); }
    void frame(const SessionFrame &frame) override
    {
        if (health_.readsValues())
            health_.add(frame.number, frame.record, frame.countedAs);
        else
            health_.addUndecoded(frame.number, frame.receptionTime, frame.countedAs);
    }

private:
    LogHealth &health_;
};

} // namespace kesta
