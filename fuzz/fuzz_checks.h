// What both fuzz targets check: a slow reference reader that follows the KISS
// rules one byte at a time, chunked feeding, the shapes of a record's value texts
// and export rows, the records a session must produce, and a sink that checks
// every frame a session hands on against them.
#pragma once

#include "decoding_session.h"
#include "frame_decoder.h"
#include "kiss_reader.h"
#include "record_export.h"
#include "record_store.h"
#include "telemetry_record.h"
#include "value_text.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace fuzzcheck {


inline void Check(bool condition, const char *what)
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
    std::uint64_t offset = 0;
    std::optional<std::int64_t> preceding; // a timestamp frame closed right before it
    bool operator==(const SeenFrame &) const = default;
};

struct ReaderRun
{
    std::vector<SeenFrame> frames;
    kesta::KissReaderStats stats;
};

inline bool operator==(const kesta::KissReaderStats &a, const kesta::KissReaderStats &b)
{
    const auto all = [](const kesta::KissReaderStats &s) {
        return std::vector<std::uint64_t>{
            s.acceptedFrames,   s.rejectedFrames,      s.timestampFrames, s.oversizedFrames,
            s.runtFrames,       s.unfinishedFrames,    s.ignoredBytes,    s.badEscapes,
            s.first.timestamp,  s.first.otherRejected, s.first.oversized, s.first.runt,
            s.first.unfinished, s.first.ignored,       s.first.badEscape};
    };
    return all(a) == all(b);
}

// The KISS rules as written, one byte at a time, for comparison with the fast
// reader: FEND opens a frame and closes it; between frames every other byte is
// ignored; FESC TFEND is C0, FESC TFESC is DB, FESC and any other byte keeps the
// DB as data and takes the byte by its own rule; a FEND clears a pending escape;
// a frame closed with 1 or 2 bytes is discarded, one of more than 512 dropped
// whole; a frame with command byte 09 is rejected, and a 9-byte one holding a time
// before the year 10000 sets the reception time of the frames after it, and is the
// preceding timestamp of the next frame when no other frame closes between them.
class ReferenceReader
{
public:
    ReaderRun run(std::span<const std::uint8_t> log)
    {
        for (std::uint64_t offset = 0; offset < log.size(); ++offset)
            byte(log[offset], offset);
        if (inFrame_ && (!frame_.empty() || tooLong_)) {
            ++out_.stats.unfinishedFrames;
            note(out_.stats.first.unfinished, start_);
        }
        return out_;
    }

private:
    static void note(std::uint64_t &first, std::uint64_t offset)
    {
        if (first == kesta::NoOffset)
            first = offset;
    }

    void byte(std::uint8_t b, std::uint64_t offset)
    {
        if (!inFrame_) {
            if (b == kesta::FEND) {
                inFrame_ = true;
                start_ = offset + 1;
            } else {
                ++out_.stats.ignoredBytes;
                note(out_.stats.first.ignored, offset);
            }
            return;
        }
        if (b == kesta::FEND) {
            if (escape_) {
                ++out_.stats.badEscapes;
                note(out_.stats.first.badEscape, offset - 1);
                escape_ = false;
            }
            if (frame_.empty() && !tooLong_)
                start_ = offset + 1; // FEND FEND: still waiting for the frame's first byte
            else
                close();
            return;
        }
        if (tooLong_)
            return; // the rest of a frame that no longer fits, escapes and all
        if (escape_) {
            escape_ = false;
            if (b == kesta::TFEND) {
                frame_.back() = kesta::FEND;
                return;
            }
            if (b == kesta::TFESC)
                return; // the DB already stored is the data byte
            ++out_.stats.badEscapes;
            note(out_.stats.first.badEscape, offset - 1);
        }
        if (frame_.size() == kesta::KissReader::FrameCapacity) {
            tooLong_ = true;
            return;
        }
        frame_.push_back(b);
        escape_ = b == kesta::FESC;
    }

