#include "limits_file.h"
#include "log_health.h"
#include "pass_splitter.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kesta {
namespace {

LimitSet Parsed(const std::string &text)
{
    LimitsFileResult result = ParseLimits(text, "limits.toml");
    EXPECT_TRUE(result.limits) << result.error;
    return result.limits.value_or(LimitSet{});
}

struct LevelCase
{
    const char *name;
    const char *limits;
    Field field;
    double value;
    LimitLevel expected;
};

class LimitLevels : public ::testing::TestWithParam<LevelCase>
{};

TEST_P(LimitLevels, AValueOnABoundIsInside)
{
    const LevelCase &c = GetParam();
    EXPECT_EQ(Parsed(c.limits).levelOf(c.field, c.value), c.expected) << c.value;
}

constexpr const char *Htx = "[HtxCurrent]\nwarning = [0.2, 2.5]\ncritical = [0.1, 3.0]\n";

INSTANTIATE_TEST_SUITE_P(
    Bounds, LimitLevels,
    ::testing::Values(
        LevelCase{"Middle", Htx, Field::HtxCurrent, 1.0, LimitLevel::Ok},
        LevelCase{"OnWarningLow", Htx, Field::HtxCurrent, 0.2, LimitLevel::Ok},
        LevelCase{"OnWarningHigh", Htx, Field::HtxCurrent, 2.5, LimitLevel::Ok},
        LevelCase{"JustBelowWarning", Htx, Field::HtxCurrent, 0.19999, LimitLevel::Warning},
        LevelCase{"JustAboveWarning", Htx, Field::HtxCurrent, 2.50001, LimitLevel::Warning},
        LevelCase{"OnCriticalLow", Htx, Field::HtxCurrent, 0.1, LimitLevel::Warning},
        LevelCase{"OnCriticalHigh", Htx, Field::HtxCurrent, 3.0, LimitLevel::Warning},
        LevelCase{"BelowCritical", Htx, Field::HtxCurrent, 0.09999, LimitLevel::Critical},
        LevelCase{"AboveCritical", Htx, Field::HtxCurrent, 3.00001, LimitLevel::Critical},
        // 0.0109 * 229 reads "2.4961" but is a hair above the double 2.4961.
        LevelCase{"DecodedValueOnBound", "[HtxCurrent]\nwarning = { high = 2.4961 }\n",
                  Field::HtxCurrent, 0.0109 * 229, LimitLevel::Ok},
        LevelCase{"DecodedValueAboveBound", "[HtxCurrent]\nwarning = { high = 2.4961 }\n",
                  Field::HtxCurrent, 0.0109 * 230, LimitLevel::Warning},
        LevelCase{"OneBoundOnly", "[HtxCurrent]\nwarning = { high = 2.5 }\n", Field::HtxCurrent,
                  -1000.0, LimitLevel::Ok},
        LevelCase{"CriticalOnly", "[Angle]\ncritical = { high = 80 }\n", Field::Angle,
                  double(86.5f), LimitLevel::Critical},
        LevelCase{"FloatOnBound", "[Angle]\nwarning = [29.5, 86.5]\n", Field::Angle, double(86.5f),
                  LimitLevel::Ok},
        LevelCase{"FloatTextOnBound", "[Angle]\nwarning = { low = 0.1 }\n", Field::Angle,
                  double(0.1f) - 1e-9, LimitLevel::Ok},
        LevelCase{"IntegerOnBound", "[Threshold]\nwarning = { low = 20 }\n", Field::Threshold, 20.0,
                  LimitLevel::Ok},
        LevelCase{"IntegerBelow", "[Threshold]\nwarning = { low = 20 }\n", Field::Threshold, 19.0,
                  LimitLevel::Warning}),
    [](const auto &info) { return std::string(info.param.name); });

struct BadFile
{
    const char *name;
    const char *text;
    int line;
    const char *reason;
};

class BadLimitsFile : public ::testing::TestWithParam<BadFile>
{};

TEST_P(BadLimitsFile, NamesFileLineAndReason)
{
    const BadFile &c = GetParam();
    const LimitsFileResult result = ParseLimits(c.text, "team.toml");
    ASSERT_FALSE(result.limits);
    const std::string prefix = "team.toml:" + std::to_string(c.line) + ": ";
    EXPECT_EQ(result.error.rfind(prefix, 0), 0u) << result.error;
    EXPECT_NE(result.error.find(c.reason), std::string::npos) << result.error;
}

INSTANTIATE_TEST_SUITE_P(
    Errors, BadLimitsFile,
    ::testing::Values(
        BadFile{"UnknownField", "# x\n[HtxCurent]\nwarning = [0, 1]\n", 2,
                "unknown field \"HtxCurent\""},
        BadFile{"TextField", "[RawHex]\nwarning = [0, 1]\n", 1, "\"RawHex\" is not a numeric"},
        BadFile{"LowAboveHigh", "[Rssi]\n\nwarning = [10, -10]\n", 3, "low 10 is above high -10"},
        BadFile{"LowAboveHighOneTable", "[Rssi]\ncritical = { high = 1, low = 2 }\n", 2,
                "low 2 is above high 1"},
        BadFile{"CriticalInsideWarningLow",
                "[HtxCurrent]\nwarning = [0.2, 2.5]\ncritical = [0.3, 3.0]\n", 3,
                "critical low 0.3 is above warning low 0.2"},
        BadFile{"CriticalInsideWarningHigh",
                "[HtxCurrent]\nwarning = [0.2, 2.5]\ncritical = { high = 2 }\n", 3,
                "critical high 2 is below warning high 2.5"},
        BadFile{"BoundNotANumber", "[Rssi]\nwarning = [\"low\", 3]\n", 2,
                "warning of Rssi low is not a number"},
        BadFile{"NaN", "[Rssi]\nwarning = { high = nan }\n", 2, "high is not a number"},
        BadFile{"OneNumber", "[Rssi]\nwarning = [3]\n", 2, "must be [low, high]"},
        BadFile{"UnknownLevel", "[Rssi]\nwarn = [1, 3]\n", 2, "unknown key \"warn\""},
        BadFile{"UnknownBound", "[Rssi]\nwarning = { hi = 3 }\n", 2, "unknown key \"hi\""},
        BadFile{"NoLevel", "[Rssi]\n", 1, "gives neither warning nor critical"},
        BadFile{"NotATable", "Rssi = 3\n", 1, "must be a table"},
        BadFile{"TomlSyntax", "[Rssi]\nwarning = [1, 2\n", 2, "parsing array"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(LimitBreach, SaysLevelValueUnitAndBound)
{
    const LimitSet limits = Parsed(Htx);
    const double value = 3.21;
    const auto breach = limits.breachOf(Field::HtxCurrent, value);
    ASSERT_TRUE(breach);
    EXPECT_EQ(BreachText(Field::HtxCurrent, value, *breach), "critical: 3.21 mA above 3");
    EXPECT_FALSE(limits.breachOf(Field::HtxCurrent, 2.5));
}

// A record counts once, at its worst field; fields the frame did not write are not looked at.
TEST(LogHealth, CountsEachRecordAtItsWorstLevel)
{
    const LimitSet limits = Parsed("[HtxCurrent]\nwarning = { high = 2 }\ncritical = { high = 3 }\n"
                                   "[TncCurrent]\nwarning = { high = 2 }\n"
                                   "[Angle]\ncritical = { low = 10 }\n");
    LogHealth health(&limits, 300'000, {Field::HtxCurrent});
    auto record = [](double htx, double tnc) {
        TelemetryRecord r;
        r.HtxCurrent = htx;
        r.TncCurrent = tnc;
        r.Written.set(Field::HtxCurrent);
        r.Written.set(Field::TncCurrent);
        return r; // Angle (0) not written: never critical
    };
    health.add(1, record(1, 1), FrameType::Htrx);
    health.add(2, record(2.5, 2.5), FrameType::Htrx); // two fields in warning
    health.add(3, record(3.5, 2.5), FrameType::Htrx); // critical and warning
    health.add(4, TelemetryRecord{}, FrameType::Fss);

    EXPECT_EQ(health.recordsInWarning(), 1u);
    EXPECT_EQ(health.recordsInCritical(), 1u);
    EXPECT_EQ(health.worst(), LimitLevel::Critical);
    EXPECT_EQ(health.limits().of(Field::HtxCurrent).warning, 1u);
    EXPECT_EQ(health.limits().of(Field::HtxCurrent).critical, 1u);
    EXPECT_EQ(health.limits().of(Field::TncCurrent).warning, 2u);
    EXPECT_EQ(health.limits().of(Field::TncCurrent).firstWarning->record, 2u);
    EXPECT_EQ(health.limits().of(Field::Angle).critical, 0u);
    ASSERT_EQ(health.series(Field::HtxCurrent).size(), 3u);
    EXPECT_EQ(health.series(Field::HtxCurrent)[2].level, LimitLevel::Critical);
    ASSERT_EQ(health.passes().size(), 1u);
    EXPECT_EQ(health.passes()[0].frames.htrx, 3u);
    EXPECT_EQ(health.passes()[0].frames.fss, 1u);
}

struct SplitCase
{
    const char *name;
    std::vector<std::int64_t> times; // -1: no time
    std::vector<std::pair<std::uint64_t, std::uint64_t>> passes;
};

class PassSplitting : public ::testing::TestWithParam<SplitCase>
{};

TEST_P(PassSplitting, SplitsWhereTheGapIsLongerThanAllowed)
{
    PassSplitter splitter(300'000);
    const auto &times = GetParam().times;
    for (std::size_t i = 0; i < times.size(); ++i) {
        splitter.add(i + 1, times[i] < 0 ? std::nullopt : std::optional<std::int64_t>(times[i]),
                     FrameType::Htrx);
    }
    std::vector<std::pair<std::uint64_t, std::uint64_t>> got;
    for (const Pass &p : splitter.passes())
        got.emplace_back(p.first, p.last);
    EXPECT_EQ(got, GetParam().passes);
}

INSTANTIATE_TEST_SUITE_P(
    Gaps, PassSplitting,
    ::testing::Values(SplitCase{"GapOfExactlyTheLimit", {0, 300'000, 600'000}, {{1, 3}}},
                      SplitCase{"GapOneMsLonger", {0, 300'001, 301'000}, {{1, 1}, {2, 3}}},
                      SplitCase{
                          "UntimedJoinThePassBefore", {0, -1, 1'000'000, -1, -1}, {{1, 2}, {3, 5}}},
                      SplitCase{"UntimedAtTheStart", {-1, -1, 5000, 6'000'000}, {{1, 3}, {4, 4}}},
                      SplitCase{"NoTimeAtAll", {-1, -1, -1}, {{1, 3}}},
                      SplitCase{"TimeJumpsBack", {9'000'000, 9'001'000, 1000}, {{1, 2}, {3, 3}}}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
} // namespace kesta
