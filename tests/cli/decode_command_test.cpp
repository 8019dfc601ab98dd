#include "decode_command.h"
#include "decoding_run.h"
#include "record_export.h"
#include "test_logs.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace kesta {
namespace {

using testing::Bytes;
using testing::HexOf;
using testing::Kiss;
using testing::ReadFile;
using testing::ScratchFolder;
using testing::WriteFile;
namespace fs = std::filesystem;

std::string TlmHeader(const std::string &logPath)
{
    return "KESTA-1 Telemetry Decoder by Orvan\r\n==================================\r\nFile: " +
           logPath + "\r\n\r\n";
}

std::size_t LineCount(const std::string &text)
{
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

class DecodeCommand : public ::testing::Test
{
protected:
    DecodeOptions options(const std::string &log) const
    {
        DecodeOptions o;
        o.logPath = log;
        return o;
    }

    ScratchFolder folder;
};

// "M" and the number, appended rather than "M" + a temporary, on which GCC 12 warns
// falsely (-Wrestrict) in an optimised build.
std::string MessageOf(int i)
{
    std::string text = "M";
    text += std::to_string(i);
    return text;
}

// Far more frames than the windows' record store holds, with every third one a message.
TEST_F(DecodeCommand, DecodesEveryFrameOfALongLog)
{
    Bytes log;
    std::string dump;
    std::string messages;
    for (int i = 0; i < 2500; ++i) {
        const Bytes frame = i % 3 == 2   ? testing::MessageFrame(static_cast<std::uint8_t>(i),
                                                                 MessageOf(i))
                            : i % 3 == 1 ? testing::HiModeFrame(1, 2, 3, 0x47, 9, 12)
                                         : testing::HtrxFrame(static_cast<std::uint16_t>(i), 0, 0);
        const Bytes framed = Kiss(frame);
        log.insert(log.end(), framed.begin(), framed.end());
        dump += HexOf(frame) + "\r\n";
        if (i % 3 == 2) {
            std::string text = MessageOf(i);
            text.resize(65, ' ');
            messages += text + "\r\n\r\n";
        }
    }
    const std::string path = folder.write("long.kss", log);

    const DecodeOutcome outcome = RunDecodeCommand(options(path));

    ASSERT_EQ(outcome.exitCode, ExitSuccess) << outcome.errors.front();
    EXPECT_EQ(outcome.totals.records, 2500u);
    EXPECT_EQ(outcome.totals.htrx, 834u);
    EXPECT_EQ(outcome.totals.fss, 833u);
    EXPECT_EQ(outcome.totals.fssHi, 833u);
    EXPECT_EQ(ReadFile(folder / "long.dmp"), dump);
    EXPECT_EQ(ReadFile(folder / "long.tlm"), TlmHeader(path) + messages);
}

// The windows keep 1000 records, but their dump and TLM file get every frame, as
// kesta-decode's do. The log's path is absolute, as kesta-decode writes it.
TEST_F(DecodeCommand, WritesTheSameDumpAndTlmAsADecodingRunWithTlm)
{
    Bytes log = testing::Concat(
        {Kiss(testing::Timestamp(1796119200123)), Kiss(testing::HtrxFrame(1, 2, 3)),
         Kiss(testing::MessageFrame(1, "HELLO")), Kiss(testing::HiModeFrame(1, 2, 3, 0x47, 9, 45)),
         Kiss(testing::MessageFrame(2, "AGAIN"))});
    for (int i = 0; i < 1000; ++i) {
        const Bytes frame =
            Kiss(i % 100 == 0 ? testing::MessageFrame(3, "LATE " + std::to_string(i))
                              : testing::HtrxFrame(static_cast<std::uint16_t>(i), 0, 0));
        log.insert(log.end(), frame.begin(), frame.end());
    }
    const std::string path = folder.write("pass.kss", log);
    ASSERT_TRUE(fs::path(path).is_absolute());
    ProgramState state;
    ASSERT_EQ(RunDecoding(state, path, true).outcome, RunReport::Outcome::Decoded);
    const std::string runDump = ReadFile(folder / "pass.dmp");
    const std::string runTlm = ReadFile(folder / "pass.tlm");

    ASSERT_NE(runTlm.find("LATE 900"), std::string::npos);

    ASSERT_EQ(RunDecodeCommand(options(path)).exitCode, ExitSuccess);

    EXPECT_EQ(ReadFile(folder / "pass.dmp"), runDump);
    EXPECT_EQ(ReadFile(folder / "pass.tlm"), runTlm);
}

TEST_F(DecodeCommand, WritesTheExportsRowForRow)
{
    const Bytes htrx = testing::HtrxFrame(1, 2, 3);
    const Bytes message = testing::MessageFrame(1, "HELLO");
    const std::string path = folder.write(
        "pass.kss",
        testing::Concat({Kiss(testing::Timestamp(1796119200123)), Kiss(htrx), Kiss(message)}));
    DecodeOptions o = options(path);
    o.writeDump = false;
    o.writeTlm = false;
    o.csvPath = folder / "pass.csv";
    o.jsonlPath = folder / "pass.jsonl";

    ASSERT_EQ(RunDecodeCommand(o).exitCode, ExitSuccess);

    EXPECT_EQ(folder.names(), (std::vector<std::string>{"pass.csv", "pass.jsonl", "pass.kss"}));
    // The same rows as the exporter makes of the records a decoding run holds.
    ProgramState state;
    ASSERT_EQ(RunDecoding(state, path, false).outcome, RunReport::Outcome::Decoded);
    std::string csv;
    std::string jsonl;
    RecordExporter csvExporter(RecordExporter::Format::Csv);
    RecordExporter jsonExporter(RecordExporter::Format::JsonLines);
    csvExporter.appendHeader(csv);
    for (std::int16_t n = 1; n <= state.store.RecordCount; ++n) {
        csvExporter.appendRecord(csv, static_cast<std::uint64_t>(n), state.store[n]);
        jsonExporter.appendRecord(jsonl, static_cast<std::uint64_t>(n), state.store[n]);
    }
    EXPECT_EQ(ReadFile(folder / "pass.csv"), csv);
    EXPECT_EQ(ReadFile(folder / "pass.jsonl"), jsonl);
    EXPECT_EQ(LineCount(jsonl), 2u);
}

TEST_F(DecodeCommand, CountsOversizedAndRejectedFramesInTheSummary)
{
    const Bytes log = testing::Concat(
        {Kiss(testing::Timestamp(1796119200123)), Kiss(testing::HtrxFrame(1, 0, 0)),
         Kiss(Bytes(600, 0x11)), Kiss({0x09, 0x01, 0x02}), Kiss(testing::FssFrame(0x00, 1, {})),
         Kiss(testing::HiModeFrame(1, 2, 3, 0x47, 9, 12))});

    const DecodeOutcome outcome = RunDecodeCommand(options(folder.write("pass.kss", log)));

    ASSERT_EQ(outcome.exitCode, ExitSuccess);
    EXPECT_EQ(SummaryText(outcome.totals),
              "HTRX: 1    FSS: 1    FSS (Hi): 1\n"
              "Records: 3    Oversized frames dropped: 1    "
              "Frames rejected: 1\n"
              "1 timestamp frame, at offset 1\n"
              "1 other frame rejected (command byte 09), at offset 680\n"
              "1 frame longer than 512 bytes dropped, at offset 78\n");
}

struct RefusedCase
{
    const char *name;
    const char *logName;
    bool writeDump;
    bool writeTlm;
    const char *csvName; // relative to the folder; "" for none
    int exitCode;
};

class DecodeCommandRefusal : public ::testing::TestWithParam<RefusedCase>
{};

TEST_P(DecodeCommandRefusal, LeavesTheLogAndTheFolderAsTheyWere)
{
    const RefusedCase &c = GetParam();
    ScratchFolder folder;
    const Bytes content = Kiss(testing::HtrxFrame(1, 0, 0));
    const std::string log = folder / c.logName;
    WriteFile(log, content);
    DecodeOptions o;
    o.logPath = log;
    o.writeDump = c.writeDump;
    o.writeTlm = c.writeTlm;
    if (*c.csvName)
        o.csvPath = folder / c.csvName;

    const DecodeOutcome outcome = RunDecodeCommand(o);

    EXPECT_EQ(outcome.exitCode, c.exitCode);
    ASSERT_EQ(outcome.errors.size(), 1u);
    EXPECT_NE(outcome.errors[0].find(folder.path().string()), std::string::npos)
        << outcome.errors[0];
    EXPECT_EQ(ReadFile(log), testing::AsText(content));
    EXPECT_EQ(folder.names(), std::vector<std::string>{c.logName});
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, DecodeCommandRefusal,
    ::testing::Values(RefusedCase{"DumpIsTheLog", "x.dmp", true, true, "", ExitUsage},
                      RefusedCase{"TlmIsTheLog", "x.tlm", true, true, "", ExitUsage},
                      RefusedCase{"CsvIsTheLog", "x.kss", false, false, "x.kss", ExitUsage},
                      RefusedCase{"CsvIsTheDump", "x.kss", true, false, "x.dmp", ExitUsage}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(DecodeCommand, ALogNamedLikeAnOutputIsDecodedWhenThatOutputIsSwitchedOff)
{
    const std::string log = folder.write("x.dmp", Kiss(testing::HtrxFrame(1, 0, 0)));
    DecodeOptions o = options(log);
    o.writeDump = false;
    EXPECT_EQ(RunDecodeCommand(o).exitCode, ExitSuccess);
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"x.dmp", "x.tlm"}));
}

TEST_F(DecodeCommand, ALogThatCannotBeReadCreatesNothing)
{
    const std::string log = folder / "missing.kss";
    const DecodeOutcome outcome = RunDecodeCommand(options(log));
    EXPECT_EQ(outcome.exitCode, ExitFailure);
    EXPECT_EQ(outcome.errors, std::vector<std::string>{log + ": No such file or directory"});
    EXPECT_TRUE(folder.names().empty());
}

TEST_F(DecodeCommand, AnOutputThatCannotBeCreatedFailsAndLeavesNoNewFiles)
{
    const std::string log = folder.write("pass.kss", Kiss(testing::HtrxFrame(1, 0, 0)));
    DecodeOptions o = options(log);
    o.csvPath = "/dev/null/pass.csv";

    const DecodeOutcome outcome = RunDecodeCommand(o);

    EXPECT_EQ(outcome.exitCode, ExitFailure);
    EXPECT_EQ(outcome.errors, std::vector<std::string>{"/dev/null/pass.csv: Not a directory"});
    EXPECT_EQ(folder.names(), std::vector<std::string>{"pass.kss"});
}

TEST_F(DecodeCommand, AWriteThatFailsDuringTheDecodeFails)
{
    const std::string log = folder.write("pass.kss", Kiss(testing::HtrxFrame(1, 0, 0)));
    DecodeOptions o = options(log);
    o.jsonlPath = "/dev/full";

    const DecodeOutcome outcome = RunDecodeCommand(o);

    EXPECT_EQ(outcome.exitCode, ExitFailure);
    EXPECT_EQ(outcome.errors, std::vector<std::string>{"/dev/full: No space left on device"});
}

TEST_F(DecodeCommand, OnlyOneExportMayGoToStandardOutput)
{
    const std::string log = folder.write("pass.kss", Kiss(testing::HtrxFrame(1, 0, 0)));
    DecodeOptions o = options(log);
    o.csvPath = "-";
    o.jsonlPath = "-";
    EXPECT_EQ(RunDecodeCommand(o).exitCode, ExitUsage);
    EXPECT_EQ(folder.names(), std::vector<std::string>{"pass.kss"});
}

std::vector<std::string> TemporariesIn(const ScratchFolder &folder)
{
    std::vector<std::string> found;
    for (const std::string &name : folder.names()) {
        if (name.ends_with(".kesta-part"))
            found.push_back(name);
    }
    return found;
}

// Two names of one file, however spelt, would have one output overwrite the
// other or the log: a usage error before anything is created.
struct ClashCase
{
    const char *name;
    // Sets up the folder (with the log p.kss in it) and the options.
    void (*plan)(const ScratchFolder &folder, DecodeOptions &o);
};

class DecodeCommandClash : public ::testing::TestWithParam<ClashCase>
{};

TEST_P(DecodeCommandClash, IsAUsageErrorAndCreatesNothing)
{
    ScratchFolder folder;
    const Bytes content = Kiss(testing::HtrxFrame(1, 0, 0));
    DecodeOptions o;
    o.logPath = folder.write("p.kss", content);
    fs::create_directory(folder / "dup");
    GetParam().plan(folder, o);
    const std::vector<std::string> before = folder.names();

    const DecodeOutcome outcome = RunDecodeCommand(o);

    EXPECT_EQ(outcome.exitCode, ExitUsage);
    ASSERT_EQ(outcome.errors.size(), 1u);
    EXPECT_EQ(ReadFile(o.logPath), testing::AsText(content));
    EXPECT_EQ(folder.names(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Spellings, DecodeCommandClash,
    ::testing::Values(
        ClashCase{"CsvIsTheDumpWithDot",
                  [](const ScratchFolder &f, DecodeOptions &o) { o.csvPath = f / "./p.dmp"; }},
        ClashCase{"ExportsThroughASubfolder",
                  [](const ScratchFolder &f, DecodeOptions &o) {
                      o.writeTlm = false;
                      o.jsonlPath = f / "./p.out";
                      o.csvPath = f / "dup/../p.out";
                  }},
        ClashCase{"CsvIsTheLogThroughASubfolder",
                  [](const ScratchFolder &f, DecodeOptions &o) { o.csvPath = f / "dup/../p.kss"; }},
        ClashCase{"HardLinkToTheLog",
                  [](const ScratchFolder &f, DecodeOptions &o) {
                      fs::create_hard_link(o.logPath, f / "dup/link.csv");
                      o.csvPath = f / "dup/link.csv";
                  }},
        ClashCase{"HardLinkedExports",
                  [](const ScratchFolder &f, DecodeOptions &o) {
                      WriteFile(f / "a.csv", std::string("old"));
                      fs::create_hard_link(f / "a.csv", f / "dup/b.jsonl");
                      o.csvPath = f / "a.csv";
                      o.jsonlPath = f / "dup/b.jsonl";
                  }},
        ClashCase{"SymbolicLinkToTheDump",
                  [](const ScratchFolder &f, DecodeOptions &o) {
                      WriteFile(f / "p.dmp", std::string("old"));
                      fs::create_symlink("../p.dmp", f / "dup/d.csv");
                      o.csvPath = f / "dup/d.csv";
                  }}),
    [](const auto &info) { return std::string(info.param.name); });

// Standard output redirected to the log itself ("kesta-decode --csv - p.kss >> p.kss").
TEST_F(DecodeCommand, StandardOutputThatIsTheLogIsAUsageError)
{
    const Bytes content = Kiss(testing::HtrxFrame(1, 0, 0));
    const std::string log = folder.write("p.kss", content);
    DecodeOptions o = options(log);
    o.csvPath = "-";

    std::fflush(stdout);
    const int saved = ::dup(STDOUT_FILENO);
    const int fd = ::open(log.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(fd, 0);
    ::dup2(fd, STDOUT_FILENO);
    ::close(fd);
    const DecodeOutcome outcome = RunDecodeCommand(o);
    std::fflush(stdout);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);

    EXPECT_EQ(outcome.exitCode, ExitUsage);
    EXPECT_EQ(ReadFile(log), testing::AsText(content));
    EXPECT_EQ(folder.names(), std::vector<std::string>{"p.kss"});
}

// A decode that fails to start or is interrupted leaves the files of the earlier
// decode byte for byte, and no temporary behind.
TEST_F(DecodeCommand, AFailedOrInterruptedDecodeKeepsTheEarlierOutputs)
{
    const std::string log =
        folder.write("w.kss", Kiss({testing::HtrxFrame(1, 0, 0), testing::MessageFrame(1, "A")}));
    ASSERT_EQ(RunDecodeCommand(options(log)).exitCode, ExitSuccess);
    const std::string dump = ReadFile(folder / "w.dmp");
    const std::string tlm = ReadFile(folder / "w.tlm");
    WriteFile(log, Kiss({testing::MessageFrame(2, "B"), testing::HtrxFrame(2, 0, 0)}));

    DecodeOptions failing = options(log);
    failing.csvPath = "/nonexistent/x.csv";
    EXPECT_EQ(RunDecodeCommand(failing).exitCode, ExitFailure);

    const std::atomic<bool> stop{true};
    DecodeOptions cancelled = options(log);
    cancelled.jsonlPath = folder / "w.jsonl";
    cancelled.cancel = &stop;
    const DecodeOutcome outcome = RunDecodeCommand(cancelled);
    EXPECT_EQ(outcome.exitCode, ExitInterrupted);
    EXPECT_TRUE(outcome.cancelled);

    EXPECT_EQ(ReadFile(folder / "w.dmp"), dump);
    EXPECT_EQ(ReadFile(folder / "w.tlm"), tlm);
    EXPECT_TRUE(TemporariesIn(folder).empty());
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"w.dmp", "w.kss", "w.tlm"}));
}

