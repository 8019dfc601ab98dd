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
