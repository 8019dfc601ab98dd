#pragma once

#include "record_store.h"

#include <string>
#include <vector>

namespace kesta {

// Everything that lives as long as the program: the records of the log shown,
// the paths of the last run and the output files this program created. The
// application owns one and hands it to whoever needs it.
struct ProgramState
{
    RecordStore store;

    std::string InputPath; // the log of the last run
    std::string TlmPath;   // TLM file; set only by runs that write one, empty until then
    std::string DmpPath;   // dump file of the last run

    // Output files this program created where no file of that name was before,
    // for the clean-up at exit.
    std::vector<std::string> createdFiles;
};

} // namespace kesta