    void close()
    {
        kesta::KissReaderStats &s = out_.stats;
        const std::optional<std::int64_t> preceding = justStamped_;
        justStamped_.reset();
        if (tooLong_) {
            ++s.oversizedFrames;
            note(s.first.oversized, start_);
        } else if (frame_.size() < 3) {
            ++s.runtFrames;
            note(s.first.runt, start_);
        } else if (frame_[0] == 0x09) {
            ++s.rejectedFrames;
            std::uint64_t ms = 0;
            for (std::size_t i = 1; i < frame_.size() && i < 9; ++i)
                ms = ms * 256 + frame_[i];
            if (frame_.size() == 9 && ms < kesta::TimestampLimitMs) {
                time_ = static_cast<std::int64_t>(ms);
                justStamped_ = time_;
                ++s.timestampFrames;
                note(s.first.timestamp, start_);
            } else {
                note(s.first.otherRejected, start_);
            }
        } else {
            ++s.acceptedFrames;
            out_.frames.push_back({frame_, time_, start_, preceding});
        }
        frame_.clear();
        inFrame_ = false;
        escape_ = false;
        tooLong_ = false;
    }

    ReaderRun out_;
    std::vector<std::uint8_t> frame_;
    std::optional<std::int64_t> time_;
    std::optional<std::int64_t> justStamped_; // the frame closed last was this timestamp
    std::uint64_t start_ = 0;
    bool inFrame_ = false;
    bool escape_ = false;
    bool tooLong_ = false;
};

// Chunk lengths from a small xorshift generator seeded by the control byte:
// mostly short pieces (1 to 16 bytes) so that escapes and FENDs fall on chunk
// edges, now and then a long one.
template <typename Feed>
inline void FeedInChunks(std::span<const std::uint8_t> log, std::uint8_t control, Feed &&feed)
{
    if (control == 0) {
        feed(log);
        return;
    }
    std::uint32_t x = control * 2654435761u | 1u;
    std::size_t pos = 0;
    while (pos < log.size()) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        const std::size_t len = (x & 0x1F) == 0 ? 64 + x % 1024 : 1 + (x >> 8) % 16;
        const std::size_t n = std::min(len, log.size() - pos);
        feed(log.subspan(pos, n));
        pos += n;
    }
    feed({}); // an empty chunk changes nothing
}

// Reads `log` with the fast reader in the chunks `control` gives, checking each frame
// against the reference's as it is handed on (nothing is copied), then the counts.
inline void CheckChunkedRead(std::span<const std::uint8_t> log, std::uint8_t control,
                             const ReaderRun &reference, const char *frameCheck,
                             const char *statsCheck)
{
    std::size_t n = 0;
    kesta::KissReader reader([&](const kesta::KissFrame &f) {
        Check(n < reference.frames.size(), frameCheck);
        const SeenFrame &ref = reference.frames[n++];
        Check(std::equal(f.bytes.begin(), f.bytes.end(), ref.bytes.begin(), ref.bytes.end()) &&
                  f.receptionTime == ref.time && f.offset == ref.offset &&
                  f.precedingTimestamp == ref.preceding,
              frameCheck);
    });
    FeedInChunks(log, control,
                 [&reader](std::span<const std::uint8_t> chunk) { reader.feed(chunk); });
    reader.finish();
    Check(n == reference.frames.size(), frameCheck);
    Check(reader.stats() == reference.stats, statsCheck);
}

inline bool IsUpperHex(std::string_view text)
{
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); });
}

// One record's CSV row and JSON line: whole lines, the JSON one object on one line.
inline void CheckRows(std::string_view csvRow, std::string_view jsonRow)
{
    Check(!csvRow.empty() && csvRow.back() == '\n', "a CSV row ends its line");
    Check(jsonRow.size() >= 3 && jsonRow.front() == '{' && jsonRow.ends_with("}\n"),
          "a JSON line is one object");
    Check(jsonRow.find('\n') == jsonRow.size() - 1, "a JSON object stays on one line");
    Check(std::none_of(jsonRow.begin(), jsonRow.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 && c != '\n'; }),
          "JSON text holds no raw control character");
}

