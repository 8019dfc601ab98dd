#include "kiss_log.h"

#include "program_state.h"
#include "value_text.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

namespace kesta {
namespace {

std::string Reason(int error)
{
    return std::strerror(error);
}

// Hands the accepted frames of one run to the record store and the sink.
class RunFrames
{
public:
    RunFrames(ProgramState &state, RunSink &sink) : state_(state), sink_(sink)
    {
        state_.store.reset();
    }

    void operator()(const KissFrame &frame)
    {
        hex_.clear();
        AppendHexText(hex_, frame.bytes);
        sink_.dumpLine(hex_);

        RecordStore &store = state_.store;
        if (store.RecordCount >= RecordStore::MaxRecords) {
            ++beyondLimit_; // kept in the dump, but there is no slot for it
            return;
        }
        ++store.RecordCount;
        TelemetryRecord &r = store[store.RecordCount];
        r.RawHex = hex_;
        r.Written.set(Field::RawHex);
        r.ReceptionTime = frame.receptionTime;
        const DecodeResult decoded = DecodeFrame(frame.bytes, r, store.counters);
        if (!decoded.message.empty())
            sink_.message(decoded.message);
        if (state_.counterTextChanged) {
            state_.counterTextChanged(CounterText(store.counters.HtrxCount, store.counters.FssCount,
                                                  store.counters.FssHiCount));
        }
    }

    std::uint64_t beyondLimit() const { return beyondLimit_; }

private:
    ProgramState &state_;
    RunSink &sink_;
    std::string hex_;
    std::uint64_t beyondLimit_ = 0;
};

} // namespace

LogFile::LogFile(std::string path, std::FILE *file) : path_(std::move(path)), file_(file) {}

LogFile::~LogFile()
{
    if (file_ != nullptr)
        std::fclose(file_);
}

std::unique_ptr<LogFile> LogFile::open(const std::string &path, std::string &error)
{
    // A folder opens for reading on some systems but cannot be read; find out now,
    // before any output file is touched.
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        error = path + ": " + Reason(EISDIR);
        return nullptr;
    }
    errno = 0;
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = path + ": " + Reason(errno != 0 ? errno : ENOENT);
        return nullptr;
    }
    // Reads go straight into our own large blocks.
    std::setvbuf(file, nullptr, _IONBF, 0);
    return std::unique_ptr<LogFile>(new LogFile(path, file));
}

std::optional<std::size_t> LogFile::read(std::span<std::uint8_t> buffer, std::string &error)
{
    errno = 0;
    const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), file_);
    if (n == 0 && std::ferror(file_)) {
        error = path_ + ": " + Reason(errno != 0 ? errno : EIO);
        return std::nullopt;
    }
    return n;
}

namespace {

// One run: fresh store, reader from the start, `feedAll` feeds every byte.
template <typename Feed> LogReadSummary Run(ProgramState &state, RunSink &sink, Feed feedAll)
{
    RunFrames frames(state, sink);
    KissReader &reader = state.reader;
    reader.reset();
    reader.setFrameHandler(std::ref(frames));
    LogReadSummary summary;
    feedAll(reader, summary);
    reader.finish();
    reader.setFrameHandler({});
    summary.reader = reader.stats();
    summary.framesBeyondLimit = frames.beyondLimit();
    return summary;
}

} // namespace

LogReadSummary ReadKissLog(ProgramState &state, LogFile &log, RunSink &sink)
{
    return Run(state, sink, [&log](KissReader &reader, LogReadSummary &summary) {
        std::vector<std::uint8_t> block(1 << 20);
        for (;;) {
            std::string error;
            const auto n = log.read(block, error);
            if (!n) {
                summary.readError = error;
                return;
            }
            if (*n == 0)
                return;
            reader.feed(std::span<const std::uint8_t>(block.data(), *n));
        }
    });
}

LogReadSummary ReadKissBytes(ProgramState &state, std::span<const std::uint8_t> bytes,
                             RunSink &sink)
{
    return Run(state, sink, [bytes](KissReader &reader, LogReadSummary &) { reader.feed(bytes); });
}

} // namespace kesta
