#include "record_export.h"

#include "value_text.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
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

// Length of the leading part of `text` that JSON takes as it stands: no control
// character, quote, backslash or byte of 0x80 and above. Looks at eight bytes at a
// time, since most texts are long hex texts that need no escape at all.
constexpr std::uint64_t Ones = 0x0101010101010101ull;
constexpr std::uint64_t Highs = 0x8080808080808080ull;

// Non-zero when a byte of w (all below 0x80) is below n, n at most 0x80; exact
// in saying whether there is one.
constexpr std::uint64_t HasLess(std::uint64_t w, std::uint64_t n)
{
    return (w - Ones * n) & ~w & Highs;
}
constexpr std::uint64_t HasByte(std::uint64_t w, unsigned char c)
{
    return HasLess(w ^ (Ones * c), 1);
}

std::size_t PlainJsonPrefix(std::string_view text)
{
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t w;
        std::memcpy(&w, text.data() + i, 8);
        if (((w & Highs) | HasLess(w, 0x20) | HasByte(w, '"') | HasByte(w, '\\')) != 0) {
            break;
        }
    }
    while (i < text.size() && JsonClasses[static_cast<unsigned char>(text[i])] == Plain) {
        ++i;
    }
    return i;
}

void AppendJsonString(std::string &out, std::string_view text)
{
    out.push_back('"');
    const std::size_t plain = PlainJsonPrefix(text);
    if (plain == text.size()) {
        out.append(text);
        out.push_back('"');
        return;
    }
    std::size_t runStart = 0;
    for (std::size_t i = plain; i < text.size(); ++i) {
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

// Length of the leading part of `text` that a CSV cell takes as it stands: no
// comma, quote, CR, LF or byte of 0x80 and above.
std::size_t PlainCsvPrefix(std::string_view text)
{
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t w;
        std::memcpy(&w, text.data() + i, 8);
        if (((w & Highs) | HasByte(w, ',') | HasByte(w, '"') | HasByte(w, '\r') |
             HasByte(w, '\n')) != 0) {
            break;
        }
    }
    while (i < text.size() && CsvClasses[static_cast<unsigned char>(text[i])] == Plain) {
        ++i;
    }
    return i;
}

// A text cell that a spreadsheet would take for a formula: one beginning with
// =, +, -, @, TAB or CR.
bool LooksLikeFormula(std::string_view text)
{
    if (text.empty()) {
        return false;
    }
    switch (text.front()) {
    case '=':
    case '+':
    case '-':
    case '@':
    case '\t':
    case '\r':
        return true;
    default:
        return false;
    }
}

void AppendCsvText(std::string &out, std::string_view text)
{
    // Such a cell gets a leading ' (inside the quotes), which the spreadsheet shows
    // as text instead of running it.
    const bool formula = LooksLikeFormula(text);
    const std::size_t plain = PlainCsvPrefix(text);
    if (plain == text.size()) {
        if (formula) {
            out.push_back('\'');
        }
        out.append(text);
        return;
    }
    bool quote = false;
    for (const char c : text.substr(plain)) {
        const std::uint8_t cls = CsvClasses[static_cast<unsigned char>(c)];
        quote |= cls == CsvSpecial || cls == Quote;
    }
    if (quote) {
        out.push_back('"');
    }
    if (formula) {
        out.push_back('\'');
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
    std::size_t i = !text.empty() && text[0] == '-' ? 1 : 0;
    if (i >= text.size() || text[i] < '0' || text[i] > '9') {
        return false;
    }
    for (; i < text.size(); ++i) {
        if ((text[i] < '0' || text[i] > '9') && text[i] != '.') {
            return false;
        }
    }
    return true;
}

void AppendInteger(std::string &out, const TelemetryRecord &record, const FieldInfo &info)
{
    const std::int64_t value = FieldInteger(record, info);
    // Most numeric fields are bytes; their digits are written without a conversion call.
    if (value >= 0 && value < 1000) {
        const auto v = static_cast<int>(value);
        if (v >= 100) {
            out.push_back(static_cast<char>('0' + v / 100));
        }
        if (v >= 10) {
            out.push_back(static_cast<char>('0' + v / 10 % 10));
        }
        out.push_back(static_cast<char>('0' + v % 10));
        return;
    }
    AppendValueText(out, value);
}

// The station's name is the user's own UTF-8 text, not bytes of a frame: unlike the
// record's texts, its bytes are kept as they are; only what the format needs is escaped.
std::string StationCsvCell(std::string_view name)
{
    std::string cell;
    const bool quote = name.find_first_of(",\"\r\n") != std::string_view::npos;
    if (quote) {
        cell.push_back('"');
    }
    if (LooksLikeFormula(name)) {
        cell.push_back('\'');
    }
    for (const char c : name) {
        if (c == '"') {
            cell.push_back('"');
        }
        cell.push_back(c);
    }
    if (quote) {
        cell.push_back('"');
    }
    return cell;
}

} // namespace

void AppendJsonUtf8(std::string &out, std::string_view text)
{
    out.push_back('"');
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(c);
        } else if (b < 0x20) {
            const char escape[] = {'\\', 'u', '0', '0', HexDigits[b >> 4], HexDigits[b & 0xF]};
            out.append(escape, sizeof escape);
        } else {
            out.push_back(c);
        }
    }
    out.push_back('"');
}

