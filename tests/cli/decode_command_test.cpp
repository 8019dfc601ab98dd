#include "decode_command.h"
#include "decoding_run.h"
#include "record_export.h"
#include "test_logs.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
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

// Far more frames than the windows' record store holds, with every third one a message.
TEST_F(DecodeCommand, DecodesEveryFrameOfALongLog)
{
    Bytes log;
    std::string dump;
    std::string messages;
    for (int i = 0; i < 2500; ++i) {
        const Bytes frame = i % 3 == 2   ? testing::MessageFrame(static_cast<std::uint8_t>(i),
                                                                 "M" + std::to_string(i))
                            : i % 3 == 1 ? testing::HiModeFrame(1, 2, 3, 0x47, 9, 12)
                                         : testing::HtrxFrame(static_cast<std::uint16_t>(i), 0, 0);
        const Bytes framed = Kiss(frame);
        log.insert(log.end(), framed.begin(), framed.end());
        dump += HexOf(frame) + "\r\n";
        if (i % 3 == 2) {
            std::string text = "M" + std::to_string(i);
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

TEST_F(DecodeCommand, WritesTheSameDumpAndTlmAsADecodingRunWithTlm)
{
    const Bytes log = testing::Concat(
        {Kiss(testing::Timestamp(1796119200123)), Kiss(testing::HtrxFrame(1, 2, 3)),
         Kiss(testing::MessageFrame(1, "HELLO")), Kiss(testing::HiModeFrame(1, 2, 3, 0x47, 9, 45)),
         Kiss(testing::MessageFrame(2, "AGAIN"))});
    const std::string path = folder.write("pass.kss", log);
    ProgramState state;
    ASSERT_EQ(RunDecoding(state, path, true).outcome, RunReport::Outcome::Decoded);
    const std::string runDump = ReadFile(folder / "pass.dmp");
    const std::string runTlm = ReadFile(folder / "pass.tlm");

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
              "Frames rejected: 2\n"
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

} // namespace
} // namespace kesta
