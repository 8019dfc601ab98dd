#include "record_store.h"

#include <algorithm>

namespace kesta {

RecordStore::RecordStore() : slots_(MaxRecords + 1) {}

void RecordStore::reset()
{
    // Only slots handed out since the last reset can differ from fresh: a run of a
    // short log (or the fuzzer, thousands of times a second) clears a few, not 1001.
    for (std::size_t i = 0; i < touched_; ++i)
        slots_[i].clear();
    touched_ = 0;
    RecordCount = 0;
    FirstNumber = 1;
    head_ = 0;
    counters = {};
}

std::size_t RecordStore::slotOf(std::int16_t index) const
{
    if (index < 1 || index > MaxRecords)
        return 0;
    if (head_ == 0) // a log, or a session that has not yet gone past 1000 records
        return static_cast<std::size_t>(index);
    return (head_ + static_cast<std::size_t>(index) - 1) % MaxRecords + 1;
}

const TelemetryRecord &RecordStore::operator[](std::int16_t index) const
{
    return slots_[slotOf(index)];
}

TelemetryRecord &RecordStore::operator[](std::int16_t index)
{
    const std::size_t slot = slotOf(index);
    touched_ = std::max(touched_, slot + 1);
    return slots_[slot];
}

void RecordStore::pushNewest(const TelemetryRecord &record)
{
    if (RecordCount < MaxRecords) {
        ++RecordCount;
    } else {
        head_ = (head_ + 1) % MaxRecords;
        ++FirstNumber;
    }
    (*this)[RecordCount] = record;
}

} // namespace kesta
