#include "record_export.h"

#include "number_text.h"
#include "value_text.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <stdexcept>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

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
inline char *WriteLatin1AsUtf8(char *p, unsigned char b)
{
    p[0] = static_cast<char>(0xC0 | (b >> 6));
    p[1] = static_cast<char>(0x80 | (b & 0x3F));
    return p + 2;
}

inline char *WriteText(char *p, std::string_view text)
{
    // An empty view may hold no pointer at all, which memcpy must not be given.
    if (!text.empty())
        std::memcpy(p, text.data(), text.size());
    return p + text.size();
}

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

#if defined(__SSE2__)
inline __m128i LoadBlock(std::string_view text, std::size_t at)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(text.data() + at));
}

// The plain prefix of a text of at least 16 bytes, plain up to `from`, given a mask of
// the bytes to escape in the 16 bytes at a position. The last bytes are looked at as
// the block that ends the text, which overlaps what was looked at before: no byte
// loop for the rest.
template <typename Specials>
std::size_t PlainPrefixOfBlocks(std::size_t size, std::size_t from, const Specials &specials)
{
    std::size_t i = from;
    for (; i + 16 <= size; i += 16) {
        if (const unsigned mask = specials(i); mask != 0) {
            return i + static_cast<std::size_t>(std::countr_zero(mask));
        }
    }
    if (i == size) {
        return size;
    }
    const std::size_t last = size - 16;
    // Bytes before i were looked at already.
    const unsigned mask = specials(last) >> (i - last);
    return mask == 0 ? size : i + static_cast<std::size_t>(std::countr_zero(mask));
}
#endif

// Length of the leading part of `text` that JSON takes as it stands: no control
// character, quote, backslash or byte of 0x80 and above. Looks at many bytes at a
// time, since most texts are long hex texts that need no escape at all.
std::size_t PlainJsonPrefix(std::string_view text)
{
    std::size_t i = 0;
#if defined(__SSE2__)
    // Sixteen bytes at a time where the machine has it: a row's texts are most of it.
    const __m128i space = _mm_set1_epi8(0x20);
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i backslash = _mm_set1_epi8('\\');
    // Hex digits lie between the quote and the backslash: two compares per sixteen
    // bytes say a block of a hex text needs no escape.
    for (; i + 32 <= text.size(); i += 32) {
        const __m128i a = LoadBlock(text, i);
        const __m128i b = LoadBlock(text, i + 16);
        const __m128i inRange =
            _mm_and_si128(_mm_and_si128(_mm_cmpgt_epi8(a, quote), _mm_cmplt_epi8(a, backslash)),
                          _mm_and_si128(_mm_cmpgt_epi8(b, quote), _mm_cmplt_epi8(b, backslash)));
        if (_mm_movemask_epi8(inRange) != 0xFFFF) {
            break;
        }
    }
    const auto specials = [&](std::size_t at) {
        const __m128i v = LoadBlock(text, at);
        // Compared as signed bytes, 0x80 and above are below 0x20 too.
        return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(
            _mm_cmplt_epi8(v, space),
            _mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, backslash)))));
    };
    if (text.size() >= 16) {
        return PlainPrefixOfBlocks(text.size(), i, specials);
    }
#endif
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

// At most 6 characters per byte and the two quotes.
char *WriteJsonString(char *p, std::string_view text)
{
    *p++ = '"';
    const std::size_t plain = PlainJsonPrefix(text);
    p = WriteText(p, text.substr(0, plain));
    for (std::size_t i = plain; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        switch (JsonClasses[b]) {
        case Plain:
            *p++ = static_cast<char>(b);
            break;
        case Control:
            p = WriteText(p, "\\u00");
            *p++ = HexDigits[b >> 4];
            *p++ = HexDigits[b & 0xF];
            break;
        case Quote:
            p = WriteText(p, "\\\"");
            break;
        case Backslash:
            p = WriteText(p, "\\\\");
            break;
        default:
            p = WriteLatin1AsUtf8(p, b);
            break;
        }
    }
    *p++ = '"';
    return p;
}

