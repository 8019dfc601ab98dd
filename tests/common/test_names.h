#pragma once

// Readable, stable names for parameterised tests: gtest allows only letters,
// digits and underscores, and a name must not change from build to build.

#include <cctype>
#include <cstddef>
#include <string>
#include <string_view>

namespace kesta::test {

// `text` with every other character as an underscore, and the case's index, so
// that two cases with similar texts still get different names.
inline std::string CaseName(std::string_view text, std::size_t index)
{
    std::string name;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        name += std::isalnum(u) && u < 0x80 ? c : c == '-' ? 'm' : '_';
    }
    return name + "_" + std::to_string(index);
}

} // namespace kesta::test
