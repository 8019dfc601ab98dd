#include "cleanup.h"
#include "decoding_run.h"
#include "test_logs.h"
#include "value_text.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace kesta {
namespace {

using testing::Bytes;
using testing::Concat;
using testing::HexOf;
using testing::Kiss;
using testing::ReadFile;
using testing::ScratchFolder;
using testing::WriteFile;
namespace fs = std::filesystem;

const std::string Header = "KESTA-1 Telemetry Decoder by Orvan\r\n"
                           "==================================\r\n"
                           "File: ";

std::string TlmHeader(const std::string &logPath)
{
    return Header + logPath + "\r\n\r\n";
}

std::string MessageLines(const std::string &text)
{
    std::string padded = text;
    padded.resize(65, ' ');
    return padded + "\r\n\r\n";
}

// A pass with a timestamp, a rejected frame, one frame of each kind and two messages.
struct SmallPass
{
    Bytes htrx = testing::HtrxFrame(0x1234, 0x05, 0);
    Bytes message1 = testing::MessageFrame(1, "HELLO FROM KESTA-1");
    Bytes hi = testing::HiModeFrame(1, 2, 3, 0x47, 9, 45);
    Bytes normal = testing::FssFrame(0x47, 2, Bytes(65, 0x20));
    Bytes message2 = testing::MessageFrame(3, "BYE");

    Bytes log() const
    {
        return Concat({Kiss(testing::Timestamp(1796119200123)), Kiss(htrx), Kiss(message1),
                       Kiss({0x09, 0x01, 0x02, 0x03}), Kiss(hi), Kiss(normal), Kiss(message2)});
    }
    std::string dump() const
    {
        std::string d;
        for (const Bytes *f : {&htrx, &message1, &hi, &normal, &message2}) {
            d += HexOf(*f) + "\r\n";
        }
        return d;
    }
    std::string messages() const
    {
        return MessageLines("HELLO FROM KESTA-1") + MessageLines("BYE");
    }
};

class DecodingRun : public ::testing::Test
{
protected:
    ScratchFolder folder;
    ProgramState state;
};

TEST_F(DecodingRun, WritesDumpAndTlmByteForByte)
{
    const SmallPass pass;
    const std::string log = folder.write("pass1.kss", pass.log());

    const RunReport report = RunDecoding(state, log, true);

    ASSERT_EQ(report.outcome, RunReport::Outcome::Decoded) << report.error;
    EXPECT_TRUE(report.warnings.empty()) << report.warnings.front();
    EXPECT_EQ(ReadFile(folder / "pass1.dmp"), pass.dump());
    EXPECT_EQ(ReadFile(folder / "pass1.tlm"), TlmHeader(log) + pass.messages());
    EXPECT_EQ(state.InputPath, log);
    EXPECT_EQ(state.DmpPath, folder / "pass1.dmp");
    EXPECT_EQ(state.TlmPath, folder / "pass1.tlm");
    EXPECT_EQ(state.store.RecordCount, 5);
    EXPECT_EQ(state.store[1].RawHex, HexOf(pass.htrx));
    EXPECT_EQ(report.summary.reader.rejectedFrames, 2u);
    EXPECT_EQ(state.createdFiles,
              (std::vector<std::string>{folder / "pass1.tlm", folder / "pass1.dmp"}));
    EXPECT_EQ(ReadFile(log), testing::AsText(pass.log()));
}

TEST_F(DecodingRun, ALogWithoutMessagesGetsTheHeaderOnlyAndAnEmptyLogAnEmptyDump)
{
    const std::string log = folder.write("quiet.kss", Bytes{});
    const RunReport report = RunDecoding(state, log, true);
    ASSERT_EQ(report.outcome, RunReport::Outcome::Decoded);
    EXPECT_EQ(ReadFile(folder / "quiet.tlm"), TlmHeader(log));
    EXPECT_TRUE(fs::exists(folder / "quiet.dmp"));
    EXPECT_EQ(ReadFile(folder / "quiet.dmp"), "");
    EXPECT_EQ(state.store.RecordCount, 0);
}

TEST_F(DecodingRun, FirstRunWithoutTlmWritesNoTlmAndKeepsTlmPathEmpty)
{
    const SmallPass pass;
    const std::string log = folder.write("pass.kss", pass.log());

    const RunReport report = RunDecoding(state, log, false);

    ASSERT_EQ(report.outcome, RunReport::Outcome::Decoded);
    EXPECT_TRUE(report.warnings.empty());
    EXPECT_TRUE(state.TlmPath.empty());
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"pass.dmp", "pass.kss"}));
    EXPECT_EQ(ReadFile(folder / "pass.dmp"), pass.dump());
    EXPECT_EQ(state.store[2].MessageText.substr(0, 5), "HELLO");
}

