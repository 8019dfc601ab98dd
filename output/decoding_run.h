#pragma once

#include "kiss_log.h"
#include "program_state.h"

#include <string>
#include <vector>

namespace kesta {

struct RunReport
{
    enum class Outcome
    {
        Decoded,       // the log was read; records, dump and TLM as far as they could be written
        Refused,       // a derived output name is the log itself: nothing created, emptied or read
        LogUnreadable, // the log could not be opened: nothing created or emptied
    };
    Outcome outcome = Outcome::Decoded;
    // For Refused and LogUnreadable: one message naming the file and the reason.
    std::string error;
    // Output files that could not be created or written, and a log that failed
    // part-way, one message each naming the file and the reason. The run went on.
    std::vector<std::string> warnings;
    LogReadSummary summary;
};

// One decoding run of a log chosen by the user: derives the dump and TLM names,
// refuses a log that an output name would overwrite, writes the TLM header when
// `writeTlm` is set (TlmPath changes only then), creates the dump file anew, and
// reads the log into state.store. Output files stay open for the run and every
// write error is reported. Files it creates are added to state.createdFiles.
RunReport RunDecoding(ProgramState &state, const std::string &inputPath, bool writeTlm);

} // namespace kesta
