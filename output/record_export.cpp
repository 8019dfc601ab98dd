#include "record_export.h"

#include "value_text.h"

#include <array>
#include <string_view>

namespace kesta {

namespace {

// Byte classes of the text escaping, one table look-up per byte.
enum ByteClass : std::uint8_t
{
    Plain,
    Control,
    Quote,
    Backslash,
    High,
    CsvSpecial
};

constexpr std::array<std::uint8_t, 256> MakeJsonClasses()
{
    std::array<std::uint8_t, 256> t{};
    for (int b = 0; b < 256; ++b) {
        t[b] = b < 0x20 ? Control : b >= 0x80 ? High : Plain;
    }
    t['"'] = Quote;
    t['\\'] = Backslash;
    return t;
}
constexpr std::array<std::uint8_t, 256> JsonClasses = MakeJsonClasses();

constexpr std::array<std::uint8_t, 256> MakeCsvClasses()
{
    std::array<std::uint8_t, 256> t{};
    for (int b = 0x80; b < 256; ++b) {
        t[b] = High;
    }
    t[','] = CsvSpecial;
    t['\r'] = CsvSpecial;
    t['\n'] = CsvSpecial;
    t['"'] = Quote;
    return t;
}
constexpr std::array<std::uint8_t, 256> CsvClasses = MakeCsvClasses();

constexpr char HexDigits[] = "0123456789ABCDEF";

// A byte taken as the code point of the same value, in UTF-8.
inline void AppendLatin1AsUtf8(std::string &out, unsigned char b)
{
    out.push_back(static_cast<char>(0xC0 | (b >> 6)));
    out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
}

void AppendJsonString(std::string &out, std::string_view text)
{
    out.push_back('"');
    std::size_t runStart = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        const std::uint8_t cls = JsonClasses[b];
        if (cls == Plain) {
            continue;
        }
        out.append(text.substr(runStart, i - runStart));
        runStart = i + 1;
        switch (cls) {
        case Control: {
            const char escape[] = {'\\', 'u', '0', '0', HexDigits[b >> 4], HexDigits[b & 0xF]};
            out.append(escape, sizeof escape);
            break;
        }
        case Quote:
            out.append("\\\"");
            break;
        case Backslash:
            out.append("\\\\");
            break;
        default:
            AppendLatin1AsUtf8(out, b);
            break;
        }
    }
    out.append(text.substr(runStart));
    out.push_back('"');
}

void AppendCsvText(std::string &out, std::string_view text)
{
    bool quote = false;
    bool high = false;
    for (const char c : text) {
        const std::uint8_t cls = CsvClasses[static_cast<unsigned char>(c)];
        quote |= cls == CsvSpecial || cls == Quote;
        high |= cls == High;
    }
    if (!quote && !high) {
        out.append(text);
        return;
    }
    if (quote) {
        out.push_back('"');
    }
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x80) {
            AppendLatin1AsUtf8(out, b);
        } else {
            if (c == '"') {
                out.push_back('"');
            }
            out.push_back(c);
        }
    }
    if (quote) {
        out.push_back('"');
    }
}

// A value text is a valid JSON number unless it names no finite number; no
// decoded value is such, but an export must stay valid JSON whatever it is fed.
bool IsJsonNumber(std::string_view text)
{
    if (text.empty()) {
        return false;
    }
    std::size_t i = text[0] == '-' ? 1 : 0;
    return i < text.size() && text[i] >= '0' && text[i] <= '9' &&
           text.find_first_not_of("0123456789.-", i) == std::string_view::npos;
}

void AppendJsonNumberField(std::string &out, const TelemetryRecord &record, Field f)
{
    const std::size_t start = out.size();
    AppendFieldValueText(out, record, f, ".");
    if (!IsJsonNumber(std::string_view(out).substr(start))) {
        out.resize(start);
        out.append("null");
    }
}

} // namespace

void RecordExporter::appendHeader(std::string &out) const
{
    if (format_ != Format::Csv) {
        return;
    }
    out.append("Record,Time");
    for (const FieldInfo &info : Fields) {
        out.push_back(',');
        out.append(info.name);
    }
    out.append("\r\n");
}

void RecordExporter::appendRecord(std::string &out, std::uint64_t recordNumber,
                                  const TelemetryRecord &record) const
{
    if (format_ == Format::Csv) {
        appendCsv(out, recordNumber, record);
    } else {
        appendJson(out, recordNumber, record);
    }
}

void RecordExporter::appendCsv(std::string &out, std::uint64_t recordNumber,
                               const TelemetryRecord &record) const
{
    AppendValueText(out, static_cast<std::int64_t>(recordNumber));
    out.push_back(',');
    if (record.ReceptionTime) {
        out.append(IsoTimeText(*record.ReceptionTime));
    }
    for (const FieldInfo &info : Fields) {
        out.push_back(',');
        if (!record.Written.test(info.field)) {
            continue;
        }
        if (info.type == ValueType::Text) {
            AppendCsvText(out, FieldText(record, info.field));
        } else {
            AppendFieldValueText(out, record, info.field, ".");
        }
    }
    out.append("\r\n");
}

void RecordExporter::appendJson(std::string &out, std::uint64_t recordNumber,
                                const TelemetryRecord &record) const
{
    out.append("{\"Record\":");
    AppendValueText(out, static_cast<std::int64_t>(recordNumber));
    if (record.ReceptionTime) {
        out.append(",\"Time\":\"");
        out.append(IsoTimeText(*record.ReceptionTime));
        out.push_back('"');
    }
    for (const FieldInfo &info : Fields) {
        if (!record.Written.test(info.field)) {
            continue;
        }
        out.append(",\"");
        out.append(info.name);
        out.append("\":");
        if (info.type == ValueType::Text) {
            AppendJsonString(out, FieldText(record, info.field));
        } else {
            AppendJsonNumberField(out, record, info.field);
        }
    }
    out.append("}\n");
}

RecordExportWriter::RecordExportWriter(RecordExporter::Format format, OutputFile &file)
    : exporter_(format), file_(file)
{
    block_.reserve(BlockSize + 4096);
}

void RecordExportWriter::writeHeader()
{
    exporter_.appendHeader(block_);
}

void RecordExportWriter::writeRecord(std::uint64_t recordNumber, const TelemetryRecord &record)
{
    exporter_.appendRecord(block_, recordNumber, record);
    if (block_.size() >= BlockSize) {
        flush();
    }
}

void RecordExportWriter::flush()
{
    file_.write(block_);
    block_.clear();
}

} // namespace kesta
