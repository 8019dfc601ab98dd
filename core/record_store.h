#pragma once

#include "frame_decoder.h"
#include "telemetry_record.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kesta {

// Slots 0 to 1000; a log's n-th accepted frame goes to slot n, slot 0 stays unused.
// A live session keeps its newest 1000 records here: index 1 is then the oldest held,
// whose session number is FirstNumber.
class RecordStore
{
public:
    static constexpr std::int16_t MaxRecords = 1000;

    RecordStore();

    // Every slot fresh and every counter 0: the start of a decoding run.
    void reset();

    // Slot `index`, 0 to 1000; an index outside that range is clamped to slot 0,
    // which a run never writes.
    const TelemetryRecord &operator[](std::int16_t index) const;
    TelemetryRecord &operator[](std::int16_t index);

    // Appends a record as the newest; when the store is full the oldest leaves it and
    // FirstNumber moves on by one.
    void pushNewest(const TelemetryRecord &record);
    // The session number of the record at `index` (1 to RecordCount).
    std::int64_t numberAt(std::int16_t index) const { return FirstNumber + index - 1; }
    std::int64_t lastNumber() const { return FirstNumber + RecordCount - 1; }

    std::int16_t RecordCount = 0;
    std::int64_t FirstNumber = 1; // the session number of the record at index 1
    FrameCounters counters;       // HtrxCount, FssCount, FssHiCount

private:
    std::size_t slotOf(std::int16_t index) const;

    std::vector<TelemetryRecord> slots_;
    std::size_t head_ = 0; // how far the ring has turned: index 1 is slot head_ + 1
    // Slots below this may have been written through operator[] since the last reset.
    std::size_t touched_ = MaxRecords + 1;
};

} // namespace kesta
