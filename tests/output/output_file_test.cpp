#include "output_file.h"
#include "test_logs.h"

#include <array>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

// Reads what a pipe or FIFO holds now, without waiting.
std::string Drain(int fd)
{
    std::string text;
    std::array<char, 65536> buffer{};
    for (ssize_t n; (n = ::read(fd, buffer.data(), buffer.size())) > 0;)
        text.append(buffer.data(), static_cast<std::size_t>(n));
    return text;
}

struct StandardOutputCase
{
    const char *name;
    bool socket;      // standard output is a socket, else a pipe
    const char *path; // "-" for openStandardOutput()
};

class OutputFileStandardOutput : public ::testing::TestWithParam<StandardOutputCase>
{};

// Standard output, by "-" or by one of its names, whether a pipe or a socket (as under a
// service manager): a child process with the pipe or socket as descriptor 1 writes it.
TEST_P(OutputFileStandardOutput, IsWrittenWhateverItIs)
{
    const StandardOutputCase &c = GetParam();
    std::array<int, 2> ends{-1, -1};
    ASSERT_EQ(c.socket ? ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends.data())
                       : ::pipe2(ends.data(), O_CLOEXEC),
              0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::dup2(ends[1], STDOUT_FILENO);
        OutputFile file;
        if (std::string(c.path) == "-")
            file.openStandardOutput();
        else
            file.open(c.path, OutputFile::Mode::CreateAnew);
        file.writeLine("to standard output");
        ::_exit(file.close() ? 0 : 1);
    }
    ::close(ends[1]);
    std::string received;
    std::array<char, 256> buffer{};
    for (ssize_t n; (n = ::read(ends[0], buffer.data(), buffer.size())) > 0;)
        received.append(buffer.data(), static_cast<std::size_t>(n));
    ::close(ends[0]);
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(received, "to standard output\r\n");
}

INSTANTIATE_TEST_SUITE_P(Descriptors, OutputFileStandardOutput,
                         // Names under /proc rather than /dev/stdout: were the rule ever lost, a
                         // test run as root would replace the machine's /dev/stdout.
                         ::testing::Values(StandardOutputCase{"PipeByDash", false, "-"},
                                           StandardOutputCase{"PipeByDevFd", false, "/dev/fd/1"},
                                           StandardOutputCase{"SocketByDash", true, "-"},
                                           StandardOutputCase{"SocketByDevFd", true, "/dev/fd/1"},
                                           StandardOutputCase{"SocketByProcSelfFd", true,
                                                              "/proc/self/fd/1"}),
                         [](const auto &info) { return std::string(info.param.name); });

struct WaitCase
{
    const char *name;
    bool fifo;        // a FIFO (through a symbolic link) without a reader, else a full pipe
    bool readerComes; // a reader opens the FIFO or reads the pipe while the file waits
};

class OutputFileWaits : public ::testing::TestWithParam<WaitCase>
{};

// A FIFO without a reader, or a reader that does not read, is waited for: a reader that
// comes is served, a stop ends the wait. The stop check stands in for the clock and for
// the reader: it is asked once per wait slice.
TEST_P(OutputFileWaits, ForItsReaderUntilAStop)
{
    const WaitCase &c = GetParam();
    ScratchFolder folder;
    const std::string fifo = folder / "fifo", link = folder / "x.dmp";
    std::array<int, 2> pipe{-1, -1};
    ASSERT_EQ(c.fifo ? ::mkfifo(fifo.c_str(), 0600) : ::pipe2(pipe.data(), O_NONBLOCK), 0);
    std::filesystem::create_symlink(c.fifo ? fifo : "/dev/fd/" + std::to_string(pipe[1]), link);
    std::string received;
    OutputFile file(1024);
    file.setStopCheck([&] {
        if (c.fifo && c.readerComes && pipe[0] < 0)
            pipe[0] = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
        else if (c.readerComes)
            received += Drain(pipe[0]);
        return !c.readerComes;
    });
    const std::string text(std::size_t{1} << 20, 'x'); // more than a pipe holds
    if (file.open(link, OutputFile::Mode::CreateAnew))
        file.write(text);
    EXPECT_EQ(file.close(), c.readerComes) << file.error();
    EXPECT_EQ(file.interrupted(), !c.readerComes);
    if (c.readerComes) {
        EXPECT_EQ(received + Drain(pipe[0]), text);
    } else {
        EXPECT_EQ(file.error(), link + ": interrupted while waiting for its reader");
    }
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    for (const int fd : pipe)
        ::close(fd);
}

INSTANTIATE_TEST_SUITE_P(Outputs, OutputFileWaits,
                         ::testing::Values(WaitCase{"FifoGetsAReader", true, true},
                                           WaitCase{"FifoWithoutReaderStopped", true, false},
                                           WaitCase{"PipeIsRead", false, true},
                                           WaitCase{"PipeNotReadStopped", false, false}),
                         [](const auto &info) { return std::string(info.param.name); });

// A FIFO's reader that goes away is this file's failure, not SIGPIPE's end of the
// program (this test program does not ignore the signal).
TEST(OutputFile, AReaderThatGoesAwayIsABrokenPipe)
{
    ScratchFolder folder;
    const std::string fifo = folder / "x.dmp";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    OutputFile file;
    ASSERT_TRUE(file.open(fifo, OutputFile::Mode::CreateAnew)) << file.error();
    ::close(reader);
    file.writeLine("nobody reads this");
    EXPECT_FALSE(file.close());
    EXPECT_EQ(file.error(), fifo + ": Broken pipe");
}

// With nothing that could end the wait, a FIFO without a reader is an error at once.
TEST(OutputFile, AFifoWithoutReaderAndNoStopCheckFailsAtOnce)
{
    ScratchFolder folder;
    const std::string fifo = folder / "x.dmp";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    OutputFile file;
    EXPECT_FALSE(file.open(fifo, OutputFile::Mode::CreateAnew));
    EXPECT_EQ(file.error(), fifo + ": a FIFO without a reader");
}

// The longest names a folder takes still get a temporary of their own: shortened,
// unique among names that share a long beginning.
TEST(OutputFile, ALongNameGetsAShortenedTemporary)
{
    ScratchFolder folder;
    const std::string common(240, 'n');
    const std::string a = folder / (common + "1.dump"), b = folder / (common + "2.dump");
    const std::string ta = OutputFile::TemporaryName(a, 4194303);
    EXPECT_LE(std::filesystem::path(ta).filename().string().size(), 255u);
    EXPECT_NE(ta, OutputFile::TemporaryName(b, 4194303));
    for (const std::string &path : {a, b}) {
        OutputFile file;
        ASSERT_TRUE(file.open(path, OutputFile::Mode::CreateAnew)) << file.error();
        file.writeLine(path);
        ASSERT_TRUE(file.close()) << file.error();
        EXPECT_EQ(ReadFile(path), path + "\r\n");
    }
    EXPECT_EQ(folder.names().size(), 2u);
}

} // namespace
} // namespace kesta