// Length of the leading part of `text` that a CSV cell takes as it stands: no
// comma, quote, CR, LF or byte of 0x80 and above.
std::size_t PlainCsvPrefix(std::string_view text)
{
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i comma = _mm_set1_epi8(',');
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    // Every character a cell quotes lies below the comma or, compared as signed bytes,
    // below zero; hex digits lie above it: one compare per sixteen bytes says a block
    // of a hex text is plain.
    for (; i + 32 <= text.size(); i += 32) {
        const __m128i a = LoadBlock(text, i);
        const __m128i b = LoadBlock(text, i + 16);
        if (_mm_movemask_epi8(_mm_and_si128(_mm_cmpgt_epi8(a, comma), _mm_cmpgt_epi8(b, comma))) !=
            0xFFFF) {
            break;
        }
    }
    const auto specials = [&](std::size_t at) {
        const __m128i v = LoadBlock(text, at);
        return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(
            _mm_or_si128(_mm_cmplt_epi8(v, zero), _mm_cmpeq_epi8(v, comma)),
            _mm_or_si128(_mm_cmpeq_epi8(v, quote),
                         _mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf))))));
    };
    if (text.size() >= 16) {
        return PlainPrefixOfBlocks(text.size(), i, specials);
    }
#endif
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

// At most 2 characters per byte, the two quotes and the guard.
char *WriteCsvText(char *p, std::string_view text)
{
    // Such a cell gets a leading ' (inside the quotes), which the spreadsheet shows
    // as text instead of running it.
    const bool formula = LooksLikeFormula(text);
    const std::size_t plain = PlainCsvPrefix(text);
    if (plain == text.size()) {
        if (formula) {
            *p++ = '\'';
        }
        return WriteText(p, text);
    }
    bool quote = false;
    for (const char c : text.substr(plain)) {
        const std::uint8_t cls = CsvClasses[static_cast<unsigned char>(c)];
        quote |= cls == CsvSpecial || cls == Quote;
    }
    if (quote) {
        *p++ = '"';
    }
    if (formula) {
        *p++ = '\'';
    }
    p = WriteText(p, text.substr(0, plain));
    for (const char c : text.substr(plain)) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x80) {
            p = WriteLatin1AsUtf8(p, b);
        } else {
            if (c == '"') {
                *p++ = '"';
            }
            *p++ = c;
        }
    }
    if (quote) {
        *p++ = '"';
    }
    return p;
}

constexpr std::size_t TimeText = 24; // 2026-12-01T10:00:00.123Z

// The most characters a field other than a text takes, its key or comma not counted.
constexpr std::size_t MaxValueText(ValueType type)
{
    switch (type) {
    case ValueType::F64:
    case ValueType::F32:
        return MaxFloatText;
    case ValueType::Bytes:
        return 2 * std::tuple_size_v<LightElementBytes> + 2;
    case ValueType::Kind:
        return 64; // the longest kind name is 30 characters of plain ASCII
    case ValueType::Text:
        return 2; // its quotes; its bytes are counted by their number
    default:
        return MaxIntegerDigits;
    }
}

// Everything of a row but the texts and the station: braces, keys, commas, numbers, time.
constexpr std::size_t FixedRowBound = [] {
    std::size_t n = 32 + MaxIntegerDigits + TimeText;
    for (const FieldInfo &info : Fields) {
        n += 4 + info.name.size() + MaxValueText(info.type);
    }
    return n;
}();

