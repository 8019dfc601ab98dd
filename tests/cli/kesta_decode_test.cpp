// Runs the built kesta-decode program as a user would and checks its exit status
// and what it prints.
#include "log_generator.h"
#include "telemetry_record.h"
#include "test_logs.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>

namespace kesta {
namespace {

using testing::Bytes;
using testing::Kiss;
using testing::ScratchFolder;

struct ProgramRun
{
    int exitCode = -1;
    std::string output; // standard output and standard error together
};

ProgramRun RunProgram(const std::string &arguments)
{
    const std::string command = std::string(KESTA_DECODE_PATH) + " " + arguments + " 2>&1";
    ProgramRun run;
    std::FILE *pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        ADD_FAILURE() << "cannot run " << command;
        return run;
    }
    std::array<char, 4096> buffer{};
    std::size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        run.output.append(buffer.data(), n);
    }
    const int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

struct CommandCase
{
    const char *name;
    const char *arguments; // "LOG" stands for a small valid log, "DIR" for the scratch folder
    int exitCode;
    const char *expectedOutput; // must appear in the output
};

class KestaDecode : public ::testing::TestWithParam<CommandCase>
{};

TEST_P(KestaDecode, ExitsWithTheRightStatus)
{
    const CommandCase &c = GetParam();
    ScratchFolder folder;
    testing::WriteFile(
        folder / "pass.kss",
        testing::Concat({Kiss(testing::Timestamp(1796119200123)), Kiss(testing::HtrxFrame(1, 0, 0)),
                         Kiss(testing::MessageFrame(1, "HELLO"))}));
    testing::WriteFile(folder / "x.dmp", Kiss(testing::HtrxFrame(1, 0, 0)));
    // The log's RSSI is 32.946: in warning.
    testing::WriteFile(folder / "limits.toml", std::string("[Rssi]\nwarning = { high = 30 }\n"));
    testing::WriteFile(folder / "empty.kss", std::string());
    testing::WriteFile(folder / "bad.toml", std::string("[Rssi]\nwarning = [1, 2]\n[Rsi]\n"));
    auto substituted = [&folder](std::string text) {
        for (const auto &[token, value] :
             {std::pair<std::string, std::string>{"LOG", folder / "pass.kss"},
              {"DIR", folder.path().string()}}) {
            for (std::size_t at; (at = text.find(token)) != std::string::npos;) {
                text.replace(at, token.size(), value);
            }
        }
        return text;
    };

    const ProgramRun run = RunProgram(substituted(c.arguments));

    EXPECT_EQ(run.exitCode, c.exitCode) << run.output;
    EXPECT_NE(run.output.find(substituted(c.expectedOutput)), std::string::npos) << run.output;
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, KestaDecode,
    ::testing::Values(
        CommandCase{"Help", "--help", 0, "--jsonl"},
        CommandCase{"Version", "--version", 0, "kesta-decode 1.2.0\n"},
        CommandCase{"Decodes", "LOG", 0, "HTRX: 1    FSS: 1    FSS (Hi): 0\nRecords: 2    "},
        CommandCase{"Quiet", "--quiet LOG", 0, ""},
        // Not a count: said even with --quiet, and the outputs are written as ever.
        CommandCase{"EmptyLog", "--quiet DIR/empty.kss", 0,
                    "kesta-decode: DIR/empty.kss is empty: it holds no frame\n"},
        CommandCase{"JsonLinesToStandardOutput", "--quiet --no-dump --no-tlm --jsonl - LOG", 0,
                    "{\"Record\":1,\"Time\":\"2026-12-01T10:00:00.123Z\",\"RawHex\":"},
        CommandCase{"MissingLog", "DIR/missing.kss", 1,
                    "DIR/missing.kss: No such file or directory"},
        CommandCase{"LogIsItsOwnDump", "DIR/x.dmp", 2, "would overwrite the log itself"},
        CommandCase{"UnwritableExport", "--csv /dev/null/out.csv LOG", 1,
                    "/dev/null/out.csv: Not a directory"},
        CommandCase{"EmptyExportName", "--csv '' LOG", 2, "an output file name is empty"},
        CommandCase{"NoLog", "", 2, "is required"},
        CommandCase{"UnknownOption", "--bogus LOG", 2, "--bogus"},
        CommandCase{"TwoLogs", "LOG LOG", 2, ""},
        CommandCase{"BothExportsToStandardOutput", "--csv - --jsonl - LOG", 2,
                    "standard output: named as both the CSV file and the JSON Lines file"},
        CommandCase{"ConnectPortOutOfRange", "--connect localhost:70000 DIR/new.kss", 2,
                    "the port must be a number from 1 to 65535"},
        CommandCase{"ConnectWithoutHost", "--connect 8100 DIR/new.kss", 2, "expected HOST:PORT"},
        CommandCase{"ConnectRefused", "--connect 127.0.0.1:1 DIR/new.kss", 1,
                    "127.0.0.1:1: Connection refused"},
        CommandCase{"ConnectToAnExistingRecording", "--connect 127.0.0.1:1 LOG", 1,
                    "the recording exists already"},
        CommandCase{"ConnectExportIsTheRecording",
                    "--connect 127.0.0.1:1 --csv DIR/new.kss DIR/new.kss", 2,
                    "its CSV file DIR/new.kss would overwrite the log itself"},
        CommandCase{"ConnectExportNameEmpty", "--connect 127.0.0.1:1 --jsonl '' DIR/new.kss", 2,
                    "an output file name is empty"},
        CommandCase{"EmptyStation", "--station '' LOG", 2, "--station: the station name is empty"},
        CommandCase{"StationWithALineBreak", "--station \"$(printf 'a\\nb')\" LOG", 2,
                    "--station: the station name holds a line break"},
        CommandCase{"MergeHelp", "merge --help", 0, "--heard-by"},
        CommandCase{"MergeWithoutOutput", "merge LOG", 2, "--output"},
        CommandCase{"MergeNegativeWindow", "merge --window -1 -o DIR/m.kss LOG", 2, "--window"},
        CommandCase{"ReconnectWithoutConnect", "--reconnect LOG", 2, "--connect"},
        CommandCase{"Limits", "--limits DIR/limits.toml LOG", 0,
                    "Rssi: 1 in warning, first record 1 at 2026-12-01T10:00:00.123Z; 0 in "
                    "critical\nPass 1: records 1 to 2, "},
        CommandCase{"FailOnWarning", "--limits DIR/limits.toml --fail-on warning LOG", 3,
                    "records reached the warning level"},
        CommandCase{"FailOnCritical", "--limits DIR/limits.toml --fail-on critical LOG", 0, ""},
        CommandCase{"FailOnWithoutLimits", "--fail-on warning LOG", 2, "--limits"},
        CommandCase{"BadLimitsFile", "--limits DIR/bad.toml LOG", 1,
                    "DIR/bad.toml:3: unknown field \"Rsi\""},
        CommandCase{"MissingLimitsFile", "--limits DIR/none.toml LOG", 1,
                    "DIR/none.toml: No such file or directory"},
        CommandCase{"HtmlReportOverLimits",
                    "--limits DIR/limits.toml --html-report DIR/./limits.toml LOG", 2,
                    "not written: it is the limits file"},
        CommandCase{"HtmlReportOverLog", "--html-report DIR/pass.kss LOG", 2,
                    "would overwrite the log itself"},
        CommandCase{"ReportFieldNotNumeric", "--html-report DIR/r.html --report-fields RawHex LOG",
                    2, "\"RawHex\" is not a numeric field"},
        CommandCase{"PassGapZero", "--pass-gap 0 LOG", 2, "--pass-gap"},
        CommandCase{"LimitsWithConnect", "--limits DIR/limits.toml --connect 127.0.0.1:1 DIR/n.kss",
                    2, "not with --connect"},
        // Names of standard output and error are written through, as "-" is. (Names under
        // /proc: were the rule ever lost, a run as root would replace /dev/stdout.)
        CommandCase{"CsvToDevFd", "--quiet --no-dump --no-tlm --csv /dev/fd/1 LOG", 0,
                    "Record,Time,RawHex,"},
        CommandCase{"JsonLinesToProcSelfFd",
                    "--quiet --no-dump --no-tlm --jsonl /proc/self/fd/1 LOG", 0, "{\"Record\":1,"},
        CommandCase{"LineProtocolToStandardError",
                    "--quiet --no-dump --no-tlm --influx /dev/fd/2 LOG", 0, "kesta1,kind=HTRX "},
        CommandCase{"ReportToStandardError",
                    "--quiet --no-dump --no-tlm --report /proc/self/fd/2 LOG", 0,
                    "{\"records\":2,"},
        CommandCase{"StandardOutputByTwoNames", "--csv - --jsonl /dev/stdout LOG", 2,
                    "/dev/stdout: named as both the CSV file and the JSON Lines file"},
        CommandCase{"ConnectWithCsvToDevStdout",
                    "--connect 127.0.0.1:1 --csv /dev/stdout DIR/new.kss", 1,
                    "127.0.0.1:1: Connection refused"}),
    [](const auto &info) { return std::string(info.param.name); });

// --pass-gap takes seconds or a unit: records two minutes apart are one pass or two.
TEST(KestaDecodePassGap, SplitsAtTheGapGivenWithItsUnit)
{
    ScratchFolder folder;
    testing::WriteFile(
        folder / "pass.kss",
        testing::Concat({Kiss(testing::Timestamp(1796119200000)), Kiss(testing::HtrxFrame(1, 0, 0)),
                         Kiss(testing::Timestamp(1796119320000)),
                         Kiss(testing::HtrxFrame(2, 0, 0))}));
    for (const auto &[gap, passes] : {std::pair{"", 1},
                                      {"--pass-gap 2min", 1},
                                      {"--pass-gap 119", 2},
                                      {"--pass-gap 1m", 2},
                                      {"--pass-gap 0.1h", 1}}) {
        const ProgramRun run =
            RunProgram(std::string("--no-dump --no-tlm ") + gap + " " + (folder / "pass.kss"));
        EXPECT_EQ(run.exitCode, 0) << run.output;
        EXPECT_EQ(run.output.find("Pass " + std::to_string(passes) + ":") != std::string::npos &&
                      run.output.find("Pass " + std::to_string(passes + 1) + ":") ==
                          std::string::npos,
                  true)
            << gap << "\n"
            << run.output;
    }
}

TEST(KestaDecodeQuiet, PrintsNothingOnSuccess)
{
    ScratchFolder folder;
    testing::WriteFile(folder / "pass.kss", Kiss(testing::HtrxFrame(1, 0, 0)));
    const ProgramRun run = RunProgram("--quiet " + (folder / "pass.kss"));
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, "");
}

