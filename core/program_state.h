#pragma once

#include "kiss_reader.h"
#include "record_store.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kesta {

// Everything that lives as long as the program: the record store with its
// counters, the reader with its frame buffer, the paths of the current run and
// the output files this program created. The application owns one and hands it
// to whoever needs it.
struct ProgramState
{
    RecordStore store;
    KissReader reader;

    std::string InputPath; // the log of the last run
    std::string TlmPath;   // TLM file; set only by runs that write one, empty until then
    std::string DmpPath;   // dump file of the last run

    // Dump and TLM files created by this program, for the clean-up at exit.
    std::vector<std::string> createdFiles;

    // Receives the counter text ("HTRX: 3    FSS: 2    FSS (Hi): 1") after every decoded frame.
    std::function<void(std::string_view)> counterTextChanged;
};

} // namespace kesta
