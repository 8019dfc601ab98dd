#pragma once

#include "telemetry_record.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace kesta {

// Sun-sensor angle in degrees by element number; entry 0 is empty, 46 and above have none.
inline constexpr std::array<std::string_view, 46> AngleTable{
    "",     "86.5", "84.5", "82.5", "81",   "79.5", "77",   "75",   "74", "72.5", "70.5", "69",
    "67.5", "66",   "65",   "63.5", "62",   "60.5", "58.5", "56.5", "55", "54",   "53",   "52",
    "51.5", "51",   "50",   "48.5", "47",   "46",   "45.5", "44.5", "43", "42",   "41",   "40.5",
    "40",   "39",   "38",   "37.5", "35.5", "34.5", "33.5", "32",   "31", "29.5"};

// The angle of an element number as a 32-bit float; nullopt for 0 and for 46 and above.
std::optional<float> AngleForElement(std::uint8_t elementNumber);

} // namespace kesta
