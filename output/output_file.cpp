#include "output_file.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace kesta {

namespace {

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

// Removes the temporaries of `path` that a killed process left behind: hidden
// names ".<name>.<pid>.kesta-part" of a process that no longer runs.
void removeStaleTemporaries(const std::string &path)
{
    const std::string folder = folderOf(path);
    // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) on "." + name.
    std::string prefix = ".";
    prefix += nameOf(path);
    prefix += '.';
    DIR *dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return;
    while (const dirent *entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name.size() <= prefix.size() + TemporarySuffix.size() || !name.starts_with(prefix) ||
            !name.ends_with(TemporarySuffix))
            continue;
        const std::string_view digits =
            name.substr(prefix.size(), name.size() - prefix.size() - TemporarySuffix.size());
        if (digits.empty() || digits.size() > 9 ||
            digits.find_first_not_of("0123456789") != std::string_view::npos)
            continue;
        const long pid = std::stol(std::string(digits));
        if (pid == ::getpid() || ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH)
            continue;
        ::unlink((folder + "/" + std::string(name)).c_str());
    }
    ::closedir(dir);
}

} // namespace

std::string OutputFile::TemporaryName(const std::string &path, long pid)
{
    const std::string folder = folderOf(path);
    const std::string prefix = path.rfind('/') == std::string::npos ? "" : folder + "/";
    return prefix + "." + nameOf(path) + "." + std::to_string(pid) + std::string(TemporarySuffix);
}

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
    if (exists && !S_ISREG(old.st_mode) && !S_ISLNK(old.st_mode)) {
        // A device, FIFO or socket (/dev/null, a named pipe) is written as it is.
        const int fd = openRetrying(path, O_WRONLY | O_CLOEXEC);
        if (fd < 0) {
            fail(errno);
            return false;
        }
        fd_ = fd;
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
    removeStaleTemporaries(path);
    temporary_ = TemporaryName(path, ::getpid());
    ::unlink(temporary_.c_str()); // ours, from an earlier file of this process that failed
    const mode_t mode = exists && S_ISREG(old.st_mode) ? (old.st_mode & 07777) : 0666;
    const int fd = openRetrying(temporary_, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) {
        temporary_.clear();
        fail(errno);
        return false;
    }
    if (exists && S_ISREG(old.st_mode))
        ::fchmod(fd, old.st_mode & 07777); // the umask must not narrow what the user had
    fd_ = fd;
    return true;
}

bool OutputFile::open(const std::string &path, Mode mode)
{
    close();
    path_ = path;
    error_.clear();
    created_ = false;
    appendRollback_ = false;
    temporary_.clear();
    mode_ = mode;
    written_ = 0;
    syncStarted_ = 0;
    if (mode == Mode::CreateAnew) {
        if (!openReplacement(path))
            return false;
    } else if (mode == Mode::CreateNew) {
        const int fd = openRetrying(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            fail(errno);
            return false;
        }
        created_ = true;
        fd_ = fd;
    } else {
        // Append to the file that is there; only when there is none, create it, and
        // remember that this program made it. A symbolic link is not followed.
        int fd = openRetrying(path, O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0 && errno == ENOENT) {
            fd =
                openRetrying(path, O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC);
            created_ = fd >= 0;
            if (fd < 0 && errno == EEXIST)
                fd = openRetrying(path, O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
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
    }
    ownsFd_ = true;
    buffer_.reserve(bufferSize_);
    return true;
}

void OutputFile::openStandardOutput()
{
    close();
    path_ = "standard output";
    error_.clear();
    created_ = false;
    appendRollback_ = false;
    temporary_.clear();
    fd_ = STDOUT_FILENO;
    ownsFd_ = false;
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
    if (!flush()) {
        return;
    }
    if (text.size() >= bufferSize_) {
        writeThrough(text.data(), text.size());
    } else {
        buffer_.append(text);
    }
}

void OutputFile::writeLine(std::string_view text)
{
    write(text);
    write("\r\n");
}

bool OutputFile::flush()
{
    if (fd_ >= 0 && !failed() && !buffer_.empty()) {
        writeThrough(buffer_.data(), buffer_.size());
    }
    buffer_.clear();
    return !failed();
}

void OutputFile::closeDescriptor()
{
    if (ownsFd_ && ::close(fd_) != 0 && errno != EINTR) {
        // EINTR leaves the descriptor closed on Linux; any other error is a lost write
        // (a full disk or a network file system reports it here).
        fail(errno);
    }
    fd_ = -1;
    ownsFd_ = false;
    buffer_.clear();
    buffer_.shrink_to_fit();
}

bool OutputFile::close()
{
    if (fd_ < 0) {
        return !failed();
    }
    flush();
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

void OutputFile::failWith(std::string reason)
{
    if (error_.empty()) {
        error_ = path_ + ": " + reason;
    }
}

void OutputFile::writeThrough(const char *data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd_, data, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
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

} // namespace kesta
