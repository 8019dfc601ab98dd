#include "frames.h"
#include "kiss_log.h"
#include "program_state.h"
#include "value_text.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>

using namespace kesta;
using namespace kesta::test;

namespace {

struct RecordingSink : RunSink
{
    std::vector<std::string> dump;
    std::vector<std::string> messages;
    void dumpLine(std::string_view hex) override { dump.emplace_back(hex); }
    void message(std::span<const std::uint8_t> text) override
    {
        messages.emplace_back(text.begin(), text.end());
    }
};

Bytes Fss(std::uint8_t modeStatus, std::size_t size = 85)
{
    Bytes f = Frame(2, size, 0x22);
    f[18] = modeStatus;
    return f;
}

TEST(ReadKiss, AcceptedFramesBecomeRecordsInOrder)
{
    ProgramState state;
    RecordingSink sink;
    const Bytes a = Frame(1, 64), b = Fss(0x45), c = Frame(3, 20);
    const LogReadSummary s =
        ReadKissBytes(state, Kiss({a, Timestamp(7), b, Bytes{0x09, 1, 2}, c}), sink);
    EXPECT_EQ(state.store.RecordCount, 3);
    EXPECT_EQ(state.store[1].RawHex, HexText(a));
    EXPECT_EQ(state.store[2].RawHex, HexText(b));
    EXPECT_EQ(state.store[3].RawHex, HexText(c));
    EXPECT_EQ(state.store[1].ReceptionTime, std::nullopt);
    EXPECT_EQ(state.store[2].ReceptionTime, 7);
    EXPECT_TRUE(state.store[3].Written.test(Field::RawHex));
    EXPECT_EQ(state.store[0].RawHex, "");
    EXPECT_EQ(sink.dump, (std::vector<std::string>{HexText(a), HexText(b), HexText(c)}));
    EXPECT_EQ(state.store.counters.HtrxCount, 1);
    EXPECT_EQ(state.store.counters.FssCount, 1);
    EXPECT_EQ(s.reader.rejectedFrames, 2u);
    EXPECT_EQ(s.framesBeyondLimit, 0u);
}

TEST(ReadKiss, EverySlotIsFreshForANewRun)
{
    ProgramState state;
    RecordingSink sink;
    ReadKissBytes(state, Kiss({Fss(0x47), Fss(0x47), Fss(0x47)}), sink);
    ASSERT_EQ(state.store[1].Threshold, 61);
    ReadKissBytes(state, Kiss(Frame(1, 64)), sink);
    EXPECT_EQ(state.store.RecordCount, 1);
    EXPECT_EQ(state.store.counters.FssCount, 0);
    EXPECT_EQ(state.store[1].FrameKind, "HTRX Telemetry");
    EXPECT_EQ(state.store[1].Threshold, 0);
    EXPECT_EQ(state.store[1].LightElements, "");
    EXPECT_EQ(state.store[2].RawHex, "");
    EXPECT_EQ(state.store[2].FrameKind, "");
}

TEST(ReadKiss, RecordsStopAt1000ButTheDumpGoesOn)
{
    ProgramState state;
    RecordingSink sink;
    std::vector<std::string> counterTexts;
    state.counterTextChanged = [&](std::string_view t) { counterTexts.emplace_back(t); };
    Bytes log;
    for (int i = 0; i < 1003; ++i) {
        Bytes f = i < 1000 ? Frame(1, 64) : Fss(0xC1);
        f[1] = static_cast<std::uint8_t>(i);
        const Bytes k = Kiss(f);
        log.insert(log.end(), k.begin(), k.end());
    }
    const LogReadSummary s = ReadKissBytes(state, log, sink);
    EXPECT_EQ(state.store.RecordCount, 1000);
    EXPECT_EQ(state.store.counters.HtrxCount, 1000);
    EXPECT_EQ(state.store.counters.FssCount, 0);
    EXPECT_EQ(sink.dump.size(), 1003u);
    EXPECT_TRUE(sink.messages.empty()); // frames beyond the limit are not decoded
    EXPECT_EQ(s.framesBeyondLimit, 3u);
    EXPECT_EQ(counterTexts.size(), 1000u);
    EXPECT_EQ(counterTexts.back(), "HTRX: 1000    FSS: 0    FSS (Hi): 0");
    EXPECT_EQ(state.store[1000].RawHex, sink.dump[999]);
}

TEST(ReadKiss, CounterTextAfterEveryFrameAndMessagesToTheSink)
{
    ProgramState state;
    RecordingSink sink;
    std::vector<std::string> counterTexts;
    state.counterTextChanged = [&](std::string_view t) { counterTexts.emplace_back(t); };
    const Bytes log = Kiss({Frame(1, 64), Frame(1, 64), Fss(0xC3), Frame(4, 88), Frame(1, 64),
                            Fss(0x00), Frame(3, 30), Fss(0xC3, 84)});
    ReadKissBytes(state, log, sink);
    ASSERT_EQ(counterTexts.size(), 8u);
    EXPECT_EQ(counterTexts[6], "HTRX: 3    FSS: 2    FSS (Hi): 1");
    EXPECT_EQ(counterTexts[7], "HTRX: 3    FSS: 3    FSS (Hi): 1");
    ASSERT_EQ(sink.messages.size(), 1u); // the 84-byte message frame has no text
    EXPECT_EQ(sink.messages[0], std::string(65, '\x22'));
}

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
    const auto path = (dir_ / "big.kss").string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(log.data()),
               static_cast<std::streamsize>(log.size()));
    std::string error;
    auto file = LogFile::open(path, error);
    ASSERT_TRUE(file) << error;
    ProgramState fromFile, fromMemory;
    RecordingSink fileSink, memorySink;
    const LogReadSummary a = ReadKissLog(fromFile, *file, fileSink);
    const LogReadSummary b = ReadKissBytes(fromMemory, log, memorySink);
    EXPECT_FALSE(a.readError);
    EXPECT_EQ(fileSink.dump, memorySink.dump);
    EXPECT_EQ(a.reader.acceptedFrames, b.reader.acceptedFrames);
    EXPECT_GT(a.framesBeyondLimit, 0u);
    EXPECT_EQ(fromFile.store[1000].RawHex, fromMemory.store[1000].RawHex);
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
