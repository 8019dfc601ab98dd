#include "log_merge.h"

#include "kiss_log.h"
#include "kiss_reader.h"
#include "output_file.h"
#include "output_names.h"
#include "satnogs_frames.h"
#include "record_export.h"
#include "session_outputs.h"
#include "value_text.h"

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <string_view>
#include <thread>

namespace kesta {

namespace {

constexpr std::size_t BlockSize = std::size_t{256} << 10;
constexpr std::size_t WriteBlock = std::size_t{1} << 20;

// A hash for finding equal frames: frames of one satellite share their first bytes
// (the AX.25 addresses), and equality is checked byte for byte anyway, so a few
// words from the end and the middle and the length tell them apart at a fraction of
// the cost of hashing every byte.
std::size_t FrameHash(std::string_view bytes)
{
    const auto word = [&](std::size_t at) {
        std::uint64_t w = 0;
        std::memcpy(&w, bytes.data() + at, std::min<std::size_t>(8, bytes.size() - at));
        return w;
    };
    std::uint64_t h = bytes.size() * 0x9E3779B97F4A7C15ull;
    const std::size_t n = bytes.size();
    for (const std::size_t at : {n >= 8 ? n - 8 : 0, n / 2, n >= 24 ? std::size_t{17} : 0}) {
        h ^= word(at);
        h *= 0xFF51AFD7ED558CCDull;
        h ^= h >> 33;
    }
    return static_cast<std::size_t>(h);
}

// A block of one input's frames, read and taken apart ahead of the merge: the frames'
// bytes one after another, and where each stands.
struct FrameBatch
{
    struct Entry
    {
        std::int64_t time = 0;
        std::uint32_t at = 0;
        std::uint32_t size = 0;
        bool timed = false;
    };
    std::vector<std::uint8_t> bytes;
    std::vector<Entry> frames;
};

// A frame of an input as the merge sees it: its bytes stay where the batch holds them
// until the merge moves on to that input's next frame.
struct InputFrame
{
    std::optional<std::int64_t> time;
    std::span<const std::uint8_t> bytes; // the KISS command byte first
};

// One input's reading: the log, told KISS or SatNOGS by its first bytes, read a block at
// a time into batches of frames. Used by the read-ahead thread only, until it has ended.
class InputReader
{
public:
    InputReader(std::unique_ptr<LogFile> log)
        : log_(std::move(log)), block_(BlockSize),
          kiss_([this](const KissFrame &f) { take(f); }),
          lines_([this](const KissFrame &f) { take(f); })
    {}

    // Reads the next block into `batch`; true once the input has ended (its end, a read
    // error or a cancel).
    bool fill(FrameBatch &batch, const std::function<bool()> &cancel)
    {
        batch_ = &batch;
        const auto n = log_->read(block_, error_, cancel);
        if (cancel()) {
            cancelled_ = true;
            return true;
        }
        if (!n)
            return true;
        const std::span<const std::uint8_t> bytes(block_.data(), *n);
        if (!format_) {
            start_.insert(start_.end(), bytes.begin(), bytes.end());
            format_ = SniffLogFormat(start_, *n == 0);
            if (format_) {
                feed(start_);
                start_ = {};
            }
        } else {
            feed(bytes);
        }
        if (*n == 0) {
            if (format_ == LogFormat::SatnogsFrames)
                lines_.finish();
            else
                kiss_.finish();
            return true;
        }
        return false;
    }

    // What the reader skipped (all of it once the input has ended).
    LoadReport load() const
    {
        LoadReport report;
        if (format_ == LogFormat::SatnogsFrames) {
            report.satnogsFrames = true;
            report.lines = lines_.stats();
        } else {
            report.reader = kiss_.stats();
        }
        return report;
    }
    const std::string &error() const { return error_; }
    bool cancelled() const { return cancelled_; }

private:
    void take(const KissFrame &f)
    {
        FrameBatch::Entry &entry = batch_->frames.emplace_back();
        entry.timed = f.receptionTime.has_value();
        entry.time = f.receptionTime.value_or(0);
        entry.at = static_cast<std::uint32_t>(batch_->bytes.size());
        entry.size = static_cast<std::uint32_t>(f.bytes.size());
        batch_->bytes.insert(batch_->bytes.end(), f.bytes.begin(), f.bytes.end());
    }

