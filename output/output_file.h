#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace kesta {

// An output text file kept open for a whole run. Writes go through a large
// buffer straight to the operating system, so a run costs a few system calls per
// megabyte instead of one open/close per line. The first failure (open, write or
// close) is kept as "<path>: <reason>"; after it every further write is skipped,
// so a caller may write on and check once at the end.
//
// Nothing the user had is lost on the way. A file made anew is written under a
// hidden temporary name beside its own and takes the place of the old file only
// when close() succeeds; discard() (or destroying an unclosed file) removes the
// temporary and leaves the old file exactly as it was. An existing symbolic link
// to a regular file (or to nothing) is replaced, never written through. Appending
// is undone by discard() by cutting the file back to its length before.
//
// A device, FIFO or socket is written as it is, also through a symbolic link
// (/dev/stdout, /proc/self/fd/1, /dev/fd/2), and so is a name of the process's own
// standard output or error. Such outputs never block: a FIFO without a reader is
// waited for, and a reader that does not take what is written is waited on, and
// both waits ask the stop check every tenth of a second; a stop ends the wait and
// the file fails as interrupted. Without a stop check, a FIFO without a reader is
// an error at once.
//
// A file made anew is written by a thread of its own once its first buffer is full:
// the caller goes on filling the next buffer while the operating system copies the
// last one and the disk writes it, at most a few buffers behind (memory stays
// bounded: a caller that is faster than the disk waits for room). That thread hands
// the data to the disk as it goes, so the sync at close() has little left to do. A
// failure of that thread shows in failed() at the next write. Devices, FIFOs, sockets, appended files and files written in place are
// written by the caller, as they come.
//
// Written by hand on POSIX calls rather than on std::ofstream, stdio or
// QSaveFile: the core and the command line have no Qt, stdio and streams lose the
// reason of a failed write (errno is not theirs to keep), and the run has to
// name the file and the reason.
class OutputFile
{
public:
    enum class Mode
    {
        CreateAnew, // a new file replaces the one of that name at close(); devices are written as
                    // they are
        Append,     // append to the file, creating it when missing
        CreateNew,  // create a file that must not exist yet, and write it in place
    };

    static constexpr std::size_t DefaultBufferSize = std::size_t{1} << 20;

    // Asked while the file waits for a FIFO's reader or for room in a pipe; true
    // ends the wait. Safe to call from any thread; set it before open().
    using StopCheck = std::function<bool()>;

    explicit OutputFile(std::size_t bufferSize = DefaultBufferSize);
    // An unclosed file is discarded.
    ~OutputFile();
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    // Opens `path`. Returns false and keeps the error when the file cannot be opened.
    bool open(const std::string &path, Mode mode);
    // Writes to the process's standard output, which close() flushes but leaves open.
    void openStandardOutput();
    void setStopCheck(StopCheck check) { stopCheck_ = std::move(check); }

    void write(std::string_view text);
    void writeLine(std::string_view text); // the text and CR LF
    // Writes `size` bytes that fill(char *) makes in place, saving a copy.
    template <typename Fill> void writeWith(std::size_t size, Fill &&fill)
    {
        if (fd_ < 0 || failed())
            return;
        if (buffer_.size() + size > bufferSize_) {
            std::string text(size, '\0');
            fill(text.data());
            write(text);
            return;
        }
        const std::size_t start = buffer_.size();
        buffer_.resize(start + size);
        fill(buffer_.data() + start);
    }
    // Writes all of `block`, taking it over where it can rather than copying it; `block`
    // comes back empty, maybe with other storage.
    void writeBlock(std::string &block);
    // Writes the first `size` bytes of `block`, which comes back with other storage or
    // its own, its size and contents left as they happen to be: for a caller that
    // writes through a pointer into the whole of a buffer and keeps its own count.
    void writeBlock(std::string &block, std::size_t size);
    // Writes out the buffer; returns false when the file has failed.
    bool flush();
    // Flushes and finishes the file: a file made anew now takes its name. Returns
    // false when anything failed since open(); then the old file is kept.
    bool close();
    // Gives up the file: the old file of that name stays as it was.
    void discard();

    bool isOpen() const { return fd_ >= 0; }
    bool failed() const
    {
        return !error_.empty() ||
               (writerFailed_ != nullptr && writerFailed_->load(std::memory_order_acquire));
    }
    // True when the file failed because the stop check ended a wait.
    bool interrupted() const { return interrupted_; }
    const std::string &error() const;
    const std::string &path() const { return path_; }
    // True when no file of this name existed before open(): the file is this
    // program's own.
    bool created() const { return created_; }

    // Whether close() makes the data durable (fsync) before the file takes its
    // name. On by default.
    void setSyncOnClose(bool sync) { syncOnClose_ = sync; }

    // The hidden temporary name of `path` for process `pid`: ".<name>.<pid>.kesta-part"
    // beside it, with the name shortened (a part kept, a hash of the whole added) where
    // that would be longer than a file name may be.
    static std::string TemporaryName(const std::string &path, long pid);
    // True when `path` is written as it is rather than replaced: a device, FIFO or
    // socket, a symbolic link leading to one, or a name of standard output or error.
    static bool WritesThrough(const std::string &path);

private:
    class Writer;

    void fail(int errorNumber);
    // Hands the buffer on: to the writer thread, or straight to the file. `full`: the
    // buffer has no room left, which starts the writer thread of a file made anew.
    void sendBuffer(bool full);
    // True when the writer thread takes the writes (started at the first need).
    bool useWriter();
    // Ends the writer thread: after writing what it holds, or at once (abandon).
    void stopWriter(bool abandon);
    void collectWriterError() const;
    void failWith(std::string reason);
    void failInterrupted();
    bool stopRequested() const { return stopCheck_ && stopCheck_(); }
    void writeThrough(const char *data, std::size_t size);
    bool waitWritable();
    void closeDescriptor();
    bool openReplacement(const std::string &path);
    int openWaiting(const std::string &path, int flags, unsigned mode = 0666);
    bool openDescriptor(int fd);
    void notePipe();

    std::string path_;
    std::string temporary_; // CreateAnew: the name written until close()
    mutable std::string error_;
    std::string buffer_;
    std::unique_ptr<Writer> writer_;
    const std::atomic<bool> *writerFailed_ = nullptr; // the writer thread's failure flag
    std::size_t bufferSize_;
    int fd_ = -1;
    bool ownsFd_ = false;
    bool sendOnly_ = false; // a socket: written with send(), never blocking
    bool pipe_ = false;     // a pipe or FIFO: written without SIGPIPE
    bool created_ = false;
    bool interrupted_ = false;
    StopCheck stopCheck_;
    bool syncOnClose_ = true;
    static constexpr std::uint64_t SyncChunk = std::uint64_t{8} << 20;
    std::uint64_t written_ = 0;     // bytes written since open()
    std::uint64_t syncStarted_ = 0; // bytes handed to the disk ahead of the sync at close
    bool appendRollback_ = false;
    std::int64_t appendStart_ = 0;
    Mode mode_ = Mode::CreateAnew;
};

} // namespace kesta
