#include "log_merge.h"

#include "kiss_log.h"
#include "kiss_reader.h"
#include "output_file.h"
#include "output_names.h"
#include "satnogs_frames.h"
#include "session_outputs.h"
#include "value_text.h"

#include <cstring>
#include <deque>
#include <memory>
#include <memory_resource>
#include <span>
#include <string_view>
#include <unordered_map>

namespace kesta {

namespace {

constexpr std::size_t BlockSize = std::size_t{256} << 10;
constexpr std::size_t WriteBlock = std::size_t{1} << 20;

std::span<const std::uint8_t> Bytes(std::string_view text)
{
    return {reinterpret_cast<const std::uint8_t *>(text.data()), text.size()};
}

// Frames are many and small and live a window long: their bytes and the index's
// entries come from one pool rather than the general heap, which is most of the
// merge's time otherwise.
using PoolString = std::pmr::string;

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

// One input: its frames in the order they come, read a block at a time when the
// merge needs the next one.
class InputFrames
{
public:
    struct Frame
    {
        std::optional<std::int64_t> time;
        PoolString bytes; // the KISS command byte first
    };

    InputFrames(std::unique_ptr<LogFile> log, std::pmr::memory_resource &pool)
        : log_(std::move(log)), pool_(pool), block_(BlockSize),
          kiss_([this](const KissFrame &f) { take(f); }),
          lines_([this](const KissFrame &f) { take(f); })
    {}

    // The next frame, reading on as needed; nullptr at the end. On a read error or a
    // cancel, nullptr too, with error() set or cancelled() true.
    Frame *head(const std::function<bool()> &cancel)
    {
        while (frames_.empty() && !ended_)
            readBlock(cancel);
        return frames_.empty() ? nullptr : &frames_.front();
    }
    void pop() { frames_.pop_front(); }
    const std::string &path() const { return log_->path(); }
    const std::string &error() const { return error_; }
    bool cancelled() const { return cancelled_; }

private:
    void take(const KissFrame &f)
    {
        frames_.push_back(Frame{
            f.receptionTime,
            PoolString(reinterpret_cast<const char *>(f.bytes.data()), f.bytes.size(), &pool_)});
    }

    void readBlock(const std::function<bool()> &cancel)
    {
        const auto n = log_->read(block_, error_, cancel);
        if (cancel && cancel()) {
            cancelled_ = true;
            ended_ = true;
            return;
        }
        if (!n) {
            ended_ = true;
            return;
        }
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
            ended_ = true;
        }
    }

    void feed(std::span<const std::uint8_t> bytes)
    {
        if (format_ == LogFormat::SatnogsFrames)
            lines_.feed(bytes);
        else
            kiss_.feed(bytes);
    }

    std::unique_ptr<LogFile> log_;
    std::pmr::memory_resource &pool_;
    std::vector<std::uint8_t> block_;
    std::vector<std::uint8_t> start_; // the first bytes, until the format is told
    std::optional<LogFormat> format_;
    KissReader kiss_;
    SatnogsReader lines_;
    std::deque<Frame> frames_;
    std::string error_;
    bool ended_ = false;
    bool cancelled_ = false;
};

// One reception: a frame and the inputs that heard it.
struct Reception
{
    std::optional<std::int64_t> time; // the earliest
    PoolString bytes;
    std::uint64_t heardBy = 0; // a bit per input
    std::size_t hash = 0;       // of the bytes
    Reception *later = nullptr; // the next pending reception of the same hash
};

class Merger
{
public:
    Merger(const MergeRequest &request, OutputFile &merged, OutputFile *heardBy,
           MergeResult &result, std::pmr::memory_resource &pool)
        : request_(request), merged_(merged), heardBy_(heardBy), result_(result), index_(&pool)
    {}