    void feed(std::span<const std::uint8_t> bytes)
    {
        if (format_ == LogFormat::SatnogsFrames)
            lines_.feed(bytes);
        else
            kiss_.feed(bytes);
    }

    std::unique_ptr<LogFile> log_;
    std::vector<std::uint8_t> block_;
    std::vector<std::uint8_t> start_; // the first bytes, until the format is told
    std::optional<LogFormat> format_;
    KissReader kiss_;
    SatnogsReader lines_;
    FrameBatch *batch_ = nullptr; // being filled
    std::string error_;
    bool cancelled_ = false;
};

// Reads and takes apart the inputs on a thread of its own, a few blocks ahead of the
// merge, so that reading (the kernel's copy, unescaping) and merging use both cores.
// One thread serves every input, whatever their number; each input has at most
// ReadyBatches batches waiting, so memory stays a few blocks per input.
class ReadAhead
{
public:
    static constexpr std::size_t ReadyBatches = 2;

    ReadAhead(std::vector<std::unique_ptr<InputReader>> readers, std::function<bool()> cancel)
        : readers_(std::move(readers)), cancel_(std::move(cancel)), inputs_(readers_.size())
    {
        thread_ = std::thread([this] { run(); });
    }
    ~ReadAhead() { stop(); }
    ReadAhead(const ReadAhead &) = delete;
    ReadAhead &operator=(const ReadAhead &) = delete;

    std::size_t size() const { return inputs_.size(); }

    // The next frame of input `i`, waiting for it to be read; nullptr once the input has
    // ended, and then error() or cancelled() say whether it ended early.
    const InputFrame *head(std::size_t i)
    {
        Input &in = inputs_[i];
        while (in.next >= in.current.frames.size()) {
            if (in.done || !nextBatch(in)) {
                in.done = true;
                return nullptr;
            }
        }
        const FrameBatch::Entry &e = in.current.frames[in.next];
        in.frame.time = e.timed ? std::optional<std::int64_t>(e.time) : std::nullopt;
        in.frame.bytes = {in.current.bytes.data() + e.at, e.size};
        return &in.frame;
    }
    void pop(std::size_t i) { ++inputs_[i].next; }

    // Once input `i` has ended (head() gave nullptr), or after stop(): the reader's state.
    const InputReader &reader(std::size_t i) const { return *readers_[i]; }

    // Ends the reading, where it stands: the thread no longer touches the readers.
    void stop()
    {
        {
            const std::lock_guard lock(mutex_);
            stop_ = true;
        }
        room_.notify_all();
        if (thread_.joinable())
            thread_.join();
    }

private:
    struct Input
    {
        std::deque<FrameBatch> ready; // read, waiting for the merge
        FrameBatch current;           // the merge's
        std::size_t next = 0;         // in `current`
        InputFrame frame;
        bool filling = false; // the thread is reading into a batch of this input
        bool ended = false;   // the thread has read its last batch
        bool done = false;    // and the merge has taken it
    };

    // Swaps the input's next waiting batch in; false when the input has ended.
    bool nextBatch(Input &in)
    {
        std::unique_lock lock(mutex_);
        arrived_.wait(lock, [&] { return !in.ready.empty() || (in.ended && !in.filling); });
        if (in.ready.empty())
            return false;
        // The emptied batch goes back to the thread, keeping its storage.
        std::swap(in.current, in.ready.front());
        spare_.push_back(std::move(in.ready.front()));
        in.ready.pop_front();
        in.next = 0;
        lock.unlock();
        room_.notify_one();
        return true;
    }

    void run()
    {
        const std::function<bool()> stopped = [this] {
            return stop_.load(std::memory_order_relaxed) || (cancel_ && cancel_());
        };
        std::size_t turn = 0;
        std::unique_lock lock(mutex_);
        for (;;) {
            std::size_t chosen = inputs_.size();
            room_.wait(lock, [&] {
                if (stop_)
                    return true;
                chosen = choose(turn);
                return chosen < inputs_.size();
            });
            if (stop_)
                return;
            turn = chosen + 1;
            Input &in = inputs_[chosen];
            in.filling = true;
            FrameBatch batch;
            if (!spare_.empty()) {
                batch = std::move(spare_.back());
                spare_.pop_back();
            }
            lock.unlock();
            batch.bytes.clear();
            batch.frames.clear();
            const bool ended = readers_[chosen]->fill(batch, stopped);
            lock.lock();
            in.filling = false;
            in.ended = ended;
            if (!batch.frames.empty())
                in.ready.push_back(std::move(batch));
            else
                spare_.push_back(std::move(batch));
            arrived_.notify_all();
        }
    }