// A reader of standard output that stops early (`| head`): the decode fails with a
// message instead of dying of SIGPIPE, and leaves no temporary file behind.
TEST(KestaDecodeBrokenPipe, IsReportedAndLeavesNoTemporaryFiles)
{
    ScratchFolder folder;
    Bytes log;
    for (int i = 0; i < 3000; ++i)
        log = testing::Concat({log, Kiss(testing::HtrxFrame(static_cast<std::uint16_t>(i), 0, 0))});
    testing::WriteFile(folder / "pass.kss", log);
    const std::string dir = folder.path().string();
    // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) on a chain of +.
    std::string command = "(";
    for (const std::string &piece :
         {std::string(KESTA_DECODE_PATH), std::string(" --jsonl - "), dir,
          std::string("/pass.kss 2>"), dir, std::string("/err; echo $? >"), dir,
          std::string("/rc) | head -c 1 >/dev/null")})
        command += piece;
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(testing::ReadFile(folder / "rc"), "1\n");
    EXPECT_NE(testing::ReadFile(folder / "err").find("standard output: Broken pipe"),
              std::string::npos);
    for (const auto &entry : std::filesystem::directory_iterator(folder.path()))
        EXPECT_EQ(entry.path().string().find("kesta-part"), std::string::npos) << entry.path();
    EXPECT_FALSE(std::filesystem::exists(folder / "pass.dmp"));
}

