#include "output_file.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <string_view>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kesta {

namespace {

// How long a wait for a FIFO's reader or for room in a pipe goes before the stop
// check is asked again.
constexpr int WaitSliceMs = 100;

int openRetrying(const std::string &path, int flags, mode_t mode = 0666)
{
    int fd = -1;
    do {
        fd = ::open(path.c_str(), flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

std::string folderOf(const std::string &path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string &path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

constexpr std::string_view TemporarySuffix = ".kesta-part";

// The process id in a temporary's name ".<name>.<pid>.kesta-part", or -1 for any
// other name.
long TemporaryPid(std::string_view name)
{
    if (name.size() < 4 + TemporarySuffix.size() || name[0] != '.' ||
        !name.ends_with(TemporarySuffix))
        return -1;
    name.remove_suffix(TemporarySuffix.size());
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot < 2)
        return -1;
    const std::string_view digits = name.substr(dot + 1);
    if (digits.empty() || digits.size() > 9 ||
        digits.find_first_not_of("0123456789") != std::string_view::npos)
        return -1;
    return std::stol(std::string(digits));
}

bool ProcessRuns(long pid)
{
    return pid == ::getpid() || ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

// Removes the temporaries that killed processes left in `folder`, whatever output
// they were for: names of the temporaries' pattern whose process no longer runs.
// A writer holds a lock on its temporary for as long as it lives, so a temporary of a
// process that runs under another pid namespace (a container) is left alone as well.
void RemoveStaleTemporaries(const std::string &folder)
{
    DIR *dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return;
    const int dirFd = ::dirfd(dir);
    while (const dirent *entry = ::readdir(dir)) {
        const long pid = TemporaryPid(entry->d_name);
        if (pid < 0 || ProcessRuns(pid))
            continue;
        // O_NONBLOCK: a FIFO of that name must not stop us.
        const int fd =
            ::openat(dirFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        bool stale = fd < 0 && errno == EACCES; // a write-only copy of a user's mode
        if (fd >= 0) {
            struct stat st
            {};
            stale =
                ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        }
        if (stale)
            ::unlinkat(dirFd, entry->d_name, 0);
        if (fd >= 0)
            ::close(fd);
    }
    ::closedir(dir);
}

// 64-bit FNV-1a: enough to tell apart the long names in one folder.
std::uint64_t NameHash(std::string_view name)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : name) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

// write() to a pipe or FIFO whose reader has gone, without SIGPIPE: the broken pipe is
// this file's failure (EPIPE), not the end of the program, also where the signal is not
// ignored (the windows). The signal is blocked for this thread only, and the one the
// write raised is taken before it is unblocked.
ssize_t WriteWithoutSignal(int fd, const char *data, std::size_t size)
{
    sigset_t pipeSignal, before;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    ::pthread_sigmask(SIG_BLOCK, &pipeSignal, &before);
    const ssize_t n = ::write(fd, data, size);
    const int error = errno;
    sigset_t pending;
    if (n < 0 && error == EPIPE && !sigismember(&before, SIGPIPE) && ::sigpending(&pending) == 0 &&
        sigismember(&pending, SIGPIPE)) {
        const timespec now{};
        ::sigtimedwait(&pipeSignal, nullptr, &now);
    }
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    errno = error;
    return n;
}

bool SameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The process's standard output or error when `target` is that file, else -1.
int StandardStreamOf(const struct stat &target)
{
    for (const int fd : {STDOUT_FILENO, STDERR_FILENO}) {
        struct stat st
        {};
        if (::fstat(fd, &st) == 0 && SameFile(st, target))
            return fd;
    }
    return -1;
}

// Whether a name that lstat() found as `name` is written as it is: a device, FIFO or
// socket, or a symbolic link to one or to standard output or error. `target` is what
// the name leads to, nullptr for a dangling link.
bool WrittenThrough(const struct stat &name, const struct stat *target)
{
    if (S_ISREG(name.st_mode) || S_ISDIR(name.st_mode))
        return false;
    if (!S_ISLNK(name.st_mode))
        return true;
    if (target == nullptr || S_ISDIR(target->st_mode))
        return false;
    return !S_ISREG(target->st_mode) || StandardStreamOf(*target) >= 0;
}

} // namespace

std::string OutputFile::TemporaryName(const std::string &path, long pid)
{
    const std::string folder = folderOf(path);
    const std::string prefix = path.rfind('/') == std::string::npos ? "" : folder + "/";
    const std::string name = nameOf(path);
    // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) on "." + name.
    std::string tail = ".";
    tail += std::to_string(pid);
    tail += TemporarySuffix;
    std::string hidden = ".";
    hidden += name;
    hidden += tail;
    const long limit = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    const std::size_t nameMax = limit > 0 ? static_cast<std::size_t>(limit) : NAME_MAX;
    if (hidden.size() > nameMax) {
        // Too long for a name: a part of it, and a hash of the whole to keep it unique.
        char hash[24];
        std::snprintf(hash, sizeof hash, "~%016llx",
                      static_cast<unsigned long long>(NameHash(name)));
        const std::size_t fixed = 1 + std::strlen(hash) + tail.size();
        std::size_t keep = nameMax > fixed ? std::min(name.size(), nameMax - fixed) : 0;
        while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80)
            --keep; // not within a UTF-8 character
        hidden.resize(1);
        hidden.append(name, 0, keep);
        hidden += hash;
        hidden += tail;
    }
    return prefix + hidden;
}

bool OutputFile::WritesThrough(const std::string &path)
{
    struct stat name
    {};
    if (path.empty() || ::lstat(path.c_str(), &name) != 0)
        return false;
    struct stat target
    {};
    const bool leads = ::stat(path.c_str(), &target) == 0;
    return WrittenThrough(name, leads ? &target : nullptr);
}

// The thread that writes a file made anew, fed with whole buffers through a short
// queue. It writes regular files only, which never make a write wait for a reader,
// so it has no stop check to ask: a stop that discards the file drops what is queued
// and waits at most for the write or disk wait under way.
class OutputFile::Writer
{
public:
    // Buffers waiting to be written; the caller waits for room beyond that.
    static constexpr std::size_t MaxQueued = 2;
    // Buffers made here beside the callers' own: with one being written, the queue
    // and one being filled, the memory a file takes stays bounded.
    static constexpr std::size_t MaxMade = MaxQueued + 2;

    Writer(int fd, bool syncAhead) : fd_(fd), syncAhead_(syncAhead), thread_([this] { run(); }) {}
    ~Writer() { stop(true); }
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    // Queues `block` and returns a buffer for the caller to fill next: one that has
    // been written, its storage kept, or while there are few, a new one. Reusing
    // them spares the system mapping and clearing fresh memory for every megabyte.
    // `clear`: the buffer comes back empty; otherwise with what it held, so that a
    // caller writing through a pointer into the whole of it need not clear it again.
    std::string push(std::string &&block, bool clear = true)
    {
        std::unique_lock lock(mutex_);
        room_.wait(lock, [this] {
            return queue_.size() < MaxQueued && (!spare_.empty() || made_ < MaxMade);
        });
        queue_.push_back(std::move(block));
        std::string spare;
        if (!spare_.empty()) {
            spare = std::move(spare_.back());
            spare_.pop_back();
        } else {
            ++made_;
        }
        lock.unlock();
        work_.notify_one();
        if (clear)
            spare.clear();
        return spare;
    }

    // Waits until everything queued is written.
    void drain()
    {
        std::unique_lock lock(mutex_);
        room_.wait(lock, [this] { return queue_.empty() && !busy_; });
    }

    void stop(bool abandon)
    {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
            if (abandon)
                queue_.clear();
        }
        work_.notify_one();
        if (thread_.joinable())
            thread_.join();
    }

    const std::atomic<bool> &failedFlag() const { return failed_; }
    // The errno of the first failure; read once failedFlag() is set.
    int error() const { return error_; }

private:
    void run()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            work_.wait(lock, [this] { return !queue_.empty() || stopping_; });
            if (queue_.empty())
                return; // stopping, and everything written
            std::string block = std::move(queue_.front());
            queue_.pop_front();
            busy_ = true;
            lock.unlock();
            room_.notify_all();
            if (!failed_.load(std::memory_order_relaxed))
                write(block.data(), block.size());
            lock.lock();
            busy_ = false;
            spare_.push_back(std::move(block));
            room_.notify_all();
        }
    }

