#pragma once

#include "decoding_session.h"
#include "kiss_log.h"
#include "output_file.h"
#include "record_export.h"

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace kesta {

// Makes the sink that writes one export format into an open file.
using ExportSinkFactory = std::function<std::unique_ptr<SessionSink>(OutputFile &)>;

// The sink of a CSV or JSON Lines export, as `kesta-decode --csv` / `--jsonl` writes it;
// with a station's name, the rows carry it in their Station column.
ExportSinkFactory RecordExportSink(RecordExporter::Format format, std::string station = {});

// An export of every frame of a log, read from the start of the log again: the
// same session and the same rows as `kesta-decode`, so the file is byte for byte
// the one the command line writes.
struct LogExportRequest
{
    std::string logPath;
    std::string exportPath;
    ExportSinkFactory makeSink;
    // Files the export must never take the place of, each with what it is to the
    // user ("log's dump file"). The log itself is always among them.
    struct Kept
    {
        std::string what;
        std::string path;
    };
    std::vector<Kept> keptFiles;
};

struct LogExportResult
{
    enum class Outcome
    {
        Written,   // the whole log is in the export file
        Refused,   // the export name is the log or one of the kept files: nothing created
        Failed,    // the log could not be read or the file written: any earlier file kept
        Cancelled, // stopped on request: any earlier file kept
    };
    // A run that wrote nothing new: its outcome and, for Refused and Failed, the message.
    static LogExportResult Ended(Outcome outcome, std::string error)
    {
        LogExportResult result;
        result.outcome = outcome;
        result.error = std::move(error);
        return result;
    }

    Outcome outcome = Outcome::Written;
    // For Refused and Failed: one message naming the file and the reason.
    std::string error;
    std::uint64_t records = 0;
    std::uint64_t bytesRead = 0;
};

// The kept files of a log: its dump and TLM file as a run names them.
std::vector<LogExportRequest::Kept> KeptFilesOf(const std::string &logPath);

// Writes the export in CreateAnew mode: under a temporary name that takes the
// export's name only when the whole log has been read and written.
LogExportResult ExportLog(const LogExportRequest &request, const ReadControl &control = {});

} // namespace kesta
