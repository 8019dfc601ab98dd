// SatNOGS frame exports: lines, the format told from content, and reading in chunks.
#include "satnogs_frames.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace kesta {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::int64_t Noon = 1796119200000; // 2026-12-01 10:00:00 UTC

struct LineCase
{
    const char *name;
    std::string line;
    std::optional<std::int64_t> time; // nullopt: not a frame line
    Bytes frame;                      // with the command byte
};

class SatnogsLine : public ::testing::TestWithParam<LineCase>
{};

TEST_P(SatnogsLine, GivesTheFrameAndTimeOrNothing)
{
    const LineCase &c = GetParam();
    Bytes frame;
    EXPECT_EQ(ParseSatnogsLine(c.line, frame), c.time);
    if (c.time) {
        EXPECT_EQ(frame, c.frame);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SatnogsLine,
    ::testing::Values(
        LineCase{"UpperCase", "2026-12-01 10:00:00|C0DBFF", Noon, {0x00, 0xC0, 0xDB, 0xFF}},
        LineCase{"LowerCaseAndCr", "2026-12-01 10:00:59|c0dbff\r", Noon + 59000,
                 {0x00, 0xC0, 0xDB, 0xFF}},
        LineCase{"LeapDay", "2024-02-29 00:00:00|0102", 1709164800000, {0x00, 1, 2}},
        LineCase{"LongestFrame", "2026-12-01 10:00:00|" + std::string(2 * 511, 'a'), Noon,
                 [] {
                     Bytes b(512, 0xAA);
                     b[0] = 0x00;
                     return b;
                 }()},
        LineCase{"FrameTooLong", "2026-12-01 10:00:00|" + std::string(2 * 512, 'a'), {}, {}},
        LineCase{"FrameTooShort", "2026-12-01 10:00:00|01", {}, {}},
        LineCase{"OddDigits", "2026-12-01 10:00:00|010", {}, {}},
        LineCase{"NotHex", "2026-12-01 10:00:00|01G2", {}, {}},
        LineCase{"NoBar", "2026-12-01 10:00:00 0102", {}, {}},
        LineCase{"Month13", "2026-13-01 10:00:00|0102", {}, {}},
        LineCase{"February29", "2026-02-29 10:00:00|0102", {}, {}},
        LineCase{"Hour24", "2026-12-01 24:00:00|0102", {}, {}},
        LineCase{"Milliseconds", "2026-12-01 10:00:00.123|0102", {}, {}},
        LineCase{"Before1970", "1969-12-31 23:59:59|0102", {}, {}},
        LineCase{"SpaceInHex", "2026-12-01 10:00:00|01 02", {}, {}}),
    [](const auto &info) { return std::string(info.param.name); });

std::span<const std::uint8_t> Span(const std::string &text)
{
    return {reinterpret_cast<const std::uint8_t *>(text.data()), text.size()};
}

TEST(SniffLogFormat, TellsAFrameExportByItsFirstLineThatIsNotBlank)
{
    const std::string line = "2026-12-01 10:00:00|0102\n";
    EXPECT_EQ(SniffLogFormat(Span(line), false), LogFormat::SatnogsFrames);
    EXPECT_EQ(SniffLogFormat(Span("\r\n  \n" + line), false), LogFormat::SatnogsFrames);
    EXPECT_EQ(SniffLogFormat(Span("2026-12-01 10:00:00|0102"), true), LogFormat::SatnogsFrames);
    // Still incomplete: more is needed.
    EXPECT_EQ(SniffLogFormat(Span("2026-12-01 10:00"), false), std::nullopt);
    EXPECT_EQ(SniffLogFormat(Span("\n\n"), false), std::nullopt);
    // A KISS log, text, and nothing at all are KISS.
    EXPECT_EQ(SniffLogFormat(Span(std::string("\xC0\x00\x01\x02\xC0", 5)), false), LogFormat::Kiss);
    EXPECT_EQ(SniffLogFormat(Span("time|frame\n" + line), false), LogFormat::Kiss);
    EXPECT_EQ(SniffLogFormat(Span(""), true), LogFormat::Kiss);
    EXPECT_EQ(SniffLogFormat(Span(std::string(5000, 'x')), false), LogFormat::Kiss);
}

TEST(SatnogsReader, GivesTheSameFramesAndCountsInChunksOfAnySize)
{
    const std::string text = "2026-12-01 10:00:00|0A0B\r\n"
                             "\r\n"
                             "no frame\n"
                             "2026-12-01 10:00:01|0c0d0e\n"
                             "2026-12-01 10:00:02|" +
                             std::string(5000, '0') + "\n" + // far too long
                             "2026-12-01 10:00:03|0F10";     // no line end
    for (const std::size_t chunk : {std::size_t{1}, std::size_t{7}, text.size()}) {
        std::vector<Bytes> frames;
        std::vector<std::int64_t> times;
        std::vector<std::uint64_t> offsets;
        SatnogsReader reader([&](const KissFrame &f) {
            frames.emplace_back(f.bytes.begin(), f.bytes.end());
            times.push_back(f.receptionTime.value_or(-1));
            offsets.push_back(f.offset);
        });
        for (std::size_t at = 0; at < text.size(); at += chunk)
            reader.feed(Span(text.substr(at, chunk)));
        reader.finish();

        EXPECT_EQ(frames, (std::vector<Bytes>{{0, 0x0A, 0x0B}, {0, 0x0C, 0x0D, 0x0E}, {0, 0x0F, 0x10}}))
            << chunk;
        EXPECT_EQ(times, (std::vector<std::int64_t>{Noon, Noon + 1000, Noon + 3000})) << chunk;
        EXPECT_EQ(offsets, (std::vector<std::uint64_t>{0, 37, text.rfind("2026")})) << chunk;
        EXPECT_EQ(reader.stats().frameLines, 3u);
        EXPECT_EQ(reader.stats().badLines, 2u);
        EXPECT_EQ(reader.stats().firstBadLine, 3u);
    }
}

} // namespace
} // namespace kesta
