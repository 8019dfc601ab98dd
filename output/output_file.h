#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kesta {

// An output text file kept open for a whole run. Writes go through a large
// buffer straight to the operating system, so a run costs a few system calls per
// megabyte instead of one open/close per line. The first failure (open, write or
// close) is kept as "<path>: <reason>"; after it every further write is skipped,
// so a caller may write on and check once at the end.
//
// Written by hand on POSIX write(2) rather than on std::ofstream or stdio: those
// lose the reason of a failed write (errno is not theirs to keep) and report a
// failed close only indirectly, while a run has to name the file and the reason.
class OutputFile
{
public:
    enum class Mode
    {
        CreateAnew, // create the file, or empty an existing one
        Append,     // append to the file, creating it when missing
    };

    static constexpr std::size_t DefaultBufferSize = std::size_t{1} << 20;

    explicit OutputFile(std::size_t bufferSize = DefaultBufferSize);
    // Closes the file; a failure on this path is lost, so call close() to check.
    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    // Opens `path`. Returns false and keeps the error when the file cannot be opened.
    bool open(const std::string &path, Mode mode);
    // Writes to the process's standard output, which close() flushes but leaves open.
    void openStandardOutput();

    void write(std::string_view text);
    void writeLine(std::string_view text); // the text and CR LF
    // Writes out the buffer; returns false when the file has failed.
    bool flush();
    // Flushes and closes; returns false when anything failed since open().
    bool close();

    bool isOpen() const { return fd_ >= 0; }
    bool failed() const { return !error_.empty(); }
    const std::string &error() const { return error_; }
    const std::string &path() const { return path_; }
    // True when open() created the file, or emptied an existing one (CreateAnew).
    bool createdOrEmptied() const { return createdOrEmptied_; }

private:
    void fail(int errorNumber);
    void writeThrough(const char *data, std::size_t size);

    std::string path_;
    std::string error_;
    std::string buffer_;
    std::size_t bufferSize_;
    int fd_ = -1;
    bool ownsFd_ = false;
    bool createdOrEmptied_ = false;
};

} // namespace kesta