TEST_F(DecodeCommand, ALinkWhereTheDumpGoesIsReplacedNotWrittenThrough)
{
    const Bytes frame = testing::HtrxFrame(1, 0, 0);
    const std::string log = folder.write("a.kss", Kiss(frame));
    WriteFile(folder / "victim.txt", std::string("keep me"));
    fs::create_symlink("victim.txt", folder / "a.dmp");

    ASSERT_EQ(RunDecodeCommand(options(log)).exitCode, ExitSuccess);

    EXPECT_EQ(ReadFile(folder / "victim.txt"), "keep me");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(folder / "a.dmp")));
    EXPECT_EQ(ReadFile(folder / "a.dmp"), HexOf(frame) + "\r\n");
}

// The value of "key":{"count":N,"firstOffset":M} in a flat JSON text; -1 for null.
std::pair<long, long> CountAndOffset(const std::string &json, const std::string &key)
{
    const std::size_t at = json.find("\"" + key + "\":{\"count\":");
    if (at == std::string::npos)
        return {-2, -2};
    const char *p = json.c_str() + json.find(':', json.find("count", at)) + 1;
    char *end = nullptr;
    const long count = std::strtol(p, &end, 10);
    const std::string rest(end);
    const std::string offsetKey = ",\"firstOffset\":";
    if (rest.rfind(offsetKey, 0) != 0)
        return {count, -2};
    const char *q = end + offsetKey.size();
    return {count, std::strncmp(q, "null", 4) == 0 ? -1 : std::strtol(q, nullptr, 10)};
}

