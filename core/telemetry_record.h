#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
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
    HiDataSize, // the last: FieldCount follows it
};
inline constexpr std::size_t FieldCount = static_cast<std::size_t>(Field::HiDataSize) + 1;

// How a field's value is stored, which decides its value text.
enum class ValueType : std::uint8_t
{
    Text,
    U8,
    I16,
    I32,
    F64,
    F32,
    Kind, // a FrameKind, written as its name
    Bytes // raw bytes, written as two upper-case hex digits each
};

// How the record view and the record table write a field's value.
enum class DisplayFormat : std::uint8_t
{
    Decimal, // value text: numbers in plain decimal, the decimal separator the locale's
    Bits,    // a status byte as eight "0"/"1" characters, most significant bit first
    Hex,     // bytes as two upper-case hex digits each
    Text     // as it stands
};

// True for the types the chart can plot and the line protocol carries as numbers.
constexpr bool IsNumeric(ValueType type)
{
    return type != ValueType::Text && type != ValueType::Kind && type != ValueType::Bytes;
}

// The frame's type, byte 17: how it was decoded and counted.
enum class FrameType : std::uint8_t
{
    None,
    Htrx,
    Fss,
    FssHi
};

// What a frame turned out to be. An FSS frame with a mode that names no kind keeps
// None: it is still an FSS frame by its type.
enum class FrameKind : std::uint8_t
{
    None,
    Htrx,
    FssStandby,
    FssNormal,
    FssNormalAlg2,
    FssMessage,
    FssHiMode
};
constexpr std::size_t KindCount = static_cast<std::size_t>(FrameKind::FssHiMode) + 1;

// The kind's name as records show and exports write it; empty for None.
std::string_view KindText(FrameKind kind);

// The 64 light-element readings of an FSS frame, one byte each.
using LightElementBytes = std::array<std::uint8_t, 64>;

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
    kesta::FrameKind FrameKind = kesta::FrameKind::None;
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
    LightElementBytes LightElements{};
    std::uint8_t ElementNumber = 0;
    std::string MessageText; // the message bytes as the frame holds them, one char per byte
    std::int16_t Threshold = 0;
    float Angle = 0;
    std::uint8_t HiUpperAddress = 0;
    std::uint8_t HiLowerAddress = 0;
    std::uint8_t HiDataSize = 0;

    // The frame's type; None for a frame too short to have one or of no known type.
    FrameType Type = FrameType::None;
    // Reception time of the frame, milliseconds since 1970-01-01 00:00 UTC, taken
    // from the last timestamp frame before it in the log; empty when the log had none.
    std::optional<std::int64_t> ReceptionTime;
    // The fields the frame wrote; every other field holds its fresh value.
    FieldMask Written;

    // Makes the record fresh again, keeping the texts' storage for reuse.
    void clear();
};

// Where a field's value lives in a record; the alternative is the value's type.
using FieldMember =
    std::variant<std::string TelemetryRecord::*, std::uint8_t TelemetryRecord::*,
                 std::int16_t TelemetryRecord::*, std::int32_t TelemetryRecord::*,
                 double TelemetryRecord::*, float TelemetryRecord::*,
                 kesta::FrameKind TelemetryRecord::*, LightElementBytes TelemetryRecord::*>;

// One row per field: everything the decoder, the exports, the record view, the chart
// and a screen reader need to know of it. Adding a field is a row here, a member of
// TelemetryRecord, its decoding, and its place on screen.
struct FieldInfo
{
    Field field;
    std::string_view name; // export key, e.g. "HtrxCounter"
    ValueType type;
    DisplayFormat format;
    std::string_view label;  // as the record view labels it; empty when it has no label
    std::string_view unit;   // empty when it has none
    std::string_view spoken; // the name a screen reader and the record table use, unique
    FieldMember member;      // the record's member that holds the value
};

