#include "value_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <limits>
#include <system_error>

namespace kesta {
namespace {

constexpr char HexDigits[] = "0123456789ABCDEF";

// The two hex digits of every byte value, so that each byte is one two-byte copy.
constexpr std::array<char, 512> HexPairs = [] {
    std::array<char, 512> pairs{};
    for (std::size_t b = 0; b < 256; ++b) {
        pairs[2 * b] = HexDigits[b >> 4];
        pairs[2 * b + 1] = HexDigits[b & 0x0F];
    }
    return pairs;
}();

// Writes a number given as significant digits d1 d2 ... dn (no leading zero) and a
// decimal exponent e (value = d1.d2...dn x 10^e) in plain decimal form.
void AppendPlain(std::string &out, bool negative, std::string_view digits, int exponent,
                 std::string_view separator)
{
    if (negative)
        out += '-';
    const int n = static_cast<int>(digits.size());
    if (exponent < 0) {
        out += '0';
        out += separator;
        out.append(static_cast<std::size_t>(-exponent - 1), '0');
        out += digits;
        return;
    }
    const int integerDigits = exponent + 1;
    if (integerDigits >= n) {
        out += digits;
        out.append(static_cast<std::size_t>(integerDigits - n), '0');
        return;
    }
    out += digits.substr(0, static_cast<std::size_t>(integerDigits));
    out += separator;
    out += digits.substr(static_cast<std::size_t>(integerDigits));
}

// Splits to_chars' scientific form "-d.ddde+XX" into digits without trailing zeros
// and the exponent.
template <typename T>
bool Scientific(T value, int precision, std::array<char, 64> &buffer, std::string_view &digits,
                int &exponent, bool &negative, std::array<char, 32> &digitBuffer)
{
    const auto result = precision < 0
                            ? std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                            std::chars_format::scientific)
                            : std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                            std::chars_format::scientific, precision);
    if (result.ec != std::errc{})
        return false;
    const char *p = buffer.data();
    const char *end = result.ptr;
    negative = *p == '-';
    if (negative)
        ++p;
    std::size_t n = 0;
    for (; p != end && *p != 'e'; ++p) {
        if (*p != '.' && n < digitBuffer.size())
            digitBuffer[n++] = *p;
    }
    if (p == end)
        return false;
    ++p; // 'e'
    int e = 0;
    const auto [ep, eec] = std::from_chars(*p == '+' ? p + 1 : p, end, e);
    if (eec != std::errc{} || ep != end)
        return false;
    while (n > 1 && digitBuffer[n - 1] == '0')
        --n;
    digits = std::string_view(digitBuffer.data(), n);
    exponent = e;
    return true;
}

// True when the spacing of T's values at `value` is no larger than the step of the
// decimal grid 10^gridExponent.
template <typename T> bool SpacingWithinGrid(T value, int gridExponent)
{
    constexpr int digits = std::numeric_limits<T>::digits;
    constexpr int lowest = std::numeric_limits<T>::min_exponent - 1; // subnormals share it
    const int binaryExponent = std::max(std::ilogb(value), lowest) - (digits - 1);
    // 2^a <= 10^k  <=>  a <= k log2(10); the two sides are never equal but for a = k = 0,
    // and k log2(10) stays far from an integer for every k a float or double reaches.
    return binaryExponent <= static_cast<int>(std::floor(gridExponent * 3.321928094887362));
}

