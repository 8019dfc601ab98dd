#include "frame_decoder.h"

#include "parameter_catalogue.h"
#include "value_text.h"

#include <algorithm>
#include <optional>

namespace kesta {
namespace {

// Bounds-checked access to the frame: a field is written only when every byte
// it is made of lies inside the frame.
class FrameView
{
public:
    explicit FrameView(std::span<const std::uint8_t> frame) : frame_(frame) {}

    bool has(std::size_t first, std::size_t count = 1) const
    {
        return first + count <= frame_.size();
    }
    std::optional<std::uint8_t> byte(std::size_t at) const
    {
        if (!has(at))
            return std::nullopt;
        return frame_[at];
    }
    std::optional<std::int32_t> word(std::size_t at) const
    {
        if (!has(at, 2))
            return std::nullopt;
        return frame_[at] * 256 + frame_[at + 1];
    }
    std::optional<std::span<const std::uint8_t>> bytes(std::size_t first, std::size_t count) const
    {
        if (!has(first, count))
            return std::nullopt;
        return frame_.subspan(first, count);
    }

private:
    std::span<const std::uint8_t> frame_;
};

template <typename T, typename V>
void Store(TelemetryRecord &r, T TelemetryRecord::*member, Field field,
           const std::optional<V> &value)
{
    if (!value)
        return;
    r.*member = static_cast<T>(*value);
    r.Written.set(field);
}

void StoreCurrent(TelemetryRecord &r, double TelemetryRecord::*member, Field field,
                  const std::optional<std::uint8_t> &value)
{
    if (value)
        Store(r, member, field, std::optional<double>(0.0109 * *value));
}

void StoreBytes(TelemetryRecord &r, const std::optional<std::span<const std::uint8_t>> &bytes)
{
    if (!bytes)
        return;
    std::copy(bytes->begin(), bytes->end(), r.LightElements.begin());
    r.Written.set(Field::LightElements);
}

void StoreHex(TelemetryRecord &r, std::string TelemetryRecord::*member, Field field,
              const std::optional<std::span<const std::uint8_t>> &bytes)
{
    if (!bytes)
        return;
    std::string &text = r.*member;
    text.clear();
    AppendHexText(text, *bytes);
    r.Written.set(field);
}

void SetKind(TelemetryRecord &r, FrameKind kind)
{
    r.FrameKind = kind;
    r.Written.set(Field::FrameKind);
}

// Element number (stored only when 64 or less) and the angle looked up from the
// element number the record then holds.
void StoreElement(TelemetryRecord &r, const std::optional<std::uint8_t> &element)
{
    if (element && *element <= 64)
        Store(r, &TelemetryRecord::ElementNumber, Field::ElementNumber, element);
    if (const auto angle = AngleForElement(r.ElementNumber))
        Store(r, &TelemetryRecord::Angle, Field::Angle, angle);
}

void DecodeHtrx(const FrameView &f, TelemetryRecord &r)
{
    SetKind(r, FrameKind::Htrx);
    Store(r, &TelemetryRecord::HtrxCounter, Field::HtrxCounter, f.word(18));
    Store(r, &TelemetryRecord::MovementFlag, Field::MovementFlag, f.byte(20));
    if (const auto b = f.byte(21))
        Store(r, &TelemetryRecord::Rssi, Field::Rssi, std::optional<double>(32.946 - 0.289 * *b));
    StoreCurrent(r, &TelemetryRecord::HrxCurrent, Field::HrxCurrent, f.byte(22));
    StoreCurrent(r, &TelemetryRecord::HtxCurrent, Field::HtxCurrent, f.byte(23));
    StoreCurrent(r, &TelemetryRecord::TncCurrent, Field::TncCurrent, f.byte(25));
    StoreCurrent(r, &TelemetryRecord::FssCurrent, Field::FssCurrent, f.byte(26));
    Store(r, &TelemetryRecord::FssStatus, Field::FssStatus, f.byte(27));
    Store(r, &TelemetryRecord::FssCounter, Field::FssCounter, f.byte(28));
    Store(r, &TelemetryRecord::FssAngleData, Field::FssAngleData, f.byte(29));
    Store(r, &TelemetryRecord::CcuTime, Field::CcuTime, f.word(30));
    StoreHex(r, &TelemetryRecord::CcuTelemetry, Field::CcuTelemetry, f.bytes(32, 32));
}

std::span<const std::uint8_t> DecodeFss(const FrameView &f, TelemetryRecord &r)
{
    const auto modeStatus = f.byte(18);
    Store(r, &TelemetryRecord::ModeStatus, Field::ModeStatus, modeStatus);
    Store(r, &TelemetryRecord::FssFrameCounter, Field::FssFrameCounter, f.byte(19));
    if (!modeStatus)
        return {}; // no mode byte, so no kind
    switch (*modeStatus >> 4) {
    case 0:
        SetKind(r, FrameKind::FssStandby);
        return {};
    case 4:
    case 5:
    case 6:
    case 7:
        SetKind(r, (*modeStatus >> 4) < 6 ? FrameKind::FssNormal : FrameKind::FssNormalAlg2);
        Store(r, &TelemetryRecord::Threshold, Field::Threshold,
              std::optional<int>((*modeStatus & 0x0F) * 8 + 5));
        StoreBytes(r, f.bytes(20, LightElementBytes{}.size()));
        StoreElement(r, f.byte(84));
        return {};
    case 12: {
        SetKind(r, FrameKind::FssMessage);
        const auto text = f.bytes(20, 65);
        if (!text)
            return {};
        r.MessageText.assign(text->begin(), text->end());
        r.Written.set(Field::MessageText);
        return *text;
    }
    default:
        return {}; // a mode without a kind: an FSS frame by its type alone
    }
}

void DecodeFssHi(const FrameView &f, TelemetryRecord &r)
{
    SetKind(r, FrameKind::FssHiMode);
    Store(r, &TelemetryRecord::HiUpperAddress, Field::HiUpperAddress, f.byte(18));
    Store(r, &TelemetryRecord::HiLowerAddress, Field::HiLowerAddress, f.byte(19));
    Store(r, &TelemetryRecord::HiDataSize, Field::HiDataSize, f.byte(20));
    Store(r, &TelemetryRecord::ModeStatus, Field::ModeStatus, f.byte(21));
    Store(r, &TelemetryRecord::FssFrameCounter, Field::FssFrameCounter, f.byte(22));
    StoreBytes(r, f.bytes(23, LightElementBytes{}.size()));
    StoreElement(r, f.byte(87));
}

} // namespace

DecodeResult DecodeFrame(std::span<const std::uint8_t> frame, TelemetryRecord &r,
                         FrameCounters &counters)
{
    const FrameView f(frame);
    DecodeResult result;
    const auto type = f.byte(17);
    if (!type)
        return result; // too short to have a type
    switch (*type) {
    case 1:
        ++counters.HtrxCount;
        result.countedAs = FrameType::Htrx;
        DecodeHtrx(f, r);
        break;
    case 2:
        ++counters.FssCount;
        result.countedAs = FrameType::Fss;
        result.message = DecodeFss(f, r);
        break;
    case 4:
        ++counters.FssHiCount;
        result.countedAs = FrameType::FssHi;
        DecodeFssHi(f, r);
        break;
    default:
        break;
    }
    r.Type = result.countedAs;
    return result;
}

DecodeResult ClassifyFrame(std::span<const std::uint8_t> frame)
{
    // The same rules as DecodeFrame and DecodeFss, reading only bytes 17, 18 and the message.
    DecodeResult result;
    if (frame.size() <= 17)
        return result;
    switch (frame[17]) {
    case 1:
        result.countedAs = FrameType::Htrx;
        break;
    case 2:
        result.countedAs = FrameType::Fss;
        if (frame.size() >= 20 + 65 && frame[18] >> 4 == 12)
            result.message = frame.subspan(20, 65);
        break;
    case 4:
        result.countedAs = FrameType::FssHi;
        break;
    default:
        break;
    }
    return result;
}

} // namespace kesta
