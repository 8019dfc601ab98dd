// The generator against the reader and decoder of core/: two independent ends
// of the KISS framing must agree on every frame, fault injection included.

#include "frame_decoder.h"
#include "kiss_reader.h"
#include "log_generator.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kesta::loggen {
namespace {

struct Expected
{
    std::vector<std::vector<std::uint8_t>> frames;
    std::vector<std::int64_t> times;
    std::vector<FrameKind> kinds;
};

std::vector<std::uint8_t> Generate(const GeneratorOptions &options, Expected &expected,
                                   GeneratedLogSummary &summary)
{
    LogGenerator generator(options, [&expected](const GeneratedFrame &f) {
        if (f.kind == FrameKind::Oversized)
            return;
        expected.frames.emplace_back(f.bytes.begin(), f.bytes.end());
        expected.times.push_back(f.receptionTimeMs);
        expected.kinds.push_back(f.kind);
    });
    std::vector<std::uint8_t> log;
    while (generator.next(log)) {
    }
    summary = generator.summary();
    return log;
}

struct Faults
{
    const char *name;
    bool timestamps, malformed, oversized, shortFrames;
};

class GeneratedLogTest : public ::testing::TestWithParam<Faults>
{
protected:
    GeneratorOptions options() const
    {
        GeneratorOptions o;
        o.seed = 77;
        o.frames = 3000;
        o.timestamps = GetParam().timestamps;
        o.malformed = GetParam().malformed;
        o.oversized = GetParam().oversized;
        o.shortFrames = GetParam().shortFrames;
        return o;
    }
};

TEST_P(GeneratedLogTest, ReaderSeesExactlyTheGeneratedFrames)
{
    Expected expected;
    GeneratedLogSummary summary;
    const auto log = Generate(options(), expected, summary);
    ASSERT_EQ(summary.bytes, log.size());

    std::vector<std::vector<std::uint8_t>> frames;
    std::vector<std::optional<std::int64_t>> times;
    KissReader reader([&](const KissFrame &f) {
        frames.emplace_back(f.bytes.begin(), f.bytes.end());
        times.push_back(f.receptionTime);
    });
    // Odd chunk sizes so that escapes and FENDs straddle chunk edges.
    for (std::size_t pos = 0; pos < log.size(); pos += 997)
        reader.feed(std::span(log).subspan(pos, std::min<std::size_t>(997, log.size() - pos)));
    reader.finish();

    ASSERT_EQ(frames.size(), expected.frames.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
        ASSERT_EQ(frames[i], expected.frames[i]) << "frame " << i;
        if (GetParam().timestamps) {
            ASSERT_EQ(times[i], expected.times[i]) << "frame " << i;
        } else {
            ASSERT_FALSE(times[i].has_value()) << "frame " << i;
        }
    }
    const KissReaderStats &stats = reader.stats();
    EXPECT_EQ(stats.acceptedFrames, summary.telemetryFrames);
    EXPECT_EQ(stats.rejectedFrames, summary.timestampFrames);
    EXPECT_EQ(stats.oversizedFrames, summary.oversizedFrames);
    EXPECT_EQ(stats.runtFrames, summary.runtFrames);
    EXPECT_EQ(stats.unfinishedFrames, summary.unterminatedTail ? 1u : 0u);
    if (GetParam().malformed) {
        EXPECT_GT(summary.runtFrames, 0u);
        EXPECT_GT(summary.strayBytes, 0u);
        EXPECT_GT(summary.badEscapes, 0u);
    }
    if (GetParam().oversized) {
        EXPECT_GT(summary.oversizedFrames, 0u);
    }
}

TEST_P(GeneratedLogTest, DecoderCountsTheGeneratedTypes)
{
    Expected expected;
    GeneratedLogSummary summary;
    Generate(options(), expected, summary);

    FrameCounters counters;
    std::uint64_t messages = 0;
    std::uint64_t normalWithAngle = 0, normal = 0;
    for (std::size_t i = 0; i < expected.frames.size(); ++i) {
        TelemetryRecord r;
        const DecodeResult result = DecodeFrame(expected.frames[i], r, counters);
        messages += result.message.empty() ? 0 : 1;
        if (expected.kinds[i] == FrameKind::FssNormal && r.Written.test(Field::LightElements)) {
            ++normal;
            EXPECT_TRUE(r.FrameKind == kesta::FrameKind::FssNormal ||
                        r.FrameKind == kesta::FrameKind::FssNormalAlg2)
                << KindText(r.FrameKind);
            normalWithAngle += r.Written.test(Field::Angle) ? 1 : 0;
        }
        if (expected.kinds[i] == FrameKind::FssMessage && !result.message.empty()) {
            EXPECT_EQ(r.FrameKind, kesta::FrameKind::FssMessage);
        }
    }
    EXPECT_EQ(static_cast<std::uint64_t>(counters.HtrxCount), summary.htrxFrames);
    EXPECT_EQ(static_cast<std::uint64_t>(counters.FssCount), summary.fssFrames);
    EXPECT_EQ(static_cast<std::uint64_t>(counters.FssHiCount), summary.fssHiFrames);
    // A bad escape inside a message frame can move its mode byte.
    if (!GetParam().malformed) {
        EXPECT_EQ(messages, summary.messageFrames);
    }
    // The sun spot gives an element number on the angle table most of the time.
    EXPECT_GT(normalWithAngle * 10, normal * 9);
}

INSTANTIATE_TEST_SUITE_P(Faults, GeneratedLogTest,
                         ::testing::Values(Faults{"clean", true, false, false, false},
                                           Faults{"no_timestamps", false, false, false, false},
                                           Faults{"malformed", true, true, false, false},
                                           Faults{"oversized", true, false, true, false},
                                           Faults{"short", true, false, false, true},
                                           Faults{"all_faults", true, true, true, true}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(LogGenerator, SameSeedSameBytesOtherSeedOtherBytes)
{
    GeneratorOptions a;
    a.seed = 5;
    a.malformed = a.oversized = a.shortFrames = true;
    GeneratorOptions b = a;
    b.seed = 6;
    EXPECT_EQ(GenerateLog(a), GenerateLog(a));
    EXPECT_NE(GenerateLog(a), GenerateLog(b));
}

TEST(LogGenerator, SizeTargetEndsOnAFrameBoundary)
{
    GeneratorOptions o;
    o.targetBytes = 200'000;
    GeneratedLogSummary summary;
    const auto log = GenerateLog(o, &summary);
    EXPECT_GE(log.size(), o.targetBytes);
    EXPECT_LT(log.size(), o.targetBytes + 1200);
    EXPECT_EQ(log.back(), 0xC0);
}

TEST(LogGenerator, DataBytesNeedingEscapesOccur)
{
    // Without C0 and DB in the data the framing would go untested.
    Expected expected;
    GeneratedLogSummary summary;
    GeneratorOptions o;
    Generate(o, expected, summary);
    std::size_t fend = 0, fesc = 0;
    for (const auto &f : expected.frames) {
        fend += static_cast<std::size_t>(std::count(f.begin(), f.end(), 0xC0));
        fesc += static_cast<std::size_t>(std::count(f.begin(), f.end(), 0xDB));
    }
    EXPECT_GT(fend, 0u);
    EXPECT_GT(fesc, 0u);
}

} // namespace
} // namespace kesta::loggen
