#include "frame_decoder.h"
#include "output_file.h"
#include "record_export.h"
#include "test_logs.h"
#include "value_text.h"

#include <gtest/gtest.h>
#include <limits>
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
    RecordExporter exporter(RecordExporter::Format::Csv);
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

// What one message byte becomes in each format: the byte as the code point of the
// same value, JSON escaping quote, backslash and control characters.
std::string JsonForm(unsigned char b)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    if (b < 0x20) {
        return std::string("\\u00") + digits[b >> 4] + digits[b & 0xF];
    }
    if (b == '"' || b == '\\') {
        return std::string("\\") + static_cast<char>(b);
    }
    if (b >= 0x80) {
        return {static_cast<char>(0xC0 | (b >> 6)), static_cast<char>(0x80 | (b & 0x3F))};
    }
    return std::string(1, static_cast<char>(b));
}

std::string CsvForm(unsigned char b)
{
    if (b == '"') {
        return "\"\"";
    }
    return b >= 0x80 ? JsonForm(b) : std::string(1, static_cast<char>(b));
}

bool CsvNeedsQuotes(unsigned char b)
{
    return b == ',' || b == '"' || b == '\r' || b == '\n';
}

// A spreadsheet runs a cell that begins with one of these as a formula.
bool StartsAFormula(unsigned char b)
{
    return b == '=' || b == '+' || b == '-' || b == '@' || b == '\t' || b == '\r';
}

// Every byte value at every place of texts of several lengths, so that each position
// of the exporter's block scans, of the last block that overlaps them and of its
// byte-by-byte tail sees every value. A filling of letters passes the scans' quick
// test; one of spaces needs no escape either but fails it.
TEST(RecordExporter, EveryByteAtEveryPlaceOfAText)
{
    RecordExporter csv(RecordExporter::Format::Csv);
    RecordExporter json(RecordExporter::Format::JsonLines);
    TelemetryRecord r;
    r.Written.set(Field::MessageText);
    for (const std::size_t length : {std::size_t{13}, std::size_t{24}, std::size_t{47},
                                     std::size_t{70}}) {
        for (const char fill : {'A', ' '}) {
            for (int b = 0; b < 256; ++b) {
                for (std::size_t at = 0; at < length; ++at) {
                    r.MessageText.assign(length, fill);
                    r.MessageText[at] = static_cast<char>(b);
                    const auto byte = static_cast<unsigned char>(b);
                    const std::string before(at, fill);
                    const std::string after(length - 1 - at, fill);
                    const auto where = ::testing::Message()
                                       << "byte " << b << " at " << at << " of " << length
                                       << " filled with '" << fill << "'";

                    std::string out;
                    json.appendRecord(out, 1, r);
                    ASSERT_EQ(out, "{\"Record\":1,\"MessageText\":\"" + before + JsonForm(byte) +
                                       after + "\"}\n")
                        << where;

                    out.clear();
                    csv.appendRecord(out, 1, r);
                    const std::string quote = CsvNeedsQuotes(byte) ? "\"" : "";
                    const std::string guard = at == 0 && StartsAFormula(byte) ? "'" : "";
                    ASSERT_EQ(out, "1," + std::string(19, ',') + quote + guard + before +
                                       CsvForm(byte) + after + quote + ",,,,,\r\n")
                        << where;
                }
            }
        }
    }
}

// A message that would run as a formula in a spreadsheet is written as text in
// CSV; JSON Lines keep it exactly, and negative numbers stay numbers.
TEST(RecordExporter, CsvGuardsTextsThatLookLikeFormulas)
{
    TelemetryRecord r;
    r.Written.set(Field::MessageText);
    r.Written.set(Field::Rssi);
    r.Rssi = -40.5;
    r.MessageText = "=HYPERLINK(\"http://x.example\",\"open\")";
    std::string csv;
    RecordExporter(RecordExporter::Format::Csv).appendRecord(csv, 1, r);
    EXPECT_EQ(csv, "1,,,,,,-40.5," + std::string(13, ',') +
                       "\"'=HYPERLINK(\"\"http://x.example\"\",\"\"open\"\")\",,,,,\r\n");
    std::string json;
    RecordExporter(RecordExporter::Format::JsonLines).appendRecord(json, 1, r);
    EXPECT_EQ(json, "{\"Record\":1,\"Rssi\":-40.5,\"MessageText\":"
                    "\"=HYPERLINK(\\\"http://x.example\\\",\\\"open\\\")\"}\n");
}

