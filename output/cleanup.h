#pragma once

#include <string>
#include <vector>

namespace kesta {

// Deletes those of the files this program created that were never filled, at exit:
// the zero-length ones and TLM files that hold their header only, and nothing else. Failures are skipped. Returns the paths it deleted; the list
// is emptied so that a second call does nothing.
std::vector<std::string> DeleteEmptyFiles(std::vector<std::string> &createdFiles);

} // namespace kesta
