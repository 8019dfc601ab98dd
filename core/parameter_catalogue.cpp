#include "parameter_catalogue.h"

#include <charconv>

namespace kesta {

std::optional<float> AngleForElement(std::uint8_t elementNumber)
{
    if (elementNumber == 0 || elementNumber >= AngleTable.size())
        return std::nullopt;
    const std::string_view text = AngleTable[elementNumber];
    float value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

} // namespace kesta
