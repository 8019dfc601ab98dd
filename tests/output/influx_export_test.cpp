#include "influx_export.h"
#include "output_file.h"
#include "test_logs.h"
#include "value_text.h"

#include <gtest/gtest.h>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace kesta {
namespace {

// The kind tags, by FrameType: None, Htrx, Fss, FssHi.
constexpr std::string_view KindTags[] = {"other", "HTRX", "FSS", "FSS_HI"};

// The line as the format's description gives it, field by field through the field
// table and the value texts; empty for a frame that makes no line.
std::string ReferenceLine(const SessionFrame &frame, std::string_view stationTag)
{
    const TelemetryRecord &r = frame.record;
    std::string line = "kesta1,kind=";
    line += KindTags[static_cast<std::size_t>(frame.countedAs)];
    line += stationTag;
    char separator = ' ';
    for (const FieldInfo &info : Fields) {
        const std::optional<double> number = FieldNumber(r, info);
        if (!r.Written.test(info.field) || !number || !std::isfinite(*number))
            continue;
        line += separator;
        separator = ',';
        line += info.name;
        line += '=';
        if (info.type == ValueType::F64)
            AppendValueText(line, *number);
        else if (info.type == ValueType::F32)
            AppendValueText(line, static_cast<float>(*number));
        else
            line += std::to_string(static_cast<std::int64_t>(*number)) + "i";
    }
    if (separator == ' ')
        return {};
    return line + " " + std::to_string(*r.ReceptionTime * 1000000) + "\n";
}

// Values at the edges of every numeric type, fields left out, frames without numbers,
// times at both ends of what 64-bit nanoseconds hold, with and without a station whose
// name needs escapes; line by line and through the sink into a file of several blocks.
TEST(InfluxLines, MatchTheFieldByFieldTextsAtEveryEdge)
{
    using D = std::numeric_limits<double>;
    const std::vector<double> doubles{D::quiet_NaN(), D::infinity(), -D::infinity(), -0.0,
                                      D::max(),       D::denorm_min(), 0.1 + 0.2,   -40.5};
    const std::vector<float> floats{std::numeric_limits<float>::quiet_NaN(), -0.0f, 70.5f,
                                    1.0f / 3.0f, std::numeric_limits<float>::max()};
    const std::vector<std::int32_t> integers{std::numeric_limits<std::int32_t>::min(), -1, 0,
                                             9, 99999999, 100000000,
                                             std::numeric_limits<std::int32_t>::max()};
    const std::vector<std::int64_t> times{1796119200123, 0, 9223372036854, -9223372036854,
                                          1, 9223372036855, -9223372036855};
    for (const std::string station : {"", "DL0ABC Bremen,=x"}) {
        const std::string tag = station.empty() ? "" : ",station=DL0ABC\\ Bremen\\,\\=x";
        testing::ScratchFolder folder;
        OutputFile file;
        ASSERT_TRUE(file.open(folder / "out.lp", OutputFile::Mode::CreateAnew));
        InfluxSink sink(file, InfluxLineOptions{station});
        InfluxLineWriter writer(InfluxLineOptions{station});
        std::string expected;
        std::uint64_t leftOut = 0;
        // Enough lines for the sink to hand on several full blocks.
        for (std::size_t i = 0; i < 12000; ++i) {
            TelemetryRecord r;
            for (const FieldInfo &info : Fields) {
                if ((i + static_cast<std::size_t>(info.field)) % 4 != 0 && i % 17 != 0)
                    r.Written.set(info.field);
            }
            if (i % 9 != 0)
                r.ReceptionTime = times[i % times.size()];
            r.Rssi = doubles[i % doubles.size()];
            r.FssCurrent = doubles[(i * 3 + 1) % doubles.size()];
            r.Angle = floats[i % floats.size()];
            r.HtrxCounter = integers[i % integers.size()];
            r.CcuTime = integers[(i + 3) % integers.size()];
            r.FssStatus = static_cast<std::uint8_t>(i * 37);
            const auto type = static_cast<FrameType>(i % 4);
            const SessionFrame frame{i + 1, i * 100, {}, r, r.ReceptionTime, type, {}, false};

            const bool inRange = !r.ReceptionTime || std::abs(*r.ReceptionTime) <= 9223372036854;
            const std::string reference =
                r.ReceptionTime && inRange ? ReferenceLine(frame, tag) : std::string();
            std::string line;
            ASSERT_EQ(writer.append(line, frame), inRange) << "frame " << i;
            ASSERT_EQ(line, reference) << "frame " << i;
            expected += reference;
            leftOut += inRange ? 0 : 1;
            sink.frame(frame);
        }
        sink.flush();
        ASSERT_TRUE(file.close()) << file.error();
        EXPECT_GT(expected.size(), std::size_t{2} << 20); // more than two blocks
        EXPECT_EQ(testing::ReadFile(folder / "out.lp"), expected);
        EXPECT_EQ(sink.timesOutOfRange(), leftOut);
    }
}

} // namespace
} // namespace kesta