    // An input to read next: one the merge has nothing of first, else any with room,
    // taking turns from `turn` on.
    std::size_t choose(std::size_t turn) const
    {
        std::size_t withRoom = inputs_.size();
        for (std::size_t k = 0; k < inputs_.size(); ++k) {
            const std::size_t i = (turn + k) % inputs_.size();
            const Input &in = inputs_[i];
            if (in.ended || in.ready.size() >= ReadyBatches)
                continue;
            if (in.ready.empty())
                return i;
            if (withRoom == inputs_.size())
                withRoom = i;
        }
        return withRoom;
    }

    std::vector<std::unique_ptr<InputReader>> readers_;
    std::function<bool()> cancel_;
    std::vector<Input> inputs_;
    std::vector<FrameBatch> spare_;
    std::mutex mutex_;
    std::condition_variable room_;    // the thread waits for a batch to read into
    std::condition_variable arrived_; // the merge waits for a batch of frames
    std::atomic<bool> stop_ = false;
    std::thread thread_;
};

// The bytes of the pending receptions. They come and go first in, first out, so they
// are kept one after another in large chunks, and a chunk is used again once every
// reception in it has gone: no allocation per frame, and memory that of a window.
class ReceptionBytes
{
public:
    struct Place
    {
        const std::uint8_t *data;
        std::uint64_t chunk; // what release() is given
    };

    Place put(std::span<const std::uint8_t> bytes)
    {
        if (chunks_.empty() || chunks_.back().used + bytes.size() > ChunkSize) {
            Chunk &chunk = chunks_.emplace_back();
            if (!spare_.empty()) {
                chunk.data = std::move(spare_.back());
                spare_.pop_back();
            } else {
                chunk.data = std::make_unique<std::uint8_t[]>(ChunkSize);
            }
        }
        Chunk &chunk = chunks_.back();
        std::uint8_t *at = chunk.data.get() + chunk.used;
        if (!bytes.empty())
            std::memcpy(at, bytes.data(), bytes.size());
        chunk.used += bytes.size();
        ++chunk.live;
        return {at, first_ + chunks_.size() - 1};
    }

    // The bytes of a reception put in `chunk` are no longer needed.
    void release(std::uint64_t chunk)
    {
        --chunks_[chunk - first_].live;
        // The chunk being filled stays; emptied ones before it are kept for reuse.
        while (chunks_.size() > 1 && chunks_.front().live == 0) {
            spare_.push_back(std::move(chunks_.front().data));
            chunks_.pop_front();
            ++first_;
        }
    }

private:
    // Frames have at most 512 bytes; a chunk holds hundreds.
    static constexpr std::size_t ChunkSize = std::size_t{64} << 10;
    static_assert(ChunkSize >= KissReader::FrameCapacity);
    struct Chunk
    {
        std::unique_ptr<std::uint8_t[]> data;
        std::size_t used = 0;
        std::size_t live = 0; // receptions in it not yet released
    };
    std::deque<Chunk> chunks_;
    std::vector<std::unique_ptr<std::uint8_t[]>> spare_;
    std::uint64_t first_ = 0; // the number of chunks_.front()
};

// One reception: a frame and the inputs that heard it.
struct Reception
{
    std::int64_t time = 0; // the earliest
    const std::uint8_t *bytes = nullptr;
    std::uint32_t size = 0;
    std::uint64_t chunk = 0;    // of the bytes, in ReceptionBytes
    std::uint64_t heardBy = 0;  // a bit per input
    std::uint64_t hash = 0;     // of the bytes
    Reception *later = nullptr; // the next pending reception of the same hash

    std::span<const std::uint8_t> view() const { return {bytes, size}; }
};

// The pending receptions by the hash of their bytes: the first and last of each hash,
// linked through `later`. Open addressing with linear probing in one array, grown to
// twice the number of hashes it holds; erasing shifts the following entries back
// rather than leaving marks. A node-based map allocates and frees on every frame,
// which was most of the merge's time beside reading.
class ReceptionIndex
{
public:
    struct Entry
    {
        std::uint64_t hash = 0;
        Reception *first = nullptr; // nullptr: an empty slot
        Reception *last = nullptr;
        // The reception the latest frame of this hash went to, with that frame's input
        // and time: see Merger::add.
        Reception *taken = nullptr;
        std::uint64_t takenBy = 0;
        std::int64_t takenAt = 0;
    };

