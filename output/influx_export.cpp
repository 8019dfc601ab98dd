#include "influx_export.h"

#include "value_text.h"

#include <cmath>
#include <limits>

namespace kesta {

namespace {

std::string_view KindTag(FrameType type)
{
    switch (type) {
    case FrameType::Htrx:
        return "HTRX";
    case FrameType::Fss:
        return "FSS";
    case FrameType::FssHi:
        return "FSS_HI";
    case FrameType::None:
        break;
    }
    return "other";
}

constexpr std::size_t BlockSize = std::size_t{1} << 20;

constexpr std::int64_t NanosPerMs = 1000000;
constexpr std::int64_t LastMs = std::numeric_limits<std::int64_t>::max() / NanosPerMs;
constexpr std::int64_t FirstMs = std::numeric_limits<std::int64_t>::min() / NanosPerMs;

} // namespace

void AppendInfluxTagValue(std::string &out, std::string_view value)
{
    for (const char c : value) {
        if (c == ',' || c == '=' || c == ' ')
            out += '\\';
        out += c;
    }
}

bool AppendInfluxLine(std::string &out, const SessionFrame &frame, const InfluxLineOptions &options)
{
    const TelemetryRecord &r = frame.record;
    if (!r.ReceptionTime)
        return true;
    if (*r.ReceptionTime > LastMs || *r.ReceptionTime < FirstMs)
        return false;
    const std::size_t start = out.size();
    out += "kesta1,kind=";
    out += KindTag(frame.countedAs);
    if (!options.station.empty()) {
        out += ",station=";
        AppendInfluxTagValue(out, options.station);
    }
    char separator = ' ';
    for (const FieldInfo &info : Fields) {
        if (!IsNumeric(info.type) || !r.Written.test(info.field))
            continue;
        const std::optional<double> number = FieldNumber(r, info.field);
        if (!number || !std::isfinite(*number))
            continue;
        out += separator;
        separator = ',';
        out += info.name;
        out += '=';
        if (info.type == ValueType::F64)
            AppendValueText(out, *number);
        else if (info.type == ValueType::F32)
            AppendValueText(out, static_cast<float>(*number));
        else {
            AppendValueText(out, static_cast<std::int64_t>(*number));
            out += 'i';
        }
    }
    if (separator == ' ') { // no field: no line
        out.resize(start);
        return true;
    }
    out += ' ';
    AppendValueText(out, *r.ReceptionTime * NanosPerMs);
    out += '\n';
    return true;
}

void InfluxSink::frame(const SessionFrame &frame)
{
    if (!AppendInfluxLine(block_, frame, options_) && timesOutOfRange_++ == 0)
        firstTimeOutOfRange_ = frame.offset;
    if (block_.size() >= BlockSize)
        file_.writeBlock(block_); // handed on without waiting for the disk
}

void InfluxSink::flush()
{
    file_.writeBlock(block_);
    file_.flush();
}

} // namespace kesta
