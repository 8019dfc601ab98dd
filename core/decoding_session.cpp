#include "decoding_session.h"

#include "value_text.h"

namespace kesta {

namespace {

// One more frame of `type` in the matching count.
template <typename Count> void CountByType(FrameType type, Count &htrx, Count &fss, Count &fssHi)
{
    switch (type) {
    case FrameType::Htrx:
        ++htrx;
        break;
    case FrameType::Fss:
        ++fss;
        break;
    case FrameType::FssHi:
        ++fssHi;
        break;
    case FrameType::None:
        break;
    }
}

} // namespace

DecodingSession::DecodingSession(std::uint64_t recordLimit)
    : reader_([this](const KissFrame &frame) { onFrame(frame); }), recordLimit_(recordLimit)
{}

void DecodingSession::addSink(SessionSink &sink)
{
    sinks_.push_back(&sink);
    if (sink.offersRecords())
        recordOffers_.push_back(&sink);
    decodeWithinLimit_ = decodeWithinLimit_ || sink.readsRecord() || sink.offersRecords();
    decodeBeyondLimit_ = decodeBeyondLimit_ || sink.readsRecordsBeyondLimit();
}

void DecodingSession::feed(std::span<const std::uint8_t> chunk)
{
    reader_.feed(chunk);
}

void DecodingSession::finish()
{
    reader_.finish();
}

void DecodingSession::flush()
{
    for (SessionSink *sink : sinks_)
        sink->flush();
}

LoadReport DecodingSession::report() const
{
    LoadReport report{reader_.stats(), beyondLimit_, firstBeyondLimit_, satnogsFrames_, lines_};
    if (!satnogsFrames_) {
        report.inputBytes = reader_.position();
        // A timestamp frame is its command byte and 8 time bytes between two FENDs.
        report.knownFrameBytes = knownFrameBytes_ + report.reader.timestampFrames * 11;
    }
    return report;
}

DecodeResult DecodeRecord(std::span<const std::uint8_t> bytes, std::optional<std::int64_t> time,
                          TelemetryRecord &record)
{
    record.clear();
    AppendHexText(record.RawHex, bytes);
    record.Written.set(Field::RawHex);
    record.ReceptionTime = time;
    // The decoder's own counters are 16-bit, as the record store keeps them; the
    // session counts by the result instead.
    FrameCounters scratch;
    return DecodeFrame(bytes, record, scratch);
}

void DecodingSession::onFrame(const KissFrame &frame)
{
    const std::uint64_t number = totals_.frames + 1;
    const bool beyond = recordLimit_ != 0 && number > recordLimit_;
    std::optional<std::int64_t> time = frame.receptionTime;
    if (clock_)
        time = frame.precedingTimestamp ? frame.precedingTimestamp : clock_();
    const TelemetryRecord *handedOn = &fresh_;
    DecodeResult decoded;
    if (beyond ? decodeBeyondLimit_ : decodeWithinLimit_) {
        TelemetryRecord *record = &record_;
        for (SessionSink *sink : recordOffers_) {
            if (TelemetryRecord *offered = sink->recordFor(number, beyond)) {
                record = offered;
                break;
            }
        }
        decoded = DecodeRecord(frame.bytes, time, *record);
        handedOn = record;
    } else {
        // Only the bytes, the type and the message are wanted (a dump and a TLM file, or
        // the frames past the record store's): decoding every field would be most of
        // the run's work.
        decoded = ClassifyFrame(frame.bytes);
    }

    ++totals_.frames;
    CountByType(decoded.countedAs, totals_.htrx, totals_.fss, totals_.fssHi);
    if (decoded.countedAs != FrameType::None)
        knownFrameBytes_ += frame.bytes.size() + 2; // and its FENDs
    if (beyond) {
        ++beyondLimit_;
        if (firstBeyondLimit_ == NoOffset)
            firstBeyondLimit_ = frame.offset;
    }
    const SessionFrame out{number, frame.offset,      frame.bytes,     *handedOn,
                           time,   decoded.countedAs, decoded.message, beyond};
    for (SessionSink *sink : sinks_)
        sink->frame(out);
}

RecordStoreSink::RecordStoreSink(RecordStore &store) : store_(store)
{
    store_.reset();
}

void RecordStoreSink::frame(const SessionFrame &frame)
{
    if (frame.beyondRecordLimit || store_.RecordCount >= RecordStore::MaxRecords)
        return;
    ++store_.RecordCount;
    TelemetryRecord &slot = store_[store_.RecordCount];
    if (&slot != &frame.record) // not decoded in place
        slot = frame.record;
    FrameCounters &c = store_.counters;
    CountByType(frame.countedAs, c.HtrxCount, c.FssCount, c.FssHiCount);
}

RollingStoreSink::RollingStoreSink(RecordStore &store) : store_(store)
{
    store_.reset();
}

void RollingStoreSink::frame(const SessionFrame &frame)
{
    store_.pushNewest(frame.record);
}

TelemetryRecord *RecordStoreSink::recordFor(std::uint64_t, bool beyondRecordLimit)
{
    if (beyondRecordLimit || store_.RecordCount >= RecordStore::MaxRecords)
        return nullptr;
    return &store_[static_cast<std::int16_t>(store_.RecordCount + 1)];
}

namespace {

std::string Counted(std::uint64_t n, std::string_view one, std::string_view many)
{
    std::string text = std::to_string(n);
    text += ' ';
    text += n == 1 ? one : many;
    return text;
}

void Line(std::vector<std::string> &lines, std::uint64_t n, std::string_view one,
          std::string_view many, std::uint64_t first)
{
    if (n == 0)
        return;
    std::string text = Counted(n, one, many);
    text += n == 1 ? ", at offset " : ", first at offset ";
    text += std::to_string(first);
    lines.push_back(std::move(text));
}

} // namespace

std::vector<std::string> LoadReportLines(const LoadReport &report)
{
    const KissReaderStats &s = report.reader;
    std::vector<std::string> lines;
    Line(lines, s.timestampFrames, "timestamp frame", "timestamp frames", s.first.timestamp);
    Line(lines, s.rejectedFrames - s.timestampFrames, "other frame rejected (command byte 09)",
         "other frames rejected (command byte 09)", s.first.otherRejected);
    Line(lines, s.ignoredBytes, "byte between frames ignored", "bytes between frames ignored",
         s.first.ignored);
    Line(lines, s.runtFrames, "frame closed with only 1 or 2 bytes",
         "frames closed with only 1 or 2 bytes", s.first.runt);
    Line(lines, s.unfinishedFrames, "unterminated frame at the end", "unterminated frames",
         s.first.unfinished);
    Line(lines, s.badEscapes, "FESC followed by a wrong byte", "FESCs followed by a wrong byte",
         s.first.badEscape);
    Line(lines, s.oversizedFrames, "frame longer than 512 bytes dropped",
         "frames longer than 512 bytes dropped", s.first.oversized);
    Line(lines, report.framesBeyondLimit, "frame beyond record 1000 (dump and TLM only)",
         "frames beyond record 1000 (dump and TLM only)", report.firstBeyondLimit);
    if (report.lines.badLines != 0) {
        lines.push_back(Counted(report.lines.badLines, "line that is no frame (SatNOGS frames)",
                                "lines that are no frame (SatNOGS frames)") +
                        (report.lines.badLines == 1 ? ", at line " : ", first at line ") +
                        std::to_string(report.lines.firstBadLine));
    }
    const bool nothingFramed = s.acceptedFrames + s.rejectedFrames + s.runtFrames +
                                   s.oversizedFrames + s.unfinishedFrames ==
                               0;
    if (!report.satnogsFrames && nothingFramed && s.ignoredBytes != 0)
        lines.push_back("neither a KISS log nor SatNOGS frames: no frame found");
    Line(lines, report.timesBeyondLineProtocol,
         "record with a time the line protocol cannot hold, left out of it",
         "records with a time the line protocol cannot hold, left out of it",
         report.firstTimeBeyondLineProtocol);
    return lines;
}

LogContent JudgeLogContent(const LoadReport &report, const SessionTotals &totals)
{
    const std::uint64_t known = totals.htrx + totals.fss + totals.fssHi;
    if (totals.frames == 0) {
        const bool nothing = report.satnogsFrames ? report.lines.badLines == 0
                                                  : report.inputBytes == 0;
        return nothing ? LogContent::Empty : LogContent::NoFrame;
    }
    // "Most of it": a telemetry log is nearly all frames of known kinds, even with a
    // stretch of noise or a few damaged frames, while a file of another kind (an image,
    // a text, a program) that happens to hold FEND bytes gives frames of random kinds
    // and far fewer of their bytes. Half is where a user would stop calling the file a
    // telemetry log, and it is far from both. A KISS log is judged by its bytes, so
    // that long stretches of other data count as much as they weigh; a frame export by
    // its lines.
    if (report.satnogsFrames)
        return known * 2 < totals.frames + report.lines.badLines ? LogContent::MostlyOther
                                                                 : LogContent::Frames;
    return report.knownFrameBytes * 2 < report.inputBytes ? LogContent::MostlyOther
                                                          : LogContent::Frames;
}

std::string LogContentText(const LoadReport &report, const SessionTotals &totals)
{
    switch (JudgeLogContent(report, totals)) {
    case LogContent::Frames:
        return {};
    case LogContent::Empty:
        return "is empty: it holds no frame";
    case LogContent::NoFrame:
        return report.satnogsFrames ? "holds no frame: none of its lines is a frame"
                                    : "holds no KISS frame that makes a record";
    case LogContent::MostlyOther:
        break;
    }
    if (report.satnogsFrames)
        return "is mostly not frames of known kinds: it may not be a telemetry log";
    const std::uint64_t percent = report.knownFrameBytes * 100 / report.inputBytes;
    const std::string share = percent == 0 && report.knownFrameBytes > 0
                                  ? std::string("less than 1%")
                                  : std::to_string(percent) + "%";
    return "is mostly not KISS frames of known kinds (such frames are " + share +
           " of its bytes): it may not be a telemetry log";
}

} // namespace kesta
