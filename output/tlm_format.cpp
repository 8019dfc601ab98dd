#include "tlm_format.h"

namespace kesta {

void WriteTlmHeader(OutputFile &file, std::string_view inputPath)
{
    file.writeLine(TlmTitle);
    file.writeLine(TlmRule);
    file.write("File: ");
    file.writeLine(inputPath);
    file.writeLine({});
}

void WriteTlmMessage(OutputFile &file, std::span<const std::uint8_t> message)
{
    file.write(std::string_view(reinterpret_cast<const char *>(message.data()), message.size()));
    file.write("\r\n\r\n");
}

} // namespace kesta
