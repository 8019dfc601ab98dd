// Arbitrary bytes through everything a log reaches: the KISS reader fed in
// chunks, the frame decoder, the record store of a whole run, value text and the
// CSV and JSON Lines exports.
//
// The first byte of the input chooses how the rest is cut into chunks; the rest
// is the log. Besides crashes and sanitizer reports the target checks:
// - the reader hands on the same frames, times and counts whatever the chunking;
// - a run through ReadKissBytes writes one dump line per accepted frame, equal to
//   the frame's hex text, and one record per accepted frame up to the limit;
// - each export row is one line, and the values have the shapes they promise.

#include "frame_decoder.h"
#include "kiss_log.h"
#include "kiss_reader.h"
#include "program_state.h"
#include "record_export.h"
#include "telemetry_record.h"
#include "value_text.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace {

void Check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_decode: check failed: %s\n", what);
        std::abort();
    }
}

struct SeenFrame
{
    std::vector<std::uint8_t> bytes;
    std::optional<std::int64_t> time;
    bool operator==(const SeenFrame &) const = default;
};

struct ReaderRun
{
    std::vector<SeenFrame> frames;
    kesta::KissReaderStats stats;
};

// Chunk lengths from a small xorshift generator seeded by the control byte:
// mostly short pieces (1 to 16 bytes) so that escapes and FENDs fall on chunk
// edges, now and then a long one.
ReaderRun ReadInChunks(std::span<const std::uint8_t> log, std::uint8_t control)
{
    ReaderRun run;
    kesta::KissReader reader([&run](const kesta::KissFrame &f) {
        run.frames.push_back({{f.bytes.begin(), f.bytes.end()}, f.receptionTime});
    });
    if (control == 0) {
        reader.feed(log);
    } else {
        std::uint32_t x = control * 2654435761u | 1u;
        std::size_t pos = 0;
        while (pos < log.size()) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            const std::size_t len = (x & 0x1F) == 0 ? 64 + x % 1024 : 1 + (x >> 8) % 16;
            const std::size_t n = std::min(len, log.size() - pos);
            reader.feed(log.subspan(pos, n));
            pos += n;
        }
        reader.feed({}); // an empty chunk changes nothing
    }
    reader.finish();
    run.stats = reader.stats();
    return run;
}

class CollectingSink : public kesta::RunSink
{
public:
    void dumpLine(std::string_view hexText) override { dump.emplace_back(hexText); }
    void message(std::span<const std::uint8_t> text) override
    {
        Check(text.size() == 65, "a message has 65 bytes");
        ++messages;
    }

    std::vector<std::string> dump;
    std::uint64_t messages = 0;
};

bool IsUpperHex(std::string_view text)
{
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); });
}

