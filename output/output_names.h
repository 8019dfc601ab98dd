#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kesta {

// The name of an output file beside a log: the extension of the log's file name
// (from the last "." of the last path component) is replaced by `extension`; a
// file name without one gets "." and `extension` appended. A dot that begins the
// file name marks a hidden file, not an extension, so "/logs/.kss" gives
// "/logs/.kss.tlm" and never the bare "/logs/.tlm".
//   /logs/pass1.kss -> /logs/pass1.tlm     /data.old/pass.kss -> /data.old/pass.tlm
//   /logs/pass      -> /logs/pass.tlm      /logs/pass.2009.kss -> /logs/pass.2009.tlm
std::string DerivedOutputName(std::string_view logPath, std::string_view extension);

inline std::string TlmNameFor(std::string_view logPath)
{
    return DerivedOutputName(logPath, "tlm");
}
inline std::string DumpNameFor(std::string_view logPath)
{
    return DerivedOutputName(logPath, "dmp");
}

// Which file a name stands for: device and inode where the file exists (through
// symbolic links, so hard links and links to it are the same file), and the
// normalised absolute path where it does not yet.
struct FileIdentity
{
    bool exists = false;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::string normalPath;

    bool sameAs(const FileIdentity &other) const;
};

FileIdentity IdentityOf(const std::string &path);
// The file behind an open descriptor (standard output, say); a pipe or terminal
// has an identity too, equal to no named file that a run writes.
FileIdentity IdentityOfDescriptor(int fd);

// One output a command plans to write: what it is ("dump file", "CSV file") and its
// name; "-" stands for standard output.
struct PlannedOutput
{
    std::string what;
    std::string path;
};

// Checks planned outputs before anything is opened: none may be the log, and no two
// may be the same file, whatever their spelling; standard output counts as the file it
// is redirected to. Returns the message of the first clash, naming the file.
std::optional<std::string> FindOutputClash(const std::string &logPath,
                                           const std::vector<PlannedOutput> &outputs);

// True when both texts name the same file: the same text, or two spellings of one
// file ("./p.dmp", "../dup/p.dmp", hard and symbolic links), existing or not.
bool IsSameFile(const std::string &a, const std::string &b);

} // namespace kesta
