#include "cleanup.h"

#include <filesystem>
#include <system_error>

namespace kesta {

std::vector<std::string> DeleteEmptyFiles(std::vector<std::string> &createdFiles)
{
    namespace fs = std::filesystem;
    std::vector<std::string> deleted;
    for (const std::string &path : createdFiles) {
        std::error_code ec;
        // symlink_status: a link that has taken the place of our file is not ours to delete.
        const fs::file_status status = fs::symlink_status(path, ec);
        if (ec || !fs::is_regular_file(status)) {
            continue;
        }
        const std::uintmax_t size = fs::file_size(path, ec);
        if (ec || size != 0) {
            continue;
        }
        if (fs::remove(path, ec) && !ec) {
            deleted.push_back(path);
        }
    }
    createdFiles.clear();
    return deleted;
}

} // namespace kesta
