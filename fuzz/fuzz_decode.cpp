// Arbitrary bytes through everything a log reaches: the KISS reader fed in
// chunks, the decoding session with every sink a run has (record store, dump,
// TLM file, CSV, JSON Lines and line protocol exports written through real output
// files), value text and the exports. Slow (five real files per input); fuzz_session
// checks the session without files, many times faster.
//
// The first byte of the input chooses how the rest is cut into chunks and how
// large the output files' buffers are; the rest is the log. Besides crashes and
// sanitizer reports the target checks:
// - the fast reader agrees with a slow reference reader that follows the KISS
//   rules one byte at a time: frames, reception times, offsets and every count
//   and first offset, whatever the chunking;
// - the session hands every sink each accepted frame in order, numbered, with
//   the reference's offset, decoded as a fresh record would be;
// - the files hold exactly one dump line per frame, the header and every
//   message, one export row per frame; the record store the first 1000 records;
// - each export row is one line, and the values have the shapes they promise;
// - a line protocol line ends in the time in nanoseconds, and a time beyond what
//   64-bit nanoseconds hold gives no line and is counted instead.

#include "fuzz_checks.h"
#include "influx_export.h"
#include "output_file.h"
#include "satnogs_frames.h"
#include "session_outputs.h"
#include "tlm_format.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

using namespace fuzzcheck;

// The run's output files live in a folder of their own, removed at exit.
const std::filesystem::path &OutputFolder()
{
    static const std::filesystem::path folder = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "kesta-fuzz-XXXXXX").string();
        Check(::mkdtemp(pattern.data()) != nullptr, "a scratch folder for the outputs");
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(OutputFolder(), ec);
        });
        return std::filesystem::path(pattern);
    }();
    return folder;
}