    void write(const char *data, std::size_t size)
    {
        while (size > 0) {
            const ssize_t n = ::write(fd_, data, size);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                error_ = n < 0 ? errno : EIO;
                failed_.store(true, std::memory_order_release);
                return;
            }
            data += n;
            size -= static_cast<std::size_t>(n);
            written_ += static_cast<std::uint64_t>(n);
        }
#if defined(__linux__)
        // The file is made durable before it takes its name. Handing what is written to
        // the disk every few megabytes, without waiting, lets the disk work while the log
        // is decoded, so that the sync at close has little left to wait for. (Waiting
        // here as well, chunk by chunk, measured slower: the disk then idles between
        // chunks.)
        if (syncAhead_ && written_ - started_ >= SyncChunk) {
            ::sync_file_range(fd_, static_cast<off_t>(started_),
                              static_cast<off_t>(written_ - started_), SYNC_FILE_RANGE_WRITE);
            started_ = written_;
        }
#endif
    }

    static constexpr std::uint64_t SyncChunk = std::uint64_t{8} << 20;

    const int fd_;
    const bool syncAhead_;
    std::mutex mutex_;
    std::condition_variable work_; // a buffer queued, or stop
    std::condition_variable room_; // a buffer taken or written
    std::deque<std::string> queue_;
    std::vector<std::string> spare_; // written buffers, their storage kept for reuse
    std::size_t made_ = 0; // new buffers handed out
    bool busy_ = false;
    bool stopping_ = false;
    std::atomic<bool> failed_{false};
    int error_ = 0;
    std::uint64_t written_ = 0; // these two: the thread's own
    std::uint64_t started_ = 0; // handed to the disk
    std::thread thread_;        // last: starts once everything above is made
};