    ReceptionIndex() { slots_.resize(std::size_t{1} << bits_); }

    Entry *find(std::uint64_t hash)
    {
        for (std::size_t i = home(hash);; i = (i + 1) & mask()) {
            Entry &e = slots_[i];
            if (e.first == nullptr)
                return nullptr;
            if (e.hash == hash)
                return &e;
        }
    }

    // `hash` must not be in the index yet.
    Entry &insert(std::uint64_t hash, Reception *r)
    {
        if (2 * (count_ + 1) > slots_.size())
            grow();
        ++count_;
        return place({hash, r, r});
    }

    void erase(Entry *entry)
    {
        std::size_t hole = static_cast<std::size_t>(entry - slots_.data());
        for (std::size_t i = (hole + 1) & mask(); slots_[i].first != nullptr; i = (i + 1) & mask()) {
            // An entry may fill the hole when its home is not between the hole and it.
            const std::size_t distance = (i - home(slots_[i].hash)) & mask();
            if (distance >= ((i - hole) & mask())) {
                slots_[hole] = slots_[i];
                hole = i;
            }
        }
        slots_[hole] = Entry{};
        --count_;
    }

private:
    std::size_t mask() const { return slots_.size() - 1; }
    // The top bits of a multiplicative hash spread any input over the table.
    std::size_t home(std::uint64_t hash) const
    {
        return static_cast<std::size_t>((hash * 0x9E3779B97F4A7C15ull) >> (64 - bits_));
    }
    Entry &place(const Entry &entry)
    {
        std::size_t i = home(entry.hash);
        while (slots_[i].first != nullptr)
            i = (i + 1) & mask();
        return slots_[i] = entry;
    }
    void grow()
    {
        std::vector<Entry> old(std::size_t{1} << ++bits_);
        old.swap(slots_);
        for (const Entry &e : old) {
            if (e.first != nullptr)
                place(e);
        }
    }

    unsigned bits_ = 10;
    std::vector<Entry> slots_;
    std::size_t count_ = 0;
};

class Merger
{
public:
    Merger(const MergeRequest &request, OutputFile &merged, OutputFile *heardBy,
           MergeResult &result)
        : request_(request), merged_(merged), heardBy_(heardBy), result_(result)
    {}

    // A frame of input `input`, in time order.
    void add(std::size_t input, const InputFrame &frame)
    {
        MergeCounts &counts = result_.inputs[input];
        ++counts.framesRead;
        if (frame.time) {
            if (lastTimes_.size() <= input)
                lastTimes_.resize(input + 1);
            if (lastTimes_[input] && *frame.time < *lastTimes_[input])
                ++counts.outOfOrder;
            lastTimes_[input] = frame.time;
        }
        const std::uint64_t bit = std::uint64_t{1} << input;
        if (!frame.time) { // the only input, without a time: as it comes
            emit(std::nullopt, frame.bytes, bit);
            return;
        }
        const std::int64_t time = *frame.time;
        // Receptions older than a window before this frame can no longer be joined.
        while (!pending_.empty() && pending_.front().time < time - request_.windowMs)
            emitFront();
        // Keyed by the bytes' hash: a table keyed by the bytes themselves compares them
        // with every pending frame while it is small, and frames share their first bytes.
        const std::string_view bytes(reinterpret_cast<const char *>(frame.bytes.data()),
                                     frame.bytes.size());
        const std::uint64_t hash = FrameHash(bytes);
        ReceptionIndex::Entry *found = index_.find(hash);
        if (found != nullptr) {
            // Where the previous frame of these bytes went, a frame of the same log no
            // earlier in time goes no earlier: every reception before that one was heard
            // by the log, out of the window or of other bytes then, and is so still.
            // Equal frames by the thousand within one window (a log with few timestamp
            // frames) would otherwise look at every one before them, frame after frame.
            Reception *r = found->first;
            if (Reception *taken = found->taken; taken != nullptr && found->takenBy == bit &&
                                                 time >= found->takenAt && Same(*taken, frame))
                r = taken->later;
            for (; r != nullptr; r = r->later) {
                if ((r->heardBy & bit) == 0 && time - r->time <= request_.windowMs &&
                    Same(*r, frame)) {
                    r->heardBy |= bit;
                    Remember(*found, r, bit, time);
                    return;
                }
            }
        }
        const ReceptionBytes::Place place = bytes_.put(frame.bytes);
        Reception &r = pending_.emplace_back();
        r.time = time;
        r.bytes = place.data;
        r.size = static_cast<std::uint32_t>(frame.bytes.size());
        r.chunk = place.chunk;
        r.heardBy = bit;
        r.hash = hash;
        if (found != nullptr) {
            found->last->later = &r;
            found->last = &r;
        } else {
            found = &index_.insert(hash, &r);
        }
        Remember(*found, &r, bit, time);
    }

