#pragma once

#include "frame_decoder.h"
#include "kiss_reader.h"
#include "record_store.h"
#include "satnogs_frames.h"
#include "telemetry_record.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kesta {

// One accepted frame as the session hands it to its sinks. Everything it refers
// to is valid only during the call.
struct SessionFrame
{
    std::uint64_t number; // 1, 2, ... in input order, without limit
    std::uint64_t offset; // of the frame's first byte in the input
    std::span<const std::uint8_t> bytes;
    // Decoded, with RawHex and ReceptionTime, when a sink of the session reads this
    // frame's record (SessionSink::readsRecord); otherwise a fresh record.
    const TelemetryRecord &record;
    std::optional<std::int64_t> receptionTime; // the frame's, as the record has it
    FrameType countedAs;
    std::span<const std::uint8_t> message; // the 65 bytes of an FSS message, else empty
    bool beyondRecordLimit;                // a frame past the session's record limit
};

// The record of one accepted frame as a session hands it on: RawHex, the reception
// time and every field the frame holds, in `record` (cleared first, its texts' storage
// kept). For a sink that decodes frames on a thread of its own.
DecodeResult DecodeRecord(std::span<const std::uint8_t> bytes, std::optional<std::int64_t> time,
                          TelemetryRecord &record);

// Where a session's results go: the record store of the windows, output files,
// exports. A sink sees every accepted frame in order.
class SessionSink
{
public:
    virtual ~SessionSink() = default;
    virtual void frame(const SessionFrame &frame) = 0;
    // A sink that keeps records may offer the record that frame `number` is to be
    // decoded into, sparing a copy per frame; the first offer is taken, and the
    // frame then refers to it. nullptr: the session decodes into its own record.
    virtual TelemetryRecord *recordFor(std::uint64_t number, bool beyondRecordLimit)
    {
        (void)number;
        (void)beyondRecordLimit;
        return nullptr;
    }
    // True for a sink whose recordFor() may offer records; asked once, when added.
    virtual bool offersRecords() const { return false; }
    // False for a sink that looks only at a frame's number, offset, bytes, time, type
    // and message: when no sink reads records, the session does not decode them.
    // Asked once, when added.
    virtual bool readsRecord() const { return true; }
    // False for a sink that reads the records of frames within the record limit only.
    virtual bool readsRecordsBeyondLimit() const { return readsRecord(); }
    // Hand on what is buffered (a live session asks for this now and then).
    virtual void flush() {}
};

// Frames counted by their type, without limit.
struct SessionTotals
{
    std::uint64_t frames = 0;
    std::uint64_t htrx = 0;
    std::uint64_t fss = 0;
    std::uint64_t fssHi = 0;
};

// What reading the input found beside the accepted frames.
struct LoadReport
{
    KissReaderStats reader;
    std::uint64_t framesBeyondLimit = 0; // accepted frames past the record limit
    std::uint64_t firstBeyondLimit = NoOffset;
    // The input was a SatNOGS frame export, read line by line; then `reader` is all zero.
    bool satnogsFrames = false;
    SatnogsLineStats lines;
    // Filled in by a run with a line protocol export: records whose time that protocol
    // cannot hold, left out of it.
    std::uint64_t timesBeyondLineProtocol = 0;
    std::uint64_t firstTimeBeyondLineProtocol = NoOffset;
    // The bytes read, and how many of them were frames of a known kind (HTRX, FSS,
    // FSS-HI) or timestamp frames, with their FENDs; zero for a SatNOGS frame export.
    std::uint64_t inputBytes = 0;
    std::uint64_t knownFrameBytes = 0;
};

// What a log holds as a whole, beside the details of its load report.
enum class LogContent
{
    Frames,      // mostly frames of known kinds: a telemetry log
    Empty,       // nothing at all
    NoFrame,     // not one frame that makes a record
    MostlyOther, // frames of known kinds are the lesser part of it
};

LogContent JudgeLogContent(const LoadReport &report, const SessionTotals &totals);

