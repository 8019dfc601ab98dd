#pragma once

// The main window's fixed layout as data: where every control of the record view stands,
// in 96-dpi pixels inside its container. Form1 builds its controls from these tables.

#include "layoutstyle.h"
#include "telemetry_record.h"

#include <QColor>
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace kesta {

namespace mainlayout {

using layoutstyle::Geometry;

// The containers a control of the main window can stand in.
enum class Box : std::uint8_t
{
    Window,
    Frame2,
    Frame5
};

struct Place
{
    Box box;
    Geometry geometry;
};

constexpr int LabelHeight = 17;
constexpr int ValueHeight = 19;
constexpr int ValueWidth = 57;
constexpr int OptionSize = 17;
constexpr int UnitWidth = 25;
constexpr int NameWidth = 89;

constexpr Place option(Box box, int x, int y)
{
    return {box, {x, y, OptionSize, OptionSize}};
}
constexpr Place label(Box box, int x, int y, int width)
{
    return {box, {x, y, width, LabelHeight}};
}
constexpr Place value(Box box, int x, int y, int width = ValueWidth, int height = ValueHeight)
{
    return {box, {x, y, width, height}};
}

// One parameter on the window: the field it shows (its label, unit and value come from
// the field's row), its option button, name label, value box and unit label, all of them
// numbered by the parameter's index, which is its place in this table. Parameters 5, 12
// and 14 and most unit labels stand right of the visible area.
struct ParameterRow
{
    std::optional<kesta::Field> field; // none for parameter 5, which shows nothing
    Place option;
    Place name;
    Place value;
    Place unit;
};


constexpr std::array<ParameterRow, 19> ParameterRows{{
    // "HTRX telemetry", left column
    {Field::HtrxCounter, option(Box::Frame2, 16, 24), label(Box::Frame2, 40, 24, NameWidth),
     value(Box::Frame2, 128, 24), label(Box::Frame2, 192, 24, UnitWidth)},
    {Field::MovementFlag, option(Box::Frame2, 16, 40), label(Box::Frame2, 40, 40, NameWidth),
     value(Box::Frame2, 128, 40), label(Box::Window, 704, 248, UnitWidth)},
    {Field::Rssi, option(Box::Frame2, 16, 56), label(Box::Frame2, 40, 56, NameWidth),
     value(Box::Frame2, 128, 56), label(Box::Frame2, 192, 56, 33)},
    {Field::HrxCurrent, option(Box::Frame2, 16, 72), label(Box::Frame2, 40, 72, NameWidth),
     value(Box::Frame2, 128, 72), label(Box::Frame2, 192, 72, UnitWidth)},
    {Field::HtxCurrent, option(Box::Frame2, 16, 88), label(Box::Frame2, 40, 88, NameWidth),
     value(Box::Frame2, 128, 88), label(Box::Frame2, 192, 88, UnitWidth)},
    // 5 has no field
    {std::nullopt, option(Box::Window, 688, 352), label(Box::Window, 712, 352, NameWidth),
     value(Box::Window, 808, 352, 49), label(Box::Window, 864, 352, UnitWidth)},
    // "HTRX telemetry", right column
    {Field::TncCurrent, option(Box::Frame2, 224, 24), label(Box::Frame2, 248, 24, NameWidth),
     value(Box::Frame2, 336, 24), label(Box::Frame2, 400, 24, UnitWidth)},
    {Field::FssCurrent, option(Box::Frame2, 224, 40), label(Box::Frame2, 248, 40, NameWidth),
     value(Box::Frame2, 336, 40), label(Box::Frame2, 400, 40, UnitWidth)},
    {Field::FssStatus, option(Box::Frame2, 224, 56), label(Box::Frame2, 248, 56, NameWidth),
     value(Box::Frame2, 336, 56), label(Box::Frame2, 400, 56, UnitWidth)},
    {Field::FssCounter, option(Box::Frame2, 224, 72), label(Box::Frame2, 248, 72, NameWidth),
     value(Box::Frame2, 336, 72), label(Box::Frame2, 400, 72, UnitWidth)},
    {Field::FssAngleData, option(Box::Frame2, 224, 88), label(Box::Frame2, 248, 88, NameWidth),
     value(Box::Frame2, 336, 88), label(Box::Frame2, 400, 88, UnitWidth)},
    {Field::CcuTime, option(Box::Frame2, 224, 104), label(Box::Frame2, 248, 104, NameWidth),
     value(Box::Frame2, 336, 104), label(Box::Frame2, 400, 104, UnitWidth)},
    // 12: the CCU telemetry text, one wide box across the foot of "HTRX telemetry"
    {Field::CcuTelemetry, option(Box::Window, 704, 424), label(Box::Window, 712, 392, NameWidth),
     value(Box::Frame2, 8, 128, 513), label(Box::Window, 816, 384, UnitWidth)},
    // "FSS telemetry"
    {Field::ModeStatus, option(Box::Frame5, 16, 24), label(Box::Frame5, 40, 24, NameWidth),
     value(Box::Frame5, 128, 24), label(Box::Window, 816, 408, UnitWidth)},
    // 14: the light-element hex text, a multi-line box
    {Field::LightElements, option(Box::Window, 704, 448), label(Box::Window, 800, 632, NameWidth),
     value(Box::Frame5, 16, 88, 513, 35), label(Box::Window, 816, 432, UnitWidth)},
    {Field::ElementNumber, option(Box::Frame5, 384, 24), label(Box::Frame5, 408, 24, 65), value(Box::Frame5, 472, 24),
     label(Box::Window, 816, 456, UnitWidth)},
    {Field::FssFrameCounter, option(Box::Frame5, 16, 40), label(Box::Frame5, 40, 40, NameWidth),
     value(Box::Frame5, 128, 40), label(Box::Window, 824, 256, UnitWidth)},
    {Field::Threshold, option(Box::Frame5, 224, 24), label(Box::Frame5, 240, 24, 49), value(Box::Frame5, 288, 24),
     label(Box::Window, 824, 280, UnitWidth)},
    {Field::Angle, option(Box::Frame5, 384, 40), label(Box::Frame5, 408, 40, 65), value(Box::Frame5, 472, 40),
     label(Box::Window, 824, 312, UnitWidth)},
}};

constexpr int MultiLineValueBox = 14;

// The labels parameter 5 shows in place of a field's.
inline constexpr std::string_view BlankParameterLabel = "-              ";
inline constexpr std::string_view BlankParameterUnit = "-";

// The Hi-mode values, value boxes 19 to 21 after the parameters: name label and value box,
// no option button and no unit.
struct HiModeRow
{
    kesta::Field field;
    Place name;
    Place value;
};

constexpr std::array<HiModeRow, 3> HiModeRows{{
    {Field::HiUpperAddress, label(Box::Frame5, 16, 64, 113), value(Box::Frame5, 128, 64)},
    {Field::HiLowerAddress, label(Box::Frame5, 208, 64, 73), value(Box::Frame5, 288, 64)},
    {Field::HiDataSize, label(Box::Frame5, 408, 64, 57), value(Box::Frame5, 472, 64)},
}};

// The label and unit a parameter shows: its field's, or dashes for parameter 5.
constexpr std::string_view parameterLabel(const ParameterRow &row)
{
    return row.field ? kesta::InfoOf(*row.field).label : BlankParameterLabel;
}
constexpr std::string_view parameterUnit(const ParameterRow &row)
{
    return row.field ? kesta::InfoOf(*row.field).unit : BlankParameterUnit;
}
// A parameter can be charted when its field is a number.
constexpr bool isChartable(const ParameterRow &row)
{
    return row.field && kesta::IsNumeric(kesta::InfoOf(*row.field).type);
}

// Value boxes Text1(0) to Text1(21): one per parameter, then the Hi-mode values.
constexpr int ValueBoxCount = static_cast<int>(ParameterRows.size() + HiModeRows.size());
constexpr int FirstHiModeBox = static_cast<int>(ParameterRows.size());

// Blank unit labels that are never written.
struct SpareLabel
{
    int index;
    Place place;
};

constexpr std::array<SpareLabel, 3> SpareUnitLabels{{
    {35, label(Box::Frame5, 192, 16, UnitWidth)},
    {36, label(Box::Frame5, 440, 16, UnitWidth)},
    {37, label(Box::Frame5, 680, 16, UnitWidth)},
}};

inline constexpr QColor PlainValueColor{255, 255, 255};
inline constexpr QColor ChosenValueColor{255, 255, 192};
inline constexpr QColor MessageColor{0, 0, 192};
inline constexpr QColor FrameKindColor{0, 0, 128};

} // namespace mainlayout

} // namespace kesta
