// The export whose rows are made on a thread of their own: the same bytes as one
// thread writes, at every flush, and no wait left behind when the file fails or the
// export is given up.

#include "frame_decoder.h"
#include "output_file.h"
#include "test_logs.h"
#include "threaded_export_writer.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace kesta {
namespace {

using testing::Bytes;

// Frames of every kind, one in five without a time.
struct NumberedFrame
{
    Bytes bytes;
    std::optional<std::int64_t> time;
};

NumberedFrame FrameNumber(std::uint64_t n)
{
    const auto byte = static_cast<std::uint8_t>(n);
    NumberedFrame f;
    switch (n % 4) {
    case 0:
        f.bytes = testing::HtrxFrame(static_cast<std::uint16_t>(n), byte, byte);
        break;
    case 1: {
        Bytes payload(64, byte);
        payload.push_back(static_cast<std::uint8_t>(n % 30));
        f.bytes = testing::FssFrame(0x47, byte, payload);
        break;
    }
    case 2:
        f.bytes = testing::MessageFrame(byte, "line \"" + std::to_string(n) + "\",\xE9");
        break;
    default:
        f.bytes = testing::HiModeFrame(byte, 2, 3, 0x80, byte, 5);
        break;
    }
    if (n % 5 != 0)
        f.time = 1796119200123 + static_cast<std::int64_t>(n) * 997;
    return f;
}

// The record as a decoding run makes it, for the reference rows.
TelemetryRecord Decoded(const NumberedFrame &f)
{
    TelemetryRecord r;
    r.RawHex = testing::HexOf(f.bytes);
    r.Written.set(Field::RawHex);
    r.ReceptionTime = f.time;
    FrameCounters counters;
    DecodeFrame(f.bytes, r, counters);
    return r;
}

struct FlushCase
{
    const char *name;
    RecordExporter::Format format;
    std::uint64_t records;
    std::vector<std::uint64_t> flushAfter; // record numbers after which the export flushes
};

class ThreadedExport : public ::testing::TestWithParam<FlushCase>
{};

// Written in place, so that what a flush handed on is on the disk at once.
TEST_P(ThreadedExport, WritesWhatOneThreadWritesAtEveryFlush)
{
    const FlushCase &c = GetParam();
    testing::ScratchFolder folder;
    OutputFile file;
    ASSERT_TRUE(file.open(folder / "out", OutputFile::Mode::CreateNew)) << file.error();
    RecordExporter reference(c.format, "north");
    std::string expected;
    reference.appendHeader(expected);
    {
        ThreadedExportWriter writer(c.format, file, "north");
        std::size_t flushes = 0;
        for (std::uint64_t n = 1; n <= c.records; ++n) {
            const NumberedFrame f = FrameNumber(n);
            reference.appendRecord(expected, n, Decoded(f));
            writer.add(n, f.bytes, f.time);
            if (flushes < c.flushAfter.size() && c.flushAfter[flushes] == n) {
                ++flushes;
                writer.flush();
                ASSERT_FALSE(file.failed()) << file.error();
                ASSERT_EQ(testing::ReadFile(folder / "out"), expected) << "after record " << n;
            }
        }
        writer.flush();
    }
    ASSERT_TRUE(file.close()) << file.error();
    EXPECT_EQ(testing::ReadFile(folder / "out"), expected);
}

constexpr std::uint64_t Batch = ThreadedExportWriter::BatchRecords;

INSTANTIATE_TEST_SUITE_P(
    Flushes, ThreadedExport,
    ::testing::Values(
        FlushCase{"NoRecordCsv", RecordExporter::Format::Csv, 0, {}},
        FlushCase{"LessThanABatchJson", RecordExporter::Format::JsonLines, Batch - 1, {3}},
        FlushCase{"ExactlyOneBatchCsv", RecordExporter::Format::Csv, Batch, {Batch}},
        FlushCase{"ManyBatchesJson", RecordExporter::Format::JsonLines, 40 * Batch + 3,
                  {1, Batch + 1, Batch + 2, 4 * Batch, 4 * Batch + 1, 11 * Batch, 30 * Batch}},
        FlushCase{"ManyBatchesCsv", RecordExporter::Format::Csv, 40 * Batch + 3,
                  {2 * Batch - 1, 2 * Batch, 9 * Batch + 5}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(ThreadedExportFailure, AFullDeviceFailsTheFileWithoutHoldingUpTheExport)
{
    OutputFile file;
    ASSERT_TRUE(file.open("/dev/full", OutputFile::Mode::CreateAnew));
    ThreadedExportWriter writer(RecordExporter::Format::JsonLines, file);
    const NumberedFrame f = FrameNumber(1);
    for (std::uint64_t n = 1; n <= 40 * Batch; ++n)
        writer.add(n, f.bytes, f.time);
    writer.flush();
    EXPECT_TRUE(file.failed());
    EXPECT_EQ(file.error(), "/dev/full: No space left on device");
    EXPECT_FALSE(file.close());
}

TEST(ThreadedExportFailure, AnExportGivenUpMidwayLeavesTheEarlierFile)
{
    testing::ScratchFolder folder;
    testing::WriteFile(folder / "out.csv", std::string("earlier export"));
    {
        OutputFile file;
        ASSERT_TRUE(file.open(folder / "out.csv", OutputFile::Mode::CreateAnew));
        ThreadedExportWriter writer(RecordExporter::Format::Csv, file);
        // More batches than the thread has made rows of when it is stopped.
        for (std::uint64_t n = 1; n <= 40 * Batch; ++n) {
            const NumberedFrame f = FrameNumber(n);
            writer.add(n, f.bytes, f.time);
        }
        file.discard();
    }
    EXPECT_EQ(testing::ReadFile(folder / "out.csv"), "earlier export");
    EXPECT_EQ(folder.names(), std::vector<std::string>{"out.csv"});
}

} // namespace
} // namespace kesta