OutputFile::OutputFile(std::size_t bufferSize) : bufferSize_(bufferSize == 0 ? 1 : bufferSize) {}

OutputFile::~OutputFile()
{
    discard();
}

bool OutputFile::openReplacement(const std::string &path)
{
    struct stat old
    {};
    const bool exists = ::lstat(path.c_str(), &old) == 0;
    if (!exists && errno != ENOENT) {
        fail(errno);
        return false;
    }
    created_ = !exists;
    if (exists && S_ISDIR(old.st_mode)) {
        fail(EISDIR);
        return false;
    }
    struct stat target
    {};
    const bool leads = exists && ::stat(path.c_str(), &target) == 0;
    if (exists && WrittenThrough(old, leads ? &target : nullptr)) {
        // A device, FIFO or socket (/dev/null, a named pipe, /dev/stdout) is written as
        // it is; standard output or error by any name is written as "-" is.
        const int stream = leads ? StandardStreamOf(target) : -1;
        if (stream >= 0)
            return openDescriptor(stream);
        const int fd = openWaiting(path, O_WRONLY | O_CLOEXEC);
        if (fd < 0) {
            fail(errno);
            return false;
        }
        fd_ = fd;
        ownsFd_ = true;
        return true;
    }
    // An immutable or append-only file cannot be replaced either; find out now rather
    // than at the rename, when the run's other files may already have taken their names.
    if (exists && S_ISREG(old.st_mode) && ::access(path.c_str(), W_OK) != 0 && errno == EPERM) {
        fail(EPERM);
        return false;
    }
    if (path.empty() || path.back() == '/') {
        fail(path.empty() ? ENOENT : EISDIR);
        return false;
    }
    RemoveStaleTemporaries(folderOf(path));
    temporary_ = TemporaryName(path, ::getpid());
    ::unlink(temporary_.c_str()); // ours, from an earlier file of this process that failed
    const mode_t mode = exists && S_ISREG(old.st_mode) ? (old.st_mode & 07777) : 0666;
    const int fd = openRetrying(temporary_, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) {
        temporary_.clear();
        fail(errno);
        return false;
    }
    // Held until the file is closed: tells a later run that the temporary is in use.
    ::flock(fd, LOCK_EX | LOCK_NB);
    if (exists && S_ISREG(old.st_mode))
        ::fchmod(fd, old.st_mode & 07777); // the umask must not narrow what the user had
    fd_ = fd;
    ownsFd_ = true;
    return true;
}

int OutputFile::openWaiting(const std::string &path, int flags, unsigned mode)
{
    for (;;) {
        const int fd = openRetrying(path, flags | O_NONBLOCK, static_cast<mode_t>(mode));
        if (fd >= 0 || errno != ENXIO)
            return fd;
        // ENXIO: a FIFO without a reader yet, or a socket (which cannot be opened).
        struct stat st
        {};
        if (::stat(path.c_str(), &st) != 0 || !S_ISFIFO(st.st_mode)) {
            errno = ENXIO;
            return -1;
        }
        if (!stopCheck_) {
            // Nothing could end the wait (a live session on the windows' own thread):
            // better a clear error now than a program that hangs.
            failWith("a FIFO without a reader");
            errno = ENXIO;
            return -1;
        }
        if (stopRequested()) {
            failInterrupted();
            errno = EINTR;
            return -1;
        }
        ::poll(nullptr, 0, WaitSliceMs);
    }
}