// ,"Name": of field I, made at compile time.
template <std::size_t I>
constexpr auto JsonKey = [] {
    constexpr std::string_view name = Fields[I].name;
    std::array<char, name.size() + 4> key{};
    key[0] = ',';
    key[1] = '"';
    for (std::size_t i = 0; i < name.size(); ++i) {
        key[2 + i] = name[i];
    }
    key[name.size() + 2] = '"';
    key[name.size() + 3] = ':';
    return key;
}();

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
    : format_(format)
{
    for (std::size_t kind = 0; kind < KindCount; ++kind) {
        const std::string_view text = KindText(static_cast<FrameKind>(kind));
        std::string &cell = kindCells_[kind];
        cell.resize(6 * text.size() + 3);
        const char *const end = format_ == Format::Csv ? WriteCsvText(cell.data(), text)
                                                       : WriteJsonString(cell.data(), text);
        cell.resize(static_cast<std::size_t>(end - cell.data()));
        if (cell.size() > MaxValueText(ValueType::Kind))
            throw std::logic_error("a frame kind's name is longer than a row has room for");
    }
    if (!station.empty()) {
        // The same on every row: escaped once, here.
        if (format_ == Format::Csv) {
            stationCell_.push_back(',');
            stationCell_ += StationCsvCell(station);
        } else {
            stationCell_.append(",\"Station\":");
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

std::size_t RecordExporter::maxRecordSize(const TelemetryRecord &record) const
{
    // JSON escapes a byte in at most 6 characters, CSV in at most 2.
    const std::size_t perByte = format_ == Format::Csv ? 2 : 6;
    return FixedRowBound + stationCell_.size() +
           perByte * (record.RawHex.size() + record.CcuTelemetry.size() +
                      record.MessageText.size());
}

void RecordExporter::appendRecord(std::string &out, std::uint64_t recordNumber,
                                  const TelemetryRecord &record)
{
    // Written into a buffer of the exporter's own, so that the caller's string only
    // grows by what the row takes.
    const std::size_t most = maxRecordSize(record);
    if (row_.size() < most) {
        row_.resize(most);
    }
    const char *const end = writeRecord(row_.data(), recordNumber, record);
    out.append(row_.data(), static_cast<std::size_t>(end - row_.data()));
}

char *RecordExporter::writeRecord(char *out, std::uint64_t recordNumber,
                                  const TelemetryRecord &record)
{
    return format_ == Format::Csv ? write<Format::Csv>(out, recordNumber, record)
                                  : write<Format::JsonLines>(out, recordNumber, record);
}

std::string_view RecordExporter::kindCell(FrameKind kind) const
{
    const auto index = static_cast<std::size_t>(kind);
    return index < kindCells_.size() ? std::string_view(kindCells_[index]) : std::string_view();
}

char *RecordExporter::writeTime(char *p, std::int64_t ms)
{
    // The date changes once a day; the time of day is plain arithmetic.
    constexpr std::int64_t msPerDay = 86400000;
    const std::int64_t day = ms / msPerDay;
    if (ms < 0 || day != cachedDay_) {
        const std::string text = IsoTimeText(ms);
        if (ms < 0 || text.size() != TimeText || text[10] != 'T') {
            cachedDay_ = -1;
            return WriteText(p, std::string_view(text).substr(0, TimeText));
        }
        cachedDay_ = day;
        std::memcpy(dayText_.data(), text.data(), dayText_.size());
    }
    const std::int64_t inDay = ms % msPerDay;
    const auto hours = static_cast<int>(inDay / 3600000);
    const auto minutes = static_cast<int>(inDay / 60000 % 60);
    const auto seconds = static_cast<int>(inDay / 1000 % 60);
    const auto milli = static_cast<int>(inDay % 1000);
    auto digit = [](int value) { return static_cast<char>('0' + value); };
    std::memcpy(p, dayText_.data(), dayText_.size());
    p += dayText_.size();
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
    std::memcpy(p, time, sizeof time);
    return p + sizeof time;
}

// One field of the table, its type and member known at compile time: no look-up of
// the field's type or member per row.
template <RecordExporter::Format F, std::size_t I>
char *RecordExporter::writeField(char *p, const TelemetryRecord &record)
{
    constexpr FieldInfo info = Fields[I];
    constexpr bool csv = F == Format::Csv;
    if constexpr (csv) {
        *p++ = ',';
    }
    if (!record.Written.test(info.field)) {
        return p;
    }
    if constexpr (!csv) {
        constexpr auto &key = JsonKey<I>;
        std::memcpy(p, key.data(), key.size());
        p += key.size();
    }
    const auto &value = record.*std::get<info.member.index()>(info.member);
    if constexpr (info.type == ValueType::Kind) {
        return WriteText(p, kindCell(value));
    } else if constexpr (info.type == ValueType::Text) {
        return csv ? WriteCsvText(p, value) : WriteJsonString(p, value);
    } else if constexpr (info.type == ValueType::Bytes) {
        // hex digits: nothing to quote or escape
        if constexpr (!csv) {
            *p++ = '"';
        }
        p = WriteHexText(p, value);
        if constexpr (!csv) {
            *p++ = '"';
        }
        return p;
    } else if constexpr (info.type == ValueType::F64 || info.type == ValueType::F32) {
        const FloatTexts::Text number = floats_.of(value);
        if (!csv && !number.jsonNumber) {
            return WriteText(p, "null");
        }
        return WriteText(p, number.text);
    } else if constexpr (info.type == ValueType::U8) {
        return WriteByteDigits(p, value);
    } else {
        const auto integer = static_cast<std::int64_t>(value);
        if (integer >= 0 && integer < 1000) {
            return WriteByteDigits(p, static_cast<unsigned>(integer));
        }
        return WriteIntegerDigits(p, integer);
    }
}

template <RecordExporter::Format F>
char *RecordExporter::write(char *p, std::uint64_t recordNumber, const TelemetryRecord &record)
{
    constexpr bool csv = F == Format::Csv;
    if constexpr (!csv) {
        p = WriteText(p, "{\"Record\":");
    }
    p = WriteIntegerDigits(p, static_cast<std::int64_t>(recordNumber));
    if constexpr (csv) {
        *p++ = ',';
        if (record.ReceptionTime) {
            p = writeTime(p, *record.ReceptionTime);
        }
    } else if (record.ReceptionTime) {
        p = WriteText(p, ",\"Time\":\"");
        p = writeTime(p, *record.ReceptionTime);
        *p++ = '"';
    }
    p = WriteText(p, stationCell_);
    [&]<std::size_t... I>(std::index_sequence<I...>) {
        ((p = writeField<F, I>(p, record)), ...);
    }(std::make_index_sequence<FieldCount>{});
    return csv ? WriteText(p, "\r\n") : WriteText(p, "}\n");
}

RecordExportWriter::RecordExportWriter(RecordExporter::Format format, OutputFile &file,
                                       std::string_view station)
    : RecordExportWriter(
          format, [&file](std::string &block, std::size_t size) { file.writeBlock(block, size); },
          station)
{}

RecordExportWriter::RecordExportWriter(RecordExporter::Format format, BlockSink sink,
                                       std::string_view station)
    : exporter_(format, station), sink_(std::move(sink))
{
    renewBlock();
}

void RecordExportWriter::renewBlock()
{
    // Room for a block and a long row beyond it; the string's size stays there, so
    // rows are written without growing it. A buffer back from the file's writer
    // thread has that size already: nothing is cleared.
    if (block_.size() < BlockSize + (std::size_t{64} << 10))
        block_.resize(BlockSize + (std::size_t{64} << 10));
    used_ = 0;
}

void RecordExportWriter::writeHeader()
{
    std::string header;
    exporter_.appendHeader(header);
    std::memcpy(block_.data() + used_, header.data(), header.size());
    used_ += header.size();
}

void RecordExportWriter::writeRecord(std::uint64_t recordNumber, const TelemetryRecord &record)
{
    const std::size_t most = exporter_.maxRecordSize(record);
    if (block_.size() - used_ < most) {
        flush();
        if (block_.size() < most) { // a row of many kilobytes of text
            block_.resize(most);
        }
    }
    char *const end = exporter_.writeRecord(block_.data() + used_, recordNumber, record);
    used_ = static_cast<std::size_t>(end - block_.data());
    if (used_ >= BlockSize) {
        flush();
    }
}

void RecordExportWriter::flush()
{
    if (used_ == 0) {
        return;
    }
    sink_(block_, used_);
    renewBlock();
}

} // namespace kesta
