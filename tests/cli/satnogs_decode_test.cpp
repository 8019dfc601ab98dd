// A SatNOGS frame export decodes as the KISS log of the same frames at the same times.
#include "decode_command.h"
#include "test_logs.h"

#include <gtest/gtest.h>
#include <string>

namespace kesta {
namespace {

using testing::Bytes;
using testing::HexOf;
using testing::Kiss;
using testing::ReadFile;

constexpr std::int64_t Noon = 1796119200000; // 2026-12-01 10:00:00 UTC

DecodeOptions AllOutputs(const testing::ScratchFolder &folder, const std::string &name)
{
    DecodeOptions o;
    o.logPath = folder / name;
    o.writeTlm = false; // its header names the log
    o.csvPath = folder / (name + ".csv");
    o.jsonlPath = folder / (name + ".jsonl");
    o.influxPath = folder / (name + ".lp");
    o.station = "DL0ABC";
    return o;
}

TEST(SatnogsDecode, GivesTheFilesOfTheKissLogOfItsFrames)
{
    testing::ScratchFolder folder;
    const Bytes frames[] = {testing::HtrxFrame(1, 2, 3), testing::MessageFrame(1, "HELLO"),
                            testing::HiModeFrame(1, 2, 3, 0x47, 9, 45)};
    std::string export_;
    Bytes kiss;
    for (std::size_t i = 0; i < std::size(frames); ++i) {
        std::string hex = HexOf(Bytes(frames[i].begin() + 1, frames[i].end()));
        if (i == 1) {
            for (char &c : hex)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        export_ += "2026-12-01 10:00:0" + std::to_string(i) + "|" + hex + (i == 0 ? "\r\n" : "\n");
        if (i == 1)
            export_ += "\nnot a frame\n";
        kiss = testing::Concat({kiss, Kiss(testing::Timestamp(Noon + 1000 * i)), Kiss(frames[i])});
    }
    // Frame exports start with a 0x00 byte in these frames; the export has the bytes after it.
    for (const Bytes &f : frames)
        ASSERT_EQ(f.front(), 0x00);
    testing::WriteFile(folder / "pass.kss", kiss);
    testing::WriteFile(folder / "pass.txt", export_);

    const DecodeOutcome fromKiss = RunDecodeCommand(AllOutputs(folder, "pass.kss"));
    const DecodeOutcome fromExport = RunDecodeCommand(AllOutputs(folder, "pass.txt"));

    ASSERT_EQ(fromKiss.exitCode, ExitSuccess);
    ASSERT_EQ(fromExport.exitCode, ExitSuccess);
    EXPECT_EQ(fromExport.totals.records, 3u);
    for (const char *extension : {"", ".csv", ".jsonl", ".lp"}) {
        const auto output = [&](const std::string &log) {
            return ReadFile(folder / (extension[0] == 0 ? log.substr(0, 4) + ".dmp"
                                                       : log + extension));
        };
        EXPECT_FALSE(output("pass.kss").empty()) << extension;
        EXPECT_EQ(output("pass.txt"), output("pass.kss")) << extension;
    }
    EXPECT_EQ(SummaryText(fromExport.totals),
              "HTRX: 1    FSS: 1    FSS (Hi): 1\nRecords: 3    Oversized frames dropped: 0    "
              "Frames rejected: 0\n1 line that is no frame (SatNOGS frames), at line 4\n");
}

TEST(SatnogsDecode, AFileThatIsNeitherFormatIsSaidToBe)
{
    testing::ScratchFolder folder;
    testing::WriteFile(folder / "notes.txt", std::string("time|frame\n2026-12-01|00\n"));
    DecodeOptions o;
    o.logPath = folder / "notes.txt";
    o.writeDump = o.writeTlm = false;

    const DecodeOutcome outcome = RunDecodeCommand(o);

    EXPECT_EQ(outcome.totals.records, 0u);
    EXPECT_NE(SummaryText(outcome.totals)
                  .find("neither a KISS log nor SatNOGS frames: no frame found"),
              std::string::npos)
        << SummaryText(outcome.totals);
}

} // namespace
} // namespace kesta
