#pragma once

#include "log_health.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace kesta {

// What a pass report shows besides the log's health.
struct HtmlReportInput
{
    std::string logName;                   // the log as the user named it
    std::optional<std::string> station;    // the receiving station, where known
    std::optional<std::string> limitsName; // the limits file, where one was used
    std::uint64_t records = 0;             // records of the whole log
};

// The pass report: one self-contained HTML page (no scripts, no external files, no
// fonts but the reader's own) with the log, each pass's times, frame counts and
// records outside limits, and per pass an SVG chart of every series field of
// `health` over reception time (or record number in a log without times), limit
// bands drawn and values outside them marked by shape as well as colour. It prints on
// A4 with no chart split across pages and narrows to a phone's width. Handed to `write`
// piece by piece, a pass at a time, so a long archive's report is never whole in memory.
void WriteHtmlReport(const HtmlReportInput &input, const LogHealth &health,
                     const std::function<void(std::string_view)> &write);

} // namespace kesta
