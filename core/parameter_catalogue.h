#pragma once

#include "telemetry_record.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace kesta {

// One telemetry parameter as the record view labels it and the chart plots it.
// The index is also the index of its option button and its value box.
struct ParameterEntry
{
    std::int16_t index;
    std::string_view name; // always 15 characters, padded with spaces
    std::string_view unit;
    std::optional<Field> field; // the record field shown and plotted; none for index 5
    bool chartable;             // has a numeric value the chart can plot
};

inline constexpr std::size_t ParameterCount = 19;

inline constexpr std::array<ParameterEntry, ParameterCount> ParameterCatalogue{{
    {0, "Counter        ", "", Field::HtrxCounter, true},
    {1, "Movement Flag  ", "", Field::MovementFlag, true},
    {2, "RSSI           ", "dbuV", Field::Rssi, true},
    {3, "HRX Current    ", "mA", Field::HrxCurrent, true},
    {4, "HTX Current    ", "mA", Field::HtxCurrent, true},
    {5, "-              ", "-", std::nullopt, false},
    {6, "TNC Current    ", "mA", Field::TncCurrent, true},
    {7, "FSS Current    ", "mA", Field::FssCurrent, true},
    {8, "FSS Status     ", "", Field::FssStatus, true},
    {9, "FSS Counter    ", "", Field::FssCounter, true},
    {10, "FSS Angle Data ", "", Field::FssAngleData, true},
    {11, "CCU time       ", "", Field::CcuTime, true},
    {12, "CCU telemetry  ", "", Field::CcuTelemetry, false},
    {13, "Mode Status    ", "", Field::ModeStatus, true},
    {14, "Light Element  ", "", Field::LightElements, false},
    {15, "Element #      ", "", Field::ElementNumber, true},
    {16, "Counter        ", "", Field::FssFrameCounter, true},
    {17, "Treshold       ", "", Field::Threshold, true},
    {18, "Angle          ", "deg", Field::Angle, true},
}};

// The three Hi-mode values shown after the catalogue parameters (value boxes 19 to 21).
struct HiModeEntry
{
    std::int16_t index;
    std::string_view label;
    Field field;
};

inline constexpr std::array<HiModeEntry, 3> HiModeValues{{
    {19, "Hi :  Upper Address", Field::HiUpperAddress},
    {20, "Lower Address", Field::HiLowerAddress},
    {21, "DataSize", Field::HiDataSize},
}};

// Sun-sensor angle in degrees by element number; entry 0 is empty, 46 and above have none.
inline constexpr std::array<std::string_view, 46> AngleTable{
    "",     "86.5", "84.5", "82.5", "81",   "79.5", "77",   "75",   "74", "72.5", "70.5", "69",
    "67.5", "66",   "65",   "63.5", "62",   "60.5", "58.5", "56.5", "55", "54",   "53",   "52",
    "51.5", "51",   "50",   "48.5", "47",   "46",   "45.5", "44.5", "43", "42",   "41",   "40.5",
    "40",   "39",   "38",   "37.5", "35.5", "34.5", "33.5", "32",   "31", "29.5"};

// The angle of an element number as a 32-bit float; nullopt for 0 and for 46 and above.
std::optional<float> AngleForElement(std::uint8_t elementNumber);

} // namespace kesta
