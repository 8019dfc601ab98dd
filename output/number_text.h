#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace kesta {

// The digits of the numbers the exports write row after row, written through a
// pointer: CSV, JSON Lines and line protocol write the same value texts.

// Most numeric fields are bytes; their digits are written without a conversion call.
inline char *WriteByteDigits(char *p, unsigned v)
{
    if (v >= 100)
        *p++ = static_cast<char>('0' + v / 100);
    if (v >= 10)
        *p++ = static_cast<char>('0' + v / 10 % 10);
    *p++ = static_cast<char>('0' + v % 10);
    return p;
}

// The longest value text of a float: a double's plain decimal form reaches 309 integer
// digits at its largest and "0." with 323 zeros and up to 15 digits at its smallest.
constexpr std::size_t MaxFloatText = 400;

// Room for any 64-bit integer's digits and sign.
constexpr std::size_t MaxIntegerDigits = 20;

// Writes at most MaxIntegerDigits characters. Record numbers and counters, mostly of four
// to seven digits, are written two digits at a time from the end, inline, where
// std::to_chars would be a call per number.
char *WriteIntegerDigitsSlow(char *p, std::int64_t value);
inline char *WriteIntegerDigits(char *p, std::int64_t value)
{
    static constexpr std::array<char, 200> pairs = [] {
        std::array<char, 200> t{};
        for (int i = 0; i < 100; ++i) {
            t[2 * i] = static_cast<char>('0' + i / 10);
            t[2 * i + 1] = static_cast<char>('0' + i % 10);
        }
        return t;
    }();
    if (value < 0 || value >= 100000000)
        return WriteIntegerDigitsSlow(p, value);
    auto v = static_cast<std::uint32_t>(value);
    const int digits = v >= 10000
                           ? (v >= 1000000 ? (v >= 10000000 ? 8 : 7) : (v >= 100000 ? 6 : 5))
                           : (v >= 100 ? (v >= 1000 ? 4 : 3) : (v >= 10 ? 2 : 1));
    char *q = p + digits;
    while (v >= 100) {
        q -= 2;
        std::memcpy(q, &pairs[2 * (v % 100)], 2);
        v /= 100;
    }
    if (v >= 10)
        std::memcpy(q - 2, &pairs[2 * v], 2);
    else
        q[-1] = static_cast<char>('0' + v);
    return p + digits;
}

// The value texts of floats (with "." as the decimal separator), remembered: every
// float field is made from one or two bytes of the frame, so a few hundred values
// recur all through a log, and making a float's shortest text is the costly part of
// a row.
class FloatTexts
{
public:
    FloatTexts() : entries_(Size) {}

    struct Text
    {
        std::string_view text; // valid until the next call
        bool jsonNumber;       // a valid JSON number: false for the texts of NaN and infinities
    };
    Text of(double value) { return lookUp(value, false); }
    Text of(float value) { return lookUp(value, true); }

private:
    struct Entry
    {
        std::uint64_t bits = 0;
        std::uint8_t kind = 0; // 0: empty, 1: a double's text, 2: a float's
        bool jsonNumber = false;
        std::uint8_t length = 0;
        std::array<char, 29> text{};
    };
    static constexpr std::size_t Size = 2048;
    Text lookUp(double wide, bool isFloat);

    std::vector<Entry> entries_;
    std::string scratch_;
};

} // namespace kesta