    void finish()
    {
        while (!pending_.empty())
            emitFront();
        flush();
    }

    void flush()
    {
        merged_.write(block_);
        block_.clear();
        if (heardBy_ != nullptr) {
            heardBy_->write(lines_);
            lines_.clear();
        }
    }

private:
    static bool Same(const Reception &r, const InputFrame &frame)
    {
        return r.size == frame.bytes.size() &&
               std::memcmp(r.bytes, frame.bytes.data(), r.size) == 0;
    }
    static void Remember(ReceptionIndex::Entry &entry, Reception *taken, std::uint64_t bit,
                         std::int64_t time)
    {
        entry.taken = taken;
        entry.takenBy = bit;
        entry.takenAt = time;
    }

    void emitFront()
    {
        Reception &r = pending_.front();
        // The oldest pending reception is the first of its hash.
        ReceptionIndex::Entry *found = index_.find(r.hash);
        if (found->taken == &r)
            found->taken = nullptr;
        if (r.later != nullptr)
            found->first = r.later;
        else
            index_.erase(found);
        emit(r.time, r.view(), r.heardBy);
        bytes_.release(r.chunk);
        pending_.pop_front();
    }

    void emit(std::optional<std::int64_t> time, std::span<const std::uint8_t> bytes,
              std::uint64_t heardBy)
    {
        ++result_.merged;
        if (time)
            AppendTimestampFrame(block_, *time);
        AppendKissFrame(block_, bytes);
        const bool alone = (heardBy & (heardBy - 1)) == 0;
        for (std::size_t i = 0; i < result_.inputs.size(); ++i) {
            if ((heardBy >> i & 1) != 0)
                ++(alone ? result_.inputs[i].onlyHere : result_.inputs[i].alsoElsewhere);
        }
        if (heardBy_ != nullptr)
            appendHeardBy(time, heardBy);
        if (block_.size() >= WriteBlock || lines_.size() >= WriteBlock)
            flush();
    }

    void appendHeardBy(std::optional<std::int64_t> time, std::uint64_t heardBy)
    {
        lines_ += "{\"Record\":";
        lines_ += std::to_string(result_.merged);
        if (time) {
            lines_ += ",\"Time\":\"";
            lines_ += IsoTimeText(*time);
            lines_ += '"';
        }
        lines_ += ",\"HeardBy\":[";
        bool first = true;
        for (std::size_t i = 0; i < request_.inputs.size(); ++i) {
            if ((heardBy >> i & 1) == 0)
                continue;
            if (!first)
                lines_ += ',';
            first = false;
            lines_ += JsonName(i);
        }
        lines_ += "]}\n";
    }

    const std::string &JsonName(std::size_t input)
    {
        if (jsonNames_.empty()) {
            for (const MergeInput &in : request_.inputs)
                AppendJsonUtf8(jsonNames_.emplace_back(), in.name);
        }
        return jsonNames_[input];
    }

