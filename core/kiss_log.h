#pragma once

#include "kiss_reader.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kesta {

struct ProgramState;

// A KISS log opened read-only. The log is only ever read, in large blocks.
class LogFile
{
public:
    // Opens `path` for reading; on failure returns nullptr and sets `error` to
    // "<path>: <reason>".
    static std::unique_ptr<LogFile> open(const std::string &path, std::string &error);
    ~LogFile();
    LogFile(const LogFile &) = delete;
    LogFile &operator=(const LogFile &) = delete;

    const std::string &path() const { return path_; }
    // Reads up to buffer.size() bytes; returns the count, 0 at the end of the log.
    // On a read error returns nullopt and sets `error` to "<path>: <reason>".
    std::optional<std::size_t> read(std::span<std::uint8_t> buffer, std::string &error);

private:
    LogFile(std::string path, std::FILE *file);
    std::string path_;
    std::FILE *file_;
};

// Where a decoding run sends what goes beyond the record store.
class RunSink
{
public:
    virtual ~RunSink() = default;
    // Every accepted frame's hex text, in log order (also those beyond the record limit).
    virtual void dumpLine(std::string_view hexText) = 0;
    // The text of every FSS message frame that was decoded.
    virtual void message(std::span<const std::uint8_t> text) = 0;
};

struct LogReadSummary
{
    KissReaderStats reader;
    std::uint64_t framesBeyondLimit = 0; // accepted frames after record 1000: dump line only
    std::optional<std::string>
        readError; // "<path>: <reason>" when the log could not be read to its end
};

// Reads the whole log into the record store: every slot fresh, counters from 0,
// record n for the n-th accepted frame up to 1000. Counter text changes are
// reported through state.counterTextChanged.
LogReadSummary ReadKissLog(ProgramState &state, LogFile &log, RunSink &sink);

// The same over bytes already in memory (used by tests and fuzzing).
LogReadSummary ReadKissBytes(ProgramState &state, std::span<const std::uint8_t> bytes,
                             RunSink &sink);

} // namespace kesta
