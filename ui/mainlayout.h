#pragma once

// The main window's fixed layout as data: where every control of the record view stands,
// in 96-dpi pixels inside its container. Form1 builds its controls from these tables.

#include "layoutstyle.h"
#include "parameter_catalogue.h"

#include <QColor>
#include <array>
#include <cstdint>

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

// One parameter of the catalogue on the window: option button, name label, value box and
// unit label. Parameters 5, 12 and 14 and most unit labels stand right of the visible area.
struct ParameterRow
{
    Place option;
    Place name;
    Place value;
    Place unit;
};

constexpr std::array<ParameterRow, kesta::ParameterCount> ParameterRows{{
    // "HTRX telemetry", left column
    {option(Box::Frame2, 16, 24), label(Box::Frame2, 40, 24, NameWidth),
     value(Box::Frame2, 128, 24), label(Box::Frame2, 192, 24, UnitWidth)},
    {option(Box::Frame2, 16, 40), label(Box::Frame2, 40, 40, NameWidth),
     value(Box::Frame2, 128, 40), label(Box::Window, 704, 248, UnitWidth)},
    {option(Box::Frame2, 16, 56), label(Box::Frame2, 40, 56, NameWidth),
     value(Box::Frame2, 128, 56), label(Box::Frame2, 192, 56, 33)},
    {option(Box::Frame2, 16, 72), label(Box::Frame2, 40, 72, NameWidth),
     value(Box::Frame2, 128, 72), label(Box::Frame2, 192, 72, UnitWidth)},
    {option(Box::Frame2, 16, 88), label(Box::Frame2, 40, 88, NameWidth),
     value(Box::Frame2, 128, 88), label(Box::Frame2, 192, 88, UnitWidth)},
    // 5 has no field
    {option(Box::Window, 688, 352), label(Box::Window, 712, 352, NameWidth),
     value(Box::Window, 808, 352, 49), label(Box::Window, 864, 352, UnitWidth)},
    // "HTRX telemetry", right column
    {option(Box::Frame2, 224, 24), label(Box::Frame2, 248, 24, NameWidth),
     value(Box::Frame2, 336, 24), label(Box::Frame2, 400, 24, UnitWidth)},
    {option(Box::Frame2, 224, 40), label(Box::Frame2, 248, 40, NameWidth),
     value(Box::Frame2, 336, 40), label(Box::Frame2, 400, 40, UnitWidth)},
    {option(Box::Frame2, 224, 56), label(Box::Frame2, 248, 56, NameWidth),
     value(Box::Frame2, 336, 56), label(Box::Frame2, 400, 56, UnitWidth)},
    {option(Box::Frame2, 224, 72), label(Box::Frame2, 248, 72, NameWidth),
     value(Box::Frame2, 336, 72), label(Box::Frame2, 400, 72, UnitWidth)},
    {option(Box::Frame2, 224, 88), label(Box::Frame2, 248, 88, NameWidth),
     value(Box::Frame2, 336, 88), label(Box::Frame2, 400, 88, UnitWidth)},
    {option(Box::Frame2, 224, 104), label(Box::Frame2, 248, 104, NameWidth),
     value(Box::Frame2, 336, 104), label(Box::Frame2, 400, 104, UnitWidth)},
    // 12: the CCU telemetry text, one wide box across the foot of "HTRX telemetry"
    {option(Box::Window, 704, 424), label(Box::Window, 712, 392, NameWidth),
     value(Box::Frame2, 8, 128, 513), label(Box::Window, 816, 384, UnitWidth)},
    // "FSS telemetry"
    {option(Box::Frame5, 16, 24), label(Box::Frame5, 40, 24, NameWidth),
     value(Box::Frame5, 128, 24), label(Box::Window, 816, 408, UnitWidth)},
    // 14: the light-element hex text, a multi-line box
    {option(Box::Window, 704, 448), label(Box::Window, 800, 632, NameWidth),
     value(Box::Frame5, 16, 88, 513, 35), label(Box::Window, 816, 432, UnitWidth)},
    {option(Box::Frame5, 384, 24), label(Box::Frame5, 408, 24, 65), value(Box::Frame5, 472, 24),
     label(Box::Window, 816, 456, UnitWidth)},
    {option(Box::Frame5, 16, 40), label(Box::Frame5, 40, 40, NameWidth),
     value(Box::Frame5, 128, 40), label(Box::Window, 824, 256, UnitWidth)},
    {option(Box::Frame5, 224, 24), label(Box::Frame5, 240, 24, 49), value(Box::Frame5, 288, 24),
     label(Box::Window, 824, 280, UnitWidth)},
    {option(Box::Frame5, 384, 40), label(Box::Frame5, 408, 40, 65), value(Box::Frame5, 472, 40),
     label(Box::Window, 824, 312, UnitWidth)},
}};

constexpr int MultiLineValueBox = 14;

// The Hi-mode values 19 to 21: name label and value box, no option button and no unit.
struct HiModeRow
{
    Place name;
    Place value;
};

constexpr std::array<HiModeRow, kesta::HiModeValues.size()> HiModeRows{{
    {label(Box::Frame5, 16, 64, 113), value(Box::Frame5, 128, 64)},
    {label(Box::Frame5, 208, 64, 73), value(Box::Frame5, 288, 64)},
    {label(Box::Frame5, 408, 64, 57), value(Box::Frame5, 472, 64)},
}};

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
