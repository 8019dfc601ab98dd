// kesta-decode merge: stations' logs made into one, through the command's interface.
#include "decode_command.h"
#include "merge_command.h"
#include "test_logs.h"

#include <cstdlib>
#include "value_text.h"

#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace kesta {
namespace {

using testing::Bytes;
using testing::Kiss;
using testing::ReadFile;

constexpr std::int64_t Noon = 1796119200000; // 2026-12-01 10:00:00 UTC

// A station's log: each frame behind a timestamp frame of its time (ms after noon).
Bytes StationLog(const std::vector<std::pair<std::int64_t, Bytes>> &frames)
{
    Bytes log;
    for (const auto &[at, frame] : frames)
        log = testing::Concat({log, Kiss(testing::Timestamp(Noon + at)), Kiss(frame)});
    return log;
}

Bytes F(std::uint16_t counter)
{
    return testing::HtrxFrame(counter, 0, 0);
}

class Merge : public ::testing::Test
{
protected:
    MergeOptions options(std::vector<std::string> logs) const
    {
        MergeOptions o;
        o.logs = std::move(logs);
        o.outputPath = folder / "merged.kss";
        o.heardByPath = folder / "heard.jsonl";
        return o;
    }
    // The merged log's records as a decode writes them in JSON Lines.
    std::string decoded() const
    {
        DecodeOptions d;
        d.logPath = folder / "merged.kss";
        d.writeDump = d.writeTlm = false;
        d.jsonlPath = folder / "merged.jsonl";
        EXPECT_EQ(RunDecodeCommand(d).exitCode, ExitSuccess);
        return ReadFile(folder / "merged.jsonl");
    }