bool OutputFile::openDescriptor(int fd)
{
    struct stat st
    {};
    if (::fstat(fd, &st) != 0) {
        fail(errno);
        return false;
    }
    fd_ = fd;
    ownsFd_ = false;
    if (S_ISSOCK(st.st_mode)) {
        sendOnly_ = true; // send() can be told not to block, call by call
    } else if (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode)) {
        // A pipe or terminal is opened again, without blocking: the flag then belongs
        // to this program's own open file, not to one it shares with the shell or the
        // reader. Where that fails (no /proc, a reader gone), the descriptor is written
        // as it is, and a signal still ends a write that waits.
        const int own =
            openRetrying("/proc/self/fd/" + std::to_string(fd), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (own >= 0) {
            fd_ = own;
            ownsFd_ = true;
        }
    }
    return true;
}

bool OutputFile::open(const std::string &path, Mode mode)
{
    close();
    path_ = path;
    error_.clear();
    created_ = false;
    interrupted_ = false;
    sendOnly_ = false;
    appendRollback_ = false;
    temporary_.clear();
    mode_ = mode;
    written_ = 0;
    syncStarted_ = 0;
    if (mode == Mode::CreateAnew) {
        if (!openReplacement(path))
            return false;
    } else if (mode == Mode::CreateNew) {
        RemoveStaleTemporaries(folderOf(path));
        const int fd = openWaiting(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            fail(errno);
            return false;
        }
        created_ = true;
        fd_ = fd;
        ownsFd_ = true;
    } else {
        // Append to the file that is there; only when there is none, create it, and
        // remember that this program made it. A symbolic link is not followed.
        RemoveStaleTemporaries(folderOf(path));
        int fd = openWaiting(path, O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0 && errno == ENOENT) {
            fd = openWaiting(path, O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC);
            created_ = fd >= 0;
            if (fd < 0 && errno == EEXIST)
                fd = openWaiting(path, O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
        }
        if (fd < 0) {
            if (errno == ELOOP)
                failWith("a symbolic link, not written through");
            else
                fail(errno);
            return false;
        }
        struct stat st
        {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
            appendRollback_ = true;
            appendStart_ = st.st_size;
        }
        fd_ = fd;
        ownsFd_ = true;
    }
    notePipe();
    buffer_.reserve(bufferSize_);
    return true;
}

void OutputFile::notePipe()
{
    struct stat st
    {};
    pipe_ = !sendOnly_ && ::fstat(fd_, &st) == 0 && S_ISFIFO(st.st_mode);
}

void OutputFile::openStandardOutput()
{
    close();
    path_ = "standard output";
    error_.clear();
    created_ = false;
    interrupted_ = false;
    sendOnly_ = false;
    appendRollback_ = false;
    temporary_.clear();
    mode_ = Mode::CreateAnew;
    if (!openDescriptor(STDOUT_FILENO))
        return;
    notePipe();
    buffer_.reserve(bufferSize_);
}

void OutputFile::write(std::string_view text)
{
    if (fd_ < 0 || failed()) {
        return;
    }
    if (buffer_.size() + text.size() <= bufferSize_) {
        buffer_.append(text);
        return;
    }
    sendBuffer(true);
    if (failed()) {
        return;
    }
    if (text.size() < bufferSize_) {
        buffer_.append(text);
    } else if (useWriter()) {
        buffer_ = writer_->push(std::string(text));
    } else {
        writeThrough(text.data(), text.size());
    }
}

void OutputFile::writeBlock(std::string &block)
{
    writeBlock(block, block.size());
    block.clear();
}

void OutputFile::writeBlock(std::string &block, std::size_t size)
{
    if (fd_ < 0 || failed() || size < bufferSize_ / 2 || !useWriter()) {
        write(std::string_view(block).substr(0, size));
        return;
    }
    sendBuffer(true);
    block.resize(size);
    block = writer_->push(std::move(block), false);
}

bool OutputFile::useWriter()
{
    if (writer_)
        return true;
    // Only a file made anew, and only once it outgrows its first buffer.
    if (temporary_.empty() || fd_ < 0)
        return false;
    writer_ = std::make_unique<Writer>(fd_, syncOnClose_);
    writerFailed_ = &writer_->failedFlag();
    return true;
}

void OutputFile::sendBuffer(bool full)
{
    if (fd_ < 0 || failed() || buffer_.empty()) {
        return;
    }
    if (full ? useWriter() : writer_ != nullptr) {
        buffer_ = writer_->push(std::move(buffer_));
        buffer_.reserve(bufferSize_);
    } else {
        writeThrough(buffer_.data(), buffer_.size());
        buffer_.clear();
    }
}

void OutputFile::stopWriter(bool abandon)
{
    if (!writer_)
        return;
    writer_->stop(abandon);
    if (!abandon)
        collectWriterError();
    writerFailed_ = nullptr;
    writer_.reset();
}

void OutputFile::collectWriterError() const
{
    if (error_.empty() && writerFailed_ != nullptr &&
        writerFailed_->load(std::memory_order_acquire))
        error_ = path_ + ": " + std::strerror(writer_->error());
}

const std::string &OutputFile::error() const
{
    collectWriterError();
    return error_;
}

void OutputFile::writeLine(std::string_view text)
{
    write(text);
    write("\r\n");
}

bool OutputFile::flush()
{
    sendBuffer(false);
    buffer_.clear();
    if (writer_)
        writer_->drain();
    return !failed();
}

void OutputFile::closeDescriptor()
{
    stopWriter(true); // not running here but after a discard
    if (ownsFd_ && ::close(fd_) != 0 && errno != EINTR) {
        // EINTR leaves the descriptor closed on Linux; any other error is a lost write
        // (a full disk or a network file system reports it here).
        fail(errno);
    }
    fd_ = -1;
    ownsFd_ = false;
    sendOnly_ = false;
    pipe_ = false;
    buffer_.clear();
    buffer_.shrink_to_fit();
}

bool OutputFile::close()
{
    if (fd_ < 0) {
        return !failed();
    }
    flush();
    stopWriter(false);
    if (!temporary_.empty()) {
        // The new file must be whole on the disk before it takes the old one's name:
        // after a power cut the name holds the old file or the new one, never a
        // truncated one.
        if (!failed() && syncOnClose_ && ::fdatasync(fd_) != 0)
            fail(errno);
        closeDescriptor();
        if (!failed() && ::rename(temporary_.c_str(), path_.c_str()) != 0)
            fail(errno);
        if (failed())
            ::unlink(temporary_.c_str());
        temporary_.clear();
        return !failed();
    }
    closeDescriptor();
    appendRollback_ = false;
    return !failed();
}

void OutputFile::discard()
{
    if (fd_ < 0) {
        return;
    }
    stopWriter(true);
    buffer_.clear();
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    } else if (mode_ == Mode::CreateNew && ownsFd_) {
        ::unlink(path_.c_str());
    } else if (appendRollback_) {
        if (created_)
            ::unlink(path_.c_str());
        else if (::ftruncate(fd_, appendStart_) != 0)
            fail(errno);
        appendRollback_ = false;
    }
    closeDescriptor();
}