struct Interruption
{
    const char *name;
    // A shell script: $K is the program, $D the scratch folder, which holds big.kss (more
    // JSON Lines than a pipe and the output buffer hold). It runs $K in the background,
    // writes its process id to $D/pid and its exit status to $D/rc.
    const char *script;
};

class KestaDecodeInterrupted : public ::testing::TestWithParam<Interruption>
{};

// Whatever an output waits for, SIGINT or SIGTERM ends the decode with 130 and leaves no
// temporary and no new file behind. The scripts wait (bounded) for what each case needs,
// never for a time.
TEST_P(KestaDecodeInterrupted, EndsWith130AndLeavesNothing)
{
    ScratchFolder folder;
    loggen::GeneratorOptions options;
    options.frames = 12000;
    testing::WriteFile(folder / "big.kss", loggen::GenerateLog(options));
    std::string script = "K='";
    for (const std::string &piece :
         {std::string(KESTA_DECODE_PATH), std::string("'; D='"), folder.path().string(),
          std::string("'; "), std::string(GetParam().script)})
        script += piece;

    ASSERT_EQ(std::system(script.c_str()), 0) << script;

    EXPECT_EQ(testing::ReadFile(folder / "rc"), "130\n") << testing::ReadFile(folder / "err");
    const std::vector<std::string> expected{"big.kss", "err", "fifo.csv", "pid", "rc"};
    for (const auto &entry : std::filesystem::directory_iterator(folder.path())) {
        const std::string name = entry.path().filename().string();
        EXPECT_NE(std::find(expected.begin(), expected.end(), name), expected.end()) << name;
    }
}

