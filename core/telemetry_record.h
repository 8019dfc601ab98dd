#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

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

// Where a field's value lives in a record; the alternative is the value's type.
using FieldMember = std::variant<std::string TelemetryRecord::*, std::uint8_t TelemetryRecord::*,
                                 std::int16_t TelemetryRecord::*, std::int32_t TelemetryRecord::*,
                                 double TelemetryRecord::*, float TelemetryRecord::*>;

struct FieldInfo
{
    Field field;
    std::string_view name; // export key, e.g. "HtrxCounter"
    ValueType type;
    bool statusBits;    // shown as eight "0"/"1" characters in the record view
    FieldMember member; // the record's member that holds the value
};

inline constexpr std::array<FieldInfo, FieldCount> Fields{{
    {Field::RawHex, "RawHex", ValueType::Text, false, &TelemetryRecord::RawHex},
    {Field::FrameKind, "FrameKind", ValueType::Text, false, &TelemetryRecord::FrameKind},
    {Field::HtrxCounter, "HtrxCounter", ValueType::I32, false, &TelemetryRecord::HtrxCounter},
    {Field::MovementFlag, "MovementFlag", ValueType::U8, true, &TelemetryRecord::MovementFlag},
    {Field::Rssi, "Rssi", ValueType::F64, false, &TelemetryRecord::Rssi},
    {Field::HrxCurrent, "HrxCurrent", ValueType::F64, false, &TelemetryRecord::HrxCurrent},
    {Field::HtxCurrent, "HtxCurrent", ValueType::F64, false, &TelemetryRecord::HtxCurrent},
    {Field::TncCurrent, "TncCurrent", ValueType::F64, false, &TelemetryRecord::TncCurrent},
    {Field::FssCurrent, "FssCurrent", ValueType::F64, false, &TelemetryRecord::FssCurrent},
    {Field::FssStatus, "FssStatus", ValueType::U8, true, &TelemetryRecord::FssStatus},
    {Field::FssCounter, "FssCounter", ValueType::I32, false, &TelemetryRecord::FssCounter},
    {Field::FssAngleData, "FssAngleData", ValueType::U8, false, &TelemetryRecord::FssAngleData},
    {Field::CcuTime, "CcuTime", ValueType::I32, false, &TelemetryRecord::CcuTime},
    {Field::CcuTelemetry, "CcuTelemetry", ValueType::Text, false, &TelemetryRecord::CcuTelemetry},
    {Field::ModeStatus, "ModeStatus", ValueType::U8, true, &TelemetryRecord::ModeStatus},
    {Field::FssFrameCounter, "FssFrameCounter", ValueType::U8, false,
     &TelemetryRecord::FssFrameCounter},
    {Field::LightElements, "LightElements", ValueType::Text, false,
     &TelemetryRecord::LightElements},
    {Field::ElementNumber, "ElementNumber", ValueType::U8, false, &TelemetryRecord::ElementNumber},
    {Field::MessageText, "MessageText", ValueType::Text, false, &TelemetryRecord::MessageText},
    {Field::Threshold, "Threshold", ValueType::I16, false, &TelemetryRecord::Threshold},
    {Field::Angle, "Angle", ValueType::F32, false, &TelemetryRecord::Angle},
    {Field::HiUpperAddress, "HiUpperAddress", ValueType::U8, false,
     &TelemetryRecord::HiUpperAddress},
    {Field::HiLowerAddress, "HiLowerAddress", ValueType::U8, false,
     &TelemetryRecord::HiLowerAddress},
    {Field::HiDataSize, "HiDataSize", ValueType::U8, false, &TelemetryRecord::HiDataSize},
}};

constexpr const FieldInfo &InfoOf(Field f)
{
    return Fields[static_cast<std::size_t>(f)];
}

// Every row stands at its field's place, and its type is the type of its member: a
// new field cannot be read through another's row.
constexpr bool FieldsTableIsConsistent()
{
    constexpr ValueType ByAlternative[] = {ValueType::Text, ValueType::U8,  ValueType::I16,
                                           ValueType::I32,  ValueType::F64, ValueType::F32};
    for (std::size_t i = 0; i < Fields.size(); ++i) {
        if (static_cast<std::size_t>(Fields[i].field) != i ||
            ByAlternative[Fields[i].member.index()] != Fields[i].type)
            return false;
    }
    return true;
}
static_assert(FieldsTableIsConsistent());

// The number a numeric field holds (status bytes as 0 to 255); nullopt for text fields.
// Inline: the exports call it for every numeric field of every row.
// The value of an integer field (status bytes as 0 to 255); 0 for any other field.
// A switch on the member's alternative rather than std::visit: the exports call this for
// every field of every row, and the compiler inlines it whole.
inline std::int64_t FieldInteger(const TelemetryRecord &r, const FieldInfo &info)
{
    const FieldMember &m = info.member;
    switch (m.index()) {
    case 1:
        return r.**std::get_if<1>(&m);
    case 2:
        return r.**std::get_if<2>(&m);
    case 3:
        return r.**std::get_if<3>(&m);
    default:
        return 0;
    }
}
inline std::optional<double> FieldNumber(const TelemetryRecord &r, const FieldInfo &info)
{
    const FieldMember &m = info.member;
    switch (m.index()) {
    case 0:
        return std::nullopt; // a text
    case 4:
        return r.**std::get_if<4>(&m);
    case 5:
        return r.**std::get_if<5>(&m);
    default:
        return static_cast<double>(FieldInteger(r, info));
    }
}
inline std::optional<double> FieldNumber(const TelemetryRecord &r, Field f)
{
    return FieldNumber(r, InfoOf(f));
}
static_assert(std::variant_size_v<FieldMember> == 6);

// The text a text field holds; empty view for numeric fields.
std::string_view FieldText(const TelemetryRecord &r, Field f);

} // namespace kesta