    // A frame of input `input`, in time order.
    void add(std::size_t input, InputFrames::Frame &frame)
    {
        ++result_.inputs[input].framesRead;
        const std::uint64_t bit = std::uint64_t{1} << input;
        if (!frame.time) { // the only input, without a time: as it comes
            emit(Reception{std::nullopt, std::move(frame.bytes), bit});
            return;
        }
        const std::int64_t time = *frame.time;
        // Receptions older than a window before this frame can no longer be joined.
        while (!pending_.empty() && *pending_.front().time < time - request_.windowMs)
            emitFront();
        // Keyed by the bytes' hash: a table keyed by the bytes themselves compares them
        // with every pending frame while it is small, and frames share their first bytes.
        const std::size_t hash = FrameHash(frame.bytes);
        const auto found = index_.find(hash);
        if (found != index_.end()) {
            for (Reception *r = found->second.first; r != nullptr; r = r->later) {
                if ((r->heardBy & bit) == 0 && time - *r->time <= request_.windowMs &&
                    r->bytes == frame.bytes) {
                    r->heardBy |= bit;
                    return;
                }
            }
        }
        Reception &r = pending_.emplace_back(Reception{time, std::move(frame.bytes), bit, hash});
        if (found != index_.end()) {
            found->second.second->later = &r;
            found->second.second = &r;
        } else {
            index_.emplace(hash, std::pair{&r, &r});
        }
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
    void emitFront()
    {
        Reception &r = pending_.front();
        // The oldest pending reception is the first of its hash.
        const auto found = index_.find(r.hash);
        if (r.later != nullptr)
            found->second.first = r.later;
        else
            index_.erase(found);
        emit(std::move(r));
        pending_.pop_front();
    }

    void emit(Reception &&r)
    {
        ++result_.merged;
        if (r.time)
            AppendTimestampFrame(block_, *r.time);
        AppendKissFrame(block_, Bytes(r.bytes));
        const bool alone = (r.heardBy & (r.heardBy - 1)) == 0;
        for (std::size_t i = 0; i < result_.inputs.size(); ++i) {
            if ((r.heardBy >> i & 1) != 0)
                ++(alone ? result_.inputs[i].onlyHere : result_.inputs[i].alsoElsewhere);
        }
        if (heardBy_ != nullptr)
            appendHeardBy(r);
        if (block_.size() >= WriteBlock || lines_.size() >= WriteBlock)
            flush();
    }

    void appendHeardBy(const Reception &r)
    {
        lines_ += "{\"Record\":";
        lines_ += std::to_string(result_.merged);
        if (r.time) {
            lines_ += ",\"Time\":\"";
            lines_ += IsoTimeText(*r.time);
            lines_ += '"';
        }
        lines_ += ",\"HeardBy\":[";
        bool first = true;
        for (std::size_t i = 0; i < request_.inputs.size(); ++i) {
            if ((r.heardBy >> i & 1) == 0)
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
            for (const MergeInput &in : request_.inputs) {
                std::string text = "\"";
                for (const char c : in.name) {
                    const auto b = static_cast<unsigned char>(c);
                    if (c == '"' || c == '\\') {
                        text += '\\';
                        text += c;
                    } else if (b < 0x20) {
                        static constexpr char Hex[] = "0123456789abcdef";
                        text += "\\u00";
                        text += Hex[b >> 4];
                        text += Hex[b & 0xF];
                    } else {
                        text += c;
                    }
                }
                jsonNames_.push_back(text + '"');
            }
        }
        return jsonNames_[input];
    }

    const MergeRequest &request_;
    OutputFile &merged_;
    OutputFile *heardBy_;
    MergeResult &result_;
    std::deque<Reception> pending_; // in time order; deque: the index points into it
    // The first and last pending reception of each hash of bytes, linked by `later`.
    std::pmr::unordered_map<std::size_t, std::pair<Reception *, Reception *>> index_;
    std::string block_;
    std::string lines_;
    std::vector<std::string> jsonNames_;
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

    std::pmr::unsynchronized_pool_resource pool;
    std::vector<std::unique_ptr<InputFrames>> inputs;
    for (const MergeInput &input : request.inputs) {
        std::string error;
        std::unique_ptr<LogFile> log = LogFile::open(input.path, error);
        if (!log)
            return Ended(Outcome::Failed, error);
        inputs.push_back(std::make_unique<InputFrames>(std::move(log), pool));
    }

    MergeResult result;
    result.inputs.resize(inputs.size());
    const auto failed = [&](InputFrames &in) {
        if (in.cancelled())
            return Ended(Outcome::Cancelled, {});
        return in.error().empty() ? MergeResult{} : Ended(Outcome::Failed, in.error());
    };
    // Every input's first frame: one without a time cannot be placed among the others.
    for (auto &in : inputs) {
        const InputFrames::Frame *frame = in->head(request.cancel);
        if (MergeResult stop = failed(*in); stop.outcome != Outcome::Merged)
            return stop;
        if (frame != nullptr && !frame->time && inputs.size() > 1) {
            return Ended(Outcome::Refused,
                         in->path() + ": its frames have no reception time (no timestamp frame "
                                      "before the first one), so they cannot be placed in time "
                                      "among the other logs' frames");
        }
    }

    OutputFile merged;
    OutputFile heardBy;
    if (!Open(merged, request.outputPath))
        return Ended(Outcome::Failed, merged.error());
    if (request.heardByPath && !Open(heardBy, *request.heardByPath)) {
        merged.discard();
        return Ended(Outcome::Failed, heardBy.error());
    }
    Merger merger(request, merged, request.heardByPath ? &heardBy : nullptr, result, pool);
    const auto giveUp = [&](MergeResult stop) {
        merged.discard();
        heardBy.discard();
        stop.inputs = result.inputs;
        return stop;
    };

    for (;;) {
        // The input whose next frame is the earliest; the first of equals.
        std::size_t next = inputs.size();
        InputFrames::Frame *earliest = nullptr;
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            InputFrames::Frame *frame = inputs[i]->head(request.cancel);
            if (MergeResult stop = failed(*inputs[i]); stop.outcome != Outcome::Merged)
                return giveUp(std::move(stop));
            if (frame == nullptr)
                continue;
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
        inputs[next]->pop();
        if (merged.failed() || heardBy.failed())
            break;
    }
    merger.finish();
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
