// Limits, passes and the pass report of kesta-decode, through RunDecodeCommand.
#include "decode_command.h"
#include "test_logs.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

namespace kesta {
namespace {

using testing::Bytes;
using testing::Kiss;
using testing::ReadFile;
using testing::ScratchFolder;

constexpr std::int64_t T0 = 1796119200000; // 2026-12-01T10:00:00Z

// RSSI is 32.946 - 0.289 * byte: byte 100 reads 4.046, byte 120 reads -1.734.
constexpr const char *RssiLimits =
    "[Rssi]\nwarning = { low = 4.046 }\ncritical = { low = -1.734 }\n";

std::size_t Occurrences(const std::string &text, const std::string &what)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

class HealthCommand : public ::testing::Test
{
protected:
    // Two passes: records 1 to 5, then 6 and 7 ten minutes later. The message frame
    // (record 2) carries no RSSI: its record's RSSI of 0 must not count as a warning.
    HealthCommand()
    {
        auto at = [](std::int64_t ms, const Bytes &frame) {
            return testing::Concat(
                {Kiss(testing::Timestamp(static_cast<std::uint64_t>(T0 + ms))), Kiss(frame)});
        };
        log_ = folder_.write(
            "pass.kss",
            testing::Concat({at(0, testing::HtrxFrame(1, 0, 50)),
                             at(1000, testing::MessageFrame(1, "HELLO")),
                             at(2000, testing::HtrxFrame(2, 0, 100)),   // on the warning bound
                             at(3000, testing::HtrxFrame(3, 0, 101)),   // warning
                             at(4000, testing::HtrxFrame(4, 0, 120)),   // on the critical bound
                             at(604000, testing::HtrxFrame(5, 0, 121)), // critical, new pass
                             at(606000, testing::HtrxFrame(6, 0, 100))}));
        testing::WriteFile(folder_ / "limits.toml", std::string(RssiLimits));
    }

    DecodeOptions options() const
    {
        DecodeOptions o;
        o.logPath = log_;
        o.writeDump = false;
        o.writeTlm = false;
        o.limitsPath = folder_ / "limits.toml";
        return o;
    }

