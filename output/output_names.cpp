#include "output_names.h"

#include <filesystem>
#include <system_error>

namespace kesta {

std::string DerivedOutputName(std::string_view logPath, std::string_view extension)
{
    const std::size_t slash = logPath.find_last_of('/');
    const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    const std::size_t dot = logPath.find_last_of('.');

    std::string name;
    if (dot != std::string_view::npos && dot > nameStart) {
        name.reserve(dot + 1 + extension.size());
        name.append(logPath.substr(0, dot + 1));
    } else {
        name.reserve(logPath.size() + 1 + extension.size());
        name.append(logPath);
        name.push_back('.');
    }
    name.append(extension);
    return name;
}

bool IsSameFile(const std::string &a, const std::string &b)
{
    if (a == b) {
        return true;
    }
    std::error_code ec;
    const bool same = std::filesystem::equivalent(a, b, ec);
    return !ec && same;
}

} // namespace kesta