TEST_F(DecodeCommand, TheReportFileHoldsCountsAndFirstOffsets)
{
    const Bytes log = testing::Concat({Kiss(testing::Timestamp(1796119200123)), // 0..10
                                       Kiss(testing::HtrxFrame(1, 0, 0)),       // 11..76
                                       {0x41, 0x42},                            // 77, 78
                                       {0xC0, 0x01, 0xC0},                      // 79..81
                                       {0xC0, 0x00, 0xDB, 0x41, 0x42, 0xC0},    // 82..87
                                       Kiss(Bytes(600, 0x11)),                  // 88..
                                       {0xC0, 0x00, 0x01}});
    DecodeOptions o = options(folder.write("r.kss", log));
    o.reportPath = folder / "r.json";

    ASSERT_EQ(RunDecodeCommand(o).exitCode, ExitSuccess);

    const std::string json = ReadFile(folder / "r.json");
    EXPECT_EQ(json.front(), '{');
    EXPECT_EQ(json.substr(json.size() - 2), "}\n");
    EXPECT_NE(json.find("\"records\":2,\"htrx\":1,"), std::string::npos) << json;
    const std::vector<std::pair<std::string, std::pair<long, long>>> expected{
        {"timestampFrames", {1, 1}},     {"otherRejectedFrames", {0, -1}},
        {"ignoredBytes", {2, 77}},       {"shortFrames", {1, 80}},
        {"badEscapes", {1, 84}},         {"oversizedFrames", {1, 89}},
        {"unterminatedFrames", {1, 691}}};
    for (const auto &[key, value] : expected)
        EXPECT_EQ(CountAndOffset(json, key), value) << key << " in " << json;
}