TEST_F(DecodingRun, AnUncheckedRunAppendsItsMessagesToTheKeptTlmFile)
{
    const SmallPass pass;
    const std::string a = folder.write("a.kss", pass.log());
    const std::string b = folder.write("b.kss", Kiss(testing::MessageFrame(7, "SECOND LOG")));

    ASSERT_EQ(RunDecoding(state, a, true).outcome, RunReport::Outcome::Decoded);
    const RunReport report = RunDecoding(state, b, false);

    ASSERT_EQ(report.outcome, RunReport::Outcome::Decoded);
    EXPECT_TRUE(report.warnings.empty());
    EXPECT_EQ(state.TlmPath, folder / "a.tlm");
    EXPECT_EQ(state.DmpPath, folder / "b.dmp");
    EXPECT_EQ(ReadFile(folder / "a.tlm"),
              TlmHeader(a) + pass.messages() + MessageLines("SECOND LOG"));
    EXPECT_FALSE(fs::exists(folder / "b.tlm"));
}

TEST_F(DecodingRun, AnUncheckedRunWithoutMessagesLeavesTheKeptTlmFileAlone)
{
    const std::string a = folder.write("a.kss", testing::Kiss(testing::HtrxFrame(1, 0, 0)));
    ASSERT_EQ(RunDecoding(state, a, true).outcome, RunReport::Outcome::Decoded);
    fs::remove(folder / "a.tlm");

    const RunReport report = RunDecoding(state, a, false);

    EXPECT_TRUE(report.warnings.empty());
    EXPECT_FALSE(fs::exists(folder / "a.tlm"));
}

TEST_F(DecodingRun, TheSameLogTwiceGivesTheSecondRunsFilesOnly)
{
    const SmallPass pass;
    const std::string log = folder.write("pass.kss", pass.log());

    ASSERT_EQ(RunDecoding(state, log, true).outcome, RunReport::Outcome::Decoded);
    ASSERT_EQ(RunDecoding(state, log, true).outcome, RunReport::Outcome::Decoded);

    EXPECT_EQ(ReadFile(folder / "pass.dmp"), pass.dump());
    EXPECT_EQ(ReadFile(folder / "pass.tlm"), TlmHeader(log) + pass.messages());
    EXPECT_EQ(state.createdFiles,
              (std::vector<std::string>{folder / "pass.tlm", folder / "pass.dmp"}));
}

TEST_F(DecodingRun, FramesBeyondTheRecordLimitStillGetTheirDumpLines)
{
    Bytes log;
    std::string dump;
    for (int i = 0; i < 1003; ++i) {
        const Bytes frame = testing::HtrxFrame(static_cast<std::uint16_t>(i), 0, 0);
        const Bytes framed = Kiss(frame);
        log.insert(log.end(), framed.begin(), framed.end());
        dump += HexOf(frame) + "\r\n";
    }
    const RunReport report = RunDecoding(state, folder.write("long.kss", log), false);
    ASSERT_EQ(report.outcome, RunReport::Outcome::Decoded);
    EXPECT_EQ(ReadFile(folder / "long.dmp"), dump);
    EXPECT_EQ(state.store.RecordCount, 1000);
    EXPECT_EQ(report.summary.framesBeyondLimit, 3u);
}

struct RefusalCase
{
    const char *name;
    const char *logName;
    bool writeTlm;
    bool keptTlmIsTheLog; // TlmPath left by an earlier run names the log
};

class RunRefusal : public ::testing::TestWithParam<RefusalCase>
{};