std::string ReadWhole(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void RunSession(std::span<const std::uint8_t> log, std::uint8_t control, const ReaderRun &reference)
{
    const Expected expected = Decode(reference);
    const std::filesystem::path &folder = OutputFolder();
    const std::string dumpPath = folder / "f.dmp", tlmPath = folder / "f.tlm",
                      csvPath = folder / "f.csv", jsonlPath = folder / "f.jsonl",
                      influxPath = folder / "f.lp";
    // Small buffers now and then, so that lines are cut at every place.
    const std::size_t bufferSize =
        control & 0x80 ? 1 + control % 97 : kesta::OutputFile::DefaultBufferSize;
    kesta::OutputFile dump(bufferSize), tlm(bufferSize), csv(bufferSize), jsonl(bufferSize),
        influx(bufferSize);
    for (auto [file, path] : {std::pair{&dump, &dumpPath},
                              {&tlm, &tlmPath},
                              {&csv, &csvPath},
                              {&jsonl, &jsonlPath},
                              {&influx, &influxPath}}) {
        Check(file->open(*path, kesta::OutputFile::Mode::CreateAnew), "an output file opens");
        file->setSyncOnClose(false);
    }
    kesta::WriteTlmHeader(tlm, "f.kss");

    // The record store lives on from input to input like the program's, so every
    // run must start afresh.
    static kesta::RecordStore store;
    kesta::DecodingSession session(kesta::RecordStore::MaxRecords);
    kesta::RecordStoreSink records(store);
    kesta::DumpSink dumpSink(dump);
    kesta::TlmSink tlmSink(tlm);
    kesta::ExportSink csvSink(kesta::RecordExporter::Format::Csv, csv);
    kesta::ExportSink jsonlSink(kesta::RecordExporter::Format::JsonLines, jsonl);
    kesta::InfluxSink influxSink(influx);
    CheckingSink checking(reference, expected);
    for (kesta::SessionSink *sink : std::initializer_list<kesta::SessionSink *>{
             &records, &dumpSink, &tlmSink, &csvSink, &jsonlSink, &influxSink, &checking})
        session.addSink(*sink);
    FeedInChunks(log, control, [&session](std::span<const std::uint8_t> chunk) {
        session.feed(chunk);
        session.flush(); // as a live session does now and then
    });
    session.finish();
    session.flush();
    for (kesta::OutputFile *file : {&dump, &tlm, &csv, &jsonl, &influx})
        Check(file->close(), "an output file is written");

    CheckReport(session, reference, expected, kesta::RecordStore::MaxRecords);
    Check(checking.seen == reference.frames.size(), "every frame handed on");
    const std::uint64_t n = reference.frames.size();
    const std::uint64_t kept = std::min<std::uint64_t>(n, kesta::RecordStore::MaxRecords);

    std::string dumpText, tlmText, csvText, jsonlText, influxText;
    std::uint64_t timesOutOfRange = 0, firstTimeOutOfRange = kesta::NoOffset;
    tlmText.append(kesta::TlmTitle).append("\r\n").append(kesta::TlmRule);
    tlmText.append("\r\nFile: f.kss\r\n\r\n");
    for (const auto &m : expected.messages)
        tlmText.append(m.begin(), m.end()).append("\r\n\r\n");
    kesta::RecordExporter csvExporter(kesta::RecordExporter::Format::Csv);
    kesta::RecordExporter jsonlExporter(kesta::RecordExporter::Format::JsonLines);
    kesta::InfluxLineWriter influxLines;
    csvExporter.appendHeader(csvText);
    for (std::uint64_t i = 0; i < n; ++i) {
        dumpText.append(expected.records[i].RawHex).append("\r\n");
        csvExporter.appendRecord(csvText, i + 1, expected.records[i]);
        jsonlExporter.appendRecord(jsonlText, i + 1, expected.records[i]);
        const SeenFrame &ref = reference.frames[i];
        const kesta::SessionFrame frame{i + 1, ref.offset,        ref.bytes, expected.records[i],
                                        ref.time, expected.kinds[i], {},       false};
        std::string line;
        const bool held = influxLines.append(line, frame);
        // The last millisecond that 64-bit nanoseconds hold is 2262-04-11T23:47:16.854Z.
        Check(held == (!ref.time || *ref.time <= 9223372036854), "a time the protocol holds");
        if (!held && timesOutOfRange++ == 0)
            firstTimeOutOfRange = ref.offset;
        if (!line.empty()) {
            // Nanoseconds as text, without arithmetic that could overflow.
            const std::string ns = *ref.time == 0 ? "0" : std::to_string(*ref.time) + "000000";
            Check(line.starts_with("kesta1,kind=") && line.ends_with(" " + ns + "\n") &&
                      line.find('\n') == line.size() - 1,
                  "a line protocol line: measurement, fields, time in nanoseconds");
        }
        influxText += line;
    }
    Check(ReadWhole(dumpPath) == dumpText, "the dump file: one line per frame");
    Check(ReadWhole(tlmPath) == tlmText, "the TLM file: header and every message");
    Check(ReadWhole(csvPath) == csvText, "the CSV file: header and one row per frame");
    Check(ReadWhole(jsonlPath) == jsonlText, "the JSON Lines file: one object per frame");
    Check(ReadWhole(influxPath) == influxText, "the line protocol file: one line per timed frame");
    Check(influxSink.timesOutOfRange() == timesOutOfRange &&
              influxSink.firstTimeOutOfRange() == firstTimeOutOfRange,
          "times the line protocol cannot hold counted");

    Check(static_cast<std::uint64_t>(store.RecordCount) == kept,
          "one record per accepted frame up to the limit");
    for (std::int16_t i = 1; i <= store.RecordCount; ++i) {
        const auto at = static_cast<std::size_t>(i - 1);
        Check(SameRecord(store[i], expected.records[at]),
              "the record store holds the records in order");
    }
}

// The same bytes read as a SatNOGS frame export, in chunks of the control byte's choosing.
ReaderRun ReadLinesInChunks(std::span<const std::uint8_t> log, std::uint8_t control,
                            kesta::SatnogsLineStats &stats)
{
    ReaderRun run;
    kesta::SatnogsReader reader([&run](const kesta::KissFrame &f) {
        run.frames.push_back(
            {{f.bytes.begin(), f.bytes.end()}, f.receptionTime, f.offset, f.precedingTimestamp});
    });
    FeedInChunks(log, control,
                 [&reader](std::span<const std::uint8_t> chunk) { reader.feed(chunk); });
    reader.finish();
    stats = reader.stats();
    return run;
}

void CheckSatnogsLines(std::span<const std::uint8_t> log, std::uint8_t control)
{
    kesta::SatnogsLineStats wholeStats, chunkedStats;
    const ReaderRun whole = ReadLinesInChunks(log, 0, wholeStats);
    const ReaderRun chunked = ReadLinesInChunks(log, control, chunkedStats);
    Check(whole.frames == chunked.frames, "the same frame lines whatever the chunking");
    Check(wholeStats.frameLines == chunkedStats.frameLines &&
              wholeStats.badLines == chunkedStats.badLines &&
              wholeStats.firstBadLine == chunkedStats.firstBadLine,
          "the same line counts whatever the chunking");
    Check(whole.frames.size() == wholeStats.frameLines, "every frame line gives one frame");
    for (const auto &f : whole.frames) {
        Check(f.bytes.size() >= 3 && f.bytes.size() <= kesta::KissReader::FrameCapacity &&
                  f.bytes[0] == 0x00,
              "frame lines give data frames of 3 to 512 bytes");
        Check(f.time && *f.time >= 0 &&
                  static_cast<std::uint64_t>(*f.time) < kesta::TimestampLimitMs,
              "frame lines have a time a timestamp frame could hold");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::uint8_t control = data[0];
    const std::span<const std::uint8_t> log(data + 1, size - 1);

    const ReaderRun reference = CheckReader(log, control);
    RunSession(log, control, reference);
    CheckSatnogsLines(log, control);
    return 0;
}
