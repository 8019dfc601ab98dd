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
    return LoadReport{reader_.stats(), beyondLimit_, firstBeyondLimit_};
}

void DecodingSession::onFrame(const KissFrame &frame)
{
    const std::uint64_t number = totals_.frames + 1;
    const bool beyond = recordLimit_ != 0 && number > recordLimit_;
    TelemetryRecord *target = nullptr;
    for (SessionSink *sink : recordOffers_) {
        if ((target = sink->recordFor(number, beyond)) != nullptr)
            break;
    }
    TelemetryRecord &r = target != nullptr ? *target : record_;
    r.clear();
    AppendHexText(r.RawHex, frame.bytes);
    r.Written.set(Field::RawHex);
    if (clock_)
        r.ReceptionTime = frame.precedingTimestamp ? frame.precedingTimestamp : clock_();
    else
        r.ReceptionTime = frame.receptionTime;
    // The decoder's own counters are 16-bit, as the record store keeps them; the
    // session counts by the result instead.
    FrameCounters scratch;
    const DecodeResult decoded = DecodeFrame(frame.bytes, r, scratch);

    ++totals_.frames;
    CountByType(decoded.countedAs, totals_.htrx, totals_.fss, totals_.fssHi);
    if (beyond) {
        ++beyondLimit_;
        if (firstBeyondLimit_ == NoOffset)
            firstBeyondLimit_ = frame.offset;
    }
    const SessionFrame out{number,          frame.offset, frame.bytes, r, decoded.countedAs,
                           decoded.message, beyond};
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
    Line(lines, report.timesBeyondLineProtocol,
         "record with a time the line protocol cannot hold, left out of it",
         "records with a time the line protocol cannot hold, left out of it",
         report.firstTimeBeyondLineProtocol);
    return lines;
}

} // namespace kesta
