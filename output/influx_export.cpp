#include "influx_export.h"

#include "value_text.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
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

InfluxLineWriter::InfluxLineWriter(const InfluxLineOptions &options)
{
    if (!options.station.empty()) {
        stationTag_ = ",station=";
        AppendInfluxTagValue(stationTag_, options.station);
    }
}

// One numeric field of the table, its type and member known at compile time. A float
// that is not finite is left out: the line protocol has no spelling for it.
template <std::size_t I>
char *InfluxLineWriter::writeField(char *p, const TelemetryRecord &record, char &separator)
{
    constexpr FieldInfo info = Fields[I];
    if constexpr (!IsNumeric(info.type)) {
        return p;
    } else {
        if (!record.Written.test(info.field))
            return p;
        const auto value = record.*std::get<info.member.index()>(info.member);
        constexpr bool isFloat = info.type == ValueType::F64 || info.type == ValueType::F32;
        if constexpr (isFloat) {
            if (!std::isfinite(value))
                return p;
        }
        *p++ = separator;
        separator = ',';
        std::memcpy(p, info.name.data(), info.name.size());
        p += info.name.size();
        *p++ = '=';
        if constexpr (isFloat) {
            const std::string_view text = floats_.of(value).text;
            std::memcpy(p, text.data(), text.size());
            return p + text.size();
        } else {
            p = WriteIntegerDigits(p, static_cast<std::int64_t>(value));
            *p++ = 'i';
            return p;
        }
    }
}

// Everything of a line but the station tag: measurement, kind, each numeric field's
// name, value and separator, the time.
constexpr std::size_t MaxLineSize = [] {
    std::size_t n = 32 + MaxIntegerDigits + 2;
    for (const FieldInfo &info : Fields)
        n += info.name.size() + 3 + std::max(MaxIntegerDigits, MaxFloatText);
    return n;
}();

std::size_t InfluxLineWriter::maxLineSize() const
{
    return MaxLineSize + stationTag_.size();
}

char *InfluxLineWriter::write(char *out, const SessionFrame &frame)
{
    const TelemetryRecord &r = frame.record;
    if (!r.ReceptionTime)
        return out;
    if (*r.ReceptionTime > LastMs || *r.ReceptionTime < FirstMs)
        return nullptr;
    char *p = out;
    const auto put = [&p](std::string_view text) {
        std::memcpy(p, text.data(), text.size());
        p += text.size();
    };
    put("kesta1,kind=");
    put(KindTag(frame.countedAs));
    put(stationTag_);
    char separator = ' ';
    [&]<std::size_t... I>(std::index_sequence<I...>) {
        ((p = writeField<I>(p, r, separator)), ...);
    }(std::make_index_sequence<FieldCount>{});
    if (separator == ' ') // no field: no line
        return out;
    *p++ = ' ';
    p = WriteIntegerDigits(p, *r.ReceptionTime * NanosPerMs);
    *p++ = '\n';
    return p;
}

bool InfluxLineWriter::append(std::string &out, const SessionFrame &frame)
{
    if (line_.size() < maxLineSize())
        line_.resize(maxLineSize());
    const char *const end = write(line_.data(), frame);
    if (end == nullptr)
        return false;
    out.append(line_.data(), static_cast<std::size_t>(end - line_.data()));
    return true;
}

void InfluxSink::frame(const SessionFrame &frame)
{
    // The block keeps its size; rows are written into it through a pointer, and only
    // what was written goes to the file.
    if (block_.size() < BlockSize + lines_.maxLineSize())
        block_.resize(BlockSize + lines_.maxLineSize());
    char *const end = lines_.write(block_.data() + used_, frame);
    if (end == nullptr) {
        if (timesOutOfRange_++ == 0)
            firstTimeOutOfRange_ = frame.offset;
        return;
    }
    used_ = static_cast<std::size_t>(end - block_.data());
    if (used_ >= BlockSize) {
        file_.writeBlock(block_, used_); // handed on without waiting for the disk
        used_ = 0;
    }
}

void InfluxSink::flush()
{
    if (used_ > 0) {
        file_.writeBlock(block_, used_);
        used_ = 0;
    }
    file_.flush();
}

} // namespace kesta