void CheckRecordText(const kesta::TelemetryRecord &r, std::uint64_t recordNumber)
{
    using kesta::Field;
    for (const auto &info : kesta::Fields) {
        const std::string text = kesta::FieldValueText(r, info.field);
        if (info.type != kesta::ValueType::Text) {
            Check(!text.empty(), "a number has value text");
            std::string withComma = text;
            std::replace(withComma.begin(), withComma.end(), '.', ',');
            Check(kesta::FieldValueText(r, info.field, ",") == withComma,
                  "the decimal separator is the only difference");
        }
        if (info.type == kesta::ValueType::U8) {
            Check(kesta::ByteToBits(static_cast<std::uint8_t>(*kesta::FieldNumber(r, info.field)))
                          .size() == 8,
                  "bit text has eight characters");
        }
    }
    Check(IsUpperHex(r.RawHex) && r.RawHex.size() % 2 == 0, "RawHex is hex text");
    Check(IsUpperHex(r.CcuTelemetry) && IsUpperHex(r.LightElements), "hex fields are hex text");
    if (r.Written.test(Field::CcuTelemetry))
        Check(r.CcuTelemetry.size() == 64, "CcuTelemetry has 64 characters");
    if (r.Written.test(Field::LightElements))
        Check(r.LightElements.size() == 128, "LightElements has 128 characters");
    if (r.Written.test(Field::MessageText))
        Check(r.MessageText.size() == 65, "MessageText has 65 characters");
    if (!r.RawHex.empty())
        (void)kesta::HexToLong(r.RawHex);
    if (r.ReceptionTime) {
        Check(*r.ReceptionTime >= 0 &&
                  static_cast<std::uint64_t>(*r.ReceptionTime) < kesta::TimestampLimitMs,
              "reception time before the year 10000");
        Check(kesta::IsoTimeText(*r.ReceptionTime).size() == 24, "ISO time has 24 characters");
    }

    static kesta::RecordExporter csv(kesta::RecordExporter::Format::Csv);
    static kesta::RecordExporter jsonl(kesta::RecordExporter::Format::JsonLines);
    std::string row;
    csv.appendRecord(row, recordNumber, r);
    Check(!row.empty() && row.back() == '\n', "a CSV row ends its line");
    row.clear();
    jsonl.appendRecord(row, recordNumber, r);
    Check(row.size() >= 3 && row.front() == '{' && row.ends_with("}\n"),
          "a JSON line is one object");
    Check(row.find('\n') == row.size() - 1, "a JSON object stays on one line");
    Check(std::none_of(row.begin(), row.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 && c != '\n'; }),
          "JSON text holds no raw control character");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::uint8_t control = data[0];
    const std::span<const std::uint8_t> log(data + 1, size - 1);

    // The reader alone: chunking must not matter.
    const ReaderRun whole = ReadInChunks(log, 0);
    const ReaderRun chunked = ReadInChunks(log, control);
    Check(whole.frames == chunked.frames, "the same frames whatever the chunking");
    Check(whole.stats.acceptedFrames == chunked.stats.acceptedFrames &&
              whole.stats.rejectedFrames == chunked.stats.rejectedFrames &&
              whole.stats.oversizedFrames == chunked.stats.oversizedFrames &&
              whole.stats.runtFrames == chunked.stats.runtFrames &&
              whole.stats.unfinishedFrames == chunked.stats.unfinishedFrames,
          "the same counts whatever the chunking");
    Check(whole.stats.acceptedFrames == whole.frames.size(), "every accepted frame handed on");
    for (const auto &f : whole.frames) {
        Check(f.bytes.size() >= 3 && f.bytes.size() <= kesta::KissReader::FrameCapacity,
              "frames of 3 to 512 bytes");
        Check(f.bytes[0] != 0x09, "0x09 frames are not handed on");
    }

    // Each frame decoded on its own into a fresh record. Records beyond the
    // store's limit are checked here; the others below, where the run's record
    // must come out exactly as this one.
    kesta::FrameCounters counters;
    kesta::TelemetryRecord record;
    std::vector<std::string> rows;
    kesta::RecordExporter jsonl(kesta::RecordExporter::Format::JsonLines);
    for (std::size_t i = 0; i < whole.frames.size(); ++i) {
        const SeenFrame &f = whole.frames[i];
        record.clear();
        record.RawHex = kesta::HexText(f.bytes);
        record.Written.set(kesta::Field::RawHex);
        record.ReceptionTime = f.time;
        const kesta::DecodeResult result = kesta::DecodeFrame(f.bytes, record, counters);
        Check(result.message.empty() || result.message.size() == 65, "messages of 65 bytes");
        if (i < kesta::RecordStore::MaxRecords) {
            jsonl.appendRecord(rows.emplace_back(), i + 1, record);
        } else {
            CheckRecordText(record, i + 1);
        }
    }

    // A whole run into the program state, as the windows do it. The state lives
    // on from input to input like the program's, so every run must start afresh.
    static kesta::ProgramState state;
    CollectingSink sink;
    const kesta::LogReadSummary summary = kesta::ReadKissBytes(state, log, sink);
    Check(summary.reader.acceptedFrames == whole.frames.size(), "a run sees the same frames");
    Check(sink.dump.size() == whole.frames.size(), "one dump line per accepted frame");
    for (std::size_t i = 0; i < sink.dump.size(); ++i)
        Check(sink.dump[i] == kesta::HexText(whole.frames[i].bytes), "dump line is the frame");
    const auto expectedRecords =
        std::min<std::uint64_t>(whole.frames.size(), kesta::RecordStore::MaxRecords);
    Check(static_cast<std::uint64_t>(state.store.RecordCount) == expectedRecords,
          "one record per accepted frame up to the limit");
    Check(summary.framesBeyondLimit == whole.frames.size() - expectedRecords,
          "frames beyond the limit counted");
    for (std::int16_t i = 1; i <= state.store.RecordCount; ++i) {
        const kesta::TelemetryRecord &r = state.store[i];
        Check(r.RawHex == sink.dump[static_cast<std::size_t>(i - 1)], "record n is dump line n");
        Check(r.ReceptionTime == whole.frames[static_cast<std::size_t>(i - 1)].time,
              "record keeps its reception time");
        std::string row;
        jsonl.appendRecord(row, static_cast<std::uint64_t>(i), r);
        Check(row == rows[static_cast<std::size_t>(i - 1)],
              "a run decodes a frame as a fresh record does");
        CheckRecordText(r, static_cast<std::uint64_t>(i));
    }
    return 0;
}