void OutputFile::fail(int errorNumber)
{
    failWith(std::strerror(errorNumber));
}

void OutputFile::failInterrupted()
{
    if (error_.empty())
        interrupted_ = true;
    failWith("interrupted while waiting for its reader");
}

void OutputFile::failWith(std::string reason)
{
    collectWriterError(); // the writer thread's failure came first
    if (error_.empty()) {
        error_ = path_ + ": " + reason;
    }
}

void OutputFile::writeThrough(const char *data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = sendOnly_ ? ::send(fd_, data, size, MSG_DONTWAIT | MSG_NOSIGNAL)
                          : pipe_   ? WriteWithoutSignal(fd_, data, size)
                                    : ::write(fd_, data, size);
        if (n < 0) {
            if (errno == EINTR && !stopRequested())
                continue;
            if (errno == EINTR) {
                failInterrupted();
                return;
            }
            if ((errno == EAGAIN || errno == EWOULDBLOCK) && waitWritable())
                continue;
            fail(errno);
            return;
        }
        if (n == 0) {
            fail(EIO);
            return;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
        written_ += static_cast<std::uint64_t>(n);
    }
#if defined(__linux__)
    // A file made anew is made durable before it takes its name. Handing what is written
    // to the disk every few megabytes, without waiting, lets the disk work while the log
    // is decoded, so that the sync at close has little left to wait for.
    if (!temporary_.empty() && syncOnClose_ && written_ - syncStarted_ >= SyncChunk) {
        ::sync_file_range(fd_, static_cast<off_t>(syncStarted_),
                          static_cast<off_t>(written_ - syncStarted_), SYNC_FILE_RANGE_WRITE);
        syncStarted_ = written_;
    }
#endif
}

bool OutputFile::waitWritable()
{
    for (;;) {
        if (stopRequested()) {
            failInterrupted();
            return false;
        }
        pollfd ready{fd_, POLLOUT, 0};
        const int n = ::poll(&ready, 1, WaitSliceMs);
        if (n > 0)
            return true; // room, or an error that the write then reports
        if (n < 0 && errno != EINTR) {
            fail(errno);
            return false;
        }
    }
}

} // namespace kesta
