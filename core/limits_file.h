#pragma once

#include "limit_set.h"

#include <optional>
#include <string>
#include <string_view>

namespace kesta {

// A limits file read, or why not.
struct LimitsFileResult
{
    std::optional<LimitSet> limits; // set on success
    std::string error;              // "<file>:<line>: <reason>" otherwise
};

// Reads limits from TOML text: one table per field, named as the field's key in the
// JSON Lines export, with a `warning` and/or `critical` range, each either
// [low, high] or an inline table with `low` and/or `high`:
//
//   [HtxCurrent]
//   warning = [0.2, 2.5]
//   critical = { high = 3.0 }
//
// An unknown field, a text field, an unknown key, a bound that is not a number, a
// low above its high, and a critical range narrower than the warning range on a
// side where both have a bound are errors naming `fileName`, the line and the reason.
LimitsFileResult ParseLimits(std::string_view text, const std::string &fileName);

// Reads and parses the limits file at `path`; a file that cannot be read gives
// "<path>: <reason>".
LimitsFileResult ReadLimitsFile(const std::string &path);

} // namespace kesta
