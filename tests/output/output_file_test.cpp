#include "output_file.h"
#include "test_logs.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace kesta {
namespace {

using testing::ReadFile;
using testing::ScratchFolder;
using testing::WriteFile;

// Pieces smaller than, equal to and larger than the buffer must all arrive in order.
TEST(OutputFile, KeepsEveryByteInOrderWhateverTheBufferSize)
{
    ScratchFolder folder;
    const std::string path = folder / "out.txt";
    OutputFile file(8);
    ASSERT_TRUE(file.open(path, OutputFile::Mode::CreateAnew)) << file.error();
    std::string expected;
    for (std::size_t length : {1u, 7u, 8u, 3u, 20u, 0u, 5u, 64u, 2u}) {
        std::string piece;
        for (std::size_t i = 0; i < length; ++i) {
            piece += static_cast<char>('a' + (expected.size() + i) % 26);
        }
        file.write(piece);
        expected += piece;
    }
    file.writeLine("end");
    expected += "end\r\n";
    ASSERT_TRUE(file.close()) << file.error();
    EXPECT_EQ(ReadFile(path), expected);
}

TEST(OutputFile, CreateAnewEmptiesAnExistingFile)
{
    ScratchFolder folder;
    const std::string path = folder / "out.txt";
    WriteFile(path, std::string("old content that must go"));
    OutputFile file;
    ASSERT_TRUE(file.open(path, OutputFile::Mode::CreateAnew));
    EXPECT_TRUE(file.createdOrEmptied());
    file.write("new");
    ASSERT_TRUE(file.close());
    EXPECT_EQ(ReadFile(path), "new");
}

TEST(OutputFile, AppendKeepsTheContentAndSaysWhetherItCreatedTheFile)
{
    ScratchFolder folder;
    const std::string existing = folder / "existing.txt";
    WriteFile(existing, std::string("first\r\n"));
    OutputFile file;
    ASSERT_TRUE(file.open(existing, OutputFile::Mode::Append));
    EXPECT_FALSE(file.createdOrEmptied());
    file.writeLine("second");
    ASSERT_TRUE(file.close());
    EXPECT_EQ(ReadFile(existing), "first\r\nsecond\r\n");

    const std::string fresh = folder / "fresh.txt";
    ASSERT_TRUE(file.open(fresh, OutputFile::Mode::Append));
    EXPECT_TRUE(file.createdOrEmptied());
    file.write("x");
    ASSERT_TRUE(file.close());
    EXPECT_EQ(ReadFile(fresh), "x");
}

struct OpenFailure
{
    const char *path;
    const char *reason;
};

class OutputFileOpenFailure : public ::testing::TestWithParam<OpenFailure>
{};

// These fail for every user, root included.
TEST_P(OutputFileOpenFailure, NamesTheFileAndTheReason)
{
    OutputFile file;
    EXPECT_FALSE(file.open(GetParam().path, OutputFile::Mode::CreateAnew));
    EXPECT_FALSE(file.isOpen());
    EXPECT_TRUE(file.failed());
    EXPECT_EQ(file.error(), std::string(GetParam().path) + ": " + GetParam().reason);
    file.write("ignored");
    EXPECT_FALSE(file.close());
}

INSTANTIATE_TEST_SUITE_P(Paths, OutputFileOpenFailure,
                         ::testing::Values(OpenFailure{"/dev/null/x.dmp", "Not a directory"},
                                           OpenFailure{"/", "Is a directory"},
                                           OpenFailure{"", "No such file or directory"}));

TEST(OutputFile, AWriteThatFailsIsReportedAndLaterWritesAreSkipped)
{
    OutputFile file(16);
    ASSERT_TRUE(file.open("/dev/full", OutputFile::Mode::CreateAnew));
    file.write("more than sixteen bytes of text");
    EXPECT_TRUE(file.failed());
    file.write("more");
    EXPECT_FALSE(file.close());
    EXPECT_EQ(file.error(), "/dev/full: No space left on device");
}

TEST(OutputFile, AFailureInTheLastBufferIsReportedByClose)
{
    OutputFile file;
    ASSERT_TRUE(file.open("/dev/full", OutputFile::Mode::CreateAnew));
    file.writeLine("short");
    EXPECT_FALSE(file.failed());
    EXPECT_FALSE(file.close());
    EXPECT_EQ(file.error(), "/dev/full: No space left on device");
}

} // namespace
} // namespace kesta