    testing::ScratchFolder folder;
};

// Two stations: frames both heard once, in time order, at the earlier time; frames one
// heard kept; equal bytes beyond the window, or twice from one station, are two receptions.
TEST_F(Merge, EachReceptionOnceInTimeOrderAtItsEarliestTime)
{
    folder.write("north.kss", StationLog({{0, F(1)}, {2000, F(2)}, {4000, F(4)}, {4000, F(4)},
                                          {90000, F(9)}}));
    // SatNOGS frames of the south station: whole seconds, lower-case hex.
    std::string south;
    for (const auto &[second, counter] :
         std::vector<std::pair<int, std::uint16_t>>{{1, 1}, {3, 3}, {4, 4}, {40, 9}}) {
        const Bytes f = F(counter);
        std::string hex = testing::HexOf(Bytes(f.begin() + 1, f.end()));
        for (char &c : hex)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        south += "2026-12-01 10:00:" + std::string(second < 10 ? "0" : "") +
                 std::to_string(second) + "|" + hex + "\r\n";
    }
    testing::WriteFile(folder / "south.txt", south);

    const MergeCommandOutcome outcome =
        RunMergeCommand(options({folder / "north.kss", "south=" + (folder / "south.txt")}));

    ASSERT_EQ(outcome.exitCode, ExitSuccess) << outcome.errors.front();
    EXPECT_EQ(ReadFile(folder / "heard.jsonl"),
              "{\"Record\":1,\"Time\":\"2026-12-01T10:00:00.000Z\",\"HeardBy\":[\"" +
                  (folder / "north.kss") + "\",\"south\"]}\n"
                  "{\"Record\":2,\"Time\":\"2026-12-01T10:00:02.000Z\",\"HeardBy\":[\"" +
                  (folder / "north.kss") + "\"]}\n"
                  "{\"Record\":3,\"Time\":\"2026-12-01T10:00:03.000Z\",\"HeardBy\":[\"south\"]}\n"
                  "{\"Record\":4,\"Time\":\"2026-12-01T10:00:04.000Z\",\"HeardBy\":[\"" +
                  (folder / "north.kss") + "\",\"south\"]}\n"
                  "{\"Record\":5,\"Time\":\"2026-12-01T10:00:04.000Z\",\"HeardBy\":[\"" +
                  (folder / "north.kss") + "\"]}\n"
                  "{\"Record\":6,\"Time\":\"2026-12-01T10:00:40.000Z\",\"HeardBy\":[\"south\"]}\n"
                  "{\"Record\":7,\"Time\":\"2026-12-01T10:01:30.000Z\",\"HeardBy\":[\"" +
                  (folder / "north.kss") + "\"]}\n");
    EXPECT_EQ(outcome.result.merged, 7u);
    EXPECT_EQ(MergeSummaryText(outcome),
              folder / "north.kss" +
                  ": 5 frames read, 3 heard only here, 2 also heard elsewhere\n"
                  "south: 4 frames read, 2 heard only here, 2 also heard elsewhere\n"
                  "Merged: 7 frames\n");
    // The merged log decodes like any log: the records in that order, at those times.
    const std::string records = decoded();
    std::size_t at = 0;
    for (const char *time : {"10:00:00.000", "10:00:02.000", "10:00:03.000", "10:00:04.000",
                             "10:00:04.000", "10:00:40.000", "10:01:30.000"}) {
        at = records.find(std::string("\"Time\":\"2026-12-01T") + time, at);
        ASSERT_NE(at, std::string::npos) << time << "\n" << records;
        ++at;
    }
}

struct WindowCase
{
    const char *name;
    double windowSeconds;
    std::int64_t apartMs;
    std::uint64_t merged;
};

class MergeWindow : public Merge, public ::testing::WithParamInterface<WindowCase>
{};

TEST_P(MergeWindow, EqualFramesAtMostTheWindowApartAreOneReception)
{
    const WindowCase &c = GetParam();
    folder.write("a.kss", StationLog({{0, F(1)}}));
    folder.write("b.kss", StationLog({{c.apartMs, F(1)}}));
    MergeOptions o = options({folder / "a.kss", folder / "b.kss"});
    o.windowSeconds = c.windowSeconds;
    const MergeCommandOutcome outcome = RunMergeCommand(o);
    ASSERT_EQ(outcome.exitCode, ExitSuccess);
    EXPECT_EQ(outcome.result.merged, c.merged);
}

INSTANTIATE_TEST_SUITE_P(Windows, MergeWindow,
                         ::testing::Values(WindowCase{"DefaultEdge", 30, 30000, 1},
                                           WindowCase{"DefaultBeyond", 30, 30001, 2},
                                           WindowCase{"ZeroSameTime", 0, 0, 1},
                                           WindowCase{"ZeroApart", 0, 1, 2},
                                           WindowCase{"Fractional", 1.5, 1500, 1}),
                         [](const auto &info) { return std::string(info.param.name); });

struct RefusalCase
{
    const char *name;
    std::vector<std::string> logs; // DIR stands for the folder
    const char *output;
    int exitCode;
    const char *message; // must appear in the error
};

class MergeRefusal : public Merge, public ::testing::WithParamInterface<RefusalCase>
{};

TEST_P(MergeRefusal, NamesTheFileAndLeavesTheEarlierMergedLog)
{
    const RefusalCase &c = GetParam();
    folder.write("a.kss", StationLog({{0, F(1)}}));
    folder.write("bare.kss", Kiss(F(2)));
    testing::WriteFile(folder / "merged.kss", std::string("earlier"));
    const auto subst = [&](std::string text) {
        for (std::size_t at; (at = text.find("DIR")) != std::string::npos;)
            text.replace(at, 3, folder.path().string());
        return text;
    };
    std::vector<std::string> logs;
    for (const std::string &log : c.logs)
        logs.push_back(subst(log));
    MergeOptions o = options(logs);
    o.outputPath = subst(c.output);
    o.heardByPath.reset();

    const MergeCommandOutcome outcome = RunMergeCommand(o);

    EXPECT_EQ(outcome.exitCode, c.exitCode);
    ASSERT_FALSE(outcome.errors.empty());
    EXPECT_NE(outcome.errors.front().find(subst(c.message)), std::string::npos)
        << outcome.errors.front();
    EXPECT_EQ(ReadFile(folder / "merged.kss"), "earlier");
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"a.kss", "bare.kss", "merged.kss"}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MergeRefusal,
    ::testing::Values(
        RefusalCase{"NoTimestampsBesideAnother", {"DIR/a.kss", "DIR/bare.kss"}, "DIR/merged.kss", 2,
                    "DIR/bare.kss: its frames have no reception time"},
        RefusalCase{"OutputIsTheSecondInput", {"DIR/bare.kss", "DIR/a.kss"}, "DIR/a.kss", 2,
                    "DIR/a.kss: not merged: its merged log DIR/a.kss would overwrite the log"}, 
        RefusalCase{"OutputIsAnInputByAnotherName", {"DIR/a.kss"}, "DIR/./a.kss", 2,
                    "not merged: its merged log DIR/./a.kss would overwrite the log itself"},
        RefusalCase{"MissingInput", {"DIR/a.kss", "DIR/missing.kss"}, "DIR/merged.kss", 1,
                    "DIR/missing.kss: No such file or directory"},
        RefusalCase{"EmptyStationName", {"=DIR/a.kss"}, "DIR/merged.kss", 2,
                    "the station name is empty"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(Merge, ALoneLogWithoutTimestampsIsCopiedFrameForFrame)
{
    folder.write("bare.kss", testing::Concat({Kiss(F(1)), Kiss(F(1)), Kiss(F(2))}));
    const MergeCommandOutcome outcome = RunMergeCommand(options({folder / "bare.kss"}));
    ASSERT_EQ(outcome.exitCode, ExitSuccess);
    EXPECT_EQ(ReadFile(folder / "merged.kss"),
              testing::AsText(testing::Concat({Kiss(F(1)), Kiss(F(1)), Kiss(F(2))})));
}

// What is wrong with a log is said under its name; the merge goes on.
TEST_F(Merge, TheSummarySaysWhatIsWrongWithEachLog)
{
    folder.write("late.kss", StationLog({{5000, F(1)}, {1000, F(2)}}));
    testing::WriteFile(folder / "notes.txt", std::string("time|frame\n"));
    const MergeCommandOutcome outcome =
        RunMergeCommand(options({"late=" + (folder / "late.kss"), "notes=" + (folder / "notes.txt")}));
    ASSERT_EQ(outcome.exitCode, ExitSuccess);
    EXPECT_EQ(MergeSummaryText(outcome),
              "late: 2 frames read, 2 heard only here, 0 also heard elsewhere\n"
              "  1 frames earlier than the frame before them: the log is not in time order\n"
              "notes: 0 frames read, 0 heard only here, 0 also heard elsewhere\n"
              "  11 bytes between frames ignored, first at offset 0\n"
              "  neither a KISS log nor SatNOGS frames: no frame found\n"
              "Merged: 2 frames\n");
}

// Three stations, thousands of receptions within each window, equal frames a few
// seconds apart, logs of several read blocks: the merged receptions are those of the
// rule applied frame by frame (earliest pending reception of equal bytes within the
// window that this log has not joined yet, else a new one), in order.
TEST_F(Merge, ManyReceptionsInOneWindowFollowTheRule)
{
    constexpr std::int64_t Window = 5000;
    constexpr int Stations = 3;
    const std::int64_t lateBy[Stations] = {0, 700, 40};
    std::mt19937 random(11);
    struct Heard
    {
        std::int64_t at;
        std::uint16_t counter;
    };
    std::vector<Heard> heard[Stations];
    for (std::int64_t i = 0, t = 0; i < 9000; ++i, t += 1 + random() % 14) {
        const auto counter = static_cast<std::uint16_t>(random() % 500);
        for (int s = 0; s < Stations; ++s) {
            if (random() % 10 < 7)
                heard[s].push_back({t + lateBy[s], counter});
        }
    }
    std::vector<std::string> logs;
    for (int s = 0; s < Stations; ++s) {
        Bytes log;
        for (const Heard &h : heard[s]) {
            for (const Bytes &frame : {Kiss(testing::Timestamp(Noon + h.at)), Kiss(F(h.counter))})
                log.insert(log.end(), frame.begin(), frame.end());
        }
        std::string name = "s"; // appended: GCC 12 warns falsely (-Wrestrict) on "s" + a temporary
        name += std::to_string(s);
        logs.push_back(folder / (name + ".kss"));
        testing::WriteFile(logs.back(), testing::AsText(log));
    }

    // The rule, frame by frame in time order (the first log first among equal times).
    struct Reception
    {
        std::int64_t at;
        std::uint16_t counter;
        unsigned heardBy;
    };
    std::vector<Reception> expected;
    std::size_t next[Stations] = {};
    std::size_t open = 0; // receptions before it are older than any window still open
    for (;;) {
        int s = -1;
        for (int k = 0; k < Stations; ++k) {
            if (next[k] < heard[k].size() &&
                (s < 0 || heard[k][next[k]].at < heard[s][next[s]].at))
                s = k;
        }
        if (s < 0)
            break;
        const Heard h = heard[s][next[s]++];
        while (open < expected.size() && expected[open].at < h.at - Window)
            ++open;
        auto r = expected.begin() + static_cast<std::ptrdiff_t>(open);
        while (r != expected.end() &&
               (r->counter != h.counter || (r->heardBy >> s & 1) != 0))
            ++r;
        if (r != expected.end())
            r->heardBy |= 1u << s;
        else
            expected.push_back({h.at, h.counter, 1u << s});
    }
    std::string heardBy;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        heardBy += "{\"Record\":" + std::to_string(i + 1) + ",\"Time\":\"" +
                   IsoTimeText(Noon + expected[i].at) + "\",\"HeardBy\":[";
        const char *comma = "";
        for (int s = 0; s < Stations; ++s) {
            if ((expected[i].heardBy >> s & 1) != 0) {
                heardBy += comma;
                heardBy += '"' + logs[static_cast<std::size_t>(s)] + '"';
                comma = ",";
            }
        }
        heardBy += "]}\n";
    }

    MergeOptions o = options(logs);
    o.windowSeconds = Window / 1000.0;
    const MergeCommandOutcome outcome = RunMergeCommand(o);

    ASSERT_EQ(outcome.exitCode, ExitSuccess);
    EXPECT_EQ(outcome.result.merged, expected.size());
    EXPECT_TRUE(ReadFile(folder / "heard.jsonl") == heardBy) << "the heard-by lines differ";
}

// The program itself: `merge` is the command, and a log of that name is ./merge.
TEST(MergeProgram, ALogNamedMergeIsReachedAsDotSlashMerge)
{
    testing::ScratchFolder folder;
    folder.write("merge", StationLog({{0, F(1)}}));
    const std::string command = "cd " + folder.path().string() + " && " + KESTA_DECODE_PATH +
                                " -q ./merge && " + KESTA_DECODE_PATH +
                                " merge -q -o all.kss a=merge 2>err";
    ASSERT_EQ(std::system(command.c_str()), 0) << ReadFile(folder / "err");
    EXPECT_EQ(ReadFile(folder / "merge.dmp"), testing::HexOf(F(1)) + "\r\n");
    EXPECT_EQ(ReadFile(folder / "all.kss"), ReadFile(folder / "merge"));
}

} // namespace
} // namespace kesta
