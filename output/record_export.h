#pragma once

#include "number_text.h"
#include "output_file.h"
#include "telemetry_record.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace kesta {

// Records as CSV or JSON Lines, one row or object per accepted frame.
//
// Columns and keys: "Record" (1, 2, ... in log order), "Time" (reception time in
// ISO 8601 UTC with milliseconds), "Station" (the receiving station's name, only
// when one is given: an export without a station is as it always was), then every
// record field in the order of the `Fields` table under its own name. Numbers are value text with "." as the
// decimal separator; the status bytes are numbers 0 to 255.
//
// CSV (RFC 4180): a header row; rows end in CR LF; a cell holding a comma, a
// quote, CR or LF is quoted, its quotes doubled; a field the frame did not write,
// and an unknown time, is an empty cell. The file is UTF-8: the texts' bytes are
// taken as code points of the same value (Latin-1), so a message byte 0xE9 is
// written as "é" (C3 A9). A text cell beginning with =, +, -, @, TAB or CR gets a
// leading ' so that a spreadsheet does not take it for a formula; numbers never do.
//
// JSON Lines: one object per line, ending in LF, no header, texts exactly as they
// are. Only the fields the frame wrote are present, "Time" only when known.
// Integers and status bytes are JSON integers, floats JSON numbers spelt as their
// value text, texts JSON strings with the same byte-to-code-point rule; control
// characters become \u00XX.
//
// Rows are written straight into a caller's buffer, so a writer can build large
// blocks and hand them to the file in one piece. Written by hand rather than with a
// JSON or CSV library: the rows are flat with a fixed set of keys, and writing them
// through one pointer into one buffer (no document object per row, no stream, string
// or size check per field, the field loop unrolled over the field table at compile
// time) is what lets an export keep up with the decoder on logs of gigabytes.
class RecordExporter
{
public:
    enum class Format
    {
        Csv,
        JsonLines
    };

    // `station`: the name of the station that received the frames; empty for none.
    explicit RecordExporter(Format format, std::string_view station = {});

    Format format() const { return format_; }
    // The CSV header row; nothing for JSON Lines.
    void appendHeader(std::string &out) const;
    // Appends one row or object. Not const: the exporter remembers the texts of
    // recent float values and of the current day of reception time, which
    // repeat from frame to frame and are the costly part of a row.
    void appendRecord(std::string &out, std::uint64_t recordNumber, const TelemetryRecord &record);

    // The most characters one row or object of `record` can take.
    std::size_t maxRecordSize(const TelemetryRecord &record) const;
    // Writes one row or object at `out`, which has room for maxRecordSize(record)
    // characters; returns the end of what was written.
    char *writeRecord(char *out, std::uint64_t recordNumber, const TelemetryRecord &record);

private:
    template <Format F>
    char *write(char *out, std::uint64_t recordNumber, const TelemetryRecord &record);
    template <Format F, std::size_t I> char *writeField(char *out, const TelemetryRecord &record);
    char *writeTime(char *out, std::int64_t ms);
    // The frame kind's cell or JSON string, escaped once when the exporter is made.
    std::string_view kindCell(FrameKind kind) const;

    Format format_;
    FloatTexts floats_;
    std::array<std::string, KindCount> kindCells_;
    std::string stationCell_; // ,NAME or ,"Station":"NAME", ready to append; empty for none
    std::int64_t cachedDay_ = -1;
    std::array<char, 11> dayText_{}; // "YYYY-MM-DDT" of cachedDay_
    std::string row_; // appendRecord's row before it goes to the caller's string
};

// A UTF-8 text of the user's own (a station's or a log's name) as a JSON string: quotes,
// backslashes and control characters escaped, every other byte as it is.
void AppendJsonUtf8(std::string &out, std::string_view text);

// Writes an export into an OutputFile, building rows in a reused buffer.
class RecordExportWriter
{
public:
    // Takes a full block: the first `size` bytes of `block`, which comes back with
    // storage to go on with (its own or other), as OutputFile::writeBlock does.
    using BlockSink = std::function<void(std::string &block, std::size_t size)>;

    // As large as the file's buffer, so that a full block goes straight to the file.
    static constexpr std::size_t BlockSize = OutputFile::DefaultBufferSize;

    RecordExportWriter(RecordExporter::Format format, OutputFile &file,
                       std::string_view station = {});
    RecordExportWriter(RecordExporter::Format format, BlockSink sink,
                       std::string_view station = {});

    void writeHeader();
    void writeRecord(std::uint64_t recordNumber, const TelemetryRecord &record);
    // Hands the buffered rows to the file.
    void flush();

private:
    // Makes block_ a whole block again: rows are written into it through a pointer
    // and its size is cut to what was written (used_) only when it goes to the file.
    void renewBlock();

    RecordExporter exporter_;
    BlockSink sink_;
    std::string block_;
    std::size_t used_ = 0;
};

} // namespace kesta
