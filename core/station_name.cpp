#include "station_name.h"

namespace kesta {

namespace {

// True when `text` is well-formed UTF-8 (no overlong forms, surrogates or code points
// beyond U+10FFFF). A dozen lines by hand: core/ links no Qt and no text library.
bool IsUtf8(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        char32_t code = 0;
        if (b < 0x80) {
            ++i;
            continue;
        } else if (b >= 0xC2 && b <= 0xDF) {
            length = 2;
            code = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3;
            code = b & 0x0F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4;
            code = b & 0x07;
        } else {
            return false;
        }
        if (text.size() - i < length)
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto c = static_cast<unsigned char>(text[i + k]);
            if ((c & 0xC0) != 0x80)
                return false;
            code = code << 6 | (c & 0x3F);
        }
        const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

} // namespace

std::optional<std::string> StationNameProblem(std::string_view name)
{
    if (name.empty())
        return "the station name is empty";
    if (name.find_first_of("\r\n") != std::string_view::npos)
        return "the station name holds a line break";
    if (!IsUtf8(name))
        return "the station name is not UTF-8 text";
    // The line protocol has no escape for a backslash before the space that ends the tags.
    if (name.back() == '\\')
        return "the station name ends in a backslash, which the line protocol cannot carry";
    return std::nullopt;
}

} // namespace kesta