TEST_P(RunRefusal, TouchesNothingAndNamesTheLog)
{
    const RefusalCase &c = GetParam();
    ScratchFolder folder;
    const std::string log = folder / c.logName;
    const SmallPass pass;
    WriteFile(log, pass.log());
    ProgramState state;
    state.TlmPath = c.keptTlmIsTheLog ? log : "";
    state.DmpPath = "earlier.dmp";
    state.InputPath = "earlier.kss";

    const RunReport report = RunDecoding(state, log, c.writeTlm);

    EXPECT_EQ(report.outcome, RunReport::Outcome::Refused);
    EXPECT_NE(report.error.find(log + ": "), std::string::npos) << report.error;
    EXPECT_NE(report.error.find("overwrite the log"), std::string::npos) << report.error;
    EXPECT_EQ(ReadFile(log), testing::AsText(pass.log()));
    EXPECT_EQ(folder.names(), std::vector<std::string>{c.logName});
    EXPECT_EQ(state.DmpPath, "earlier.dmp");
    EXPECT_EQ(state.InputPath, "earlier.kss");
    EXPECT_EQ(state.TlmPath, c.keptTlmIsTheLog ? log : "");
    EXPECT_EQ(state.store.RecordCount, 0);
    EXPECT_TRUE(state.createdFiles.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Logs, RunRefusal,
    ::testing::Values(RefusalCase{"DumpNamedLikeTheLog", "x.dmp", false, false},
                      RefusalCase{"DumpNamedLikeTheLogWithTlm", "x.dmp", true, false},
                      RefusalCase{"TlmNamedLikeTheLog", "x.tlm", true, false},
                      RefusalCase{"KeptTlmIsTheLog", "a.tlm", false, true}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(DecodingRun, ALogNamedLikeTheTlmFileIsDecodedWhenNoTlmIsWritten)
{
    const std::string log = folder.write("x.tlm", Kiss(testing::HtrxFrame(1, 0, 0)));
    const RunReport report = RunDecoding(state, log, false);
    EXPECT_EQ(report.outcome, RunReport::Outcome::Decoded);
    EXPECT_EQ(state.store.RecordCount, 1);
}

TEST_F(DecodingRun, ADumpNameThatLinksToTheLogIsRefused)
{
    const Bytes content = Kiss(testing::HtrxFrame(1, 0, 0));
    const std::string log = folder.write("pass.kss", content);
    fs::create_symlink(log, folder / "pass.dmp");

    const RunReport report = RunDecoding(state, log, false);

    EXPECT_EQ(report.outcome, RunReport::Outcome::Refused);
    EXPECT_EQ(ReadFile(log), testing::AsText(content));
}

TEST_F(DecodingRun, ALogThatCannotBeOpenedCreatesNothing)
{
    state.TlmPath = "kept.tlm";
    for (const std::string &log : {folder / "missing.kss", folder.path().string()}) {
        const RunReport report = RunDecoding(state, log, true);
        EXPECT_EQ(report.outcome, RunReport::Outcome::LogUnreadable);
        EXPECT_EQ(report.error.rfind(log + ": ", 0), 0u) << report.error;
        EXPECT_TRUE(folder.names().empty());
        EXPECT_EQ(state.TlmPath, "kept.tlm");
        EXPECT_TRUE(state.createdFiles.empty());
    }
    EXPECT_FALSE(fs::exists(folder.path().string() + ".dmp"));
}

// A folder where an output file should go makes the output fail for every user,
// root included; the run warns and still decodes the whole log.
TEST_F(DecodingRun, OutputsThatCannotBeCreatedAreReportedAndTheLogIsStillDecoded)
{
    const SmallPass pass;
    const std::string log = folder.write("pass.kss", pass.log());
    fs::create_directory(folder / "pass.dmp");
    fs::create_directory(folder / "pass.tlm");

    const RunReport report = RunDecoding(state, log, true);

    ASSERT_EQ(report.outcome, RunReport::Outcome::Decoded);
    EXPECT_EQ(report.warnings,
              (std::vector<std::string>{folder / "pass.tlm" + ": Is a directory",
                                        folder / "pass.dmp" + ": Is a directory"}));
    EXPECT_EQ(state.store.RecordCount, 5);
    EXPECT_EQ(state.store[5].MessageText.substr(0, 3), "BYE");
    EXPECT_TRUE(state.createdFiles.empty());
}

TEST_F(DecodingRun, AKeptTlmFileThatCannotBeOpenedIsReportedOnlyWhenAMessageComes)
{
    state.TlmPath = "/dev/null/old.tlm";
    const std::string quiet = folder.write("quiet.kss", Kiss(testing::HtrxFrame(1, 0, 0)));
    EXPECT_TRUE(RunDecoding(state, quiet, false).warnings.empty());

    const std::string talking = folder.write("talking.kss", SmallPass().log());
    const RunReport report = RunDecoding(state, talking, false);
    EXPECT_EQ(report.warnings, std::vector<std::string>{"/dev/null/old.tlm: Not a directory"});
    EXPECT_EQ(state.store.RecordCount, 5);
}

TEST_F(DecodingRun, AWriteThatFailsDuringTheRunIsReported)
{
    const std::string log = folder.write("pass.kss", SmallPass().log());
    fs::create_symlink("/dev/full", folder / "pass.dmp");

    const RunReport report = RunDecoding(state, log, false);

    ASSERT_EQ(report.outcome, RunReport::Outcome::Decoded);
    EXPECT_EQ(report.warnings,
              std::vector<std::string>{folder / "pass.dmp" + ": No space left on device"});
    EXPECT_EQ(state.store.RecordCount, 5);
}

TEST_F(DecodingRun, AFolderWithoutWritePermissionIsReported)
{
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root writes into read-only folders";
    }
    const std::string log = folder.write("pass.kss", SmallPass().log());
    fs::permissions(folder.path(), fs::perms::owner_write, fs::perm_options::remove);

    const RunReport report = RunDecoding(state, log, true);

    fs::permissions(folder.path(), fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(report.warnings,
              (std::vector<std::string>{folder / "pass.tlm" + ": Permission denied",
                                        folder / "pass.dmp" + ": Permission denied"}));
    EXPECT_EQ(state.store.RecordCount, 5);
}

TEST_F(DecodingRun, TheEmptyDumpOfAnEmptyLogIsRemovedAtExit)
{
    const std::string log = folder.write("empty.kss", Bytes{});
    ASSERT_EQ(RunDecoding(state, log, true).outcome, RunReport::Outcome::Decoded);

    const std::vector<std::string> deleted = DeleteEmptyFiles(state.createdFiles);

    EXPECT_EQ(deleted, std::vector<std::string>{folder / "empty.dmp"});
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"empty.kss", "empty.tlm"}));
}

} // namespace
} // namespace kesta
