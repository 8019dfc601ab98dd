#include "frame_decoder.h"
#include "output_file.h"
#include "record_export.h"
#include "test_logs.h"

#include <gtest/gtest.h>
#include <string>

namespace kesta {
namespace {

using testing::Bytes;
using testing::HexOf;

constexpr std::int64_t Noon = 1796119200123; // 2026-12-01T10:00:00.123Z

// A record as a decoding run makes it: RawHex and time set, then decoded.
TelemetryRecord Decoded(const Bytes &frame, std::optional<std::int64_t> time)
{
    TelemetryRecord r;
    r.RawHex = HexOf(frame);
    r.Written.set(Field::RawHex);
    r.ReceptionTime = time;
    FrameCounters counters;
    DecodeFrame(frame, r, counters);
    return r;
}

std::string Hex(std::uint8_t from, std::size_t count)
{
    Bytes bytes;
    for (std::size_t i = 0; i < count; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(from + i));
    }
    return HexOf(bytes);
}

Bytes NormalFrame()
{
    Bytes payload;
    for (std::uint8_t i = 0; i < 64; ++i) {
        payload.push_back(i);
    }
    payload.push_back(10); // element number: 70.5 degrees
    return testing::FssFrame(0x47, 2, payload);
}

Bytes MessageFrame()
{
    Bytes text{0x00, 0x22, 0x2C, 0xE9, 'O', 'K', 0x0D, 0x0A, 0x5C};
    text.resize(65, 'z');
    return testing::FssFrame(0xC3, 1, text);
}

struct ExportCase
{
    const char *name;
    Bytes frame;
    std::optional<std::int64_t> time;
    std::string csv;
    std::string json;
};

std::vector<ExportCase> Cases()
{
    const Bytes htrx = testing::HtrxFrame(0x1234, 0x05, 0);
    const Bytes normal = NormalFrame();
    const Bytes message = MessageFrame();
    const Bytes hi = testing::HiModeFrame(1, 2, 3, 0x47, 9, 45);
    const Bytes shortHtrx = testing::Frame(1, {0x00, 0x2A, 0x81});
    const Bytes unknown = testing::Frame(3, {1, 2, 3});
    const std::string z56(56, 'z');
    std::string tens;
    for (int i = 0; i < 64; ++i) {
        tens += "10";
    }
    return {
        {"Htrx", htrx, Noon,
         "7,2026-12-01T10:00:00.123Z," + HexOf(htrx) +
             ",HTRX Telemetry,4660,5,32.946,0.0109,0.0218,0.0436,0.0545,6,7,8,2314," + Hex(11, 32) +
             ",,,,,,,,,,\r\n",
         "{\"Record\":7,\"Time\":\"2026-12-01T10:00:00.123Z\",\"RawHex\":\"" + HexOf(htrx) +
             "\",\"FrameKind\":\"HTRX Telemetry\",\"HtrxCounter\":4660,\"MovementFlag\":5,"
             "\"Rssi\":32.946,\"HrxCurrent\":0.0109,\"HtxCurrent\":0.0218,\"TncCurrent\":0.0436,"
             "\"FssCurrent\":0.0545,\"FssStatus\":6,\"FssCounter\":7,\"FssAngleData\":8,"
             "\"CcuTime\":2314,\"CcuTelemetry\":\"" +
             Hex(11, 32) + "\"}\n"},
        {"FssNormal", normal, Noon,
         "7,2026-12-01T10:00:00.123Z," + HexOf(normal) +
             ",FSS Telemetry (normal),,,,,,,,,,,,,71,2," + Hex(0, 64) + ",10,,61,70.5,,,\r\n",
         "{\"Record\":7,\"Time\":\"2026-12-01T10:00:00.123Z\",\"RawHex\":\"" + HexOf(normal) +
             "\",\"FrameKind\":\"FSS Telemetry (normal)\",\"ModeStatus\":71,"
             "\"FssFrameCounter\":2,\"LightElements\":\"" +
             Hex(0, 64) + "\",\"ElementNumber\":10,\"Threshold\":61,\"Angle\":70.5}\n"},
        {"Message", message, std::nullopt,
         "7,," + HexOf(message) + ",FSS Telemetry (message),,,,,,,,,,,,,195,1,,," +
             std::string("\"\0\"\",\xC3\xA9OK\r\n\\", 12) + z56 + "\",,,,,\r\n",
         "{\"Record\":7,\"RawHex\":\"" + HexOf(message) +
             "\",\"FrameKind\":\"FSS Telemetry (message)\",\"ModeStatus\":195,"
             "\"FssFrameCounter\":1,\"MessageText\":\"\\u0000\\\",\xC3\xA9OK\\u000D\\u000A\\\\" +
             z56 + "\"}\n"},
        {"HiMode", hi, Noon,
         "7,2026-12-01T10:00:00.123Z," + HexOf(hi) + ",FSS Telemetry Hi-Mode,,,,,,,,,,,,,71,9," +
             tens + ",45,,,29.5,1,2,3\r\n",
         "{\"Record\":7,\"Time\":\"2026-12-01T10:00:00.123Z\",\"RawHex\":\"" + HexOf(hi) +
             "\",\"FrameKind\":\"FSS Telemetry Hi-Mode\",\"ModeStatus\":71,"
             "\"FssFrameCounter\":9,\"LightElements\":\"" +
             tens +
             "\",\"ElementNumber\":45,\"Angle\":29.5,\"HiUpperAddress\":1,\"HiLowerAddress\":2,"
             "\"HiDataSize\":3}\n"},
        // A frame that ends after the movement flag writes the counter and the flag only.
        {"ShortHtrx", shortHtrx, std::nullopt,
         "7,," + HexOf(shortHtrx) + ",HTRX Telemetry,42,129,,,,,,,,,,,,,,,,,,,,\r\n",
         "{\"Record\":7,\"RawHex\":\"" + HexOf(shortHtrx) +
             "\",\"FrameKind\":\"HTRX Telemetry\",\"HtrxCounter\":42,\"MovementFlag\":129}\n"},
        // An unknown type writes no field at all, not even the frame kind.
        {"UnknownType", unknown, Noon,
         "7,2026-12-01T10:00:00.123Z," + HexOf(unknown) + std::string(23, ',') + "\r\n",
         "{\"Record\":7,\"Time\":\"2026-12-01T10:00:00.123Z\",\"RawHex\":\"" + HexOf(unknown) +
             "\"}\n"},
    };
}

class ExportRow : public ::testing::TestWithParam<ExportCase>
{};

TEST_P(ExportRow, Csv)
{
    const ExportCase &c = GetParam();
    std::string out;
    RecordExporter(RecordExporter::Format::Csv).appendRecord(out, 7, Decoded(c.frame, c.time));
    EXPECT_EQ(out, c.csv);
}

TEST_P(ExportRow, JsonLines)
{
    const ExportCase &c = GetParam();
    std::string out;
    RecordExporter(RecordExporter::Format::JsonLines)
        .appendRecord(out, 7, Decoded(c.frame, c.time));
    EXPECT_EQ(out, c.json);
}

INSTANTIATE_TEST_SUITE_P(Frames, ExportRow, ::testing::ValuesIn(Cases()),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(RecordExporter, CsvHeaderNamesRecordTimeAndEveryFieldInRecordOrder)
{
    std::string header;
    RecordExporter(RecordExporter::Format::Csv).appendHeader(header);
    EXPECT_EQ(header, "Record,Time,RawHex,FrameKind,HtrxCounter,MovementFlag,Rssi,HrxCurrent,"
                      "HtxCurrent,TncCurrent,FssCurrent,FssStatus,FssCounter,FssAngleData,CcuTime,"
                      "CcuTelemetry,ModeStatus,FssFrameCounter,LightElements,ElementNumber,"
                      "MessageText,Threshold,Angle,HiUpperAddress,HiLowerAddress,HiDataSize\r\n");

    std::string none;
    RecordExporter(RecordExporter::Format::JsonLines).appendHeader(none);
    EXPECT_EQ(none, "");
}

TEST(RecordExportWriter, WritesHeaderAndRowsInOrderThroughTheFile)
{
    testing::ScratchFolder folder;
    OutputFile file(64);
    ASSERT_TRUE(file.open(folder / "out.csv", OutputFile::Mode::CreateAnew));
    RecordExportWriter writer(RecordExporter::Format::Csv, file);
    const RecordExporter exporter(RecordExporter::Format::Csv);
    std::string expected;
    exporter.appendHeader(expected);
    writer.writeHeader();
    const TelemetryRecord record = Decoded(NormalFrame(), Noon);
    for (std::uint64_t n = 1; n <= 5000; ++n) {
        writer.writeRecord(n, record);
        exporter.appendRecord(expected, n, record);
    }
    writer.flush();
    ASSERT_TRUE(file.close()) << file.error();
    EXPECT_EQ(testing::ReadFile(folder / "out.csv"), expected);
}

} // namespace
} // namespace kesta
