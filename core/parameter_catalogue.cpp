#include "parameter_catalogue.h"

#include <charconv>

namespace kesta {

std::optional<float> AngleForElement(std::uint8_t elementNumber)
{
    // The texts read once as floats; a lookup runs for every FSS frame.
    static const std::array<float, AngleTable.size()> angles = [] {
        std::array<float, AngleTable.size()> values{};
        for (std::size_t i = 1; i < AngleTable.size(); ++i) {
            const std::string_view text = AngleTable[i];
            std::from_chars(text.data(), text.data() + text.size(), values[i]);
        }
        return values;
    }();
    if (elementNumber == 0 || elementNumber >= AngleTable.size())
        return std::nullopt;
    return angles[elementNumber];
}

} // namespace kesta
