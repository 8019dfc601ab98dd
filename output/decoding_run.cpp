#include "decoding_run.h"

#include "output_file.h"
#include "output_names.h"
#include "tlm_format.h"

#include <algorithm>
#include <optional>

namespace kesta {

namespace {

void RememberCreatedFile(ProgramState &state, const std::string &path)
{
    if (std::find(state.createdFiles.begin(), state.createdFiles.end(), path) ==
        state.createdFiles.end()) {
        state.createdFiles.push_back(path);
    }
}

// Sends the dump lines and messages of a run to its open files. The TLM file of
// a run without "Write TLM File" is the one kept from an earlier run; it is opened
// for appending at the first message, so a run without messages leaves it alone.
class FileRunSink final : public RunSink
{
public:
    FileRunSink(ProgramState &state, RunReport &report, OutputFile &dump, OutputFile &tlm,
                std::optional<std::string> tlmToAppendTo)
        : state_(state), report_(report), dump_(dump), tlm_(tlm),
          tlmToAppendTo_(std::move(tlmToAppendTo))
    {}

    void dumpLine(std::string_view hexText) override
    {
        if (dump_.isOpen()) {
            WriteDumpLine(dump_, hexText);
        }
    }

    void message(std::span<const std::uint8_t> text) override
    {
        if (tlmToAppendTo_) {
            if (tlm_.open(*tlmToAppendTo_, OutputFile::Mode::Append)) {
                if (tlm_.createdOrEmptied()) {
                    RememberCreatedFile(state_, tlm_.path());
                }
            } else {
                report_.warnings.push_back(tlm_.error());
            }
            tlmToAppendTo_.reset();
        }
        if (tlm_.isOpen()) {
            WriteTlmMessage(tlm_, text);
        }
    }

private:
    ProgramState &state_;
    RunReport &report_;
    OutputFile &dump_;
    OutputFile &tlm_;
    std::optional<std::string> tlmToAppendTo_;
};

RunReport Refusal(const std::string &inputPath, std::string_view what, const std::string &name)
{
    RunReport report;
    report.outcome = RunReport::Outcome::Refused;
    report.error = inputPath + ": not decoded: its " + std::string(what) + " " + name +
                   " would overwrite the log itself";
    return report;
}

void CloseAndCheck(OutputFile &file, RunReport &report)
{
    if (file.isOpen() && !file.close()) {
        report.warnings.push_back(file.error());
    }
}

} // namespace

RunReport RunDecoding(ProgramState &state, const std::string &inputPath, bool writeTlm)
{
    const std::string tlmName = TlmNameFor(inputPath);
    const std::string dmpName = DumpNameFor(inputPath);

    // The log is only ever read: an output name that is the log itself would empty
    // or change it, so such a run does not start at all.
    if (IsSameFile(dmpName, inputPath)) {
        return Refusal(inputPath, "dump file", dmpName);
    }
    const std::string &tlmTarget = writeTlm ? tlmName : state.TlmPath;
    if (!tlmTarget.empty() && IsSameFile(tlmTarget, inputPath)) {
        return Refusal(inputPath, "TLM file", tlmTarget);
    }

    RunReport report;
    std::string openError;
    std::unique_ptr<LogFile> log = LogFile::open(inputPath, openError);
    if (!log) {
        report.outcome = RunReport::Outcome::LogUnreadable;
        report.error = openError;
        return report;
    }

    OutputFile tlm;
    std::optional<std::string> tlmToAppendTo;
    if (writeTlm) {
        state.TlmPath = tlmName;
        if (tlm.open(tlmName, OutputFile::Mode::CreateAnew)) {
            RememberCreatedFile(state, tlmName);
            WriteTlmHeader(tlm, inputPath);
        } else {
            report.warnings.push_back(tlm.error());
        }
    } else if (!state.TlmPath.empty()) {
        tlmToAppendTo = state.TlmPath;
    }

    state.DmpPath = dmpName;
    OutputFile dump;
    if (dump.open(dmpName, OutputFile::Mode::CreateAnew)) {
        RememberCreatedFile(state, dmpName);
    } else {
        report.warnings.push_back(dump.error());
    }

    state.InputPath = inputPath;

    FileRunSink sink(state, report, dump, tlm, std::move(tlmToAppendTo));
    report.summary = ReadKissLog(state, *log, sink);
    if (report.summary.readError) {
        report.warnings.push_back(*report.summary.readError);
    }

    CloseAndCheck(tlm, report);
    CloseAndCheck(dump, report);
    return report;
}

} // namespace kesta
