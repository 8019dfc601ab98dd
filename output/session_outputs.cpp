#include "session_outputs.h"

#include "tlm_format.h"
#include "value_text.h"

#include <array>
#include <cstring>

namespace kesta {

void DumpSink::frame(const SessionFrame &frame)
{
    // The frame's hex text straight into the file's buffer: no record needed.
    file_.writeWith(2 * frame.bytes.size() + 2, [&frame](char *out) {
        out = WriteHexText(out, frame.bytes);
        out[0] = '\r';
        out[1] = '\n';
    });
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
    // Most frames hold neither FEND nor FESC: two memchr() calls find out and the
    // frame goes in whole.
    if (std::memchr(bytes.data(), FEND, bytes.size()) == nullptr &&
        std::memchr(bytes.data(), FESC, bytes.size()) == nullptr) {
        out.append(reinterpret_cast<const char *>(bytes.data()), bytes.size());
        return;
    }
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

void AppendKissFrame(std::string &out, std::span<const std::uint8_t> bytes)
{
    out += static_cast<char>(FEND);
    AppendEscaped(out, bytes);
    out += static_cast<char>(FEND);
}

void AppendTimestampFrame(std::string &out, std::int64_t ms)
{
    const auto value = static_cast<std::uint64_t>(ms);
    std::array<std::uint8_t, 9> timestamp{0x09};
    for (std::size_t i = 0; i < 8; ++i)
        timestamp[1 + i] = static_cast<std::uint8_t>(value >> (56 - 8 * i));
    AppendKissFrame(out, timestamp);
}

void RecordingSink::frame(const SessionFrame &frame)
{
    if (frame.receptionTime)
        AppendTimestampFrame(block_, *frame.receptionTime);
    AppendKissFrame(block_, frame.bytes);
}

void RecordingSink::flush()
{
    file_.write(block_);
    block_.clear();
    file_.flush();
}

ExportSink::ExportSink(RecordExporter::Format format, OutputFile &file, std::string_view station)
    : writer_(format, file, station)
{}

void ExportSink::frame(const SessionFrame &frame)
{
    writer_.add(frame.number, frame.bytes, frame.receptionTime);
}

} // namespace kesta