    ScratchFolder folder_;
    std::string log_;
};

TEST_F(HealthCommand, ReportCountsRecordsOutsideLimitsPerFieldAndPass)
{
    DecodeOptions o = options();
    o.reportPath = folder_ / "report.json";
    ASSERT_EQ(RunDecodeCommand(o).exitCode, ExitSuccess);

    const std::string report = ReadFile(folder_ / "report.json");
    const std::string limits =
        ",\"limits\":{\"Rssi\":{\"warning\":2,\"critical\":1,"
        "\"firstWarning\":{\"record\":4,\"time\":\"2026-12-01T10:00:03.000Z\","
        "\"value\":3.757},\"firstCritical\":{\"record\":6,\"time\":"
        "\"2026-12-01T10:10:04.000Z\",\"value\":-2.023}}}";
    const std::string passes =
        ",\"passes\":[{\"first\":1,\"last\":5,\"start\":\"2026-12-01T10:00:00.000Z\",\"end\":"
        "\"2026-12-01T10:00:04.000Z\",\"frames\":{\"HTRX\":4,\"FSS\":1,\"FSS (Hi)\":0},"
        "\"limits\":{\"Rssi\":{\"warning\":2,\"critical\":0,\"firstWarning\":{\"record\":4,"
        "\"time\":\"2026-12-01T10:00:03.000Z\",\"value\":3.757},\"firstCritical\":null}}},"
        "{\"first\":6,\"last\":7,\"start\":\"2026-12-01T10:10:04.000Z\",\"end\":"
        "\"2026-12-01T10:10:06.000Z\",\"frames\":{\"HTRX\":2,\"FSS\":0,\"FSS (Hi)\":0},"
        "\"limits\":{\"Rssi\":{\"warning\":0,\"critical\":1,\"firstWarning\":null,"
        "\"firstCritical\":{\"record\":6,\"time\":\"2026-12-01T10:10:04.000Z\",\"value\":-2.023}}}}"
        "]}"
        "\n";
    EXPECT_NE(report.find(limits + passes), std::string::npos) << report;
}

TEST_F(HealthCommand, FailOnGivesStatus3OnlyWhenALevelIsReached)
{
    for (const auto &[level, text, expected] :
         {std::tuple{LimitLevel::Warning, RssiLimits, ExitLimits},
          std::tuple{LimitLevel::Critical, RssiLimits, ExitLimits},
          std::tuple{LimitLevel::Critical, "[Rssi]\nwarning = { low = 4.046 }\n", ExitSuccess},
          std::tuple{LimitLevel::Warning, "[Rssi]\nwarning = { low = -2.023 }\n", ExitSuccess}}) {
        testing::WriteFile(folder_ / "limits.toml", std::string(text));
        DecodeOptions o = options();
        o.failOn = level;
        EXPECT_EQ(RunDecodeCommand(o).exitCode, expected) << text << LevelName(level);
    }
}

TEST_F(HealthCommand, ExportsAreTheSameWithLimits)
{
    DecodeOptions plain = options();
    plain.limitsPath.reset();
    plain.jsonlPath = folder_ / "plain.jsonl";
    DecodeOptions checked = options();
    checked.jsonlPath = folder_ / "checked.jsonl";
    checked.csvPath = folder_ / "checked.csv";
    plain.csvPath = folder_ / "plain.csv";
    ASSERT_EQ(RunDecodeCommand(plain).exitCode, ExitSuccess);
    ASSERT_EQ(RunDecodeCommand(checked).exitCode, ExitSuccess);
    EXPECT_EQ(ReadFile(folder_ / "plain.jsonl"), ReadFile(folder_ / "checked.jsonl"));
    EXPECT_EQ(ReadFile(folder_ / "plain.csv"), ReadFile(folder_ / "checked.csv"));
}

TEST_F(HealthCommand, HtmlReportChartsEachLimitedFieldPerPassAndNeedsNothingElse)
{
    DecodeOptions o = options();
    o.htmlReportPath = folder_ / "report.html";
    o.reportFields = {"Rssi", "HtxCurrent"};
    o.station = "Hill <north>";
    ASSERT_EQ(RunDecodeCommand(o).exitCode, ExitSuccess);

    const std::string html = ReadFile(folder_ / "report.html");
    EXPECT_NE(html.find("<th>Station</th><td>Hill &lt;north&gt;</td>"), std::string::npos);
    EXPECT_EQ(Occurrences(html, "<h2>Pass "), 2u);
    EXPECT_EQ(Occurrences(html, "<svg "), 4u);
    EXPECT_EQ(Occurrences(html, "l4.5,8h-9z"), 2u);                    // warning marks
    EXPECT_EQ(Occurrences(html, "width=\"8\" height=\"8\" fill"), 1u); // critical marks
    EXPECT_NE(html.find("critical: -2.023 dbuV below -1.734"), std::string::npos);
    for (const char *external : {"<script", "src=", "href=", "@import", "url("})
        EXPECT_EQ(html.find(external), std::string::npos) << external;
}

// A log without reception times is one pass, charted over record numbers.
TEST_F(HealthCommand, HtmlReportOfALogWithoutTimesChartsOverRecords)
{
    DecodeOptions o = options();
    o.logPath = folder_.write("untimed.kss",
                              Kiss({testing::HtrxFrame(1, 0, 50), testing::HtrxFrame(2, 0, 101),
                                    testing::HtrxFrame(3, 0, 121)}));
    o.htmlReportPath = folder_ / "untimed.html";
    o.reportPath = folder_ / "untimed.json";
    ASSERT_EQ(RunDecodeCommand(o).exitCode, ExitSuccess);

    const std::string html = ReadFile(folder_ / "untimed.html");
    EXPECT_EQ(html.find("Station"), std::string::npos);
    EXPECT_EQ(Occurrences(html, "<svg "), 1u);
    EXPECT_NE(html.find(">Record</text>"), std::string::npos);
    EXPECT_EQ(html.find("Reception time"), std::string::npos);
    EXPECT_NE(
        ReadFile(folder_ / "untimed.json").find(",\"passes\":[{\"first\":1,\"last\":3,\"frames\""),
        std::string::npos);
}

// The report as a reader sees it: Debian's Chromium, headless, loads it without a
// console message and draws it.
TEST_F(HealthCommand, HtmlReportLoadsInChromiumWithoutConsoleMessages)
{
    if (std::system("command -v chromium >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "chromium is not installed";
    DecodeOptions o = options();
    o.htmlReportPath = folder_ / "report.html";
    ASSERT_EQ(RunDecodeCommand(o).exitCode, ExitSuccess);

    const std::string command =
        "chromium --headless --no-sandbox --disable-gpu --enable-logging=stderr --v=0 "
        "--user-data-dir=" +
        folder_ / "profile" + " --window-size=390,800 --screenshot=" + folder_ / "shot.png" +
        " file://" + folder_ / "report.html" + " 2>" + folder_ / "log";
    ASSERT_EQ(std::system(command.c_str()), 0) << ReadFile(folder_ / "log");
    EXPECT_EQ(ReadFile(folder_ / "log").find(":CONSOLE"), std::string::npos)
        << ReadFile(folder_ / "log");
    EXPECT_GT(ReadFile(folder_ / "shot.png").size(), 1000u);
}

} // namespace
} // namespace kesta
