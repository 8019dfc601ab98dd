#pragma once

#include "decoding_session.h"
#include "output_file.h"
#include "record_export.h"

#include <optional>
#include <string>

namespace kesta {

// The dump file: one line per accepted frame, its hex text.
class DumpSink final : public SessionSink
{
public:
    explicit DumpSink(OutputFile &file) : file_(file) {}
    void frame(const SessionFrame &frame) override;
    void flush() override { file_.flush(); }

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
    // True when an append was attempted and the file could not be opened.
    bool openFailed() const { return openFailed_; }

private:
    OutputFile &file_;
    std::optional<std::string> appendTo_;
    bool openFailed_ = false;
};

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
class ExportSink final : public SessionSink
{
public:
    ExportSink(RecordExporter::Format format, OutputFile &file);
    void frame(const SessionFrame &frame) override;
    void flush() override;

private:
    RecordExportWriter writer_;
    OutputFile &file_;
};

} // namespace kesta
