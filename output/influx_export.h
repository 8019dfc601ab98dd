#pragma once

#include "decoding_session.h"
#include "output_file.h"

#include <string>

namespace kesta {

// Records as InfluxDB line protocol, one line per accepted frame that has a reception
// time: measurement "kesta1", tag "kind" (HTRX, FSS, FSS_HI or other), the numeric
// fields the frame carried as fields under their export names (integers and status
// bytes with the "i" suffix, measured values as floats), and the reception time in
// nanoseconds:
//
//   kesta1,kind=HTRX HtrxCounter=30477i,MovementFlag=33i,Rssi=-19.941,... 1764583201638000000
//
// A frame without a time or without any numeric field writes no line (a line needs
// both); a value that is not finite is left out. Lines end in LF. A time that
// nanoseconds in 64 bits cannot hold (after 2262-04-11T23:47:16.854Z, before
// 1677-09-21T00:12:43.146Z) writes no line either, and the result is false.
bool AppendInfluxLine(std::string &out, const SessionFrame &frame);

class InfluxSink final : public SessionSink
{
public:
    explicit InfluxSink(OutputFile &file) : file_(file) {}
    void frame(const SessionFrame &frame) override;
    void flush() override;
    // The frames left out for a time the line protocol cannot hold, and the offset of
    // the first (NoOffset for none).
    std::uint64_t timesOutOfRange() const { return timesOutOfRange_; }
    std::uint64_t firstTimeOutOfRange() const { return firstTimeOutOfRange_; }

private:
    OutputFile &file_;
    std::string block_;
    std::uint64_t timesOutOfRange_ = 0;
    std::uint64_t firstTimeOutOfRange_ = NoOffset;
};

} // namespace kesta