// `rows`: also export the record and check its rows; false for a caller that checks
// the rows it exports itself.
inline void CheckRecordText(const kesta::TelemetryRecord &r, std::uint64_t recordNumber,
                            bool rows = true)
{
    using kesta::Field;
    // Texts are made into buffers that live on from record to record: a string per
    // field and record was a good part of the target's time under the sanitizers.
    static std::string text, withComma, commaText;
    for (const auto &info : kesta::Fields) {
        text.clear();
        kesta::AppendFieldValueText(text, r, info.field);
        if (kesta::IsNumeric(info.type))
            Check(!text.empty(), "a number has value text");
        // Only floats have a decimal separator.
        if (info.type == kesta::ValueType::F64 || info.type == kesta::ValueType::F32) {
            withComma = text;
            std::replace(withComma.begin(), withComma.end(), '.', ',');
            commaText.clear();
            kesta::AppendFieldValueText(commaText, r, info.field, ",");
            Check(commaText == withComma, "the decimal separator is the only difference");
        }
        if (info.type == kesta::ValueType::U8) {
            Check(kesta::ByteToBits(static_cast<std::uint8_t>(*kesta::FieldNumber(r, info.field)))
                          .size() == 8,
                  "bit text has eight characters");
        }
    }
    Check(IsUpperHex(r.RawHex) && r.RawHex.size() % 2 == 0, "RawHex is hex text");
    std::string &lights = text;
    lights.clear();
    kesta::AppendFieldValueText(lights, r, Field::LightElements);
    Check(IsUpperHex(r.CcuTelemetry) && IsUpperHex(lights), "hex fields are hex text");
    if (r.Written.test(Field::CcuTelemetry))
        Check(r.CcuTelemetry.size() == 64, "CcuTelemetry has 64 characters");
    if (r.Written.test(Field::LightElements))
        Check(lights.size() == 128, "LightElements has 128 characters");
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

    if (!rows)
        return;
    static kesta::RecordExporter csv(kesta::RecordExporter::Format::Csv);
    static kesta::RecordExporter jsonl(kesta::RecordExporter::Format::JsonLines);
    std::string csvRow, jsonRow;
    csv.appendRecord(csvRow, recordNumber, r);
    jsonl.appendRecord(jsonRow, recordNumber, r);
    CheckRows(csvRow, jsonRow);
}

// What a run of the session must produce, built from the reference reader's
// frames, each decoded into a fresh record.
struct Expected
{
    std::vector<kesta::TelemetryRecord> records;
    std::vector<kesta::FrameType> kinds;
    std::vector<std::vector<std::uint8_t>> messages;
    kesta::SessionTotals totals;
};

inline Expected Decode(const ReaderRun &reference)
{
    Expected e;
    e.records.reserve(reference.frames.size());
    e.kinds.reserve(reference.frames.size());
    for (const SeenFrame &f : reference.frames) {
        kesta::TelemetryRecord &r = e.records.emplace_back();
        r.RawHex = kesta::HexText(f.bytes);
        r.Written.set(kesta::Field::RawHex);
        r.ReceptionTime = f.time;
        kesta::FrameCounters counters;
        const kesta::DecodeResult result = kesta::DecodeFrame(f.bytes, r, counters);
        Check(result.message.empty() || result.message.size() == 65, "messages of 65 bytes");
        if (!result.message.empty())
            e.messages.emplace_back(result.message.begin(), result.message.end());
        e.kinds.push_back(result.countedAs);
        ++e.totals.frames;
        e.totals.htrx += result.countedAs == kesta::FrameType::Htrx;
        e.totals.fss += result.countedAs == kesta::FrameType::Fss;
        e.totals.fssHi += result.countedAs == kesta::FrameType::FssHi;
    }
    return e;
}

