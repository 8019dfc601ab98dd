#include "record_store.h"

namespace kesta {

RecordStore::RecordStore() : slots_(MaxRecords + 1) {}

void RecordStore::reset()
{
    for (auto &slot : slots_)
        slot.clear();
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
    return slots_[slotOf(index)];
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
