#include "number_text.h"

#include "value_text.h"

#include <bit>
#include <charconv>

namespace kesta {

char *WriteIntegerDigitsSlow(char *p, std::int64_t value)
{
    return std::to_chars(p, p + MaxIntegerDigits, value).ptr;
}

namespace {

// A value text is a valid JSON number unless it names no finite number.
bool IsJsonNumber(std::string_view text)
{
    std::size_t i = !text.empty() && text[0] == '-' ? 1 : 0;
    if (i >= text.size() || text[i] < '0' || text[i] > '9')
        return false;
    for (; i < text.size(); ++i) {
        if ((text[i] < '0' || text[i] > '9') && text[i] != '.')
            return false;
    }
    return true;
}

} // namespace

FloatTexts::Text FloatTexts::lookUp(double wide, bool isFloat)
{
    std::uint64_t bits;
    std::memcpy(&bits, &wide, sizeof bits);
    static_assert((Size & (Size - 1)) == 0);
    constexpr int slotBits = std::countr_zero(Size);
    const auto slot = static_cast<std::size_t>((bits * 0x9E3779B97F4A7C15ull) >> (64 - slotBits));
    const std::uint8_t kind = isFloat ? 2 : 1;
    Entry &entry = entries_[slot];
    if (entry.kind == kind && entry.bits == bits)
        return {std::string_view(entry.text.data(), entry.length), entry.jsonNumber};
    scratch_.clear();
    // A float's text is its own shortest form, not the double's.
    if (isFloat)
        AppendValueText(scratch_, static_cast<float>(wide), ".");
    else
        AppendValueText(scratch_, wide, ".");
    const bool jsonNumber = IsJsonNumber(scratch_);
    if (scratch_.size() <= entry.text.size()) {
        entry.bits = bits;
        entry.kind = kind;
        entry.jsonNumber = jsonNumber;
        entry.length = static_cast<std::uint8_t>(scratch_.size());
        std::memcpy(entry.text.data(), scratch_.data(), scratch_.size());
    }
    return {scratch_, jsonNumber};
}

} // namespace kesta
