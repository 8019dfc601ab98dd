#pragma once

#include "decoding_session.h"
#include "number_text.h"
#include "output_file.h"

#include <string>
#include <string_view>
#include <utility>

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
//
// With a station, every line carries the tag `station` after `kind` (tags in key
// order, as the servers like them), its commas, equals signs and spaces escaped with
// a backslash as the line protocol requires:
//
//   kesta1,kind=HTRX,station=DL0ABC\ Bremen HtrxCounter=30477i,... 1764583201638000000
struct InfluxLineOptions
{
    std::string station; // empty: no station tag (see StationNameProblem)
};

// Writes the lines. Not const: it remembers the texts of recent float values, which
// repeat from frame to frame and are the costly part of a line.
class InfluxLineWriter
{
public:
    explicit InfluxLineWriter(const InfluxLineOptions &options = {});
    // Appends the frame's line, if it makes one; false when its time is out of range.
    bool append(std::string &out, const SessionFrame &frame);
    // The most characters a line takes.
    std::size_t maxLineSize() const;
    // Writes the frame's line at `out`, which has room for maxLineSize() characters;
    // returns the end of what was written (`out` for a frame that makes no line), or
    // nullptr when the frame's time is out of range.
    char *write(char *out, const SessionFrame &frame);

private:
    template <std::size_t I> char *writeField(char *p, const TelemetryRecord &record, char &separator);

    std::string stationTag_; // ,station=NAME escaped; empty for none
    FloatTexts floats_;
    std::string line_; // append()'s line before it goes to the caller's string
};

// A tag value as the line protocol requires it: ',', '=' and ' ' escaped with '\\'.
void AppendInfluxTagValue(std::string &out, std::string_view value);

class InfluxSink final : public SessionSink
{
public:
    explicit InfluxSink(OutputFile &file, InfluxLineOptions options = {})
        : file_(file), lines_(options)
    {}
    void frame(const SessionFrame &frame) override;
    void flush() override;
    // The frames left out for a time the line protocol cannot hold, and the offset of
    // the first (NoOffset for none).
    std::uint64_t timesOutOfRange() const { return timesOutOfRange_; }
    std::uint64_t firstTimeOutOfRange() const { return firstTimeOutOfRange_; }

private:
    OutputFile &file_;
    InfluxLineWriter lines_;
    std::string block_; // written through a pointer up to used_; see RecordExportWriter
    std::size_t used_ = 0;
    std::uint64_t timesOutOfRange_ = 0;
    std::uint64_t firstTimeOutOfRange_ = NoOffset;
};

} // namespace kesta
