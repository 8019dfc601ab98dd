#include "session_outputs.h"

#include "tlm_format.h"

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

void AppendEscaped(std::string &out, std::uint8_t b)
{
    if (b == FEND) {
        out += static_cast<char>(FESC);
        out += static_cast<char>(TFEND);
    } else if (b == FESC) {
        out += static_cast<char>(FESC);
        out += static_cast<char>(TFESC);
    } else {
        out += static_cast<char>(b);
    }
}

} // namespace

void RecordingSink::frame(const SessionFrame &frame)
{
    // Each frame between its own pair of FENDs: a FEND shared by two frames would make
    // the reader skip the second.
    if (frame.record.ReceptionTime) {
        const auto ms = static_cast<std::uint64_t>(*frame.record.ReceptionTime);
        block_ += static_cast<char>(FEND);
        block_ += static_cast<char>(0x09);
        for (int shift = 56; shift >= 0; shift -= 8)
            AppendEscaped(block_, static_cast<std::uint8_t>(ms >> shift));
        block_ += static_cast<char>(FEND);
    }
    block_ += static_cast<char>(FEND);
    for (const std::uint8_t b : frame.bytes)
        AppendEscaped(block_, b);
    block_ += static_cast<char>(FEND);
}

void RecordingSink::flush()
{
    file_.write(block_);
    block_.clear();
    file_.flush();
}

ExportSink::ExportSink(RecordExporter::Format format, OutputFile &file)
    : writer_(format, file), file_(file)
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
