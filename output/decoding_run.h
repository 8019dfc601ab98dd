#pragma once

#include "decoding_session.h"
#include "kiss_log.h"
#include "program_state.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kesta {

// A decoding run of the windows: a log chosen by the user, decoded into a record
// store of its own, with its dump and TLM files.
struct RunRequest
{
    std::string inputPath;
    bool writeTlm = true;
    // With writeTlm off: the TLM file of an earlier run, to which this run's
    // messages are appended; empty for none.
    std::string keptTlmPath;
    // Further receivers of the run's frames (the windows' InfluxDB sender), after the
    // records and files; owned by the caller and kept until the run has ended.
    std::vector<SessionSink *> moreSinks;
};

struct RunReport
{
    enum class Outcome
    {
        Decoded,       // the log was read to its end; records and files are this log's
        Refused,       // an output name is the log itself: nothing created, emptied or read
        LogUnreadable, // the log could not be opened or read: every earlier file kept
        Cancelled,     // stopped on request: every earlier file kept
    };
    Outcome outcome = Outcome::Decoded;
    std::string inputPath; // the log, as the user named it
    // For Refused and LogUnreadable: one message naming the file and the reason.
    std::string error;
    // Output files that could not be written, one message each naming the file and
    // the reason; such a file keeps its earlier content. The run went on.
    std::vector<std::string> warnings;
    LoadReport load;
    SessionTotals totals;
    bool dumpWritten = false; // the dump file holds every accepted frame of the log
};

struct RunResult
{
    RunReport report;
    // For a decoded run: the records, and what the program state takes over.
    std::unique_ptr<RecordStore> store;
    std::string inputPath;
    std::string dmpPath;
    std::string tlmPath; // set when the run wrote a new TLM file
    std::vector<std::string> createdFiles;
};

// Carries out a run without touching the program's state, so that it can go on in
// a thread of its own while the windows show the earlier log. Outputs are written
// under temporary names and take their place only when the whole log has been
// read; a run that fails or is cancelled leaves every earlier file as it was.
RunResult ExecuteRun(const RunRequest &request, const ReadControl &control = {});

// Makes a decoded run's records and file names the program's.
void ApplyRun(ProgramState &state, RunResult &result);

// Both at once, for a caller that waits for the run.
RunReport RunDecoding(ProgramState &state, const std::string &inputPath, bool writeTlm);

// The one message that tells the user how a run went, or nothing for a clean run.
struct RunMessage
{
    enum class Severity
    {
        Error,
        Warning,
        Information
    };
    Severity severity;
    std::string text;
};
std::optional<RunMessage> RunSummary(const RunReport &report, const std::string &dmpPath);

} // namespace kesta
