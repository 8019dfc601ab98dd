#include "cleanup.h"
#include "decoding_run.h"
#include "output_file.h"
#include "test_logs.h"
#include "value_text.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
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
    EXPECT_EQ(report.load.reader.rejectedFrames, 2u);
    EXPECT_EQ(state.createdFiles,
              (std::vector<std::string>{folder / "pass1.tlm", folder / "pass1.dmp"}));
    EXPECT_EQ(ReadFile(log), testing::AsText(pass.log()));
}

// A log's name may hold any byte but '/' and NUL; the header stays four lines.
TEST_F(DecodingRun, ControlCharactersInTheLogNameAreWrittenEscaped)
{
    const std::pair<std::string, std::string> names[] = {
        {"two\nlines.kss", "two\\nlines.kss"},
        {"cr\r\ttab.kss", "cr\\r\\ttab.kss"},
        {"bell\x07"
         "del\x7f.kss",
         "bell\\x07"
         "del\\x7F.kss"},
        {"plain \xc3\xa9"
         "t\xc3\xa9.kss",
         "plain \xc3\xa9"
         "t\xc3\xa9.kss"},
    };
    for (const auto &[name, written] : names) {
        const std::string log = folder.write(name, SmallPass().log());
        ASSERT_EQ(RunDecoding(state, log, true).outcome, RunReport::Outcome::Decoded) << name;
        const std::string tlm = ReadFile(fs::path(log).replace_extension(".tlm"));
        EXPECT_EQ(tlm.substr(0, tlm.find("\r\n\r\n") + 4), TlmHeader(folder / written)) << name;
    }
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

TEST_F(DecodingRun, TheTlmHeaderNamesALogGivenRelativelyByItsFullPath)
{
    const SmallPass pass;
    const std::string log = folder.write("pass.kss", pass.log());
    const fs::path before = fs::current_path();
    fs::current_path(folder.path());

    const RunReport report = RunDecoding(state, "pass.kss", true);

    fs::current_path(before);
    ASSERT_EQ(report.outcome, RunReport::Outcome::Decoded) << report.error;
    EXPECT_EQ(ReadFile(folder / "pass.tlm"), TlmHeader(log) + pass.messages());
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
    EXPECT_EQ(report.load.framesBeyondLimit, 3u);
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

// A file size limit makes the dump's writes fail part way for every user, root
// included. The run warns, keeps the earlier dump whole and never points to it.
TEST_F(DecodingRun, AWriteThatFailsDuringTheRunIsReportedAndTheEarlierDumpKept)
{
    const SmallPass pass;
    const std::string log = folder.write("pass.kss", Concat({pass.log(), Kiss(Bytes(600, 1))}));
    WriteFile(folder / "pass.dmp", std::string("earlier dump\r\n"));

    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 100;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const RunReport report = RunDecoding(state, log, false);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    ASSERT_EQ(report.outcome, RunReport::Outcome::Decoded);
    EXPECT_EQ(report.warnings, std::vector<std::string>{folder / "pass.dmp" + ": File too large"});
    EXPECT_FALSE(report.dumpWritten);
    EXPECT_EQ(state.store.RecordCount, 5);
    EXPECT_EQ(ReadFile(folder / "pass.dmp"), "earlier dump\r\n");
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"pass.dmp", "pass.kss"}));
    const std::optional<RunMessage> message = RunSummary(report, state.DmpPath);
    ASSERT_TRUE(message);
    EXPECT_EQ(message->severity, RunMessage::Severity::Warning);
    EXPECT_NE(message->text.find("1 frame longer than 512 bytes dropped"), std::string::npos)
        << message->text;
    EXPECT_EQ(message->text.find("Every accepted frame"), std::string::npos) << message->text;
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

