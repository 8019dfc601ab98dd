#pragma once

#include "log_health.h"

#include <cstdint>
#include <string>

namespace kesta {

// The texts of a log's health for the command line: the summary's lines and the
// members of the JSON report.

// "13 min 37 s", "1 h 02 min", "4 s": a pass's length.
std::string DurationText(std::int64_t milliseconds);

// The summary's lines, each ending in a newline: with a limit set, one line per limited
// field ("HtxCurrent: 12 in warning, first record 17 at ...Z; 3 in critical, ..."),
// then one line per pass with its records, times, frame counts and records outside
// limits.
std::string HealthSummaryText(const LogHealth &health);

// Appends ,"limits":{...} (with a limit set) and ,"passes":[...] to a JSON object
// being written. Per field: "warning", "critical" (counts of records), "firstWarning"
// and "firstCritical" ({"record", "time" where known, "value"}, or null).
void AppendHealthJson(std::string &out, const LogHealth &health);

} // namespace kesta
