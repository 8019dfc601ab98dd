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

// The old file stays whole until the new one is complete, and a discarded one
// never replaces it.
TEST(OutputFile, CreateAnewReplacesAnExistingFileOnlyAtClose)
{
    ScratchFolder folder;
    const std::string path = folder / "out.txt";
    WriteFile(path, std::string("old content"));
    OutputFile file(4);
    ASSERT_TRUE(file.open(path, OutputFile::Mode::CreateAnew));
    EXPECT_FALSE(file.created());
    file.write("new content, longer than the buffer");
    ASSERT_TRUE(file.flush());
    EXPECT_EQ(ReadFile(path), "old content");
    ASSERT_TRUE(file.close());
    EXPECT_EQ(ReadFile(path), "new content, longer than the buffer");
    EXPECT_EQ(folder.names(), std::vector<std::string>{"out.txt"});

    ASSERT_TRUE(file.open(path, OutputFile::Mode::CreateAnew));
    file.write("lost");
    file.flush();
    file.discard();
    EXPECT_EQ(ReadFile(path), "new content, longer than the buffer");
    {
        OutputFile unclosed;
        ASSERT_TRUE(unclosed.open(path, OutputFile::Mode::CreateAnew));
        unclosed.write("lost too");
    }
    EXPECT_EQ(ReadFile(path), "new content, longer than the buffer");
    EXPECT_EQ(folder.names(), std::vector<std::string>{"out.txt"});
}

TEST(OutputFile, AppendKeepsTheContentAndSaysWhetherItCreatedTheFile)
{
    ScratchFolder folder;
    const std::string existing = folder / "existing.txt";
    WriteFile(existing, std::string("first\r\n"));
    OutputFile file;
    ASSERT_TRUE(file.open(existing, OutputFile::Mode::Append));
    EXPECT_FALSE(file.created());
    file.writeLine("second");
    ASSERT_TRUE(file.close());
    EXPECT_EQ(ReadFile(existing), "first\r\nsecond\r\n");

    const std::string fresh = folder / "fresh.txt";
    ASSERT_TRUE(file.open(fresh, OutputFile::Mode::Append));
    EXPECT_TRUE(file.created());
    file.write("x");
    ASSERT_TRUE(file.close());
    EXPECT_EQ(ReadFile(fresh), "x");

    // An append given up is undone: the file is cut back, or removed when it was new.
    ASSERT_TRUE(file.open(existing, OutputFile::Mode::Append));
    file.writeLine("third");
    file.flush();
    file.discard();
    EXPECT_EQ(ReadFile(existing), "first\r\nsecond\r\n");
    const std::string other = folder / "other.txt";
    ASSERT_TRUE(file.open(other, OutputFile::Mode::Append));
    file.write("y");
    file.flush();
    file.discard();
    EXPECT_FALSE(std::filesystem::exists(other));
}

struct OpenFailure
{
    const char *name;
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

INSTANTIATE_TEST_SUITE_P(
    Paths, OutputFileOpenFailure,
    ::testing::Values(OpenFailure{"UnderADevice", "/dev/null/x.dmp", "Not a directory"},
                      OpenFailure{"Root", "/", "Is a directory"},
                      OpenFailure{"EmptyName", "", "No such file or directory"}),
    [](const auto &info) { return std::string(info.param.name); });

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
