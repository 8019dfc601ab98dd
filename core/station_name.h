#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kesta {

// The name of the station that received a log or a live session, as the user gives
// it (`--station NAME`, the windows' Settings). It tags every line of the line
// protocol (`station=NAME`) and fills the Station column of the exports; an empty
// name means no station, and the files are as they are without one.
//
// Returns why `name` cannot name a station ("the station name is empty", ... ), or
// nothing when it can. Every export writes it as UTF-8 text, as it is. A line break would end a line of every export; a trailing
// backslash would escape the space after the tags of a line-protocol line.
std::optional<std::string> StationNameProblem(std::string_view name);

} // namespace kesta
