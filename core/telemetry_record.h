#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kesta {

// The fields of a decoded frame, in record order. The enumerator names are the
// field names used in exports, so the order here is also the column order.
enum class Field : std::uint8_t
{
    RawHex,
    FrameKind,
    HtrxCounter,
    MovementFlag,
    Rssi,
    HrxCurrent,
    HtxCurrent,
    TncCurrent,
    FssCurrent,
    FssStatus,
    FssCounter,
    FssAngleData,
    CcuTime,
    CcuTelemetry,
    ModeStatus,
    FssFrameCounter,
    LightElements,
    ElementNumber,
    MessageText,
    Threshold,
    Angle,
    HiUpperAddress,
    HiLowerAddress,
    HiDataSize,
};
inline constexpr std::size_t FieldCount = 24;

// How a field's value is stored, which decides its value text.
enum class ValueType : std::uint8_t
{
    Text,
    U8,
    I16,
    I32,
    F64,
    F32
};

struct FieldInfo
{
    Field field;
    std::string_view name; // export key, e.g. "HtrxCounter"
    ValueType type;
    bool statusBits; // shown as eight "0"/"1" characters in the record view
};

inline constexpr std::array<FieldInfo, FieldCount> Fields{{
    {Field::RawHex, "RawHex", ValueType::Text, false},
    {Field::FrameKind, "FrameKind", ValueType::Text, false},
    {Field::HtrxCounter, "HtrxCounter", ValueType::I32, false},
    {Field::MovementFlag, "MovementFlag", ValueType::U8, true},
    {Field::Rssi, "Rssi", ValueType::F64, false},
    {Field::HrxCurrent, "HrxCurrent", ValueType::F64, false},
    {Field::HtxCurrent, "HtxCurrent", ValueType::F64, false},
    {Field::TncCurrent, "TncCurrent", ValueType::F64, false},
    {Field::FssCurrent, "FssCurrent", ValueType::F64, false},
    {Field::FssStatus, "FssStatus", ValueType::U8, true},
    {Field::FssCounter, "FssCounter", ValueType::I32, false},
    {Field::FssAngleData, "FssAngleData", ValueType::U8, false},
    {Field::CcuTime, "CcuTime", ValueType::I32, false},
    {Field::CcuTelemetry, "CcuTelemetry", ValueType::Text, false},
    {Field::ModeStatus, "ModeStatus", ValueType::U8, true},
    {Field::FssFrameCounter, "FssFrameCounter", ValueType::U8, false},
    {Field::LightElements, "LightElements", ValueType::Text, false},
    {Field::ElementNumber, "ElementNumber", ValueType::U8, false},
    {Field::MessageText, "MessageText", ValueType::Text, false},
    {Field::Threshold, "Threshold", ValueType::I16, false},
    {Field::Angle, "Angle", ValueType::F32, false},
    {Field::HiUpperAddress, "HiUpperAddress", ValueType::U8, false},
    {Field::HiLowerAddress, "HiLowerAddress", ValueType::U8, false},
    {Field::HiDataSize, "HiDataSize", ValueType::U8, false},
}};

constexpr const FieldInfo &InfoOf(Field f)
{
    return Fields[static_cast<std::size_t>(f)];
}

// Which fields a frame wrote into its record.
class FieldMask
{
public:
    constexpr void set(Field f) { bits_ |= bit(f); }
    constexpr bool test(Field f) const { return (bits_ & bit(f)) != 0; }
    constexpr bool empty() const { return bits_ == 0; }
    constexpr void clear() { bits_ = 0; }
    constexpr std::uint32_t bits() const { return bits_; }
    friend constexpr bool operator==(FieldMask, FieldMask) = default;

private:
    static constexpr std::uint32_t bit(Field f) { return 1u << static_cast<unsigned>(f); }
    std::uint32_t bits_ = 0;
};

// One decoded frame. Member names are the field names; a fresh record holds
// empty texts and zeros.
struct TelemetryRecord
{
    std::string RawHex;
    std::string FrameKind;
    std::int32_t HtrxCounter = 0;
    std::uint8_t MovementFlag = 0;
    double Rssi = 0;
    double HrxCurrent = 0;
    double HtxCurrent = 0;
    double TncCurrent = 0;
    double FssCurrent = 0;
    std::uint8_t FssStatus = 0;
    std::int32_t FssCounter = 0;
    std::uint8_t FssAngleData = 0;
    std::int32_t CcuTime = 0;
    std::string CcuTelemetry;
    std::uint8_t ModeStatus = 0;
    std::uint8_t FssFrameCounter = 0;
    std::string LightElements;
    std::uint8_t ElementNumber = 0;
    std::string MessageText; // the message bytes as the frame holds them, one char per byte
    std::int16_t Threshold = 0;
    float Angle = 0;
    std::uint8_t HiUpperAddress = 0;
    std::uint8_t HiLowerAddress = 0;
    std::uint8_t HiDataSize = 0;

    // Reception time of the frame, milliseconds since 1970-01-01 00:00 UTC, taken
    // from the last timestamp frame before it in the log; empty when the log had none.
    std::optional<std::int64_t> ReceptionTime;
    // The fields the frame wrote; every other field holds its fresh value.
    FieldMask Written;

    // Makes the record fresh again, keeping the texts' storage for reuse.
    void clear();
};

// The number a numeric field holds (status bytes as 0 to 255); nullopt for text fields.
// Inline: the exports call it for every numeric field of every row.
inline std::optional<double> FieldNumber(const TelemetryRecord &r, Field f)
{
    switch (f) {
    case Field::HtrxCounter:
        return r.HtrxCounter;
    case Field::MovementFlag:
        return r.MovementFlag;
    case Field::Rssi:
        return r.Rssi;
    case Field::HrxCurrent:
        return r.HrxCurrent;
    case Field::HtxCurrent:
        return r.HtxCurrent;
    case Field::TncCurrent:
        return r.TncCurrent;
    case Field::FssCurrent:
        return r.FssCurrent;
    case Field::FssStatus:
        return r.FssStatus;
    case Field::FssCounter:
        return r.FssCounter;
    case Field::FssAngleData:
        return r.FssAngleData;
    case Field::CcuTime:
        return r.CcuTime;
    case Field::ModeStatus:
        return r.ModeStatus;
    case Field::FssFrameCounter:
        return r.FssFrameCounter;
    case Field::ElementNumber:
        return r.ElementNumber;
    case Field::Threshold:
        return r.Threshold;
    case Field::Angle:
        return r.Angle;
    case Field::HiUpperAddress:
        return r.HiUpperAddress;
    case Field::HiLowerAddress:
        return r.HiLowerAddress;
    case Field::HiDataSize:
        return r.HiDataSize;
    case Field::RawHex:
    case Field::FrameKind:
    case Field::CcuTelemetry:
    case Field::LightElements:
    case Field::MessageText:
        return std::nullopt;
    }
    return std::nullopt;
}

// The text a text field holds; empty view for numeric fields.
std::string_view FieldText(const TelemetryRecord &r, Field f);

} // namespace kesta