// Rounds to `significant` digits and writes plain decimal. The shortest text that
// reads back as the same value lies within half the type's spacing of the value;
// when it has no more than `significant` digits and that spacing is no larger than
// the grid of `significant` digits at its exponent, it is the nearest grid point,
// the correctly rounded text. That spares the slower fixed-precision conversion
// for almost every value. A float at or above 2^33 can fail the spacing test:
// 8590399488 has the shortest text 8.5904e9, but rounds to 8.590399e9.
template <typename T>
void AppendFloatText(std::string &out, T value, int significant, std::string_view separator)
{
    if (value == 0) {
        out += '0';
        return;
    }
    if (!std::isfinite(value)) {
        out += std::isnan(value) ? "NaN" : (value < 0 ? "-Infinity" : "Infinity");
        return;
    }
    std::array<char, 64> buffer{};
    std::array<char, 32> digitBuffer{};
    std::string_view digits;
    int exponent = 0;
    bool negative = false;
    bool shortestIsRounded =
        Scientific(value, -1, buffer, digits, exponent, negative, digitBuffer) &&
        static_cast<int>(digits.size()) <= significant;
    if (shortestIsRounded) {
        // A power of ten may stand for a value just below it, on the finer grid below.
        const int grid = exponent - significant + 1 - (digits == "1" ? 1 : 0);
        shortestIsRounded = SpacingWithinGrid(value, grid);
    }
    if (!shortestIsRounded) {
        if (!Scientific(value, significant - 1, buffer, digits, exponent, negative, digitBuffer))
            return;
    }
    AppendPlain(out, negative, digits, exponent, separator);
}

} // namespace

void AppendValueText(std::string &out, double value, std::string_view decimalSeparator)
{
    AppendFloatText(out, value, 15, decimalSeparator);
}

void AppendValueText(std::string &out, float value, std::string_view decimalSeparator)
{
    AppendFloatText(out, value, 7, decimalSeparator);
}

void AppendValueText(std::string &out, std::int64_t value)
{
    std::array<char, 24> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    out.append(buffer.data(), result.ptr);
}

std::string ValueText(double value, std::string_view decimalSeparator)
{
    std::string text;
    AppendValueText(text, value, decimalSeparator);
    return text;
}

std::string ValueText(float value, std::string_view decimalSeparator)
{
    std::string text;
    AppendValueText(text, value, decimalSeparator);
    return text;
}

std::string ValueText(std::int64_t value)
{
    std::string text;
    AppendValueText(text, value);
    return text;
}

void AppendFieldValueText(std::string &out, const TelemetryRecord &r, Field f,
                          std::string_view decimalSeparator)
{
    std::visit(
        [&](auto member) {
            using Value = std::remove_cvref_t<decltype(r.*member)>;
            if constexpr (std::is_same_v<Value, std::string>)
                out += r.*member;
            else if constexpr (std::is_same_v<Value, FrameKind>)
                out += KindText(r.*member);
            else if constexpr (std::is_same_v<Value, LightElementBytes>) {
                if (r.Written.test(f)) // bytes not received have no text, as a text field
                    AppendHexText(out, r.*member);
            }
            else if constexpr (std::is_floating_point_v<Value>)
                AppendValueText(out, r.*member, decimalSeparator);
            else
                AppendValueText(out, static_cast<std::int64_t>(r.*member));
        },
        InfoOf(f).member);
}

std::string FieldValueText(const TelemetryRecord &r, Field f, std::string_view decimalSeparator)
{
    std::string text;
    AppendFieldValueText(text, r, f, decimalSeparator);
    return text;
}

std::string ByteToBits(std::uint8_t value)
{
    std::string bits(8, '0');
    for (int i = 0; i < 8; ++i) {
        if (value & (0x80u >> i))
            bits[static_cast<std::size_t>(i)] = '1';
    }
    return bits;
}

std::int32_t HexToLong(std::string_view text)
{
    if (text.size() >= 2) {
        const char a = text[0];
        const char b = static_cast<char>(text[1] & ~0x20); // upper-case letters
        if ((a == '0' && b == 'X') || (a == '&' && b == 'H'))
            text.remove_prefix(2);
    }
    // Up to eight digits, read as a 32-bit pattern like a hexadecimal literal.
    std::uint32_t value = 0;
    int digits = 0;
    for (const char c : text) {
        unsigned d;
        if (c >= '0' && c <= '9')
            d = static_cast<unsigned>(c - '0');
        else if (c >= 'A' && c <= 'F')
            d = static_cast<unsigned>(c - 'A' + 10);
        else if (c >= 'a' && c <= 'f')
            d = static_cast<unsigned>(c - 'a' + 10);
        else
            break;
        if (++digits > 8)
            break;
        value = value << 4 | d;
    }
    return static_cast<std::int32_t>(value);
}