// Every field alike, written or not (an unwritten field holds its fresh value), the
// same fields written and the same reception time.
inline bool SameRecord(const kesta::TelemetryRecord &a, const kesta::TelemetryRecord &b)
{
    if (a.Written != b.Written || a.ReceptionTime != b.ReceptionTime)
        return false;
    static std::string textA, textB; // reused from call to call
    for (const auto &info : kesta::Fields) {
        if (!kesta::IsNumeric(info.type)) {
            textA.clear();
            textB.clear();
            kesta::AppendFieldValueText(textA, a, info.field);
            kesta::AppendFieldValueText(textB, b, info.field);
            if (textA != textB)
                return false;
            continue;
        }
        const double x = kesta::FieldNumber(a, info).value_or(0);
        const double y = kesta::FieldNumber(b, info).value_or(0);
        if (std::memcmp(&x, &y, sizeof x) != 0)
            return false;
    }
    return true;
}

// Checks each frame as the session hands it on against the reference.
class CheckingSink final : public kesta::SessionSink
{
public:
    // `checkRows`: export each record and check its rows (see CheckRecordText).
    CheckingSink(const ReaderRun &reference, const Expected &expected, bool checkRows = true)
        : reference_(reference), expected_(expected), checkRows_(checkRows)
    {}
    void frame(const kesta::SessionFrame &f) override
    {
        Check(seen < reference_.frames.size(), "no more frames than the reference");
        const SeenFrame &ref = reference_.frames[seen];
        ++seen;
        Check(f.number == seen, "frames numbered 1, 2, ... in order");
        Check(f.offset == ref.offset, "the frame's offset");
        Check(std::equal(f.bytes.begin(), f.bytes.end(), ref.bytes.begin(), ref.bytes.end()),
              "the frame's bytes");
        Check(f.beyondRecordLimit == (seen > kesta::RecordStore::MaxRecords),
              "frames past record 1000 marked");
        Check(f.record.ReceptionTime == ref.time, "the record keeps its reception time");
        Check(SameRecord(f.record, expected_.records[seen - 1]),
              "a session decodes a frame as a fresh record does");
        CheckRecordText(f.record, seen, checkRows_);
    }
    std::size_t seen = 0;

private:
    const ReaderRun &reference_;
    const Expected &expected_;
    bool checkRows_;
};

// The fast reader against the reference, whole and in chunks; returns the reference's run.
inline ReaderRun CheckReader(std::span<const std::uint8_t> log, std::uint8_t control)
{
    ReaderRun reference = ReferenceReader().run(log);
    CheckChunkedRead(log, 0, reference, "the reader's frames are the reference's",
                     "the reader's counts and offsets are the reference's");
    CheckChunkedRead(log, control, reference, "the same frames whatever the chunking",
                     "the same counts whatever the chunking");
    for (const auto &f : reference.frames) {
        Check(f.bytes.size() >= 3 && f.bytes.size() <= kesta::KissReader::FrameCapacity,
              "frames of 3 to 512 bytes");
        Check(f.bytes[0] != 0x09, "0x09 frames are not handed on");
    }
    return reference;
}

// A session's report and totals against the reference.
inline void CheckReport(const kesta::DecodingSession &session, const ReaderRun &reference,
                        const Expected &expected, std::uint64_t recordLimit)
{
    const kesta::LoadReport report = session.report();
    Check(report.reader == reference.stats, "the session's report is the reader's");
    const std::uint64_t n = reference.frames.size();
    const std::uint64_t kept = recordLimit == 0 ? n : std::min<std::uint64_t>(n, recordLimit);
    Check(report.framesBeyondLimit == n - kept, "frames beyond the limit counted");
    Check(report.firstBeyondLimit == (n > kept ? reference.frames[kept].offset : kesta::NoOffset),
          "the first frame beyond the limit");
    const kesta::SessionTotals &totals = session.totals();
    Check(totals.frames == n && totals.htrx == expected.totals.htrx &&
              totals.fss == expected.totals.fss && totals.fssHi == expected.totals.fssHi,
          "the session's totals");
}

} // namespace fuzzcheck