// 64-bit nanoseconds end at 2262-04-11T23:47:16.854Z: a later time gets no line and
// is counted, in the summary and in the report file.
TEST_F(DecodeCommand, TimesTheLineProtocolCannotHoldAreLeftOutAndCounted)
{
    const Bytes htrx = testing::HtrxFrame(1, 0, 0);
    const Bytes lastHeld = Kiss(testing::Timestamp(9223372036854));
    const Bytes tooLate = Kiss(testing::Timestamp(9223372036855));
    const Bytes log = testing::Concat({lastHeld, Kiss(htrx), tooLate, Kiss(htrx),
                                       Kiss(testing::Timestamp(253402300799999)), Kiss(htrx),
                                       Kiss(testing::Timestamp(1796119200123)), Kiss(htrx)});
    DecodeOptions o = options(folder.write("t.kss", log));
    o.influxPath = folder / "t.lp";
    o.reportPath = folder / "t.json";

    const DecodeOutcome outcome = RunDecodeCommand(o);

    ASSERT_EQ(outcome.exitCode, ExitSuccess);
    const std::string lines = ReadFile(folder / "t.lp");
    EXPECT_EQ(LineCount(lines), 2u) << lines;
    EXPECT_NE(lines.find(" 9223372036854000000\n"), std::string::npos) << lines;
    EXPECT_NE(lines.find(" 1796119200123000000\n"), std::string::npos) << lines;
    const long firstLate =
        static_cast<long>(lastHeld.size() + Kiss(htrx).size() + tooLate.size()) + 1;
    EXPECT_EQ(CountAndOffset(ReadFile(folder / "t.json"), "timesBeyondLineProtocol"),
              std::make_pair(2L, firstLate));
    EXPECT_NE(SummaryText(outcome.totals)
                  .find("2 records with a time the line protocol cannot hold, left out of it, "
                        "first at offset " +
                        std::to_string(firstLate)),
              std::string::npos)
        << SummaryText(outcome.totals);
}

} // namespace
} // namespace kesta
