#include "test_names.h"
#include "value_text.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

using namespace kesta;

namespace {

struct DoubleCase
{
    double value;
    const char *text;
};

class ValueTextDouble : public testing::TestWithParam<DoubleCase>
{};

TEST_P(ValueTextDouble, FifteenSignificantDigitsPlainDecimal)
{
    EXPECT_EQ(ValueText(GetParam().value), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, ValueTextDouble,
    testing::Values(DoubleCase{4.045999999999999, "4.046"}, DoubleCase{0.0109 * 22, "0.2398"},
                    DoubleCase{-40.749, "-40.749"}, DoubleCase{1.0 / 3.0, "0.333333333333333"},
                    DoubleCase{32.946 - 0.289 * 255, "-40.749"}, DoubleCase{0.0109 * 255, "2.7795"},
                    DoubleCase{0.0, "0"}, DoubleCase{-0.0, "0"}, DoubleCase{0.0109, "0.0109"},
                    DoubleCase{2.0 / 3.0, "0.666666666666667"}, DoubleCase{1e14, "100000000000000"},
                    DoubleCase{123456789.125, "123456789.125"}, DoubleCase{0.000125, "0.000125"},
                    DoubleCase{-0.5, "-0.5"}, DoubleCase{1e20, "100000000000000000000"},
                    DoubleCase{1e-7, "0.0000001"}, DoubleCase{99.99999999999999, "100"}),
    [](const auto &info) { return test::CaseName(info.param.text, info.index); });

TEST(ValueText, FloatsHaveSevenSignificantDigits)
{
    EXPECT_EQ(ValueText(84.5f), "84.5");
    EXPECT_EQ(ValueText(81.0f), "81");
    EXPECT_EQ(ValueText(1.0f / 3.0f), "0.3333333");
    EXPECT_EQ(ValueText(29.5f), "29.5");
    EXPECT_EQ(ValueText(0.0f), "0");
    // Above 2^33 a float's spacing is wider than the seventh digit: the shortest
    // text that reads back (8.5904e9) is not the rounded one.
    EXPECT_EQ(ValueText(8590399488.0f), "8590399000");
    EXPECT_EQ(ValueText(-8590399488.0f), "-8590399000");
}

float FloatOfBits(std::uint32_t bits)
{
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// Value text against printf's exact rounding to seven digits, compared as numbers:
// two different texts of at most seven digits never read as the same double.
void ExpectCorrectlyRounded(float f)
{
    char exact[32];
    std::snprintf(exact, sizeof exact, "%.6e", static_cast<double>(f));
    const std::string text = ValueText(f);
    std::size_t significant = 0;
    bool leading = true;
    for (const char c : text) {
        leading = leading && (c == '0' || c == '-' || c == '.');
        significant += !leading && c >= '0' && c <= '9' ? 1 : 0;
    }
    EXPECT_EQ(std::strtod(text.c_str(), nullptr), std::strtod(exact, nullptr))
        << text << " for " << exact;
    // Trailing zeros of a large integer part are not significant, so only the
    // texts with a fraction are checked for length.
    if (text.find('.') != std::string::npos) {
        EXPECT_LE(significant, 7u) << text;
    }
}

TEST(ValueText, FloatsAreCorrectlyRoundedToSevenDigits)
{
    // Every 97th float from 2^33 to 10^10, where the spacing (1024) is wider than
    // the seventh digit (1000) ...
    for (std::uint32_t bits = 0x50000000; FloatOfBits(bits) < 1e10f; bits += 97)
        ExpectCorrectlyRounded(FloatOfBits(bits));
    // ... and a stride over every finite float of both signs, subnormals included.
    for (std::uint64_t bits = 1; bits < 0x7F800000; bits += 10007) {
        ExpectCorrectlyRounded(FloatOfBits(static_cast<std::uint32_t>(bits)));
        ExpectCorrectlyRounded(-FloatOfBits(static_cast<std::uint32_t>(bits)));
    }
}

TEST(ValueText, DecimalSeparatorIsAParameter)
{
    EXPECT_EQ(ValueText(0.0109 * 22, ","), "0,2398");
    EXPECT_EQ(ValueText(-40.749, ","), "-40,749");
    EXPECT_EQ(ValueText(84.5f, "\u066B"), "84\u066B5");
    EXPECT_EQ(ValueText(81.0f, ","), "81");
}

TEST(ValueText, Integers)
{
    EXPECT_EQ(ValueText(std::int64_t{0}), "0");
    EXPECT_EQ(ValueText(std::int64_t{65535}), "65535");
    EXPECT_EQ(ValueText(std::int64_t{-125}), "-125");
}

TEST(ByteToBits, MostSignificantBitFirst)
{
    EXPECT_EQ(ByteToBits(0), "00000000");
    EXPECT_EQ(ByteToBits(5), "00000101");
    EXPECT_EQ(ByteToBits(128), "10000000");
    EXPECT_EQ(ByteToBits(255), "11111111");
    EXPECT_EQ(ByteToBits(0x81), "10000001");
}

struct HexCase
{
    const char *text;
    std::int32_t value;
};

class HexToLongTest : public testing::TestWithParam<HexCase>
{};

TEST_P(HexToLongTest, ReadsLeadingHexDigits)
{
    EXPECT_EQ(HexToLong(GetParam().text), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(Texts, HexToLongTest,
                         testing::Values(HexCase{"1F", 31}, HexCase{"1f", 31}, HexCase{"0x1F", 31},
                                         HexCase{"0X1f", 31}, HexCase{"&H1F", 31},
                                         HexCase{"&h1F", 31}, HexCase{"", 0}, HexCase{"A", 10},
                                         HexCase{"FF", 255}, HexCase{"00", 0}, HexCase{"G1", 0},
                                         HexCase{"1G", 1}, HexCase{"0x", 0}, HexCase{" 1", 0},
                                         HexCase{"FFFFFFFF", -1}, HexCase{"123456789", 0x12345678}),
                         [](const auto &info) {
                             return test::CaseName(info.param.text, info.index);
                         });

TEST(HexText, TwoUpperCaseDigitsPerByte)
{
    const std::uint8_t bytes[] = {0x00, 0x05, 0xAB, 0xFF, 0xC0};
    EXPECT_EQ(HexText(bytes), "0005ABFFC0");
    EXPECT_EQ(HexText({}), "");
}

TEST(HexText, EveryByteValueAtEveryOffset)
{
    // Long and odd-length inputs, so every byte value passes through each lane of the
    // block-wise path and through the tail.
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < 3 * 256 + 7; ++i)
        bytes.push_back(static_cast<std::uint8_t>(i * 7 + i / 256));
    for (std::size_t length :
         {std::size_t{15}, std::size_t{16}, std::size_t{17}, std::size_t{33}, bytes.size()}) {
        std::string expected;
        for (std::size_t i = 0; i < length; ++i) {
            char pair[3];
            std::snprintf(pair, sizeof pair, "%02X", bytes[i]);
            expected += pair;
        }
        std::string out = "prefix";
        AppendHexText(out, std::span(bytes).first(length));
        EXPECT_EQ(out, "prefix" + expected) << "length " << length;
    }
}

TEST(CounterText, LabelLine)
{
    EXPECT_EQ(CounterText(3, 2, 1), "HTRX: 3    FSS: 2    FSS (Hi): 1");
    EXPECT_EQ(CounterText(12, 3, 0), "HTRX: 12    FSS: 3    FSS (Hi): 0");
}

TEST(IsoTimeText, UtcWithMilliseconds)
{
    EXPECT_EQ(IsoTimeText(0), "1970-01-01T00:00:00.000Z");
    EXPECT_EQ(IsoTimeText(1796119200123), "2026-12-01T10:00:00.123Z");
    EXPECT_EQ(IsoTimeText(951782400000), "2000-02-29T00:00:00.000Z");
    EXPECT_EQ(IsoTimeText(253402300799999), "9999-12-31T23:59:59.999Z");
}

} // namespace