// The labels of the record view's parameters are padded to 15 characters.
inline constexpr std::array<FieldInfo, FieldCount> Fields{{
    {Field::RawHex, "RawHex", ValueType::Text, DisplayFormat::Hex, "", "", "Raw frame",
     &TelemetryRecord::RawHex},
    {Field::FrameKind, "FrameKind", ValueType::Kind, DisplayFormat::Text, "", "", "Frame kind",
     &TelemetryRecord::FrameKind},
    {Field::HtrxCounter, "HtrxCounter", ValueType::I32, DisplayFormat::Decimal,
     "Counter        ", "", "HTRX Counter", &TelemetryRecord::HtrxCounter},
    {Field::MovementFlag, "MovementFlag", ValueType::U8, DisplayFormat::Bits, "Movement Flag  ",
     "", "Movement Flag", &TelemetryRecord::MovementFlag},
    {Field::Rssi, "Rssi", ValueType::F64, DisplayFormat::Decimal, "RSSI           ", "dbuV",
     "RSSI", &TelemetryRecord::Rssi},
    {Field::HrxCurrent, "HrxCurrent", ValueType::F64, DisplayFormat::Decimal, "HRX Current    ",
     "mA", "HRX Current", &TelemetryRecord::HrxCurrent},
    {Field::HtxCurrent, "HtxCurrent", ValueType::F64, DisplayFormat::Decimal, "HTX Current    ",
     "mA", "HTX Current", &TelemetryRecord::HtxCurrent},
    {Field::TncCurrent, "TncCurrent", ValueType::F64, DisplayFormat::Decimal, "TNC Current    ",
     "mA", "TNC Current", &TelemetryRecord::TncCurrent},
    {Field::FssCurrent, "FssCurrent", ValueType::F64, DisplayFormat::Decimal, "FSS Current    ",
     "mA", "FSS Current", &TelemetryRecord::FssCurrent},
    {Field::FssStatus, "FssStatus", ValueType::U8, DisplayFormat::Bits, "FSS Status     ", "",
     "FSS Status", &TelemetryRecord::FssStatus},
    {Field::FssCounter, "FssCounter", ValueType::I32, DisplayFormat::Decimal, "FSS Counter    ",
     "", "FSS Counter", &TelemetryRecord::FssCounter},
    {Field::FssAngleData, "FssAngleData", ValueType::U8, DisplayFormat::Decimal,
     "FSS Angle Data ", "", "FSS Angle Data", &TelemetryRecord::FssAngleData},
    {Field::CcuTime, "CcuTime", ValueType::I32, DisplayFormat::Decimal, "CCU time       ", "",
     "CCU time", &TelemetryRecord::CcuTime},
    {Field::CcuTelemetry, "CcuTelemetry", ValueType::Text, DisplayFormat::Hex, "CCU telemetry  ",
     "", "CCU telemetry", &TelemetryRecord::CcuTelemetry},
    {Field::ModeStatus, "ModeStatus", ValueType::U8, DisplayFormat::Bits, "Mode Status    ", "",
     "Mode Status", &TelemetryRecord::ModeStatus},
    {Field::FssFrameCounter, "FssFrameCounter", ValueType::U8, DisplayFormat::Decimal,
     "Counter        ", "", "FSS Frame Counter", &TelemetryRecord::FssFrameCounter},
    {Field::LightElements, "LightElements", ValueType::Bytes, DisplayFormat::Hex,
     "Light Element  ", "", "Light Element", &TelemetryRecord::LightElements},
    {Field::ElementNumber, "ElementNumber", ValueType::U8, DisplayFormat::Decimal,
     "Element #      ", "", "Element #", &TelemetryRecord::ElementNumber},
    {Field::MessageText, "MessageText", ValueType::Text, DisplayFormat::Text, "", "",
     "FSS message", &TelemetryRecord::MessageText},
    {Field::Threshold, "Threshold", ValueType::I16, DisplayFormat::Decimal, "Treshold       ", "",
     "Treshold", &TelemetryRecord::Threshold},
    {Field::Angle, "Angle", ValueType::F32, DisplayFormat::Decimal, "Angle          ", "deg",
     "Angle", &TelemetryRecord::Angle},
    {Field::HiUpperAddress, "HiUpperAddress", ValueType::U8, DisplayFormat::Decimal,
     "Hi :  Upper Address", "", "Hi Upper Address", &TelemetryRecord::HiUpperAddress},
    {Field::HiLowerAddress, "HiLowerAddress", ValueType::U8, DisplayFormat::Decimal,
     "Lower Address", "", "Hi Lower Address", &TelemetryRecord::HiLowerAddress},
    {Field::HiDataSize, "HiDataSize", ValueType::U8, DisplayFormat::Decimal, "DataSize", "",
     "Hi DataSize", &TelemetryRecord::HiDataSize},
}};

constexpr const FieldInfo &InfoOf(Field f)
{
    return Fields[static_cast<std::size_t>(f)];
}

// Every row stands at its field's place, its type is the type of its member (a new
// field cannot be read through another's row), and only a status byte is shown as bits.
constexpr bool FieldsTableIsConsistent()
{
    constexpr ValueType ByAlternative[] = {ValueType::Text, ValueType::U8,   ValueType::I16,
                                           ValueType::I32,  ValueType::F64,  ValueType::F32,
                                           ValueType::Kind, ValueType::Bytes};
    for (std::size_t i = 0; i < Fields.size(); ++i) {
        if (static_cast<std::size_t>(Fields[i].field) != i ||
            ByAlternative[Fields[i].member.index()] != Fields[i].type ||
            (Fields[i].format == DisplayFormat::Bits && Fields[i].type != ValueType::U8))
            return false;
    }
    return true;
}
static_assert(FieldsTableIsConsistent());

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
    case 6:
    case 7:
        return std::nullopt; // a text, a kind, bytes
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
static_assert(std::variant_size_v<FieldMember> == 8);

// The bytes a bytes field holds; empty for every other field.
inline std::span<const std::uint8_t> FieldBytes(const TelemetryRecord &r, const FieldInfo &info)
{
    if (const auto *bytes = std::get_if<LightElementBytes TelemetryRecord::*>(&info.member))
        return r.**bytes;
    return {};
}

// The text a text field holds, the name of a kind; empty view for every other field.
std::string_view FieldText(const TelemetryRecord &r, Field f);

} // namespace kesta