RecordExporter::RecordExporter(Format format, std::string_view station)
    : format_(format), numbers_(NumberCacheSize)
{
    for (const FieldInfo &info : Fields) {
        jsonKeys_[static_cast<std::size_t>(info.field)] = ",\"" + std::string(info.name) + "\":";
    }
    if (!station.empty()) {
        // The same on every row: escaped once, here.
        if (format_ == Format::Csv) {
            stationCell_ = "," + StationCsvCell(station);
        } else {
            stationCell_ = ",\"Station\":";
            AppendJsonUtf8(stationCell_, station);
        }
    }
}

void RecordExporter::appendHeader(std::string &out) const
{
    if (format_ != Format::Csv) {
        return;
    }
    out.append("Record,Time");
    if (!stationCell_.empty()) {
        out.append(",Station");
    }
    for (const FieldInfo &info : Fields) {
        out.push_back(',');
        out.append(info.name);
    }
    out.append("\r\n");
}

void RecordExporter::appendRecord(std::string &out, std::uint64_t recordNumber,
                                  const TelemetryRecord &record)
{
    if (format_ == Format::Csv) {
        appendCsv(out, recordNumber, record);
    } else {
        appendJson(out, recordNumber, record);
    }
}

RecordExporter::FloatText RecordExporter::floatText(const TelemetryRecord &record, Field field,
                                                    ValueType type)
{
    // Every float field is made from one byte of the frame, so a few hundred
    // values recur all through a log; their texts are kept in a small table.
    const double value = FieldNumber(record, field).value_or(0);
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    static_assert((NumberCacheSize & (NumberCacheSize - 1)) == 0);
    constexpr int slotBits = std::countr_zero(NumberCacheSize);
    const auto slot = static_cast<std::size_t>((bits * 0x9E3779B97F4A7C15ull) >> (64 - slotBits));
    NumberText &entry = numbers_[slot];
    if (entry.type == type && entry.bits == bits) {
        return {std::string_view(entry.text.data(), entry.length), entry.jsonNumber};
    }
    scratch_.clear();
    if (type == ValueType::F32) {
        AppendValueText(scratch_, static_cast<float>(value), ".");
    } else {
        AppendValueText(scratch_, value, ".");
    }
    const bool jsonNumber = IsJsonNumber(scratch_);
    if (scratch_.size() <= entry.text.size()) {
        entry.bits = bits;
        entry.type = type;
        entry.jsonNumber = jsonNumber;
        entry.length = static_cast<std::uint8_t>(scratch_.size());
        std::memcpy(entry.text.data(), scratch_.data(), scratch_.size());
    }
    return {scratch_, jsonNumber};
}

