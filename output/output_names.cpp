#include "output_names.h"

#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

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

bool FileIdentity::sameAs(const FileIdentity &other) const
{
    if (exists && other.exists)
        return device == other.device && inode == other.inode;
    return !normalPath.empty() && normalPath == other.normalPath;
}

FileIdentity IdentityOf(const std::string &path)
{
    namespace fs = std::filesystem;
    FileIdentity id;
    struct stat st
    {};
    if (!path.empty() && ::stat(path.c_str(), &st) == 0) {
        id.exists = true;
        id.device = static_cast<std::uint64_t>(st.st_dev);
        id.inode = static_cast<std::uint64_t>(st.st_ino);
    }
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec);
    if (!ec) {
        const fs::path normal = fs::weakly_canonical(absolute, ec);
        id.normalPath = (ec ? absolute.lexically_normal() : normal).string();
    }
    return id;
}

FileIdentity IdentityOfDescriptor(int fd)
{
    FileIdentity id;
    struct stat st
    {};
    if (::fstat(fd, &st) == 0) {
        id.exists = true;
        id.device = static_cast<std::uint64_t>(st.st_dev);
        id.inode = static_cast<std::uint64_t>(st.st_ino);
    }
    return id;
}

std::optional<std::string> FindOutputClash(const std::string &logPath,
                                           const std::vector<PlannedOutput> &outputs)
{
    const auto standard = [](const PlannedOutput &o) { return o.path == "-"; };
    const auto named = [&](const PlannedOutput &o) {
        return standard(o) ? std::string("standard output") : o.path;
    };
    const FileIdentity log = IdentityOf(logPath);
    std::vector<FileIdentity> ids;
    for (const PlannedOutput &output : outputs)
        ids.push_back(standard(output) ? IdentityOfDescriptor(STDOUT_FILENO)
                                       : IdentityOf(output.path));
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const PlannedOutput &a = outputs[i];
        if (ids[i].sameAs(log) || (!standard(a) && a.path == logPath))
            return logPath + ": not decoded: its " + a.what + " " + named(a) +
                   " would overwrite the log itself";
        for (std::size_t j = 0; j < i; ++j) {
            const PlannedOutput &b = outputs[j];
            if ((standard(a) && standard(b)) || (!standard(a) && a.path == b.path) ||
                ids[i].sameAs(ids[j]))
                return named(a) + ": named as both the " + b.what + " and the " + a.what;
        }
    }
    return std::nullopt;
}

bool IsSameFile(const std::string &a, const std::string &b)
{
    return a == b || IdentityOf(a).sameAs(IdentityOf(b));
}

} // namespace kesta
