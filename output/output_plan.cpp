#include "output_plan.h"

#include "influx_export.h"
#include "tlm_format.h"

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace kesta {

namespace {

constexpr std::string_view StandardOutputName = "-";

bool IsStandardOutput(const std::string &path)
{
    return path == StandardOutputName;
}

// True for a name that stands for a pipe, a terminal or a FIFO rather than a file.
bool IsStream(const std::string &path)
{
    struct stat st
    {};
    if (IsStandardOutput(path))
        return ::fstat(STDOUT_FILENO, &st) != 0 || !S_ISREG(st.st_mode);
    return ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
}

std::string AbsolutePath(const std::string &path)
{
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    return ec ? path : absolute.string();
}

} // namespace

std::string_view OutputLabel(OutputKind kind)
{
    switch (kind) {
    case OutputKind::Recording:
        return "recording";
    case OutputKind::Dump:
        return "dump file";
    case OutputKind::Tlm:
        return "TLM file";
    case OutputKind::Csv:
        return "CSV file";
    case OutputKind::JsonLines:
        return "JSON Lines file";
    case OutputKind::LineProtocol:
        return "line protocol file";
    case OutputKind::Report:
        return "report file";
    case OutputKind::Export:
        return "export file";
    }
    return "output file";
}

struct OutputPlan::Output
{
    OutputKind kind;
    std::string path;
    bool keptTlm = false; // appended to at the first message, not opened before
    bool committed = false;
    OutputFile file;
    std::unique_ptr<SessionSink> sink;
};

OutputPlan::OutputPlan(Purpose purpose, std::string input)
    : purpose_(purpose), input_(std::move(input))
{
    if (purpose_ == Purpose::Record)
        add(OutputKind::Recording, input_);
}

OutputPlan::~OutputPlan()
{
    discard();
}

void OutputPlan::add(OutputKind kind, std::string path)
{
    auto output = std::make_unique<Output>();
    output->kind = kind;
    output->path = std::move(path);
    outputs_.push_back(std::move(output));
}

void OutputPlan::appendTlmTo(std::string path)
{
    add(OutputKind::Tlm, std::move(path));
    outputs_.back()->keptTlm = true;
}

void OutputPlan::setExportSink(std::function<std::unique_ptr<SessionSink>(OutputFile &)> makeSink)
{
    makeExportSink_ = std::move(makeSink);
}

void OutputPlan::protect(std::string what, std::string path)
{
    protected_.push_back({std::move(what), std::move(path)});
}

std::optional<std::string> OutputPlan::check() const
{
    std::vector<PlannedOutput> planned;
    for (const auto &output : outputs_) {
        if (output->kind == OutputKind::Recording) {
            if (output->path.empty() || IsStandardOutput(output->path))
                return "the recording needs a file name";
            continue;
        }
        if (output->path.empty()) {
            if (purpose_ == Purpose::Export)
                return "the export file name is empty";
            return "an output file name is empty (use - for standard output)";
        }
        planned.push_back({std::string(OutputLabel(output->kind)), output->path});
    }

    if (purpose_ == Purpose::Export) {
        // Checked by file identity: another spelling or a link of the log is still the log.
        for (const PlannedOutput &output : planned) {
            if (output.path == input_ || IsSameFile(output.path, input_))
                return output.path + ": not written: it is the log " + input_ + " itself";
            for (const PlannedOutput &kept : protected_) {
                if (!kept.path.empty() && IsSameFile(output.path, kept.path))
                    return output.path + ": not written: it is the " + kept.what + " " + kept.path;
            }
        }
    }
    return FindOutputClash(input_, planned);
}

bool OutputPlan::openOne(Output &output, std::string &error)
{
    OutputFile &file = output.file;
    if (IsStandardOutput(output.path)) {
        file.openStandardOutput();
        if (!file.failed())
            return true;
        error = file.error();
        return false;
    }
    OutputFile::Mode mode = OutputFile::Mode::CreateAnew;
    if (purpose_ == Purpose::Record) {
        // Written in place as frames arrive, so an existing file is never replaced; a
        // device, FIFO or socket (/dev/null, a named pipe, /dev/stdout) is written as it is.
        struct stat st
        {};
        const bool exists = ::lstat(output.path.c_str(), &st) == 0;
        if (exists && !OutputFile::WritesThrough(output.path)) {
            error = output.path + ": the " + std::string(OutputLabel(output.kind)) +
                    " exists already; a live session writes a new one";
            return false;
        }
        mode = exists ? OutputFile::Mode::CreateAnew : OutputFile::Mode::CreateNew;
    }
    if (file.open(output.path, mode))
        return true;
    error = file.error();
    return false;
}

std::vector<std::string> OutputPlan::open(OnFailure onFailure)
{
    std::vector<std::string> errors;
    for (auto &output : outputs_) {
        output->file.setStopCheck(stopCheck_);
        if (output->keptTlm)
            continue;
        std::string error;
        if (openOne(*output, error))
            continue;
        errors.push_back(std::move(error));
        if (onFailure == OnFailure::DiscardAll) {
            discard();
            return errors;
        }
    }
    return errors;
}

void OutputPlan::attach(DecodingSession &session)
{
    for (auto &output : outputs_) {
        OutputFile &file = output->file;
        if (!file.isOpen() && !output->keptTlm)
            continue;
        switch (output->kind) {
        case OutputKind::Recording:
            output->sink = std::make_unique<RecordingSink>(file);
            break;
        case OutputKind::Dump:
            output->sink = std::make_unique<DumpSink>(file);
            break;
        case OutputKind::Tlm:
            if (output->keptTlm) {
                output->sink = std::make_unique<TlmSink>(file, output->path);
            } else {
                WriteTlmHeader(file, AbsolutePath(input_));
                output->sink = std::make_unique<TlmSink>(file);
            }
            break;
        case OutputKind::Csv:
            output->sink = std::make_unique<ExportSink>(RecordExporter::Format::Csv, file);
            break;
        case OutputKind::JsonLines:
            output->sink = std::make_unique<ExportSink>(RecordExporter::Format::JsonLines, file);
            break;
        case OutputKind::LineProtocol:
            output->sink = std::make_unique<InfluxSink>(file);
            break;
        case OutputKind::Export:
            if (makeExportSink_)
                output->sink = makeExportSink_(file);
            break;
        case OutputKind::Report:
            break;
        }
        if (output->sink)
            session.addSink(*output->sink);
    }
}

OutputPlan::Output *OutputPlan::find(OutputKind kind)
{
    for (auto &output : outputs_) {
        if (output->kind == kind)
            return output.get();
    }
    return nullptr;
}

void OutputPlan::flushSink(OutputKind kind)
{
    if (Output *output = find(kind); output != nullptr && output->sink)
        output->sink->flush();
}

OutputFile *OutputPlan::file(OutputKind kind)
{
    Output *output = find(kind);
    return output != nullptr && output->file.isOpen() ? &output->file : nullptr;
}

bool OutputPlan::committed(OutputKind kind) const
{
    return std::any_of(outputs_.begin(), outputs_.end(), [kind](const auto &output) {
        return output->kind == kind && output->committed;
    });
}

bool OutputPlan::anyFailed() const
{
    return std::any_of(outputs_.begin(), outputs_.end(),
                       [](const auto &output) { return output->file.failed(); });
}

bool OutputPlan::anyInterrupted() const
{
    return std::any_of(outputs_.begin(), outputs_.end(),
                       [](const auto &output) { return output->file.interrupted(); });
}

void OutputPlan::addOmissions(LoadReport &load) const
{
    for (const auto &output : outputs_) {
        const auto *influx = dynamic_cast<const InfluxSink *>(output->sink.get());
        if (influx == nullptr || influx->timesOutOfRange() == 0)
            continue;
        if (load.timesBeyondLineProtocol == 0)
            load.firstTimeBeyondLineProtocol = influx->firstTimeOutOfRange();
        load.timesBeyondLineProtocol += influx->timesOutOfRange();
    }
}

std::vector<std::string> OutputPlan::failures() const
{
    std::vector<std::string> errors;
    for (const auto &output : outputs_) {
        if (output->file.failed())
            errors.push_back(output->file.error());
    }
    return errors;
}

bool OutputPlan::anyStream() const
{
    return std::any_of(outputs_.begin(), outputs_.end(), [](const auto &output) {
        const OutputKind kind = output->kind;
        return (kind == OutputKind::Csv || kind == OutputKind::JsonLines ||
                kind == OutputKind::LineProtocol) &&
               IsStream(output->path);
    });
}

std::vector<std::string> OutputPlan::commit(bool wholeOrNothing)
{
    std::vector<std::string> errors;
    if (wholeOrNothing) {
        errors = failures();
        if (!errors.empty()) {
            discard();
            return errors;
        }
    }
    for (auto &output : outputs_) {
        OutputFile &file = output->file;
        // A kept TLM file that could not be opened for appending: the messages went nowhere.
        if (output->keptTlm && file.failed() && !file.isOpen())
            errors.push_back(file.error());
        if (!file.isOpen())
            continue;
        const bool created = file.created();
        if (file.close()) {
            output->committed = true;
            if (created &&
                std::find(created_.begin(), created_.end(), file.path()) == created_.end())
                created_.push_back(file.path());
        } else {
            errors.push_back(file.error());
        }
    }
    if (wholeOrNothing && !errors.empty())
        discard();
    return errors;
}

void OutputPlan::discard()
{
    for (auto &output : outputs_)
        output->file.discard();
}

std::vector<OutputFile *> OutputPlan::files()
{
    std::vector<OutputFile *> all;
    for (auto &output : outputs_)
        all.push_back(&output->file);
    return all;
}

} // namespace kesta
