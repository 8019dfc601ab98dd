#include "decoding_session.h"
#include "frames.h"
#include "kiss_log.h"
#include "record_store.h"
#include "value_text.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>

using namespace kesta;
using namespace kesta::test;

namespace {

// What every sink of a session sees, frame by frame.
struct RecordingSink : SessionSink
{
    std::vector<std::string> dump;
    std::vector<std::string> messages;
    std::vector<std::uint64_t> numbers;
    std::vector<bool> beyond;
    void frame(const SessionFrame &f) override
    {
        dump.push_back(f.record.RawHex);
        if (!f.message.empty())
            messages.emplace_back(f.message.begin(), f.message.end());
        numbers.push_back(f.number);
        beyond.push_back(f.beyondRecordLimit);
    }
};

// A session of the windows: the record store and a recording sink.
struct WindowsRun
{
    explicit WindowsRun(RecordStore &store) : records(store)
    {
        session.addSink(records);
        session.addSink(sink);
    }
    LoadReport run(const Bytes &log)
    {
        session.feed(log);
        session.finish();
        return session.report();
    }
    DecodingSession session{RecordStore::MaxRecords};
    RecordStoreSink records;
    RecordingSink sink;
};

Bytes Fss(std::uint8_t modeStatus, std::size_t size = 85)
{
    Bytes f = Frame(2, size, 0x22);
    f[18] = modeStatus;
    return f;
}

TEST(DecodingSession, AcceptedFramesBecomeRecordsInOrder)
{
    RecordStore store;
    WindowsRun run(store);
    const Bytes a = Frame(1, 64), b = Fss(0x45), c = Frame(3, 20);
    const LoadReport s = run.run(Kiss({a, Timestamp(7), b, Bytes{0x09, 1, 2}, c}));
    EXPECT_EQ(store.RecordCount, 3);
    EXPECT_EQ(store[1].RawHex, HexText(a));
    EXPECT_EQ(store[2].RawHex, HexText(b));
    EXPECT_EQ(store[3].RawHex, HexText(c));
    EXPECT_EQ(store[1].ReceptionTime, std::nullopt);
    EXPECT_EQ(store[2].ReceptionTime, 7);
    EXPECT_TRUE(store[3].Written.test(Field::RawHex));
    EXPECT_EQ(store[0].RawHex, "");
    EXPECT_EQ(run.sink.dump, (std::vector<std::string>{HexText(a), HexText(b), HexText(c)}));
    EXPECT_EQ(run.sink.numbers, (std::vector<std::uint64_t>{1, 2, 3}));
    EXPECT_EQ(store.counters.HtrxCount, 1);
    EXPECT_EQ(store.counters.FssCount, 1);
    EXPECT_EQ(s.reader.rejectedFrames, 2u);
    EXPECT_EQ(s.reader.timestampFrames, 1u);
    EXPECT_EQ(s.framesBeyondLimit, 0u);
}

TEST(DecodingSession, EverySlotIsFreshForANewRun)
{
    RecordStore store;
    {
        WindowsRun first(store);
        first.run(Kiss({Fss(0x47), Fss(0x47), Fss(0x47)}));
    }
    ASSERT_EQ(store[1].Threshold, 61);
    WindowsRun second(store);
    second.run(Kiss(Frame(1, 64)));
    EXPECT_EQ(store.RecordCount, 1);
    EXPECT_EQ(store.counters.FssCount, 0);
    EXPECT_EQ(store[1].FrameKind, FrameKind::Htrx);
    EXPECT_EQ(store[1].Threshold, 0);
    EXPECT_EQ(FieldValueText(store[1], Field::LightElements), "");
    EXPECT_EQ(store[2].RawHex, "");
    EXPECT_EQ(store[2].FrameKind, FrameKind::None);
    EXPECT_EQ(store[2].Type, FrameType::None);
}

// The store keeps 1000 records; every later frame is still decoded and handed
// to the other sinks, so the dump and the TLM file get it.
TEST(DecodingSession, RecordsStopAt1000ButTheOtherSinksGoOn)
{
    RecordStore store;
    WindowsRun run(store);
    Bytes log;
    std::uint64_t offset1001 = 0;
    for (int i = 0; i < 1003; ++i) {
        if (i == 1000)
            offset1001 = log.size() + 1;
        Bytes f = i < 1000 ? Frame(1, 64) : Fss(0xC3);
        f[1] = static_cast<std::uint8_t>(i);
        const Bytes k = Kiss(f);
        log.insert(log.end(), k.begin(), k.end());
    }
    const LoadReport s = run.run(log);
    EXPECT_EQ(store.RecordCount, 1000);
    EXPECT_EQ(store.counters.HtrxCount, 1000);
    EXPECT_EQ(store.counters.FssCount, 0);
    EXPECT_EQ(run.sink.dump.size(), 1003u);
    EXPECT_EQ(run.sink.messages.size(), 3u);
    EXPECT_FALSE(run.sink.beyond[999]);
    EXPECT_TRUE(run.sink.beyond[1000]);
    EXPECT_EQ(s.framesBeyondLimit, 3u);
    EXPECT_EQ(s.firstBeyondLimit, offset1001);
    EXPECT_EQ(run.session.totals().frames, 1003u);
    EXPECT_EQ(run.session.totals().htrx, 1000u);
    EXPECT_EQ(run.session.totals().fss, 3u);
    EXPECT_EQ(store[1000].RawHex, run.sink.dump[999]);
}

TEST(DecodingSession, CountsByTypeAndHandsOnMessages)
{
    RecordStore store;
    WindowsRun run(store);
    run.run(Kiss({Frame(1, 64), Frame(1, 64), Fss(0xC3), Frame(4, 88), Frame(1, 64), Fss(0x00),
                  Frame(3, 30), Fss(0xC3, 84)}));
    EXPECT_EQ(
        CounterText(store.counters.HtrxCount, store.counters.FssCount, store.counters.FssHiCount),
        "HTRX: 3    FSS: 3    FSS (Hi): 1");
    ASSERT_EQ(run.sink.messages.size(), 1u); // the 84-byte message frame has no text
    EXPECT_EQ(run.sink.messages[0], std::string(65, '\x22'));
}

// The load report: what the reader skipped, how often, and where first.
struct ReportCase
{
    const char *name;
    Bytes log;
    std::uint64_t KissReaderStats::*count;
    std::uint64_t KissReaderStats::FirstOffsets::*first;
    std::uint64_t expectedCount;
    std::uint64_t expectedFirst;
};

std::vector<std::uint64_t> AllOf(const LoadReport &r)
{
    const KissReaderStats &s = r.reader;
    return {s.acceptedFrames,   s.rejectedFrames,      s.timestampFrames, s.oversizedFrames,
            s.runtFrames,       s.unfinishedFrames,    s.ignoredBytes,    s.badEscapes,
            s.first.timestamp,  s.first.otherRejected, s.first.oversized, s.first.runt,
            s.first.unfinished, s.first.ignored,       s.first.badEscape, r.framesBeyondLimit,
            r.firstBeyondLimit};
}

class LoadReportTest : public testing::TestWithParam<ReportCase>
{};

TEST_P(LoadReportTest, CountsAndFirstOffsetsWhateverTheChunks)
{
    const ReportCase &c = GetParam();
    DecodingSession whole;
    whole.feed(c.log);
    whole.finish();
    const LoadReport report = whole.report();
    EXPECT_EQ(report.reader.*c.count, c.expectedCount);
    EXPECT_EQ(report.reader.first.*c.first, c.expectedFirst);

    DecodingSession bytewise;
    for (const std::uint8_t b : c.log)
        bytewise.feed(std::span(&b, 1));
    bytewise.finish();
    EXPECT_EQ(AllOf(bytewise.report()), AllOf(report));
}

const Bytes A{0x00, 0x01, 0x02, 0x03}; // 6 bytes framed
using S = KissReaderStats;
using F = KissReaderStats::FirstOffsets;

INSTANTIATE_TEST_SUITE_P(
    Logs, LoadReportTest,
    testing::Values(
        ReportCase{"Timestamps", Kiss({A, Timestamp(5), A, Timestamp(6)}), &S::timestampFrames,
                   &F::timestamp, 2, 7},
        ReportCase{"OtherCommand09Frames", Kiss({A, Timestamp(5), Bytes{0x09, 1, 2}, Timestamp(5)}),
                   &S::rejectedFrames, &F::otherRejected, 3, 18},
        // A closing FEND does not open the next frame: B is ignored.
        ReportCase{"SharedFend", Concat({{0xC0}, A, {0xC0, 0x0B, 0x0B, 0x0B, 0xC0}}),
                   &S::ignoredBytes, &F::ignored, 3, 6},
        ReportCase{"BytesBeforeTheFirstFrame", Concat({{0x41, 0xDB}, Kiss(A)}), &S::ignoredBytes,
                   &F::ignored, 2, 0},
        ReportCase{"Runts", Concat({Kiss(A), {0xC0, 0x01, 0xC0, 0xC0, 0x01, 0x02, 0xC0}}),
                   &S::runtFrames, &F::runt, 2, 7},
        ReportCase{"UnterminatedTail", Concat({Kiss(A), {0xC0, 0x00, 0x01}}), &S::unfinishedFrames,
                   &F::unfinished, 1, 7},
        ReportCase{"FescThenAWrongByte", Concat({Kiss(A), {0xC0, 0x00, 0xDB, 0x41, 0xDB, 0xC0}}),
                   &S::badEscapes, &F::badEscape, 2, 8},
        ReportCase{"Oversized", Kiss({A, Bytes(513, 0x11), Bytes(600, 0xC0)}), &S::oversizedFrames,
                   &F::oversized, 2, 7}),
    [](const auto &info) { return std::string(info.param.name); });

struct ContentCase
{
    const char *name;
    Bytes log;
    LogContent expected;
    const char *text; // part of what is said, "" for nothing
};

// Bytes of another kind of file: no pattern, a FEND now and then.
Bytes Scrambled(std::size_t size)
{
    Bytes out(size);
    std::uint32_t x = 2463534242u;
    for (std::uint8_t &b : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<std::uint8_t>(x);
    }
    return out;
}

class LogContentTest : public testing::TestWithParam<ContentCase>
{};

TEST_P(LogContentTest, SaysWhenAFileIsNoTelemetryLog)
{
    const ContentCase &c = GetParam();
    DecodingSession session;
    session.feed(c.log);
    session.finish();
    EXPECT_EQ(JudgeLogContent(session.report(), session.totals()), c.expected);
    const std::string text = LogContentText(session.report(), session.totals());
    if (*c.text == '\0')
        EXPECT_EQ(text, "");
    else
        EXPECT_NE(text.find(c.text), std::string::npos) << text;
}

const Bytes Htrx = Frame(1, 60);

INSTANTIATE_TEST_SUITE_P(
    Logs, LogContentTest,
    testing::Values(
        ContentCase{"Empty", {}, LogContent::Empty, "is empty"},
        ContentCase{"TimestampsOnly", Kiss({Timestamp(5), Timestamp(6)}), LogContent::NoFrame,
                    "no KISS frame"},
        ContentCase{"TextWithoutFend", Bytes(300, 0x41), LogContent::NoFrame, "no KISS frame"},
        ContentCase{"AnotherKindOfFile", Scrambled(20000), LogContent::MostlyOther,
                    "is mostly not KISS frames of known kinds"},
        ContentCase{"FramesOfUnknownKinds", Kiss({Frame(7, 60), Frame(9, 60), Htrx}),
                    LogContent::MostlyOther, "such frames are 33% of its bytes"},
        // A sound log with a damaged stretch is still a log.
        ContentCase{"ALogWithNoise",
                    Concat({Kiss({Timestamp(5), Htrx, Timestamp(6), Htrx, Frame(2, 90)}),
                            Scrambled(100), Kiss({Htrx, Frame(4, 80)})}),
                    LogContent::Frames, ""}),
    [](const auto &info) { return std::string(info.param.name); });

class LogFileTest : public testing::Test
{
protected:
    void SetUp() override
    {
        dir_ = std::filesystem::temp_directory_path() /
               ("kesta-core-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::filesystem::path dir_;
};

TEST_F(LogFileTest, ReadsALogLargerThanOneBlockLikeBytesInMemory)
{
    Bytes log;
    for (int i = 0; log.size() < (3u << 20); ++i) {
        Bytes f = Frame(static_cast<std::uint8_t>(i % 2 ? 1 : 4), 90, static_cast<std::uint8_t>(i));
        const Bytes k = Kiss(f);
        log.insert(log.end(), k.begin(), k.end());
    }
    log.push_back(0xC0); // a frame left open at the end
    log.push_back(0x01);
    const auto path = (dir_ / "big.kss").string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(log.data()),
               static_cast<std::streamsize>(log.size()));
    std::string error;
    auto file = LogFile::open(path, error);
    ASSERT_TRUE(file) << error;
    EXPECT_EQ(file->size(), log.size());

    RecordStore fromFile, fromMemory;
    WindowsRun a(fromFile), b(fromMemory);
    std::uint64_t progress = 0;
    ReadControl control;
    control.progress = [&](std::uint64_t n, std::optional<std::uint64_t>) { progress = n; };
    ASSERT_EQ(FeedLog(*file, a.session, error, control), ReadOutcome::Complete) << error;
    b.run(log);
    EXPECT_EQ(progress, log.size());
    EXPECT_EQ(a.sink.dump, b.sink.dump);
    EXPECT_EQ(a.session.report().reader.unfinishedFrames, 1u);
    EXPECT_EQ(a.session.report().reader.first.unfinished, log.size() - 1);
    EXPECT_GT(a.session.report().framesBeyondLimit, 0u);
    EXPECT_EQ(fromFile[1000].RawHex, fromMemory[1000].RawHex);
}

TEST_F(LogFileTest, ACancelledReadStopsWithoutFinishing)
{
    const auto path = (dir_ / "log.kss").string();
    const Bytes log = Kiss(Frame(1, 64));
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(log.data()),
               static_cast<std::streamsize>(log.size()));
    std::string error;
    auto file = LogFile::open(path, error);
    ASSERT_TRUE(file) << error;
    DecodingSession session;
    RecordingSink sink;
    session.addSink(sink);
    ReadControl control;
    control.cancel = [] { return true; };
    EXPECT_EQ(FeedLog(*file, session, error, control), ReadOutcome::Cancelled);
    EXPECT_TRUE(sink.dump.empty());
}

TEST_F(LogFileTest, OpenFailuresNameTheFileAndTheReason)
{
    std::string error;
    const auto missing = (dir_ / "missing.kss").string();
    EXPECT_FALSE(LogFile::open(missing, error));
    EXPECT_NE(error.find(missing), std::string::npos);
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;

    error.clear();
    EXPECT_FALSE(LogFile::open(dir_.string(), error));
    EXPECT_NE(error.find(dir_.string()), std::string::npos);
    EXPECT_NE(error.find("directory"), std::string::npos) << error;
}

} // namespace
