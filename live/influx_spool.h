#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kesta {

// Line protocol that waits for the server, in a file, in the order it was made. Lines
// are appended at the end and taken from the front once the server has them; the file
// is emptied when the last one has gone and removed when it is closed empty. A file
// left behind (the server never came back, the program was stopped or crashed) is
// plain line protocol: it can be sent by hand, or taken up again by the next run that
// writes to the same server, and resending lines the server already has is harmless
// (a point is identified by its measurement, tags and time).
//
// The file is locked (flock) while it is open, so two runs never share one.
// Written on POSIX calls: the reads from the front and the cut at the end are
// pread/ftruncate, and the reason of a failure is kept.
class InfluxSpool
{
public:
    enum class Mode
    {
        New,   // the file must not exist yet
        Adopt, // take up the lines an earlier run left in it, or create it
    };

    InfluxSpool() = default;
    InfluxSpool(const InfluxSpool &) = delete;
    InfluxSpool &operator=(const InfluxSpool &) = delete;
    ~InfluxSpool();

    // False when it cannot be created, is locked by another run, or cannot be read;
    // error() says why. An adopted file's last line, cut short by a crash, is dropped.
    bool open(const std::string &path, Mode mode);
    bool isOpen() const { return m_fd >= 0; }
    const std::string &path() const { return m_path; }
    const std::string &error() const { return m_error; }
    // The last open() failed because another run holds the file.
    bool busy() const { return m_busy; }
    std::uint64_t lines() const { return m_lines; }

    // Adds whole lines (each ending in LF) at the end.
    bool append(std::string_view text, std::uint64_t lines);
    // Copies up to `maxLines` lines from the front into `out` (replacing its contents);
    // returns how many.
    std::uint64_t peek(std::uint64_t maxLines, std::string &out);
    // The first `lines` lines, `bytes` long, have been sent.
    bool drop(std::uint64_t bytes, std::uint64_t lines);
    // Closes the file; removes it when no line waits.
    void close();

private:
    bool fail(const char *what);
    void compact();

    int m_fd = -1;
    bool m_busy = false;
    std::string m_path;
    std::string m_error;
    std::uint64_t m_front = 0; // offset of the first line not yet sent
    std::uint64_t m_end = 0;
    std::uint64_t m_lines = 0;
};

} // namespace kesta