// Only files this program made are removed at exit: an empty dump that was there
// before the run (the user's, or an earlier program's) stays.
// At exit, what a run made and never filled goes: an empty dump, a TLM file without
// a message. A file that was there before the run stays, whatever it holds.
TEST_F(DecodingRun, UnfilledFilesAreRemovedAtExitOnlyWhenTheRunMadeThem)
{
    const std::string log = folder.write("empty.kss", Bytes{});
    const std::string kept = folder.write("pe.kss", Bytes{});
    const std::string full = folder.write("full.kss", SmallPass().log());
    WriteFile(folder / "pe.dmp", std::string());
    WriteFile(folder / "pe.tlm", std::string("a user's"));
    ASSERT_EQ(RunDecoding(state, log, true).outcome, RunReport::Outcome::Decoded);
    ASSERT_EQ(RunDecoding(state, kept, true).outcome, RunReport::Outcome::Decoded);
    ASSERT_EQ(RunDecoding(state, full, true).outcome, RunReport::Outcome::Decoded);
    ASSERT_EQ(ReadFile(folder / "pe.tlm"), TlmHeader(kept));

    const std::vector<std::string> deleted = DeleteEmptyFiles(state.createdFiles);

    EXPECT_EQ(deleted, (std::vector<std::string>{folder / "empty.tlm", folder / "empty.dmp"}));
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"empty.kss", "full.dmp", "full.kss",
                                                        "full.tlm", "pe.dmp", "pe.kss", "pe.tlm"}));
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

// A run stopped part way leaves the earlier files exactly as they were and no
// temporary behind, whether it writes a new TLM file or appends to a kept one.
TEST_F(DecodingRun, ACancelledRunKeepsEveryEarlierFile)
{
    const SmallPass pass;
    const std::string log = folder.write("w.kss", pass.log());
    ASSERT_EQ(RunDecoding(state, log, true).outcome, RunReport::Outcome::Decoded);
    const std::string dump = ReadFile(folder / "w.dmp");
    const std::string tlm = ReadFile(folder / "w.tlm");
    Bytes longer; // more than one block, so that messages reach the outputs first
    for (const Bytes one = pass.log(); longer.size() < (3u << 20) / 2;)
        longer.insert(longer.end(), one.begin(), one.end());
    WriteFile(log, longer);

    for (const bool writeTlm : {true, false}) {
        int asked = 0;
        ReadControl control;
        control.cancel = [&asked] { return ++asked > 2; }; // after the first block
        RunResult result = ExecuteRun({log, writeTlm, folder / "w.tlm", {}}, control);
        EXPECT_EQ(result.report.outcome, RunReport::Outcome::Cancelled);
        EXPECT_FALSE(RunSummary(result.report, folder / "w.dmp"));
        ApplyRun(state, result);
        EXPECT_EQ(ReadFile(folder / "w.dmp"), dump);
        EXPECT_EQ(ReadFile(folder / "w.tlm"), tlm);
        EXPECT_TRUE(TemporariesIn(folder).empty());
        EXPECT_EQ(state.store.RecordCount, 5);
    }
}

// A symbolic link where an output goes is replaced by the new file; the file it
// points to is never written.
// Cancel ends a run whose dump is a FIFO that nobody reads from: the wait for a reader
// asks the cancel, and the run's TLM temporary goes.
TEST_F(DecodingRun, CancelEndsTheWaitForAFifosReader)
{
    const std::string log = folder.write("f.kss", SmallPass().log());
    ASSERT_EQ(::mkfifo((folder / "f.dmp").c_str(), 0600), 0);
    int asked = 0;
    ReadControl control;
    control.cancel = [&asked] { return ++asked > 2; };

    const RunResult result = ExecuteRun({log, true, "", {}}, control);

    EXPECT_EQ(result.report.outcome, RunReport::Outcome::Cancelled);
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"f.dmp", "f.kss"}));
}

