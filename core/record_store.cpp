#include "record_store.h"

namespace kesta {

RecordStore::RecordStore() : slots_(MaxRecords + 1) {}

void RecordStore::reset()
{
    for (auto &slot : slots_)
        slot.clear();
    RecordCount = 0;
    counters = {};
}

const TelemetryRecord &RecordStore::operator[](std::int16_t index) const
{
    return slots_[index >= 0 && index <= MaxRecords ? static_cast<std::size_t>(index) : 0];
}

TelemetryRecord &RecordStore::operator[](std::int16_t index)
{
    return slots_[index >= 0 && index <= MaxRecords ? static_cast<std::size_t>(index) : 0];
}

} // namespace kesta