// The exporter keeps the texts of recent floats; whatever the order and however
// often values recur, each must read as the value text of its own field type.
TEST(RecordExporter, FloatTextsMatchTheValueTextOfEveryValue)
{
    RecordExporter json(RecordExporter::Format::JsonLines);
    TelemetryRecord r;
    r.Written.set(Field::Rssi);
    r.Written.set(Field::HrxCurrent);
    r.Written.set(Field::Angle);
    for (int round = 0; round < 3; ++round) {
        for (int b = 0; b < 256; ++b) {
            const int v = round == 1 ? 255 - b : b;
            r.Rssi = 32.946 - 0.289 * v;
            r.HrxCurrent = 0.0109 * v;
            r.Angle = static_cast<float>(v) / 3.0f;
            std::string out;
            json.appendRecord(out, 1, r);
            EXPECT_EQ(out, "{\"Record\":1,\"Rssi\":" + ValueText(r.Rssi) +
                               ",\"HrxCurrent\":" + ValueText(r.HrxCurrent) +
                               ",\"Angle\":" + ValueText(r.Angle) + "}\n");
        }
    }
}

// A value text that is no JSON number would break the line; it becomes null there.
TEST(RecordExporter, ANonFiniteFloatIsNullInJsonAndItsValueTextInCsv)
{
    TelemetryRecord r;
    r.Written.set(Field::Rssi);
    r.Rssi = std::numeric_limits<double>::infinity();
    std::string out;
    RecordExporter(RecordExporter::Format::JsonLines).appendRecord(out, 1, r);
    EXPECT_EQ(out, "{\"Record\":1,\"Rssi\":null}\n");
    out.clear();
    RecordExporter(RecordExporter::Format::Csv).appendRecord(out, 1, r);
    EXPECT_EQ(out, "1,,,,,," + ValueText(r.Rssi) + std::string(19, ',') + "\r\n");
}

// Times are kept by day; rows going forward, backward and across midnight and
// years must all read as the core's ISO text.
TEST(RecordExporter, TimesMatchTheIsoTextAcrossDaysAndYears)
{
    RecordExporter csv(RecordExporter::Format::Csv);
    TelemetryRecord r;
    for (const std::int64_t ms :
         {Noon, Noon + 1, Noon + 999, Noon + 1000, Noon - 1, std::int64_t{0},
          std::int64_t{86399999}, std::int64_t{86400000},
          std::int64_t{951782399999} /* 2000-02-28T23:59:59.999 */, std::int64_t{951782400000},
          std::int64_t{1798761599999}, std::int64_t{1798761600000}, std::int64_t{253402300799999},
          Noon}) {
        r.ReceptionTime = ms;
        std::string out;
        csv.appendRecord(out, 1, r);
        EXPECT_EQ(out, "1," + IsoTimeText(ms) + std::string(24, ',') + "\r\n") << ms;
    }
}

// Rows made field by field from the core's value texts and the byte forms above: how
// every row read before the exporter wrote through one pointer. The exporter must
// give these bytes exactly, whatever the values.
std::string ReferenceText(std::string_view text, bool csv)
{
    std::string cell;
    bool quote = false;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        cell += csv ? CsvForm(b) : JsonForm(b);
        quote |= CsvNeedsQuotes(b);
    }
    if (!csv) {
        return "\"" + cell + "\"";
    }
    if (!text.empty() && StartsAFormula(static_cast<unsigned char>(text[0]))) {
        cell.insert(0, "'");
    }
    return quote ? "\"" + cell + "\"" : cell;
}

std::string ReferenceRow(const TelemetryRecord &r, std::uint64_t n, std::string_view station,
                         bool csv)
{
    std::string row = (csv ? "" : "{\"Record\":") + ValueText(static_cast<std::int64_t>(n));
    if (csv) {
        row += "," + (r.ReceptionTime ? IsoTimeText(*r.ReceptionTime) : "");
    } else if (r.ReceptionTime) {
        row += ",\"Time\":\"" + IsoTimeText(*r.ReceptionTime) + "\"";
    }
    if (!station.empty()) {
        row += csv ? "," + std::string(station) : ",\"Station\":\"" + std::string(station) + "\"";
    }
    for (const FieldInfo &info : Fields) {
        if (csv) {
            row += ',';
        }
        if (!r.Written.test(info.field)) {
            continue;
        }
        if (!csv) {
            row += ",\"" + std::string(info.name) + "\":";
        }
        std::string value = FieldValueText(r, info.field);
        if (info.type == ValueType::Text || info.type == ValueType::Kind) {
            value = ReferenceText(value, csv);
        } else if (!csv && info.type == ValueType::Bytes) {
            value = "\"" + value + "\"";
        } else if (!csv && (value == "NaN" || value.ends_with("Infinity"))) {
            value = "null";
        }
        row += value;
    }
    return row + (csv ? "\r\n" : "}\n");
}

