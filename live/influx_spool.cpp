#include "influx_spool.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kesta {

namespace {

constexpr std::size_t ReadChunk = std::size_t{1} << 20;

} // namespace

InfluxSpool::~InfluxSpool()
{
    close();
}

bool InfluxSpool::fail(const char *what)
{
    m_error = m_path + ": " + what + ": " + std::strerror(errno);
    return false;
}

bool InfluxSpool::open(const std::string &path, Mode mode)
{
    close();
    m_path = path;
    m_error.clear();
    m_busy = false;
    m_front = m_end = m_lines = 0;
    const int flags = O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | (mode == Mode::New ? O_EXCL : 0);
    for (;;) {
        m_fd = ::open(path.c_str(), flags, 0600);
        if (m_fd < 0)
            return fail("cannot create the spool file");
        if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            const bool busy = errno == EWOULDBLOCK;
            ::close(m_fd);
            m_fd = -1;
            if (busy) {
                m_busy = true;
                m_error = path + ": the spool file is in use by another run";
                return false;
            }
            return fail("cannot lock the spool file");
        }
        // A run that was closing removed the file between our open and our lock:
        // that one is gone, open the name again.
        struct stat byName
        {}, byFd{};
        if (::fstat(m_fd, &byFd) == 0 && ::stat(path.c_str(), &byName) == 0 &&
            byName.st_ino == byFd.st_ino && byName.st_dev == byFd.st_dev)
            break;
        ::close(m_fd);
        m_fd = -1;
    }

    // Count the lines an earlier run left; a last line without its LF was cut short.
    std::vector<char> buffer(ReadChunk);
    std::uint64_t offset = 0;
    std::uint64_t wholeEnd = 0;
    for (;;) {
        const ssize_t n = ::pread(m_fd, buffer.data(), buffer.size(), static_cast<off_t>(offset));
        if (n < 0) {
            fail("cannot read the spool file");
            close();
            return false;
        }
        if (n == 0)
            break;
        for (const char *p = buffer.data(), *end = p + n;
             (p = static_cast<const char *>(std::memchr(p, '\n', static_cast<std::size_t>(end - p))));
             ++p) {
            ++m_lines;
            wholeEnd = offset + static_cast<std::uint64_t>(p - buffer.data()) + 1;
        }
        offset += static_cast<std::uint64_t>(n);
    }
    if (wholeEnd != offset && ::ftruncate(m_fd, static_cast<off_t>(wholeEnd)) != 0) {
        fail("cannot cut the spool file");
        close();
        return false;
    }
    m_end = wholeEnd;
    return true;
}

bool InfluxSpool::append(std::string_view text, std::uint64_t lines)
{
    if (m_fd < 0)
        return false;
    std::uint64_t at = m_end;
    while (!text.empty()) {
        const ssize_t n = ::pwrite(m_fd, text.data(), text.size(), static_cast<off_t>(at));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            // A line half written would be sent half: cut back to the last whole one.
            [[maybe_unused]] const int cut = ::ftruncate(m_fd, static_cast<off_t>(m_end));
            return fail("cannot write the spool file");
        }
        at += static_cast<std::uint64_t>(n);
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    m_end = at;
    m_lines += lines;
    return true;
}

std::uint64_t InfluxSpool::peek(std::uint64_t maxLines, std::string &out)
{
    out.clear();
    std::uint64_t found = 0;
    std::uint64_t offset = m_front;
    while (found < maxLines && offset < m_end) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(ReadChunk, m_end - offset));
        const std::size_t old = out.size();
        out.resize(old + want);
        const ssize_t n = ::pread(m_fd, out.data() + old, want, static_cast<off_t>(offset));
        if (n <= 0) {
            if (n < 0)
                fail("cannot read the spool file");
            out.resize(old);
            break;
        }
        out.resize(old + static_cast<std::size_t>(n));
        offset += static_cast<std::uint64_t>(n);
        // Count the lines of the new part, and stop after the last one wanted.
        std::size_t scan = old;
        while (found < maxLines) {
            const void *lf = std::memchr(out.data() + scan, '\n', out.size() - scan);
            if (lf == nullptr)
                break;
            ++found;
            scan = static_cast<std::size_t>(static_cast<const char *>(lf) - out.data()) + 1;
        }
        if (found == maxLines || offset >= m_end) {
            out.resize(scan);
            break;
        }
    }
    return found;
}

bool InfluxSpool::drop(std::uint64_t bytes, std::uint64_t lines)
{
    m_front += bytes;
    m_lines -= std::min(lines, m_lines);
    if (m_lines == 0 || m_front >= m_end) {
        // All gone: start the file again from nothing rather than let it grow.
        m_front = m_end = m_lines = 0;
        if (::ftruncate(m_fd, 0) != 0)
            return fail("cannot empty the spool file");
    }
    return true;
}

// Moves the lines still waiting to the start of the file, so that the next run does
// not send the ones already sent again (harmless, but slow for a long file).
void InfluxSpool::compact()
{
    std::vector<char> buffer(ReadChunk);
    std::uint64_t from = m_front;
    std::uint64_t to = 0;
    while (from < m_end) {
        const ssize_t n = ::pread(m_fd, buffer.data(), buffer.size(), static_cast<off_t>(from));
        if (n <= 0 || ::pwrite(m_fd, buffer.data(), static_cast<std::size_t>(n),
                               static_cast<off_t>(to)) != n)
            return; // the file still holds every waiting line, some twice at worst
        from += static_cast<std::uint64_t>(n);
        to += static_cast<std::uint64_t>(n);
    }
    if (::ftruncate(m_fd, static_cast<off_t>(to)) == 0) {
        m_front = 0;
        m_end = to;
    }
}

void InfluxSpool::close()
{
    if (m_fd < 0)
        return;
    if (m_lines == 0) {
        ::unlink(m_path.c_str()); // while still locked: no other run holds this name
    } else {
        if (m_front > 0)
            compact();
        ::fdatasync(m_fd);
    }
    ::close(m_fd);
    m_fd = -1;
}

} // namespace kesta
