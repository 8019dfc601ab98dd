#pragma once

#include <string>
#include <string_view>

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

// True when both texts name the same file: the same text, or two names of one
// existing file (hard links, symbolic links, "./" and the like).
bool IsSameFile(const std::string &a, const std::string &b);

} // namespace kesta