    const MergeRequest &request_;
    OutputFile &merged_;
    OutputFile *heardBy_;
    MergeResult &result_;
    std::deque<Reception> pending_; // in time order; deque: the index points into it
    ReceptionIndex index_;
    ReceptionBytes bytes_;
    std::string block_;
    std::string lines_;
    std::vector<std::string> jsonNames_;
    std::vector<std::optional<std::int64_t>> lastTimes_; // of each input's latest frame
};

MergeResult Ended(MergeResult::Outcome outcome, std::string error)
{
    MergeResult result;
    result.outcome = outcome;
    result.error = std::move(error);
    return result;
}

bool Open(OutputFile &file, const std::string &path)
{
    if (path == "-") {
        file.openStandardOutput();
        return true;
    }
    return file.open(path, OutputFile::Mode::CreateAnew);
}

} // namespace

MergeResult MergeLogs(const MergeRequest &request)
{
    using Outcome = MergeResult::Outcome;
    if (request.inputs.empty())
        return Ended(Outcome::Refused, "no log to merge");
    if (request.inputs.size() > MaxMergeInputs)
        return Ended(Outcome::Refused, "at most " + std::to_string(MaxMergeInputs) +
                                           " logs can be merged at once");
    std::vector<PlannedOutput> planned{{"merged log", request.outputPath}};
    if (request.heardByPath)
        planned.push_back({"heard-by file", *request.heardByPath});
    for (const PlannedOutput &output : planned) {
        if (output.path.empty())
            return Ended(Outcome::Refused, "the " + output.what + "'s name is empty");
    }
    // An output is never an input, by any spelling.
    for (const MergeInput &input : request.inputs) {
        if (auto clash = FindOutputClash(input.path, planned))
            return Ended(Outcome::Refused, std::move(*clash));
    }

    std::vector<std::unique_ptr<InputReader>> readers;
    for (const MergeInput &input : request.inputs) {
        std::string error;
        std::unique_ptr<LogFile> log = LogFile::open(input.path, error);
        if (!log)
            return Ended(Outcome::Failed, error);
        readers.push_back(std::make_unique<InputReader>(std::move(log)));
    }
    ReadAhead inputs(std::move(readers), request.cancel);

    MergeResult result;
    result.inputs.resize(inputs.size());
    // After an input's last frame: whether it ended early.
    const auto failed = [&](std::size_t i) {
        const InputReader &in = inputs.reader(i);
        if (in.cancelled())
            return Ended(Outcome::Cancelled, {});
        return in.error().empty() ? MergeResult{} : Ended(Outcome::Failed, in.error());
    };
    // Every input's first frame: one without a time cannot be placed among the others.
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const InputFrame *frame = inputs.head(i);
        if (frame == nullptr) {
            if (MergeResult stop = failed(i); stop.outcome != Outcome::Merged)
                return stop;
        } else if (!frame->time && inputs.size() > 1) {
            return Ended(Outcome::Refused,
                         request.inputs[i].path +
                             ": its frames have no reception time (no timestamp frame "
                             "before the first one), so they cannot be placed in time "
                             "among the other logs' frames");
        }
    }

    OutputFile merged;
    OutputFile heardBy;
    // An interruption also ends a wait for a FIFO's reader or for room in a pipe.
    merged.setStopCheck(request.cancel);
    heardBy.setStopCheck(request.cancel);
    if (!Open(merged, request.outputPath))
        return Ended(Outcome::Failed, merged.error());
    if (request.heardByPath && !Open(heardBy, *request.heardByPath)) {
        merged.discard();
        return Ended(Outcome::Failed, heardBy.error());
    }
    Merger merger(request, merged, request.heardByPath ? &heardBy : nullptr, result);
    const auto giveUp = [&](MergeResult stop) {
        merged.discard();
        heardBy.discard();
        stop.inputs = result.inputs;
        return stop;
    };

    for (;;) {
        // The input whose next frame is the earliest; the first of equals.
        std::size_t next = inputs.size();
        const InputFrame *earliest = nullptr;
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            const InputFrame *frame = inputs.head(i);
            if (frame == nullptr) {
                if (MergeResult stop = failed(i); stop.outcome != Outcome::Merged)
                    return giveUp(std::move(stop));
                continue;
            }
            // A frame without a time comes only from a lone input: it goes as it comes.
            if (earliest == nullptr || !frame->time || *frame->time < *earliest->time) {
                next = i;
                earliest = frame;
                if (!frame->time)
                    break;
            }
        }
        if (earliest == nullptr)
            break;
        merger.add(next, *earliest);
        inputs.pop(next);
        if (merged.failed() || heardBy.failed())
            break;
    }
    merger.finish();
    inputs.stop(); // all read, unless writing failed and stopped the merge early
    for (std::size_t i = 0; i < inputs.size(); ++i)
        result.inputs[i].load = inputs.reader(i).load();
    for (OutputFile *file : {&merged, &heardBy}) {
        if (file->failed())
            return giveUp(Ended(Outcome::Failed, file->error()));
    }
    for (OutputFile *file : {&heardBy, &merged}) {
        if (file->isOpen() && !file->close())
            return giveUp(Ended(Outcome::Failed, file->error()));
    }
    return result;
}

} // namespace kesta
