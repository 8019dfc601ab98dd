#include "decode_command.h"

#include "frame_decoder.h"
#include "kiss_log.h"
#include "output_file.h"
#include "output_names.h"
#include "record_export.h"
#include "telemetry_record.h"
#include "tlm_format.h"
#include "value_text.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>

namespace kesta {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view StandardOutputName = "-";
constexpr std::size_t LogBlockSize = std::size_t{1} << 20;

// One file the command writes.
struct Output
{
    std::string what; // "dump file", "CSV file", ...
    std::string path;
    OutputFile file;
    bool existedBefore = false;

    bool toStandardOutput() const { return path == StandardOutputName; }
};

DecodeOutcome Failure(int exitCode, std::string message)
{
    DecodeOutcome outcome;
    outcome.exitCode = exitCode;
    outcome.errors.push_back(std::move(message));
    return outcome;
}

// Checks the planned outputs before anything is opened: none may be the log, and
// no two may be the same file. Returns the message of the first conflict.
std::optional<DecodeOutcome> CheckOutputs(const std::string &logPath,
                                          const std::vector<std::unique_ptr<Output>> &outputs)
{
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const Output &a = *outputs[i];
        if (a.toStandardOutput()) {
            continue;
        }
        if (IsSameFile(a.path, logPath)) {
            return Failure(ExitFailure, logPath + ": not decoded: its " + a.what + " " + a.path +
                                            " would overwrite the log itself");
        }
        for (std::size_t j = 0; j < i; ++j) {
            const Output &b = *outputs[j];
            if (!b.toStandardOutput() && IsSameFile(a.path, b.path)) {
                return Failure(ExitUsage,
                               a.path + ": named as both the " + b.what + " and the " + a.what);
            }
        }
    }
    return std::nullopt;
}

bool AnyOutputFailed(const std::vector<std::unique_ptr<Output>> &outputs)
{
    for (const auto &output : outputs) {
        if (output->file.failed()) {
            return true;
        }
    }
    return false;
}

// Opens every output; on the first failure closes the others again and removes
// those that did not exist before this command, so a refused decode leaves no
// new empty files behind.
bool OpenOutputs(std::vector<std::unique_ptr<Output>> &outputs, DecodeOutcome &outcome)
{
    for (auto &output : outputs) {
        if (output->toStandardOutput()) {
            output->file.openStandardOutput();
            continue;
        }
        std::error_code ec;
        output->existedBefore = fs::exists(fs::symlink_status(output->path, ec));
        if (output->file.open(output->path, OutputFile::Mode::CreateAnew)) {
            continue;
        }
        outcome.exitCode = ExitFailure;
        outcome.errors.push_back(output->file.error());
        for (auto &other : outputs) {
            if (other->file.isOpen()) {
                other->file.close();
                if (!other->toStandardOutput() && !other->existedBefore) {
                    fs::remove(other->path, ec);
                }
            }
        }
        return false;
    }
    return true;
}

} // namespace

