#include "output_names.h"
#include "test_logs.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace kesta {
namespace {

struct NameCase
{
    const char *log;
    const char *tlm;
    const char *dmp;
};

class DerivedNames : public ::testing::TestWithParam<NameCase>
{};

TEST_P(DerivedNames, ReplaceTheExtensionOfTheFileName)
{
    const NameCase &c = GetParam();
    EXPECT_EQ(TlmNameFor(c.log), c.tlm);
    EXPECT_EQ(DumpNameFor(c.log), c.dmp);
}

INSTANTIATE_TEST_SUITE_P(
    Logs, DerivedNames,
    ::testing::Values(NameCase{"/logs/pass1.kss", "/logs/pass1.tlm", "/logs/pass1.dmp"},
                      // a dot in a folder name is not the file's extension
                      NameCase{"/data.old/pass.kss", "/data.old/pass.tlm", "/data.old/pass.dmp"},
                      NameCase{"/data.old/pass", "/data.old/pass.tlm", "/data.old/pass.dmp"},
                      NameCase{"/logs/pass", "/logs/pass.tlm", "/logs/pass.dmp"},
                      // only the last extension is replaced, so pass.a and pass.b stay apart
                      NameCase{"/logs/pass.2009.kss", "/logs/pass.2009.tlm", "/logs/pass.2009.dmp"},
                      NameCase{"/logs/pass.a.kss", "/logs/pass.a.tlm", "/logs/pass.a.dmp"},
                      NameCase{"/logs/pass.txt", "/logs/pass.tlm", "/logs/pass.dmp"},
                      NameCase{"/logs/pass.", "/logs/pass.tlm", "/logs/pass.dmp"},
                      // a leading dot marks a hidden file, not an extension
                      NameCase{"/logs/.kss", "/logs/.kss.tlm", "/logs/.kss.dmp"},
                      NameCase{"/logs/.pass.kss", "/logs/.pass.tlm", "/logs/.pass.dmp"},
                      // relative names stay relative and keep their folder
                      NameCase{"pass.kss", "pass.tlm", "pass.dmp"},
                      NameCase{"pass", "pass.tlm", "pass.dmp"},
                      NameCase{"./logs/pass.kss", "./logs/pass.tlm", "./logs/pass.dmp"},
                      NameCase{"../pass", "../pass.tlm", "../pass.dmp"},
                      // a log named like an output derives its own name
                      NameCase{"/logs/x.dmp", "/logs/x.tlm", "/logs/x.dmp"}));

TEST(SameFile, SameTextIsTheSameFileEvenWhenMissing)
{
    EXPECT_TRUE(IsSameFile("/nowhere/x.dmp", "/nowhere/x.dmp"));
    EXPECT_FALSE(IsSameFile("/nowhere/x.dmp", "/nowhere/x.kss"));
}

TEST(SameFile, OtherNamesOfOneFileAreRecognised)
{
    testing::ScratchFolder folder;
    testing::WriteFile(folder / "log.kss", std::string("x"));
    std::filesystem::create_symlink(folder / "log.kss", folder / "link.dmp");
    std::filesystem::create_hard_link(folder / "log.kss", folder / "hard.dmp");
    testing::WriteFile(folder / "other.kss", std::string("x"));

    EXPECT_TRUE(IsSameFile(folder / "link.dmp", folder / "log.kss"));
    EXPECT_TRUE(IsSameFile(folder / "hard.dmp", folder / "log.kss"));
    EXPECT_TRUE(IsSameFile((folder.path() / "." / "log.kss").string(), folder / "log.kss"));
    EXPECT_FALSE(IsSameFile(folder / "other.kss", folder / "log.kss"));
    EXPECT_FALSE(IsSameFile(folder / "missing.dmp", folder / "log.kss"));
}

} // namespace
} // namespace kesta
