#include "cleanup.h"

#include "tlm_format.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace kesta {

namespace {

// A TLM file that never got a message: its four header lines and nothing after them.
// The header names a path without line breaks (they are written escaped), so its
// first empty line is the header's last.
bool HoldsTlmHeaderOnly(const std::string &path, std::uintmax_t size)
{
    if (size > 8192) // a path is at most 4096 bytes, and escaped at most 4 bytes each
        return false;
    std::ifstream in(path, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::string start =
        std::string(TlmTitle) + "\r\n" + std::string(TlmRule) + "\r\nFile: ";
    return text.starts_with(start) && text.find("\r\n\r\n") == text.size() - 4;
}

} // namespace

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
        if (ec || (size != 0 && !HoldsTlmHeaderOnly(path, size))) {
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
