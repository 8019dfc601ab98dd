#pragma once

#include "frame_decoder.h"
#include "telemetry_record.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kesta {

// Slots 0 to 1000; a log's n-th accepted frame goes to slot n, slot 0 stays unused.
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

    std::int16_t RecordCount = 0;
    FrameCounters counters; // HtrxCount, FssCount, FssHiCount

private:
    std::vector<TelemetryRecord> slots_;
};

} // namespace kesta
