#pragma once

#include "kiss_log.h"
#include "limit_set.h"
#include "log_export.h"
#include "pass_splitter.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kesta {

// The pass report of a whole log for the windows, read from the start of the log again:
// the same page `kesta-decode --html-report` writes, with the limited fields charted.
struct PassReportRequest
{
    std::string logPath;
    std::string reportPath;
    std::shared_ptr<const LimitSet> limits; // null: passes only, nothing charted
    std::optional<std::string> limitsName;  // the limits file, as the report names it
    std::optional<std::string> station;
    std::int64_t passGapMs = PassSplitter::DefaultGapMs;
    // Files the report must never take the place of; the log itself always is one.
    std::vector<LogExportRequest::Kept> keptFiles;
};

// Writes the report under a temporary name that takes the report's name only when the
// whole log has been read; refusals, failures and cancelling leave any earlier file as it
// was. `records` of the result counts the log's frames.
LogExportResult WritePassReport(const PassReportRequest &request, const ReadControl &control = {});

} // namespace kesta
