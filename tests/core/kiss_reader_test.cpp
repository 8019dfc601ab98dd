#include "frames.h"
#include "kiss_reader.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>

using namespace kesta;
using namespace kesta::test;

namespace {

struct Collected
{
    std::vector<Bytes> frames;
    std::vector<std::optional<std::int64_t>> times;
    KissReaderStats stats;
};

Collected Read(const Bytes &stream, std::size_t chunk = 0)
{
    Collected out;
    KissReader reader([&out](const KissFrame &f) {
        out.frames.emplace_back(f.bytes.begin(), f.bytes.end());
        out.times.push_back(f.receptionTime);
    });
    if (chunk == 0) {
        reader.feed(stream);
    } else {
        for (std::size_t at = 0; at < stream.size(); at += chunk)
            reader.feed(std::span(stream).subspan(at, std::min(chunk, stream.size() - at)));
    }
    reader.finish();
    out.stats = reader.stats();
    return out;
}

struct StreamCase
{
    const char *name;
    Bytes stream;
    std::vector<Bytes> expected;
};

class KissStream : public testing::TestWithParam<StreamCase>
{};

TEST_P(KissStream, HandsOnExactlyTheExpectedFrames)
{
    const StreamCase &c = GetParam();
    // The frames must not depend on how the bytes arrive.
    for (const std::size_t chunk :
         {std::size_t{0}, std::size_t{1}, std::size_t{2}, std::size_t{7}}) {
        const Collected got = Read(c.stream, chunk);
        EXPECT_EQ(got.frames, c.expected) << "chunk size " << chunk;
    }
}

const Bytes A{0x00, 0x01, 0x02, 0x03};
const Bytes B{0x00, 0x0A, 0x0B};

INSTANTIATE_TEST_SUITE_P(
    WellFormed, KissStream,
    testing::Values(
        StreamCase{"OneFrame", Kiss(A), {A}},
        StreamCase{"EscapedFend", {0xC0, 0x00, 0xDB, 0xDC, 0x05, 0xC0}, {{0x00, 0xC0, 0x05}}},
        StreamCase{"EscapedFesc", {0xC0, 0x00, 0xDB, 0xDD, 0x05, 0xC0}, {{0x00, 0xDB, 0x05}}},
        StreamCase{"BareTfendTfescAreData", {0xC0, 0x00, 0xDC, 0xDD, 0xC0}, {{0x00, 0xDC, 0xDD}}},
        StreamCase{"ExtraFendsBefore", Concat({{0xC0, 0xC0, 0xC0}, Kiss(A)}), {A}},
        StreamCase{"TwoFramesDoubleFend", Kiss({A, B}), {A, B}},
        StreamCase{"SharedFendHandsOnOnlyFirst", Concat({{0xC0}, A, {0xC0}, B, {0xC0}}), {A}},
        StreamCase{"RejectedCommand09", Kiss({Bytes{0x09, 1, 2, 3}, A}), {A}},
        StreamCase{"ThreeBytesIsAFrame", Kiss(B), {B}},
        StreamCase{"EndsInsideFrame", Concat({Kiss(A), {0xC0, 0x00, 0x01, 0x02}}), {A}},
        StreamCase{"EmptyLog", {}, {}}, StreamCase{"NoSpecialBytes", {0x00, 0x01, 0x41, 0x42}, {}},
        StreamCase{"BytesBetweenFramesIgnored", Concat({Kiss(A), {0x41, 0x42}, Kiss(B)}), {A, B}}),
    [](const testing::TestParamInfo<StreamCase> &info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    Malformed, KissStream,
    testing::Values(
        // Outside a frame every byte but FEND is ignored, escape codes included.
        StreamCase{"EscapeCodesOutsideFrame",
                   Concat({Kiss(A), {0xDB, 0xDC, 0xDD, 0xDC}, Kiss(B)}),
                   {A, B}},
        // A frame that closes with 1 or 2 bytes is discarded; the next FEND opens.
        StreamCase{"RuntThenFrame", Concat({{0xC0, 0x01, 0xC0}, Kiss(A)}), {A}},
        StreamCase{"TwoByteRuntThenFrame", Concat({{0xC0, 0x01, 0x02, 0xC0}, Kiss(A)}), {A}},
        // FESC followed by another byte: the 0xDB stays, the byte is taken as it is,
        // and the escape does not reach into the next frame.
        StreamCase{"FescThenOther",
                   Concat({{0xC0, 0x00, 0xDB, 0x41, 0x42, 0xC0}, Kiss(Bytes{0x00, 0xDC, 0x01})}),
                   {{0x00, 0xDB, 0x41, 0x42}, {0x00, 0xDC, 0x01}}},
        StreamCase{
            "FescThenFescThenTfend", {0xC0, 0x00, 0xDB, 0xDB, 0xDC, 0xC0}, {{0x00, 0xDB, 0xC0}}},
        // A FEND right after FESC clears the escape.
        StreamCase{"FescThenFend",
                   Concat({{0xC0, 0x00, 0x01, 0xDB, 0xC0}, Kiss(Bytes{0x00, 0xDD, 0x07})}),
                   {{0x00, 0x01, 0xDB}, {0x00, 0xDD, 0x07}}},
        StreamCase{
            "FescAtStartOfFrame", {0xC0, 0xDB, 0xDC, 0x01, 0x02, 0xC0}, {{0xC0, 0x01, 0x02}}}),
    [](const testing::TestParamInfo<StreamCase> &info) { return info.param.name; });

TEST(KissReader, EscapedBytesAtEveryPositionRoundTrip)
{
    // FEND and FESC data bytes at every position of frames of many lengths, so the
    // block-wise scan for them meets each one in every place of a block.
    std::vector<Bytes> frames;
    for (std::size_t size = 3; size <= 40; ++size) {
        for (std::size_t at = 0; at < size; ++at) {
            Bytes f(size, static_cast<std::uint8_t>(0x30 + size));
            f[at] = (at % 2) ? FEND : FESC;
            if (at + 1 < size)
                f[at + 1] = (size % 3 == 0) ? TFEND : FESC;
            if (f[0] == 0x09)
                f[0] = 0x00;
            frames.push_back(f);
        }
    }
    Bytes stream;
    for (const Bytes &f : frames) {
        const Bytes k = Kiss(f);
        stream.insert(stream.end(), k.begin(), k.end());
    }
    for (const std::size_t chunk : {std::size_t{0}, std::size_t{5}, std::size_t{64}})
        EXPECT_EQ(Read(stream, chunk).frames, frames) << "chunk size " << chunk;
}

TEST(KissReader, Frame512BytesIsHandedOnWhole)
{
    const Bytes big = Frame(1, 512);
    const Collected got = Read(Kiss(big));
    ASSERT_EQ(got.frames.size(), 1u);
    EXPECT_EQ(got.frames[0], big);
}

TEST(KissReader, OversizedFrameIsDroppedAndReaderResynchronises)
{
    const Bytes big = Frame(1, 513);
    // With escapes at the cut, too: the escape pairs must not land anywhere.
    Bytes bigEscaped = Frame(1, 600, 0xC0);
    const Collected got = Read(Kiss({A, big, B, bigEscaped, A}));
    EXPECT_EQ(got.frames, (std::vector<Bytes>{A, B, A}));
    EXPECT_EQ(got.stats.oversizedFrames, 2u);
    EXPECT_EQ(got.stats.acceptedFrames, 3u);
}

TEST(KissReader, CountsWhatItDropped)
{
    const Bytes stream = Concat({Kiss(A),
                                 {0xC0, 0x01, 0xC0},
                                 Kiss(Timestamp(5)),
                                 Kiss(Bytes{0x09, 0x01, 0x02}),
                                 {0xC0, 0x00, 0x01, 0x02}});
    const Collected got = Read(stream);
    EXPECT_EQ(got.stats.acceptedFrames, 1u);
    EXPECT_EQ(got.stats.runtFrames, 1u);
    EXPECT_EQ(got.stats.rejectedFrames, 2u);
    EXPECT_EQ(got.stats.unfinishedFrames, 1u);
}

TEST(KissReader, FramesCarryTheLastReceptionTime)
{
    const std::uint64_t t1 = 1764583200123; // 2025-12-01T10:00:00.123Z
    const std::uint64_t t2 = t1 + 1000;
    const Bytes stream = Kiss({A, Timestamp(t1), A, B, Timestamp(t2), A});
    const Collected got = Read(stream);
    ASSERT_EQ(got.times.size(), 4u);
    EXPECT_EQ(got.times[0], std::nullopt);
    EXPECT_EQ(got.times[1], static_cast<std::int64_t>(t1));
    EXPECT_EQ(got.times[2], static_cast<std::int64_t>(t1));
    EXPECT_EQ(got.times[3], static_cast<std::int64_t>(t2));
    EXPECT_EQ(got.stats.rejectedFrames, 2u);
}

TEST(KissReader, NotEveryCommand09FrameIsATimestamp)
{
    Bytes tooLong = Timestamp(1000);
    tooLong.push_back(0);
    const Bytes stream =
        Kiss({Timestamp(1000), Timestamp(TimestampLimitMs), A, Bytes{0x09, 0, 0, 0, 0, 0, 0, 9},
              tooLong, A, Timestamp(TimestampLimitMs - 1), A});
    const Collected got = Read(stream);
    ASSERT_EQ(got.times.size(), 3u);
    EXPECT_EQ(got.times[0], 1000); // the year-10000 stamp is no timestamp
    EXPECT_EQ(got.times[1], 1000); // neither are 8- and 10-byte 0x09 frames
    EXPECT_EQ(got.times[2], static_cast<std::int64_t>(TimestampLimitMs - 1));
}

TEST(KissReader, ResetStartsAfresh)
{
    std::vector<Bytes> frames;
    KissReader reader(
        [&](const KissFrame &f) { frames.emplace_back(f.bytes.begin(), f.bytes.end()); });
    reader.feed(Bytes{0xC0, 0x00, 0x01, 0xDB}); // open frame, escape pending
    reader.reset();
    reader.feed(Kiss(A));
    EXPECT_EQ(frames, std::vector<Bytes>{A});
    EXPECT_EQ(reader.FrameLength(), 0);
    EXPECT_EQ(reader.stats().acceptedFrames, 1u);
}

} // namespace