void AppendHexText(std::string &out, std::span<const std::uint8_t> bytes)
{
    const std::size_t start = out.size();
    out.resize(start + 2 * bytes.size());
    WriteHexText(out.data() + start, bytes);
}

char *WriteHexText(char *p, std::span<const std::uint8_t> bytes)
{
    const std::uint8_t *in = bytes.data();
    const std::uint8_t *const end = in + bytes.size();
#if defined(__SSE2__)
    // Every frame goes through here at least once (record and dump line), so hex
    // text is the hottest path of a run; sixteen bytes at a time it costs a tenth
    // of the table look-up below. Each nibble n becomes '0' + n, plus 7 for A to F.
    const __m128i lowNibbles = _mm_set1_epi8(0x0F);
    const __m128i nine = _mm_set1_epi8(9);
    const __m128i zero = _mm_set1_epi8('0');
    const __m128i letterStep = _mm_set1_epi8('A' - '0' - 10);
    const auto digits = [&](__m128i nibbles) {
        const __m128i letters = _mm_and_si128(_mm_cmpgt_epi8(nibbles, nine), letterStep);
        return _mm_add_epi8(_mm_add_epi8(nibbles, zero), letters);
    };
    for (; end - in >= 16; in += 16, p += 32) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in));
        const __m128i high = _mm_and_si128(_mm_srli_epi16(block, 4), lowNibbles);
        const __m128i low = _mm_and_si128(block, lowNibbles);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(p), digits(_mm_unpacklo_epi8(high, low)));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(p + 16), digits(_mm_unpackhi_epi8(high, low)));
    }
#endif
    for (; in != end; ++in, p += 2)
        std::memcpy(p, &HexPairs[2 * std::size_t{*in}], 2);
    return p;
}

std::string HexText(std::span<const std::uint8_t> bytes)
{
    std::string text;
    AppendHexText(text, bytes);
    return text;
}

std::string CounterText(std::int64_t htrx, std::int64_t fss, std::int64_t fssHi)
{
    std::string text = "HTRX: ";
    AppendValueText(text, htrx);
    text += "    FSS: ";
    AppendValueText(text, fss);
    text += "    FSS (Hi): ";
    AppendValueText(text, fssHi);
    return text;
}

std::string IsoTimeText(std::int64_t ms)
{
    // Civil date from days since 1970-01-01 (the proleptic Gregorian calendar).
    std::int64_t days = ms / 86400000;
    std::int64_t rest = ms % 86400000;
    if (rest < 0) {
        rest += 86400000;
        --days;
    }
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);

    char text[40];
    auto put = [&](char *at, std::int64_t value, int width) {
        for (int i = width - 1; i >= 0; --i) {
            at[i] = static_cast<char>('0' + value % 10);
            value /= 10;
        }
    };
    // Years outside 0000-9999 do not occur: reception times stop before year 10000.
    const std::int64_t y = year < 0 ? 0 : (year > 9999 ? 9999 : year);
    put(text, y, 4);
    text[4] = '-';
    put(text + 5, month, 2);
    text[7] = '-';
    put(text + 8, day, 2);
    text[10] = 'T';
    put(text + 11, rest / 3600000, 2);
    text[13] = ':';
    put(text + 14, rest / 60000 % 60, 2);
    text[16] = ':';
    put(text + 17, rest / 1000 % 60, 2);
    text[19] = '.';
    put(text + 20, rest % 1000, 3);
    text[23] = 'Z';
    return std::string(text, 24);
}

} // namespace kesta