// A link to a regular file is replaced; a link to a device is written through.
TEST_F(DecodingRun, ALinkToAFileIsReplacedAndALinkToADeviceWrittenThrough)
{
    const SmallPass pass;
    const std::string log = folder.write("a.kss", pass.log());
    WriteFile(folder / "victim.txt", std::string("keep me"));
    fs::create_symlink("victim.txt", folder / "a.dmp");
    fs::create_symlink("/dev/full", folder / "a.tlm");

    const RunReport report = RunDecoding(state, log, true);

    ASSERT_EQ(report.outcome, RunReport::Outcome::Decoded);
    EXPECT_EQ(report.warnings,
              std::vector<std::string>{folder / "a.tlm" + ": No space left on device"});
    EXPECT_EQ(ReadFile(folder / "victim.txt"), "keep me");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(folder / "a.dmp")));
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(folder / "a.tlm")));
    EXPECT_EQ(ReadFile(folder / "a.dmp"), pass.dump());
}

// A temporary left by a process that was killed is removed by the next run that
// writes into its folder, whatever output it was for; one of a process that is
// still running, one still locked by its writer and files of other names are not
// touched.
TEST_F(DecodingRun, TemporariesOfDeadProcessesAreRemovedByTheNextRun)
{
    const long deadPid = 4999999; // above the kernel's highest process id
    ASSERT_TRUE(::kill(static_cast<pid_t>(deadPid), 0) != 0 && errno == ESRCH);
    const std::string log = folder.write("x.kss", SmallPass().log());
    const std::string dead = OutputFile::TemporaryName(folder / "x.dmp", deadPid);
    const std::string deadOther = OutputFile::TemporaryName(folder / "other.csv", deadPid);
    const std::string live = OutputFile::TemporaryName(folder / "x.dmp", ::getppid());
    const std::string locked = OutputFile::TemporaryName(folder / "locked.csv", deadPid);
    const std::vector<std::string> notOurs{folder / "x.4999999.kesta-part",
                                           folder / ".x.49a9.kesta-part",
                                           folder / ".4999999.kesta-part"};
    for (const std::string &path : {dead, deadOther, live, locked})
        WriteFile(path, std::string("half a file"));
    for (const std::string &path : notOurs)
        WriteFile(path, std::string("a user's"));
    ASSERT_EQ(fs::path(dead).filename(), ".x.dmp.4999999.kesta-part");
    // Its writer runs in another pid namespace, say: the lock tells.
    const int lockFd = ::open(locked.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(lockFd, LOCK_EX), 0);

    ASSERT_EQ(RunDecoding(state, log, false).outcome, RunReport::Outcome::Decoded);
    ::close(lockFd);

    EXPECT_FALSE(fs::exists(dead));
    EXPECT_FALSE(fs::exists(deadOther));
    for (const std::string &path : notOurs)
        EXPECT_TRUE(fs::exists(path)) << path;
    EXPECT_EQ(ReadFile(live), "half a file");
    EXPECT_EQ(ReadFile(locked), "half a file");
}

struct SummaryCase
{
    const char *name;
    RunReport report;
    std::optional<RunMessage::Severity> severity; // nullopt: no message
    std::vector<std::string> contains;
    std::vector<std::string> lacks;
};

RunReport Report(RunReport::Outcome outcome, std::vector<std::string> warnings,
                 KissReaderStats reader, std::uint64_t beyondLimit, bool dumpWritten)
{
    RunReport r;
    r.outcome = outcome;
    r.error = outcome == RunReport::Outcome::Decoded ? "" : "/logs/p.kss: No such file";
    r.warnings = std::move(warnings);
    r.load.reader = reader;
    r.load.framesBeyondLimit = beyondLimit;
    r.load.firstBeyondLimit = beyondLimit ? 70000 : NoOffset;
    r.dumpWritten = dumpWritten;
    r.inputPath = "/logs/p.kss";
    r.totals.frames = r.totals.htrx = 400;
    r.load.inputBytes = r.load.knownFrameBytes = 40000;
    return r;
}

RunReport NotALog(std::uint64_t frames, std::uint64_t bytes, std::uint64_t known)
{
    RunReport r = Report(RunReport::Outcome::Decoded, {}, {}, 0, true);
    r.totals.frames = frames;
    r.totals.htrx = std::min<std::uint64_t>(frames, 1);
    r.load.inputBytes = bytes;
    r.load.knownFrameBytes = known;
    return r;
}

