#pragma once

#include "decoding_session.h"
#include "output_file.h"
#include "output_names.h"
#include "session_outputs.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kesta {

// What an output file is to the user.
enum class OutputKind
{
    Recording, // a live session's new log
    Dump,
    Tlm,
    Csv,
    JsonLines,
    LineProtocol,
    Report, // written by the caller at the end, not frame by frame
    Export, // a CSV or JSON Lines export of a whole log (its sink comes with the request)
};

// "dump file", "TLM file", "CSV file", ... as messages name it.
std::string_view OutputLabel(OutputKind kind);

// Every output of one decode, from the names to the finished files: the decode of a
// log on the command line, a run of the windows, a live session and an export of a
// log all go the same way through it:
//
//   plan (add)  ->  check  ->  open  ->  attach to the session  ->  commit or discard
//
// check() refuses, before anything is opened, an empty name and any output that is
// the input or another output by any spelling. attach() plugs in the sink of each file
// in the order they were added and writes the TLM file's header. An uncommitted plan
// discards its files when it goes: the earlier files of those names stay as they were.
class OutputPlan
{
public:
    enum class Purpose
    {
        // A log is decoded: each file is written under a hidden temporary name and
        // takes its own when committed.
        Decode,
        // A live session: `input` is the new recording, and every file is a new one
        // written in place as frames arrive; an existing file of a name is refused (a
        // device or FIFO is written as it is).
        Record,
        // An export of a log: as Decode, and the export never takes the place of a
        // protected file (the log's dump and TLM file).
        Export,
    };

    OutputPlan(Purpose purpose, std::string input);
    ~OutputPlan();
    OutputPlan(const OutputPlan &) = delete;
    OutputPlan &operator=(const OutputPlan &) = delete;

    // Plans a file; "-" stands for standard output.
    void add(OutputKind kind, std::string path);
    // With no TLM file of its own: the run's FSS messages are appended to this TLM file
    // of an earlier run, which is opened only at the first message.
    void appendTlmTo(std::string path);
    // An export's own sink, made for its file when the plan is attached.
    void setExportSink(std::function<std::unique_ptr<SessionSink>(OutputFile &)> makeSink);
    // A file the plan's outputs must never take the place of ("log's dump file").
    void protect(std::string what, std::string path);
    // Asked while a file waits for a FIFO's reader or for a reader that does not read:
    // true ends the wait and that file fails as interrupted. Set before open().
    void setStopCheck(OutputFile::StopCheck check) { stopCheck_ = std::move(check); }

    // The first reason the plan cannot be carried out, naming the file; nothing is
    // opened or created by the check.
    std::optional<std::string> check() const;

    enum class OnFailure
    {
        DiscardAll, // the first file that cannot be opened gives up the whole plan
        LeaveOut,   // such a file is left out and the others are written
    };
    // Opens the planned files. Returns one message per file that could not be opened.
    std::vector<std::string> open(OnFailure onFailure);
    // Adds the sink of every open file to `session`, in plan order, and writes the
    // TLM header naming the input by its absolute path.
    void attach(DecodingSession &session);

    // Hands on what the sink of that kind has buffered (a live session's recording).
    void flushSink(OutputKind kind);
    // The open file of a kind, or nullptr.
    OutputFile *file(OutputKind kind);
    // True when a file has failed since it was opened.
    bool anyFailed() const;
    // True when a file failed because the stop check ended its wait for a reader.
    bool anyInterrupted() const;
    // Adds to `load` what the files' sinks left out: the records with a time the line
    // protocol cannot hold.
    void addOmissions(LoadReport &load) const;
    // One message per file that has failed, the kept TLM file that could not be opened
    // for appending included.
    std::vector<std::string> failures() const;
    // True when any file goes to a pipe, a terminal or a FIFO, whose reader follows the
    // lines as they come.
    bool anyStream() const;

    // Finishes every file: each takes its name. With wholeOrNothing, a plan with a
    // failed file is discarded whole instead, and so are the remaining files when one
    // cannot be finished. Returns one message per file that failed.
    std::vector<std::string> commit(bool wholeOrNothing);
    // Gives every file up: the earlier files stay as they were.
    void discard();
    // True when the file of that kind was finished whole by commit().
    bool committed(OutputKind kind) const;
    // The finished files for which no file of that name existed before.
    const std::vector<std::string> &createdFiles() const { return created_; }
    // Every file of the plan, open or not, for a caller that flushes or closes them.
    std::vector<OutputFile *> files();

private:
    struct Output;
    Output *find(OutputKind kind);
    bool openOne(Output &output, std::string &error);

    Purpose purpose_;
    std::string input_;
    std::vector<std::unique_ptr<Output>> outputs_;
    std::optional<std::string> keptTlm_;
    std::function<std::unique_ptr<SessionSink>(OutputFile &)> makeExportSink_;
    std::vector<PlannedOutput> protected_;
    std::vector<std::string> created_;
    OutputFile::StopCheck stopCheck_;
};

} // namespace kesta