// Values at the edges of every type, long texts of every byte, times before 1970 and
// past 2262, record numbers past the signed range, each through a row of its own and
// through the writer into a file, with and without a station.
TEST(RecordExporter, RowsMatchTheFieldByFieldTextsAtEveryEdge)
{
    using D = std::numeric_limits<double>;
    using F = std::numeric_limits<float>;
    const std::vector<double> doubles{D::quiet_NaN(), D::infinity(), -D::infinity(), -0.0, 0.0,
                                      D::max(), -D::max(), D::denorm_min(), -D::min(), 1e300,
                                      0.1 + 0.2, 123456789012345.67, 1e15, 1e-5, -40.5};
    const std::vector<float> floats{F::quiet_NaN(), -F::infinity(), -0.0f, F::max(),
                                    F::denorm_min(), 8590399488.0f, 70.5f, 1.0f / 3.0f};
    const std::vector<std::int64_t> times{Noon, -1, -86400001, 0, std::int64_t{9223372036854},
                                          std::int64_t{253402300800000},
                                          std::numeric_limits<std::int64_t>::max(),
                                          std::numeric_limits<std::int64_t>::min() + 1, Noon + 1};
    // Each count of digits, at its edges.
    const std::vector<std::int32_t> integers{
        std::numeric_limits<std::int32_t>::min(), -1, 9, 10, 99, 999, 1000, 9999, 10000,
        99999, 100000, 999999, 1000000, 9999999, 10000000, 99999999, 100000000,
        std::numeric_limits<std::int32_t>::max()};
    std::string everyByte;
    for (int b = 0; b < 256; ++b) {
        everyByte += static_cast<char>(b);
    }
    for (const std::string station : {"", "Ground 1"}) {
        for (const auto format : {RecordExporter::Format::Csv, RecordExporter::Format::JsonLines}) {
            const bool csv = format == RecordExporter::Format::Csv;
            RecordExporter exporter(format, station);
            testing::ScratchFolder folder;
            OutputFile file(4096);
            ASSERT_TRUE(file.open(folder / "out", OutputFile::Mode::CreateAnew));
            RecordExportWriter writer(format, file, station);
            std::string expected;
            exporter.appendHeader(expected);
            writer.writeHeader();
            for (std::size_t i = 0; i < 200; ++i) {
                TelemetryRecord r;
                for (const FieldInfo &info : Fields) {
                    if ((i + static_cast<std::size_t>(info.field)) % 5 != 0) {
                        r.Written.set(info.field);
                    }
                }
                if (i % 7 != 0) {
                    r.ReceptionTime = times[i % times.size()];
                }
                r.Rssi = doubles[i % doubles.size()];
                r.HrxCurrent = doubles[(i * 3 + 1) % doubles.size()];
                r.FssCurrent = -doubles[(i * 5 + 2) % doubles.size()];
                r.Angle = floats[i % floats.size()];
                r.HtrxCounter = integers[i % integers.size()];
                r.CcuTime = integers[(i + 2) % integers.size()];
                r.Threshold = static_cast<std::int16_t>(integers[(i + 1) % integers.size()]);
                r.FssStatus = static_cast<std::uint8_t>(i * 37);
                r.FrameKind = static_cast<FrameKind>(i % 7);
                r.LightElements.fill(static_cast<std::uint8_t>(i));
                r.RawHex = Hex(static_cast<std::uint8_t>(i), i % 300);
                r.MessageText = i == 11 ? std::string(200000, '"') : everyByte.substr(i % 256);
                r.CcuTelemetry = std::string(i % 3, '=') + everyByte.substr(0, i % 40);
                const std::uint64_t n = i % 13 == 0   ? ~std::uint64_t{0} - i
                                        : i % 11 == 0 ? static_cast<std::uint64_t>(integers[i % integers.size()]) + 1
                                                      : i + 1;

                const std::string reference = ReferenceRow(r, n, station, csv);
                std::string row;
                exporter.appendRecord(row, n, r);
                ASSERT_EQ(row, reference) << "row " << i << (csv ? " CSV" : " JSON");
                expected += row;
                writer.writeRecord(n, r);
            }
            writer.flush();
            ASSERT_TRUE(file.close()) << file.error();
            EXPECT_EQ(testing::ReadFile(folder / "out"), expected) << (csv ? "CSV" : "JSON");
        }
    }
}

} // namespace
} // namespace kesta
