#include "session_outputs.h"

#include "tlm_format.h"

#include <array>

namespace kesta {

void DumpSink::frame(const SessionFrame &frame)
{
    WriteDumpLine(file_, frame.record.RawHex);
}

void TlmSink::frame(const SessionFrame &frame)
{
    if (frame.message.empty())
        return;
    if (appendTo_) {
        openFailed_ = !file_.open(*appendTo_, OutputFile::Mode::Append);
        appendTo_.reset();
    }
    if (file_.isOpen())
        WriteTlmMessage(file_, frame.message);
}

namespace {

// Appends `bytes` KISS-escaped. Runs of plain bytes go in whole, which is nearly all.
void AppendEscaped(std::string &out, std::span<const std::uint8_t> bytes)
{
    const auto *p = reinterpret_cast<const char *>(bytes.data());
    const char *const end = p + bytes.size();
    while (p != end) {
        const char *q = p;
        while (q != end && static_cast<std::uint8_t>(*q) != FEND &&
               static_cast<std::uint8_t>(*q) != FESC)
            ++q;
        out.append(p, q);
        if (q == end)
            break;
        out += static_cast<char>(FESC);
        out += static_cast<char>(static_cast<std::uint8_t>(*q) == FEND ? TFEND : TFESC);
        p = q + 1;
    }
}

} // namespace

void RecordingSink::frame(const SessionFrame &frame)
{
    // Each frame between its own pair of FENDs: a FEND shared by two frames would make
    // the reader skip the second.
    if (frame.record.ReceptionTime) {
        const auto ms = static_cast<std::uint64_t>(*frame.record.ReceptionTime);
        std::array<std::uint8_t, 9> timestamp{0x09};
        for (std::size_t i = 0; i < 8; ++i)
            timestamp[1 + i] = static_cast<std::uint8_t>(ms >> (56 - 8 * i));
        block_ += static_cast<char>(FEND);
        AppendEscaped(block_, timestamp);
        block_ += static_cast<char>(FEND);
    }
    block_ += static_cast<char>(FEND);
    AppendEscaped(block_, frame.bytes);
    block_ += static_cast<char>(FEND);
}

void RecordingSink::flush()
{
    file_.write(block_);
    block_.clear();
    file_.flush();
}

ExportSink::ExportSink(RecordExporter::Format format, OutputFile &file, std::string_view station)
    : writer_(format, file, station), file_(file)
{
    writer_.writeHeader();
}

void ExportSink::frame(const SessionFrame &frame)
{
    writer_.writeRecord(frame.number, frame.record);
}

void ExportSink::flush()
{
    writer_.flush();
    file_.flush();
}

} // namespace kesta
