#include "output_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace kesta {

namespace {

int openRetrying(const std::string &path, int flags)
{
    int fd = -1;
    do {
        fd = ::open(path.c_str(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

} // namespace

OutputFile::OutputFile(std::size_t bufferSize) : bufferSize_(bufferSize == 0 ? 1 : bufferSize) {}

OutputFile::~OutputFile()
{
    close();
}

bool OutputFile::open(const std::string &path, Mode mode)
{
    close();
    path_ = path;
    error_.clear();
    createdOrEmptied_ = false;
    int fd = -1;
    if (mode == Mode::CreateAnew) {
        fd = openRetrying(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC);
        createdOrEmptied_ = fd >= 0;
    } else {
        // Append to the file that is there; only when there is none, create it, and
        // remember that this program made it.
        fd = openRetrying(path, O_WRONLY | O_APPEND | O_CLOEXEC);
        if (fd < 0 && errno == ENOENT) {
            fd = openRetrying(path, O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC);
            createdOrEmptied_ = fd >= 0;
            if (fd < 0 && errno == EEXIST) {
                fd = openRetrying(path, O_WRONLY | O_APPEND | O_CLOEXEC);
            }
        }
    }
    if (fd < 0) {
        fail(errno);
        return false;
    }
    fd_ = fd;
    ownsFd_ = true;
    buffer_.reserve(bufferSize_);
    return true;
}

void OutputFile::openStandardOutput()
{
    close();
    path_ = "standard output";
    error_.clear();
    createdOrEmptied_ = false;
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

bool OutputFile::close()
{
    if (fd_ < 0) {
        return !failed();
    }
    flush();
    if (ownsFd_ && ::close(fd_) != 0 && errno != EINTR) {
        // EINTR leaves the descriptor closed on Linux; any other error is a lost write
        // (a full disk or a network file system reports it here).
        fail(errno);
    }
    fd_ = -1;
    ownsFd_ = false;
    buffer_.clear();
    buffer_.shrink_to_fit();
    return !failed();
}

void OutputFile::fail(int errorNumber)
{
    if (error_.empty()) {
        error_ = path_ + ": " + std::strerror(errorNumber);
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
    }
}

} // namespace kesta
