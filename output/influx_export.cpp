#include "influx_export.h"

#include "value_text.h"

#include <cmath>

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

} // namespace

void AppendInfluxLine(std::string &out, const SessionFrame &frame)
{
    const TelemetryRecord &r = frame.record;
    if (!r.ReceptionTime)
        return;
    const std::size_t start = out.size();
    out += "kesta1,kind=";
    out += KindTag(frame.countedAs);
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
        return;
    }
    out += ' ';
    AppendValueText(out, *r.ReceptionTime * 1000000);
    out += '\n';
}

void InfluxSink::frame(const SessionFrame &frame)
{
    AppendInfluxLine(block_, frame);
    if (block_.size() >= BlockSize)
        flush();
}

void InfluxSink::flush()
{
    file_.write(block_);
    block_.clear();
    file_.flush();
}

} // namespace kesta