void RecordExporter::appendTime(std::string &out, std::int64_t ms)
{
    // The date changes once a day; the time of day is plain arithmetic.
    constexpr std::int64_t msPerDay = 86400000;
    const std::int64_t day = ms / msPerDay;
    if (ms < 0 || day != cachedDay_) {
        const std::string text = IsoTimeText(ms);
        if (ms < 0 || text.size() != 24 || text[10] != 'T') {
            cachedDay_ = -1;
            out.append(text);
            return;
        }
        cachedDay_ = day;
        dayText_.assign(text, 0, 11);
    }
    const std::int64_t inDay = ms % msPerDay;
    const auto hours = static_cast<int>(inDay / 3600000);
    const auto minutes = static_cast<int>(inDay / 60000 % 60);
    const auto seconds = static_cast<int>(inDay / 1000 % 60);
    const auto milli = static_cast<int>(inDay % 1000);
    auto digit = [](int value) { return static_cast<char>('0' + value); };
    const char time[] = {digit(hours / 10),
                         digit(hours % 10),
                         ':',
                         digit(minutes / 10),
                         digit(minutes % 10),
                         ':',
                         digit(seconds / 10),
                         digit(seconds % 10),
                         '.',
                         digit(milli / 100),
                         digit(milli / 10 % 10),
                         digit(milli % 10),
                         'Z'};
    out.append(dayText_);
    out.append(time, sizeof time);
}

void RecordExporter::appendCsv(std::string &out, std::uint64_t recordNumber,
                               const TelemetryRecord &record)
{
    AppendValueText(out, static_cast<std::int64_t>(recordNumber));
    out.push_back(',');
    if (record.ReceptionTime) {
        appendTime(out, *record.ReceptionTime);
    }
    out.append(stationCell_);
    for (const FieldInfo &info : Fields) {
        out.push_back(',');
        if (!record.Written.test(info.field)) {
            continue;
        }
        switch (info.type) {
        case ValueType::Text:
        case ValueType::Kind:
            AppendCsvText(out, FieldText(record, info.field));
            break;
        case ValueType::Bytes: // hex digits: nothing to quote or escape
            AppendHexText(out, FieldBytes(record, info));
            break;
        case ValueType::F64:
        case ValueType::F32: {
            out.append(floatText(record, info.field, info.type).text);
            break;
        }
        default:
            AppendInteger(out, record, info);
            break;
        }
    }
    out.append("\r\n");
}

void RecordExporter::appendJson(std::string &out, std::uint64_t recordNumber,
                                const TelemetryRecord &record)
{
    out.append("{\"Record\":");
    AppendValueText(out, static_cast<std::int64_t>(recordNumber));
    if (record.ReceptionTime) {
        out.append(",\"Time\":\"");
        appendTime(out, *record.ReceptionTime);
        out.push_back('"');
    }
    out.append(stationCell_);
    for (const FieldInfo &info : Fields) {
        if (!record.Written.test(info.field)) {
            continue;
        }
        out.append(jsonKeys_[static_cast<std::size_t>(info.field)]);
        switch (info.type) {
        case ValueType::Text:
        case ValueType::Kind:
            AppendJsonString(out, FieldText(record, info.field));
            break;
        case ValueType::Bytes:
            out.push_back('"');
            AppendHexText(out, FieldBytes(record, info));
            out.push_back('"');
            break;
        case ValueType::F64:
        case ValueType::F32: {
            const FloatText number = floatText(record, info.field, info.type);
            if (number.jsonNumber) {
                out.append(number.text);
            } else {
                out.append("null");
            }
            break;
        }
        default:
            AppendInteger(out, record, info);
            break;
        }
    }
    out.append("}\n");
}

RecordExportWriter::RecordExportWriter(RecordExporter::Format format, OutputFile &file,
                                       std::string_view station)
    : exporter_(format, station), file_(file)
{
    block_.reserve(BlockSize + (std::size_t{64} << 10));
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
    file_.writeBlock(block_);
    if (block_.capacity() < BlockSize)
        block_.reserve(BlockSize + (std::size_t{64} << 10));
}

} // namespace kesta
