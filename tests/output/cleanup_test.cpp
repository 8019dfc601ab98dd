#include "cleanup.h"
#include "test_logs.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace kesta {
namespace {

using testing::ScratchFolder;
using testing::WriteFile;
namespace fs = std::filesystem;

TEST(DeleteEmptyFiles, DeletesOnlyOurEmptyFiles)
{
    ScratchFolder folder;
    WriteFile(folder / "pass.dmp", std::string());         // ours, empty
    WriteFile(folder / "pass.tlm", std::string("header")); // ours, not empty
    WriteFile(folder / "__init__.py", std::string());      // not ours, empty
    WriteFile(folder / "marker", std::string());           // not ours, empty
    std::vector<std::string> created{folder / "pass.dmp", folder / "pass.tlm"};

    const std::vector<std::string> deleted = DeleteEmptyFiles(created);

    EXPECT_EQ(deleted, std::vector<std::string>{folder / "pass.dmp"});
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"__init__.py", "marker", "pass.tlm"}));
    EXPECT_TRUE(created.empty());
}

TEST(DeleteEmptyFiles, PassesOverWhatIsNoLongerOurEmptyFile)
{
    ScratchFolder folder;
    fs::create_directory(folder / "became-a-folder.dmp");
    WriteFile(folder / "unrelated-empty", std::string());
    fs::create_symlink(folder / "unrelated-empty", folder / "now-a-link.dmp");
    std::vector<std::string> created{folder / "became-a-folder.dmp", folder / "now-a-link.dmp",
                                     folder / "already-gone.dmp"};

    EXPECT_TRUE(DeleteEmptyFiles(created).empty());
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"became-a-folder.dmp", "now-a-link.dmp",
                                                        "unrelated-empty"}));
}

TEST(DeleteEmptyFiles, ASecondCallDeletesNothing)
{
    ScratchFolder folder;
    WriteFile(folder / "a.dmp", std::string());
    std::vector<std::string> created{folder / "a.dmp"};
    ASSERT_EQ(DeleteEmptyFiles(created).size(), 1u);

    WriteFile(folder / "a.dmp", std::string()); // someone else's file now
    EXPECT_TRUE(DeleteEmptyFiles(created).empty());
    EXPECT_TRUE(fs::exists(folder / "a.dmp"));
}

} // namespace
} // namespace kesta
