#pragma once

#include "decoding_session.h"
#include "output_file.h"
#include "record_export.h"
#include "threaded_export_writer.h"

#include <optional>
#include <string>
#include <string_view>

namespace kesta {

// The dump file: one line per accepted frame, its hex text.
class DumpSink final : public SessionSink
{
public:
    explicit DumpSink(OutputFile &file) : file_(file) {}
    void frame(const SessionFrame &frame) override;
    void flush() override { file_.flush(); }
    bool readsRecord() const override { return false; }

private:
    OutputFile &file_;
};

// The TLM file: the text of every FSS message. With `appendTo`, the file is the
// one kept from an earlier run and is opened for appending at the first message,
// so that a run without messages leaves it untouched.
class TlmSink final : public SessionSink
{
public:
    explicit TlmSink(OutputFile &file, std::optional<std::string> appendTo = std::nullopt)
        : file_(file), appendTo_(std::move(appendTo))
    {}
    void frame(const SessionFrame &frame) override;
    void flush() override { file_.flush(); }
    bool readsRecord() const override { return false; }
    // True when an append was attempted and the file could not be opened.
    bool openFailed() const { return openFailed_; }

private:
    OutputFile &file_;
    std::optional<std::string> appendTo_;
    bool openFailed_ = false;
};

// One frame between its own pair of FENDs, FEND and FESC escaped. A FEND shared by two
// frames would make the reader skip the second.
void AppendKissFrame(std::string &out, std::span<const std::uint8_t> bytes);
// The timestamp frame of a reception time (ms since 1970), as AppendKissFrame writes it.
void AppendTimestampFrame(std::string &out, std::int64_t ms);

// The recording of a live session: a KISS log of every accepted frame, each preceded
// by exactly one timestamp frame holding the frame's reception time, so that decoding
// the recording gives the same records, times and files as the live session did.
// Written in place and handed to the file at every flush.
class RecordingSink final : public SessionSink
{
public:
    explicit RecordingSink(OutputFile &file) : file_(file) {}
    void frame(const SessionFrame &frame) override;
    void flush() override;
    bool readsRecord() const override { return false; }

private:
    OutputFile &file_;
    std::string block_;
};

// Asks the whole session to hand on its buffers every `frames` frames. Placed behind
// a live session's recording, it keeps the other files' buffers too small to spill on
// their own: they reach the disk only at a hand-over, after the recording.
class PacedFlushSink final : public SessionSink
{
public:
    PacedFlushSink(DecodingSession &session, unsigned frames) : session_(session), frames_(frames)
    {}
    void frame(const SessionFrame &) override
    {
        if (++count_ >= frames_) {
            count_ = 0;
            session_.flush();
        }
    }
    void flush() override { count_ = 0; }

private:
    DecodingSession &session_;
    unsigned frames_;
    unsigned count_ = 0;
};

// CSV, JSON Lines: one row per accepted frame, numbered as the session numbers them.
// The records are decoded and their rows made on a thread of their own.
class ExportSink final : public SessionSink
{
public:
    // `station`: the receiving station's name for the Station column; empty for none.
    ExportSink(RecordExporter::Format format, OutputFile &file, std::string_view station = {});
    void frame(const SessionFrame &frame) override;
    bool readsRecord() const override { return false; }
    void flush() override { writer_.flush(); }

private:
    ThreadedExportWriter writer_;
};

} // namespace kesta
