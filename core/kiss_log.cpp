#include "kiss_log.h"

#include "decoding_session.h"
#include "satnogs_frames.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
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
    std::vector<std::uint8_t> block(std::size_t{1} << 20);
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
    for (;;) {
        const auto n = log.read(block, error, control.cancel);
        if (!n)
            return ReadOutcome::Failed;
        if (Cancelled(control.cancel))
            return ReadOutcome::Cancelled;
        if (*n == 0) {
            decide({}, true);
            if (lines) {
                lines->finish();
                session.setLineReport(lines->stats());
            }
            session.finish();
            return ReadOutcome::Complete;
        }
        decide(std::span<const std::uint8_t>(block.data(), *n), false);
        total += *n;
        if (control.progress)
            control.progress(total, log.size());
    }
}

} // namespace kesta
