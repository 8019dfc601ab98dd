// Arbitrary bytes through the reader and the decoding session, everything kept in
// memory: fast enough to run thousands of inputs a second, where fuzz_decode
// writes four real files per input.
//
// The first byte of the input chooses how the rest is cut into chunks and the
// record limit; the rest is the log. Besides crashes and sanitizer reports the
// target checks:
// - the fast reader agrees with the slow reference reader, whatever the chunking;
// - a session with sinks that read records hands each accepted frame on in order,
//   numbered, with the reference's offset, decoded as a fresh record would be;
//   its CSV and JSON Lines rows are whole lines, one per frame, its record store
//   holds the first records up to the limit;
// - a session whose sinks read no records (as for a dump and a TLM file), or read
//   only those within the record limit, hands on the same frames, times, types and
//   FSS messages without decoding them.

#include "fuzz_checks.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

using namespace fuzzcheck;

// CSV and JSON Lines rows built in memory, as an export sink builds them, each row's
// shape checked as it is made. The exporters and their text live on from input to
// input, as an export's do from row to row: their caches of recent texts must never
// change a row's shape, and making them anew per input would be most of this target's
// time.
//
// A row is a function of its record, and the checking sink compares every record the
// session hands on with the fresh decode of the reference's frame, field by field:
// exporting the fresh records again to compare the texts would repeat the very same
// computation on equal input, at a third of the target's time.
class RowsSink final : public kesta::SessionSink
{
public:
    RowsSink()
    {
        csvText_.clear();
        jsonlText_.clear();
        csv_.appendHeader(csvText_);
        Check(!csvText_.empty() && csvText_.back() == '\n', "the CSV header is a line");
    }
    void frame(const kesta::SessionFrame &f) override
    {
        const std::size_t csvStart = csvText_.size(), jsonlStart = jsonlText_.size();
        csv_.appendRecord(csvText_, f.number, f.record);
        jsonl_.appendRecord(jsonlText_, f.number, f.record);
        CheckRows(std::string_view(csvText_).substr(csvStart),
                  std::string_view(jsonlText_).substr(jsonlStart));
        ++rows;
    }
    std::uint64_t rows = 0;

private:
    static inline kesta::RecordExporter csv_{kesta::RecordExporter::Format::Csv};
    static inline kesta::RecordExporter jsonl_{kesta::RecordExporter::Format::JsonLines};
    static inline std::string csvText_, jsonlText_;
};

// What a sink that reads no record sees: the frame without its decoded fields.
struct BareFrame
{
    std::uint64_t number;
    std::uint64_t offset;
    std::vector<std::uint8_t> bytes;
    std::optional<std::int64_t> time;
    kesta::FrameType type;
    std::vector<std::uint8_t> message;
    bool beyond;
    bool operator==(const BareFrame &) const = default;
};

class BareSink final : public kesta::SessionSink
{
public:
    void frame(const kesta::SessionFrame &f) override
    {
        frames.push_back({f.number,
                          f.offset,
                          {f.bytes.begin(), f.bytes.end()},
                          f.receptionTime,
                          f.countedAs,
                          {f.message.begin(), f.message.end()},
                          f.beyondRecordLimit});
    }
    bool readsRecord() const override { return false; }
    std::vector<BareFrame> frames;
};

// A sink that reads no record, checking each frame as it is handed on against those of
// a run that decoded them (nothing is copied).
class AlikeSink final : public kesta::SessionSink
{
public:
    AlikeSink(const std::vector<BareFrame> &decoded, const Expected &expected,
              std::uint64_t limit)
        : decoded_(decoded), expected_(expected), limit_(limit)
    {}
    void frame(const kesta::SessionFrame &f) override
    {
        Check(seen < decoded_.size(), "the same frames without decoding");
        const BareFrame &d = decoded_[seen];
        Check(f.number == d.number && f.offset == d.offset &&
                  std::ranges::equal(f.bytes, d.bytes) && f.receptionTime == d.time &&
                  f.countedAs == d.type && std::ranges::equal(f.message, d.message) &&
                  f.beyondRecordLimit == (limit_ != 0 && seen >= limit_),
              "a frame is handed on alike without decoding");
        if (!f.message.empty()) {
            Check(messages < expected_.messages.size() &&
                      std::ranges::equal(f.message, expected_.messages[messages]),
                  "the FSS messages are those of the decoder");
            ++messages;
        }
        ++seen;
    }
    bool readsRecord() const override { return false; }
    std::size_t seen = 0;
    std::size_t messages = 0;

private:
    const std::vector<BareFrame> &decoded_;
    const Expected &expected_;
    std::uint64_t limit_;
};

void RunDecoded(std::span<const std::uint8_t> log, std::uint8_t control,
                const ReaderRun &reference, const Expected &expected,
                std::vector<BareFrame> &seen)
{
    static kesta::RecordStore store; // lives on from input to input, like the program's
    kesta::DecodingSession session(kesta::RecordStore::MaxRecords);
    kesta::RecordStoreSink records(store);
    RowsSink rows;
    BareSink bare; // beside sinks that read records: sees decoded frames
    // The rows sink checks the rows' shapes: the checking sink need not export again.
    CheckingSink checking(reference, expected, false);
    for (kesta::SessionSink *sink :
         std::initializer_list<kesta::SessionSink *>{&records, &rows, &bare, &checking})
        session.addSink(*sink);
    FeedInChunks(log, control, [&session](std::span<const std::uint8_t> chunk) {
        session.feed(chunk);
    });
    session.finish();

    CheckReport(session, reference, expected, kesta::RecordStore::MaxRecords);
    const std::uint64_t n = reference.frames.size();
    Check(checking.seen == n, "every frame handed on");
    Check(rows.rows == n, "a CSV row and a JSON line per frame");
    const std::uint64_t kept = std::min<std::uint64_t>(n, kesta::RecordStore::MaxRecords);
    Check(static_cast<std::uint64_t>(store.RecordCount) == kept,
          "one record per accepted frame up to the limit");
    for (std::int16_t i = 1; i <= store.RecordCount; ++i) {
        const auto at = static_cast<std::size_t>(i - 1);
        Check(SameRecord(store[i], expected.records[at]),
              "the record store holds the records in order");
    }
    seen = std::move(bare.frames);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::uint8_t control = data[0];
    const std::span<const std::uint8_t> log(data + 1, size - 1);

    const ReaderRun reference = CheckReader(log, control);
    const Expected expected = Decode(reference);
    std::vector<BareFrame> decoded;
    RunDecoded(log, control, reference, expected, decoded);

    // Without any sink that reads records, or beside the record store only (which reads
    // those within the limit), the frames must come out the same.
    const std::uint64_t limit = control & 0x40 ? 1 + control % 7 : 0;
    kesta::DecodingSession session(limit);
    AlikeSink bare(decoded, expected, limit);
    session.addSink(bare);
    static kesta::RecordStore store;
    std::optional<kesta::RecordStoreSink> records;
    if (control & 0x20)
        session.addSink(records.emplace(store));
    FeedInChunks(log, control, [&session](std::span<const std::uint8_t> chunk) {
        session.feed(chunk);
    });
    session.finish();
    CheckReport(session, reference, expected, limit);
    Check(bare.seen == decoded.size(), "the same frames without decoding");
    Check(bare.messages == expected.messages.size(), "every FSS message without decoding");
    return 0;
}
