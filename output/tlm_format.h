#pragma once

#include "output_file.h"

#include <cstdint>
#include <span>
#include <string_view>

namespace kesta {

inline constexpr std::string_view TlmTitle = "KESTA-1 Telemetry Decoder by Orvan";
inline constexpr std::string_view TlmRule = "==================================";

// The four header lines of a TLM file: title, rule, "File: " and the log's path,
// an empty line. Control characters in the path are written escaped (\n, \xHH).
void WriteTlmHeader(OutputFile &file, std::string_view inputPath);
// One FSS message as the frame holds it, as one line, then an empty line.
void WriteTlmMessage(OutputFile &file, std::span<const std::uint8_t> message);
// One dump line: the frame's hex text.
inline void WriteDumpLine(OutputFile &file, std::string_view hexText)
{
    file.writeLine(hexText);
}

} // namespace kesta