// What is wrong with a log that is not LogContent::Frames, as a sentence without its
// subject, e.g. "is empty: it holds no frame"; empty for LogContent::Frames.
std::string LogContentText(const LoadReport &report, const SessionTotals &totals);

// The lines of a load report that are not zero, each with the offset of the first
// occurrence, e.g. "13107199 bytes between frames ignored, first at offset 9"; for a
// frame export the lines that are no frame, with the first one's number. An input in
// which nothing at all was found is said to be neither a KISS log nor a frame export.
std::vector<std::string> LoadReportLines(const LoadReport &report);

// The whole way from bytes to results, for a log read from a file, a pipe or a
// live byte stream alike: the KISS reader, record numbering, frame to record,
// the counts and the load report. Fed chunks of any size; every accepted frame is
// decoded once and handed to each sink in the order they were added.
class DecodingSession
{
public:
    // Frames after the first `recordLimit` (0: no limit) are still decoded and
    // handed on, marked beyondRecordLimit and counted in the load report.
    explicit DecodingSession(std::uint64_t recordLimit = 0);
    DecodingSession(const DecodingSession &) = delete;
    DecodingSession &operator=(const DecodingSession &) = delete;

    void addSink(SessionSink &sink);

    // Live reception: with a clock (UTC ms since 1970), a frame's reception time is the
    // time of a timestamp frame sent right before it, or else the clock's time when the
    // frame's closing FEND arrived; an older timestamp frame does not carry over.
    void setClock(std::function<std::int64_t()> clock) { clock_ = std::move(clock); }

    void feed(std::span<const std::uint8_t> chunk);
    // A log that is not KISS (a SatNOGS frame export) hands its frames in one by one,
    // as the KISS reader would hand them on, and says at the end what its lines were.
    void feedFrame(const KissFrame &frame) { onFrame(frame); }
    void setLineReport(const SatnogsLineStats &lines)
    {
        satnogsFrames_ = true;
        lines_ = lines;
    }
    // End of input: a frame still open is dropped and reported.
    void finish();
    // Asks every sink to hand on what it has buffered.
    void flush();

    const SessionTotals &totals() const { return totals_; }
    LoadReport report() const;
    std::uint64_t bytesFed() const { return reader_.position(); }

private:
    void onFrame(const KissFrame &frame);

    KissReader reader_;
    std::vector<SessionSink *> sinks_;
    std::vector<SessionSink *> recordOffers_; // the sinks that may offer records
    TelemetryRecord record_;                  // reused frame after frame
    SessionTotals totals_;
    std::uint64_t recordLimit_;
    bool decodeWithinLimit_ = false; // some sink reads the records of these frames
    bool decodeBeyondLimit_ = false;
    const TelemetryRecord fresh_{}; // the record of a frame that is not decoded
    std::function<std::int64_t()> clock_;
    std::uint64_t beyondLimit_ = 0;
    std::uint64_t firstBeyondLimit_ = NoOffset;
    bool satnogsFrames_ = false;
    SatnogsLineStats lines_;
    std::uint64_t knownFrameBytes_ = 0;
};

// Keeps the newest RecordStore::MaxRecords frames of a live session in a record store,
// under their session numbers: once it is full, the oldest record leaves it. Empties the
// store first. The store's 16-bit counters are not kept: a live view shows the session's
// own totals.
class RollingStoreSink final : public SessionSink
{
public:
    explicit RollingStoreSink(RecordStore &store);
    void frame(const SessionFrame &frame) override;

private:
    RecordStore &store_;
};

// Keeps the first RecordStore::MaxRecords frames of a session in a record store,
// in slots 1 to 1000, with the counters of those frames. Empties the store first.
class RecordStoreSink final : public SessionSink
{
public:
    explicit RecordStoreSink(RecordStore &store);
    void frame(const SessionFrame &frame) override;
    // The store's next slot, while there is room.
    TelemetryRecord *recordFor(std::uint64_t number, bool beyondRecordLimit) override;
    bool offersRecords() const override { return true; }
    bool readsRecordsBeyondLimit() const override { return false; }

private:
    RecordStore &store_;
};

} // namespace kesta
