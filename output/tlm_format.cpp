#include "tlm_format.h"

#include <string>

namespace kesta {

void WriteTlmHeader(OutputFile &file, std::string_view inputPath)
{
    file.writeLine(TlmTitle);
    file.writeLine(TlmRule);
    file.write("File: ");
    // A control character in the name (a newline above all) would break the header's
    // lines: it is written as an escape, \n, \r, \t or \xHH.
    std::string line;
    line.reserve(inputPath.size());
    for (const char c : inputPath) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) {
            line += c;
            continue;
        }
        static constexpr char Hex[] = "0123456789ABCDEF";
        switch (c) {
        case '\n':
            line += "\\n";
            break;
        case '\r':
            line += "\\r";
            break;
        case '\t':
            line += "\\t";
            break;
        default:
            line += "\\x";
            line += Hex[byte >> 4];
            line += Hex[byte & 0xF];
        }
    }
    file.writeLine(line);
    file.writeLine({});
}

void WriteTlmMessage(OutputFile &file, std::span<const std::uint8_t> message)
{
    file.write(std::string_view(reinterpret_cast<const char *>(message.data()), message.size()));
    file.write("\r\n\r\n");
}

} // namespace kesta