// Waits for a condition in steps of a tenth of a second, at most 30 s: a condition never
// met lets the test fail instead of hanging.
#define POLL(condition)                                                                            \
    "i=0; until " condition " || [ $i -ge 300 ]; do sleep 0.1; i=$((i+1)); done; "

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Outputs, KestaDecodeInterrupted,
    ::testing::Values(
        // The reader takes one byte and no more: the decode waits to write on.
        Interruption{"TermWhileStandardOutputIsNotRead",
            "( $K --no-dump --no-tlm --jsonl - $D/big.kss 2>$D/err & echo $! >$D/pid; wait $!;"
            "  echo $? >$D/rc ) |"
            "( dd bs=1 count=1 of=/dev/null 2>/dev/null; " POLL("[ -s $D/pid ]")
            "  kill -TERM $(cat $D/pid); " POLL("[ -e $D/rc ]") "cat >/dev/null )"},
        // No reader ever opens the FIFO; the dump and TLM temporaries exist by then.
        Interruption{"IntWhileAFifoHasNoReader",
            "mkfifo $D/fifo.csv; "
            "( $K --csv $D/fifo.csv $D/big.kss 2>$D/err & echo $! >$D/pid; wait $!;"
            "  echo $? >$D/rc ) & "
            POLL("[ -s $D/pid ] && ls -a $D | grep -q 'tlm.*kesta-part'")
            "kill -INT $(cat $D/pid); " POLL("[ -e $D/rc ]") "true"}),
    [](const auto &info) { return std::string(info.param.name); });
// clang-format on

} // namespace
} // namespace kesta

namespace kesta {
namespace {

// Bash offers for --report-fields exactly the numeric fields the option takes: a field
// added to the export is offered too.
TEST(BashCompletion, OffersEveryNumericFieldForReportFields)
{
    std::ifstream file(KESTA_COMPLETION_PATH);
    const std::string text{std::istreambuf_iterator<char>(file), {}};
    const std::string start = "local fields='";
    const std::size_t from = text.find(start);
    ASSERT_NE(from, std::string::npos) << KESTA_COMPLETION_PATH << " has no field list";
    const std::size_t to = text.find('\'', from + start.size());
    std::istringstream words(text.substr(from + start.size(), to - from - start.size()));
    std::set<std::string> offered{std::istream_iterator<std::string>(words), {}};
    std::set<std::string> numeric;
    for (const FieldInfo &info : Fields) {
        if (IsNumeric(info.type))
            numeric.emplace(info.name);
    }
    EXPECT_EQ(offered, numeric);
}

} // namespace
} // namespace kesta