KissReaderStats Timestamps()
{
    KissReaderStats s;
    s.rejectedFrames = s.timestampFrames = 4;
    s.first.timestamp = 1;
    return s;
}

KissReaderStats Oversized()
{
    KissReaderStats s = Timestamps();
    s.oversizedFrames = 1;
    s.first.oversized = 78;
    return s;
}

const std::string EveryFrame = "Every accepted frame is in the dump file /logs/p.dmp.";
const std::string OversizedLine = "1 frame longer than 512 bytes dropped, at offset 78";

class RunSummaryMessage : public ::testing::TestWithParam<SummaryCase>
{};

TEST_P(RunSummaryMessage, SaysWhatHappenedAndOnlyThat)
{
    const SummaryCase &c = GetParam();
    const std::optional<RunMessage> message = RunSummary(c.report, "/logs/p.dmp");
    ASSERT_EQ(message.has_value(), c.severity.has_value()) << (message ? message->text : "");
    if (!message)
        return;
    EXPECT_EQ(message->severity, *c.severity) << message->text;
    for (const std::string &text : c.contains)
        EXPECT_NE(message->text.find(text), std::string::npos) << message->text;
    for (const std::string &text : c.lacks)
        EXPECT_EQ(message->text.find(text), std::string::npos) << message->text;
}

using Outcome = RunReport::Outcome;
using Severity = RunMessage::Severity;
const std::string DumpFull = "/logs/p.dmp: No space left on device";

INSTANTIATE_TEST_SUITE_P(
    Runs, RunSummaryMessage,
    ::testing::Values(
        SummaryCase{"Clean", Report(Outcome::Decoded, {}, {}, 0, true), std::nullopt, {}, {}},
        SummaryCase{"EmptyFile",
                    NotALog(0, 0, 0),
                    Severity::Warning,
                    {"/logs/p.kss is empty: it holds no frame."},
                    {"The log was decoded"}},
        SummaryCase{"MostlyNotFrames",
                    NotALog(68, 23000, 1200),
                    Severity::Warning,
                    {"/logs/p.kss is mostly not KISS frames of known kinds (such frames are 5% of its"},
                    {"The log was decoded"}},
        SummaryCase{"TimestampsOnly",
                    Report(Outcome::Decoded, {}, Timestamps(), 0, true),
                    std::nullopt,
                    {},
                    {}},
        SummaryCase{"Oversized",
                    Report(Outcome::Decoded, {}, Oversized(), 0, true),
                    Severity::Information,
                    {OversizedLine, "4 timestamp frames", EveryFrame},
                    {}},
        SummaryCase{
            "BeyondTheLimit",
            Report(Outcome::Decoded, {}, {}, 3, true),
            Severity::Information,
            {"3 frames beyond record 1000 (dump and TLM only), first at offset 70000", EveryFrame},
            {}},
        SummaryCase{"OversizedButTheDumpFailed",
                    Report(Outcome::Decoded, {DumpFull}, Oversized(), 0, false),
                    Severity::Warning,
                    {DumpFull, OversizedLine},
                    {"Every accepted frame"}},
        SummaryCase{"BeyondTheLimitButTheDumpFailed",
                    Report(Outcome::Decoded, {DumpFull}, {}, 3, false),
                    Severity::Warning,
                    {DumpFull},
                    {"Every accepted frame"}},
        SummaryCase{"AWarning",
                    Report(Outcome::Decoded, {"/logs/p.tlm: Permission denied"}, {}, 0, true),
                    Severity::Warning,
                    {"/logs/p.tlm: Permission denied"},
                    {"Every accepted"}},
        SummaryCase{"Unreadable",
                    Report(Outcome::LogUnreadable, {}, {}, 0, false),
                    Severity::Error,
                    {"/logs/p.kss: No such file"},
                    {}},
        SummaryCase{"Cancelled",
                    Report(Outcome::Cancelled, {}, Oversized(), 0, false),
                    std::nullopt,
                    {},
                    {}}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
} // namespace kesta
