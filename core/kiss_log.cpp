#include "kiss_log.h"

#include "decoding_session.h"
#include "satnogs_frames.h"

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace kesta {
namespace {

std::string Reason(int error)
{
    return std::strerror(error);
}

bool Cancelled(const std::function<bool()> &cancel)
{
    return cancel && cancel();
}

// How long a wait for a pipe's data lasts before the cancel flag is looked at again.
constexpr int PollMilliseconds = 50;

// Reads a regular file a few blocks ahead of the session, on a thread of its own: the
// kernel's copy of the file into the blocks is about an eighth of a decode's time, and
// on a second core it overlaps the decoding instead of adding to it. At most
// BlockCount blocks of BlockBytes exist, the same memory as one large block. Only the
// caller's thread asks the cancel flag (it may not be safe to ask from another).
class ReadAhead
{
public:
    static constexpr std::size_t BlockBytes = std::size_t{256} << 10;
    static constexpr std::size_t BlockCount = 4;

    struct Block
    {
        std::vector<std::uint8_t> bytes;
        std::size_t size = 0;
    };

    explicit ReadAhead(LogFile &log)
        : log_(log)
    {
        for (std::size_t i = 0; i < BlockCount; ++i)
            free_.push_back(std::make_unique<Block>(Block{std::vector<std::uint8_t>(BlockBytes)}));
        thread_ = std::thread([this] { run(); });
    }
    ~ReadAhead()
    {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    ReadAhead(const ReadAhead &) = delete;
    ReadAhead &operator=(const ReadAhead &) = delete;

    // The next block in the file's order; size 0 at its end. Nullopt after a read
    // error, which is then in `error`.
    std::optional<std::unique_ptr<Block>> next(std::string &error)
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !full_.empty() || finished_; });
        if (!full_.empty()) {
            auto block = std::move(full_.front());
            full_.pop_front();
            return block;
        }
        if (!error_.empty()) {
            error = error_;
            return std::nullopt;
        }
        return std::make_unique<Block>();
    }
    // Hands a block back to be filled again.
    void recycle(std::unique_ptr<Block> block)
    {
        if (block->bytes.empty())
            return;
        {
            std::lock_guard lock(mutex_);
            free_.push_back(std::move(block));
        }
        changed_.notify_all();
    }

private:
    void run()
    {
        for (;;) {
            std::unique_ptr<Block> block;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [this] { return !free_.empty() || stop_; });
                if (stop_)
                    return;
                block = std::move(free_.back());
                free_.pop_back();
            }
            std::string error;
            const auto n = log_.read(block->bytes, error);
            {
                std::lock_guard lock(mutex_);
                if (!n || *n == 0) {
                    error_ = std::move(error);
                    finished_ = true;
                } else {
                    block->size = *n;
                    full_.push_back(std::move(block));
                }
            }
            changed_.notify_all();
            if (!n || *n == 0)
                return;
        }
    }

    LogFile &log_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::unique_ptr<Block>> free_;
    std::deque<std::unique_ptr<Block>> full_;
    bool stop_ = false;
    bool finished_ = false;
    std::string error_;
    std::thread thread_;
};

} // namespace

LogFile::LogFile(std::string path, int fd, std::optional<std::uint64_t> size)
    : path_(std::move(path)), fd_(fd), size_(size)
{}

LogFile::~LogFile()
{
    if (fd_ >= 0)
        ::close(fd_);
}

std::unique_ptr<LogFile> LogFile::open(const std::string &path, std::string &error)
{
    // O_NONBLOCK: opening a FIFO would otherwise wait for a writer, with no way to
    // cancel. A regular file is switched back to plain blocking reads.
    int fd = -1;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        error = path + ": " + Reason(errno);
        return nullptr;
    }
    struct stat st
    {};
    if (::fstat(fd, &st) != 0) {
        error = path + ": " + Reason(errno);
        ::close(fd);
        return nullptr;
    }
    // A folder opens for reading but cannot be read; find out now, before any
    // output file is touched.
    if (S_ISDIR(st.st_mode)) {
        error = path + ": " + Reason(EISDIR);
        ::close(fd);
        return nullptr;
    }
    std::optional<std::uint64_t> size;
    if (S_ISREG(st.st_mode)) {
        size = static_cast<std::uint64_t>(st.st_size);
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    }
    return std::unique_ptr<LogFile>(new LogFile(path, fd, size));
}

std::optional<std::size_t> LogFile::read(std::span<std::uint8_t> buffer, std::string &error,
                                         const std::function<bool()> &cancel)
{
    for (;;) {
        if (Cancelled(cancel))
            return 0;
        if (!size_) {
            // A pipe or FIFO: wait for data, a little at a time, so that a cancel is
            // seen even when no writer ever comes. Before the first writer there is
            // no event at all; after the last one has gone, POLLHUP and a read of 0.
            pollfd p{fd_, POLLIN, 0};
            const int ready = ::poll(&p, 1, PollMilliseconds);
            if (ready < 0 && errno != EINTR) {
                error = path_ + ": " + Reason(errno);
                return std::nullopt;
            }
            if (ready <= 0)
                continue;
        }
        const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
        if (n >= 0)
            return static_cast<std::size_t>(n);
        if (errno == EINTR || errno == EAGAIN)
            continue;
        error = path_ + ": " + Reason(errno);
        return std::nullopt;
    }
}

ReadOutcome FeedLog(LogFile &log, DecodingSession &session, std::string &error,
                    const ReadControl &control)
{
    std::uint64_t total = 0;
    // The format is told by the log's first line; a pipe may hand it over in pieces,
    // which are kept until it is complete.
    std::optional<LogFormat> format;
    std::vector<std::uint8_t> start;
    std::optional<SatnogsReader> lines;
    const auto feed = [&](std::span<const std::uint8_t> bytes) {
        if (lines)
            lines->feed(bytes);
        else
            session.feed(bytes);
    };
    const auto decide = [&](std::span<const std::uint8_t> bytes, bool endOfInput) {
        if (!format) {
            start.insert(start.end(), bytes.begin(), bytes.end());
            format = SniffLogFormat(start, endOfInput);
            if (!format)
                return;
            if (*format == LogFormat::SatnogsFrames)
                lines.emplace([&session](const KissFrame &frame) { session.feedFrame(frame); });
            feed(start);
            start = {};
            return;
        }
        feed(bytes);
    };
    const auto finish = [&] {
        decide({}, true);
        if (lines) {
            lines->finish();
            session.setLineReport(lines->stats());
        }
        session.finish();
        return ReadOutcome::Complete;
    };
    const auto fed = [&](std::size_t n) {
        total += n;
        if (control.progress)
            control.progress(total, log.size());
    };
    if (log.size()) {
        // A regular file: read ahead on the second core.
        ReadAhead ahead(log);
        for (;;) {
            auto block = ahead.next(error);
            if (!block)
                return ReadOutcome::Failed;
            if (Cancelled(control.cancel))
                return ReadOutcome::Cancelled;
            if ((*block)->size == 0)
                return finish();
            decide(std::span<const std::uint8_t>((*block)->bytes.data(), (*block)->size), false);
            fed((*block)->size);
            ahead.recycle(std::move(*block));
        }
    }
    std::vector<std::uint8_t> block(std::size_t{1} << 20);
    for (;;) {
        const auto n = log.read(block, error, control.cancel);
        if (!n)
            return ReadOutcome::Failed;
        if (Cancelled(control.cancel))
            return ReadOutcome::Cancelled;
        if (*n == 0)
            return finish();
        decide(std::span<const std::uint8_t>(block.data(), *n), false);
        fed(*n);
    }
}

} // namespace kesta
