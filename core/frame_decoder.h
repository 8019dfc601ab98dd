#pragma once

#include "telemetry_record.h"

#include <cstdint>
#include <span>
#include <string_view>

namespace kesta {

// Frames counted by type (byte 17).
struct FrameCounters
{
    std::int16_t HtrxCount = 0;
    std::int16_t FssCount = 0;
    std::int16_t FssHiCount = 0;
};

struct DecodeResult
{
    FrameType countedAs = FrameType::None;
    // The message bytes of an FSS message frame (65 bytes), to be appended to the
    // TLM file; empty for every other frame.
    std::span<const std::uint8_t> message;
};

// Decodes one accepted frame into `r` and counts it in `counters` by its type.
// A field is written only when every byte it is made of lies inside the frame;
// the fields written are added to r.Written, the type to r.Type. `r` should be fresh, apart from its
// RawHex and ReceptionTime.
DecodeResult DecodeFrame(std::span<const std::uint8_t> frame, TelemetryRecord &r,
                         FrameCounters &counters);

// What DecodeFrame returns for `frame`, without decoding any field: for a run
// whose outputs need only the frame's bytes and its FSS message.
DecodeResult ClassifyFrame(std::span<const std::uint8_t> frame);

} // namespace kesta
