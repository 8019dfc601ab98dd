// The receiving station's name in the exports of a decode.
#include "decode_command.h"
#include "station_name.h"
#include "test_logs.h"

#include <gtest/gtest.h>
#include <string>

namespace kesta {
namespace {

using testing::Kiss;
using testing::ReadFile;

struct StationCase
{
    const char *name;
    const char *station;
    const char *csvCell;  // the Station cell of the first row
    const char *jsonPair; // its JSON Lines key and value
    const char *tags;     // the tags of its line-protocol line
};

class StationInExports : public ::testing::TestWithParam<StationCase>
{};

TEST_P(StationInExports, TagsEveryRowAndLine)
{
    const StationCase &c = GetParam();
    testing::ScratchFolder folder;
    DecodeOptions options;
    options.logPath = folder.write(
        "pass.kss", testing::Concat({Kiss(testing::Timestamp(1796119200123)),
                                     Kiss(testing::HtrxFrame(1, 2, 3)),
                                     Kiss(testing::MessageFrame(1, "HELLO"))}));
    options.writeDump = options.writeTlm = false;
    options.csvPath = folder / "pass.csv";
    options.jsonlPath = folder / "pass.jsonl";
    options.influxPath = folder / "pass.lp";
    options.station = c.station;

    const DecodeOutcome outcome = RunDecodeCommand(options);

    ASSERT_EQ(outcome.exitCode, ExitSuccess);
    const std::string csv = ReadFile(folder / "pass.csv");
    EXPECT_EQ(csv.rfind("Record,Time,Station,RawHex,", 0), 0u) << csv;
    EXPECT_NE(csv.find("\r\n1,2026-12-01T10:00:00.123Z," + std::string(c.csvCell) + ",0000"),
              std::string::npos)
        << csv;
    const std::string jsonl = ReadFile(folder / "pass.jsonl");
    EXPECT_NE(jsonl.find("{\"Record\":1,\"Time\":\"2026-12-01T10:00:00.123Z\"," +
                         std::string(c.jsonPair) + ",\"RawHex\""),
              std::string::npos)
        << jsonl;
    const std::string lines = ReadFile(folder / "pass.lp");
    EXPECT_EQ(lines.rfind("kesta1,kind=HTRX," + std::string(c.tags) + " HtrxCounter=1i,", 0), 0u)
        << lines;
    EXPECT_NE(lines.find("\nkesta1,kind=FSS," + std::string(c.tags) + " "), std::string::npos)
        << lines;
}

INSTANTIATE_TEST_SUITE_P(
    Names, StationInExports,
    ::testing::Values(
        StationCase{"Plain", "DL0ABC", "DL0ABC", "\"Station\":\"DL0ABC\"", "station=DL0ABC"},
        StationCase{"EscapedForEachFormat", "Bremen 2, \"roof\"=a\\b",
                    "\"Bremen 2, \"\"roof\"\"=a\\b\"", "\"Station\":\"Bremen 2, \\\"roof\\\"=a\\\\b\"",
                    "station=Bremen\\ 2\\,\\ \"roof\"\\=a\\b"},
        StationCase{"FormulaGuardedInCsv", "=1+1", "'=1+1", "\"Station\":\"=1+1\"",
                    "station=\\=1+1"},
        StationCase{"Utf8AsItIs", "Z\xC3\xBCrich", "Z\xC3\xBCrich",
                    "\"Station\":\"Z\xC3\xBCrich\"", "station=Z\xC3\xBCrich"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(StationName, RefusesWhatNoExportCanCarry)
{
    for (const char *name : {"DL0ABC", "a b", "Bremen, roof"})
        EXPECT_EQ(StationNameProblem(name), std::nullopt) << name;
    for (const auto &[name, problem] :
         {std::pair<std::string, std::string>{"", "empty"}, {"a\nb", "line break"},
          {"a\r", "line break"}, {"a\\", "backslash"}, {"Z\xFCrich", "UTF-8"},
          {"\xC0\xAF", "UTF-8"}, {"\xE2\x82", "UTF-8"}}) {
        const auto found = StationNameProblem(name);
        ASSERT_TRUE(found.has_value()) << name;
        EXPECT_NE(found->find(problem), std::string::npos) << *found;
    }
}

} // namespace
} // namespace kesta
