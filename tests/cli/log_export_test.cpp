// The export of a whole log ("Export Records..." in the windows) against kesta-decode's
// own exports, its refusals by file identity, and what a cancelled or failed export leaves.

#include "decode_command.h"
#include "log_export.h"
#include "log_generator.h"
#include "test_logs.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

namespace kesta {
namespace {

using testing::ReadFile;
using testing::ScratchFolder;
using testing::WriteFile;
namespace fs = std::filesystem;

// A damaged pass of more frames than the windows keep as records.
std::string WriteLog(const ScratchFolder &folder, const std::string &name)
{
    loggen::GeneratorOptions options;
    options.frames = 1500;
    options.seed = 7;
    options.malformed = true;
    options.shortFrames = true;
    const std::vector<std::uint8_t> bytes = loggen::GenerateLog(options);
    const std::string path = folder / name;
    WriteFile(path, std::string(bytes.begin(), bytes.end()));
    return path;
}

LogExportRequest Request(const std::string &log, const std::string &target,
                         RecordExporter::Format format)
{
    LogExportRequest request;
    request.logPath = log;
    request.exportPath = target;
    request.makeSink = RecordExportSink(format);
    request.keptFiles = KeptFilesOf(log);
    return request;
}

struct FormatCase
{
    RecordExporter::Format format;
    const char *name;
};

class LogExportFormats : public ::testing::TestWithParam<FormatCase>
{};

TEST_P(LogExportFormats, IsByteForByteWhatKestaDecodeWrites)
{
    ScratchFolder folder;
    const std::string log = WriteLog(folder, "pass.kss");
    const bool csv = GetParam().format == RecordExporter::Format::Csv;

    DecodeOptions options;
    options.logPath = log;
    options.writeDump = false;
    options.writeTlm = false;
    (csv ? options.csvPath : options.jsonlPath) = folder / "decode.out";
    ASSERT_EQ(RunDecodeCommand(options).exitCode, ExitSuccess);

    const LogExportResult result =
        ExportLog(Request(log, folder / "export.out", GetParam().format));
    ASSERT_EQ(result.outcome, LogExportResult::Outcome::Written) << result.error;
    EXPECT_GT(result.records, 1000u); // every frame, not only those the windows keep
    const std::string expected = ReadFile(folder / "decode.out");
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(ReadFile(folder / "export.out"), expected);
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"decode.out", "export.out", "pass.kss"}));
}

INSTANTIATE_TEST_SUITE_P(Exports, LogExportFormats,
                         ::testing::Values(FormatCase{RecordExporter::Format::Csv, "Csv"},
                                           FormatCase{RecordExporter::Format::JsonLines,
                                                      "JsonLines"}),
                         [](const auto &info) { return std::string(info.param.name); });

struct RefusalCase
{
    const char *name;
    // The export's name, made in the folder of the log "pass.kss"; may create links.
    std::string (*target)(const ScratchFolder &folder);
    const char *reason;
};

class LogExportRefusals : public ::testing::TestWithParam<RefusalCase>
{};

TEST_P(LogExportRefusals, NameTheFileAndTheReasonAndCreateNothing)
{
    ScratchFolder folder;
    const std::string log = WriteLog(folder, "pass.kss");
    WriteFile(folder / "pass.dmp", std::string("old dump"));
    const std::string logBytes = ReadFile(log);
    const std::string target = GetParam().target(folder);
    const auto before = folder.names();

    const LogExportResult result = ExportLog(Request(log, target, RecordExporter::Format::Csv));
    EXPECT_EQ(result.outcome, LogExportResult::Outcome::Refused);
    EXPECT_NE(result.error.find(target), std::string::npos) << result.error;
    EXPECT_NE(result.error.find(GetParam().reason), std::string::npos) << result.error;
    EXPECT_EQ(folder.names(), before);
    EXPECT_EQ(ReadFile(log), logBytes);
    EXPECT_EQ(ReadFile(folder / "pass.dmp"), "old dump");
}

INSTANTIATE_TEST_SUITE_P(
    Names, LogExportRefusals,
    ::testing::Values(
        RefusalCase{"TheLog", [](const ScratchFolder &f) { return f / "pass.kss"; }, "the log"},
        RefusalCase{"TheLogByAnotherSpelling",
                    [](const ScratchFolder &f) { return (f.path() / "." / "pass.kss").string(); },
                    "the log"},
        RefusalCase{"ALinkToTheLog",
                    [](const ScratchFolder &f) {
                        fs::create_symlink(f / "pass.kss", f / "link.csv");
                        return f / "link.csv";
                    },
                    "the log"},
        RefusalCase{"TheDumpFile", [](const ScratchFolder &f) { return f / "pass.dmp"; },
                    "dump file"},
        RefusalCase{"AHardLinkOfTheDumpFile",
                    [](const ScratchFolder &f) {
                        fs::create_hard_link(f / "pass.dmp", f / "other.csv");
                        return f / "other.csv";
                    },
                    "dump file"},
        RefusalCase{"TheTlmFileNotYetWritten",
                    [](const ScratchFolder &f) { return f / "pass.tlm"; }, "TLM file"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(LogExport, ACancelledExportKeepsTheEarlierFileAndLeavesNoTemporary)
{
    ScratchFolder folder;
    const std::string log = WriteLog(folder, "pass.kss");
    WriteFile(folder / "records.csv", std::string("earlier export"));
    ReadControl control;
    control.cancel = [] { return true; };

    const LogExportResult result =
        ExportLog(Request(log, folder / "records.csv", RecordExporter::Format::Csv), control);
    EXPECT_EQ(result.outcome, LogExportResult::Outcome::Cancelled);
    EXPECT_EQ(ReadFile(folder / "records.csv"), "earlier export");
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"pass.kss", "records.csv"}));
}

TEST(LogExport, AnUnreadableLogOrFolderFailsWithTheReasonAndCreatesNothing)
{
    ScratchFolder folder;
    const std::string log = WriteLog(folder, "pass.kss");

    LogExportResult result = ExportLog(
        Request(folder / "missing.kss", folder / "records.csv", RecordExporter::Format::Csv));
    EXPECT_EQ(result.outcome, LogExportResult::Outcome::Failed);
    EXPECT_NE(result.error.find("missing.kss"), std::string::npos) << result.error;

    result =
        ExportLog(Request(log, folder / "no-such-folder/records.csv", RecordExporter::Format::Csv));
    EXPECT_EQ(result.outcome, LogExportResult::Outcome::Failed);
    EXPECT_NE(result.error.find("records.csv"), std::string::npos) << result.error;
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"pass.kss"}));
}

} // namespace
} // namespace kesta
