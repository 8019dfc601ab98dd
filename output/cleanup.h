#pragma once

#include <string>
#include <vector>

namespace kesta {

// Deletes those of the files this program created that are zero-length at exit,
// and nothing else. Failures are skipped. Returns the paths it deleted; the list
// is emptied so that a second call does nothing.
std::vector<std::string> DeleteEmptyFiles(std::vector<std::string> &createdFiles);

} // namespace kesta
