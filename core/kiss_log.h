#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace kesta {

class DecodingSession;

// A KISS log opened read-only: a file, or a pipe or FIFO that is read as it is
// written. The log is only ever read, in large blocks.
class LogFile
{
public:
    // Opens `path` for reading; on failure returns nullptr and sets `error` to
    // "<path>: <reason>". Opening never waits for a FIFO's writer.
    static std::unique_ptr<LogFile> open(const std::string &path, std::string &error);
    ~LogFile();
    LogFile(const LogFile &) = delete;
    LogFile &operator=(const LogFile &) = delete;

    const std::string &path() const { return path_; }
    // The size of a regular file; nullopt for a pipe, FIFO or device.
    std::optional<std::uint64_t> size() const { return size_; }

    // Reads up to buffer.size() bytes; returns the count, 0 at the end of the log
    // or when `cancel` was set while waiting for a pipe or FIFO. On a read error
    // returns nullopt and sets `error` to "<path>: <reason>".
    std::optional<std::size_t> read(std::span<std::uint8_t> buffer, std::string &error,
                                    const std::function<bool()> &cancel = {});

private:
    LogFile(std::string path, int fd, std::optional<std::uint64_t> size);
    std::string path_;
    int fd_;
    std::optional<std::uint64_t> size_;
};

// How a caller follows and stops the reading of a log.
struct ReadControl
{
    // Asked between blocks and while a pipe has nothing to read; true stops the reading.
    std::function<bool()> cancel;
    // Called after every block with the bytes read so far and the log's size (nullopt
    // for a pipe or FIFO).
    std::function<void(std::uint64_t bytesRead, std::optional<std::uint64_t> size)> progress;
};

enum class ReadOutcome
{
    Complete,  // read to its end; the session was finished
    Cancelled, // stopped on request
    Failed,    // a read error, in `error`
};

// Feeds the whole log into `session`, block by block, and finishes the session
// at the end of the log. A SatNOGS frame export, told by its content, is fed frame
// by frame (see SatnogsReader); anything else is taken as KISS.
ReadOutcome FeedLog(LogFile &log, DecodingSession &session, std::string &error,
                    const ReadControl &control = {});

} // namespace kesta