DecodeOutcome RunDecodeCommand(const DecodeOptions &options)
{
    const std::string &logPath = options.logPath;
    if (options.csvPath == StandardOutputName && options.jsonlPath == StandardOutputName) {
        return Failure(ExitUsage, "--csv and --jsonl cannot both write to standard output");
    }

    std::vector<std::unique_ptr<Output>> outputs;
    auto plan = [&outputs](std::string what, std::string path) {
        auto output = std::make_unique<Output>();
        output->what = std::move(what);
        output->path = std::move(path);
        outputs.push_back(std::move(output));
        return outputs.back().get();
    };
    Output *dump = options.writeDump ? plan("dump file", DumpNameFor(logPath)) : nullptr;
    Output *tlm = options.writeTlm ? plan("TLM file", TlmNameFor(logPath)) : nullptr;
    Output *csv = options.csvPath.empty() ? nullptr : plan("CSV file", options.csvPath);
    Output *jsonl =
        options.jsonlPath.empty() ? nullptr : plan("JSON Lines file", options.jsonlPath);

    if (auto conflict = CheckOutputs(logPath, outputs)) {
        return std::move(*conflict);
    }

    std::string error;
    std::unique_ptr<LogFile> log = LogFile::open(logPath, error);
    if (!log) {
        return Failure(ExitFailure, error);
    }

    DecodeOutcome outcome;
    if (!OpenOutputs(outputs, outcome)) {
        return outcome;
    }

    if (tlm != nullptr) {
        std::error_code ec;
        const fs::path absolute = fs::absolute(logPath, ec);
        WriteTlmHeader(tlm->file, ec ? logPath : absolute.string());
    }
    std::optional<RecordExportWriter> csvWriter;
    std::optional<RecordExportWriter> jsonlWriter;
    if (csv != nullptr) {
        csvWriter.emplace(RecordExporter::Format::Csv, csv->file);
        csvWriter->writeHeader();
    }
    if (jsonl != nullptr) {
        jsonlWriter.emplace(RecordExporter::Format::JsonLines, jsonl->file);
    }

    // One record, made fresh for every frame; its texts keep their storage.
    TelemetryRecord record;
    DecodeTotals &totals = outcome.totals;
    KissReader reader([&](const KissFrame &frame) {
        record.clear();
        AppendHexText(record.RawHex, frame.bytes);
        record.Written.set(Field::RawHex);
        record.ReceptionTime = frame.receptionTime;
        // The decoder's own counters are 16-bit; this command counts by the result.
        FrameCounters scratch;
        const DecodeResult decoded = DecodeFrame(frame.bytes, record, scratch);
        ++totals.records;
        switch (decoded.countedAs) {
        case FrameType::Htrx:
            ++totals.htrx;
            break;
        case FrameType::Fss:
            ++totals.fss;
            break;
        case FrameType::FssHi:
            ++totals.fssHi;
            break;
        case FrameType::None:
            break;
        }
        if (dump != nullptr) {
            WriteDumpLine(dump->file, record.RawHex);
        }
        if (tlm != nullptr && !decoded.message.empty()) {
            WriteTlmMessage(tlm->file, decoded.message);
        }
        if (csvWriter) {
            csvWriter->writeRecord(totals.records, record);
        }
        if (jsonlWriter) {
            jsonlWriter->writeRecord(totals.records, record);
        }
    });

    std::vector<std::uint8_t> block(LogBlockSize);
    bool logReadToEnd = false;
    while (!AnyOutputFailed(outputs)) {
        const std::optional<std::size_t> n = log->read(block, error);
        if (!n) {
            outcome.errors.push_back(error);
            break;
        }
        if (*n == 0) {
            logReadToEnd = true;
            break;
        }
        reader.feed(std::span<const std::uint8_t>(block.data(), *n));
    }
    if (logReadToEnd) {
        reader.finish();
    }
    totals.reader = reader.stats();

    if (csvWriter) {
        csvWriter->flush();
    }
    if (jsonlWriter) {
        jsonlWriter->flush();
    }
    for (auto &output : outputs) {
        if (!output->file.close()) {
            outcome.errors.push_back(output->file.error());
        }
    }
    if (!outcome.errors.empty()) {
        outcome.exitCode = ExitFailure;
    }
    return outcome;
}

std::string SummaryText(const DecodeTotals &totals)
{
    std::string text =
        CounterText(static_cast<std::int64_t>(totals.htrx), static_cast<std::int64_t>(totals.fss),
                    static_cast<std::int64_t>(totals.fssHi));
    text += "\nRecords: ";
    AppendValueText(text, static_cast<std::int64_t>(totals.records));
    text += "    Oversized frames dropped: ";
    AppendValueText(text, static_cast<std::int64_t>(totals.reader.oversizedFrames));
    text += "    Frames rejected: ";
    AppendValueText(text, static_cast<std::int64_t>(totals.reader.rejectedFrames));
    text += '\n';
    return text;
}

} // namespace kesta
