#pragma once

#include "telemetry_record.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kesta {

// Value text: how a number becomes text on screen, in files and for the chart.
// Floats are rounded to 15 (double) or 7 (float) significant digits and written in
// plain decimal form without trailing zeros; integers in plain decimal.
// `decimalSeparator` is "." for files and exports; the windows pass the locale's.
std::string ValueText(double value, std::string_view decimalSeparator = ".");
std::string ValueText(float value, std::string_view decimalSeparator = ".");
std::string ValueText(std::int64_t value);
void AppendValueText(std::string &out, double value, std::string_view decimalSeparator = ".");
void AppendValueText(std::string &out, float value, std::string_view decimalSeparator = ".");
void AppendValueText(std::string &out, std::int64_t value);

// The value text of any field: numbers by their type (status bytes as 0 to 255),
// text fields as they stand, the kind by its name, bytes as hex
// text (none when the frame did not write them).
std::string FieldValueText(const TelemetryRecord &r, Field f,
                           std::string_view decimalSeparator = ".");
void AppendFieldValueText(std::string &out, const TelemetryRecord &r, Field f,
                          std::string_view decimalSeparator = ".");

// Eight "0"/"1" characters, most significant bit first.
std::string ByteToBits(std::uint8_t value);

// Reads an unsigned hexadecimal number from the start of `text` (after an optional
// "0x"/"&H" prefix), stopping at the first non-hex character; no digit gives 0.
std::int32_t HexToLong(std::string_view text);

// Two upper-case hex digits per byte, no separators.
void AppendHexText(std::string &out, std::span<const std::uint8_t> bytes);
// The same into `out`, which has room for 2 * bytes.size() characters; returns the end.
char *WriteHexText(char *out, std::span<const std::uint8_t> bytes);
std::string HexText(std::span<const std::uint8_t> bytes);

// "HTRX: 3    FSS: 2    FSS (Hi): 1"
std::string CounterText(std::int64_t htrx, std::int64_t fss, std::int64_t fssHi);

// Reception time as ISO 8601 UTC with milliseconds: "2026-12-01T10:00:00.123Z".
std::string IsoTimeText(std::int64_t millisecondsSinceEpoch);

} // namespace kesta
