// New Folder's numbered name, and the bound on the names it tries.
#include <sys/stat.h>

#include <cerrno>

#include <gtest/gtest.h>

#include "shortcuts/NewFolder.h"
#include "tests/support/TestSupport.h"

TEST(NewFolder, NoMoreNamesThanTheBoundAreTriedAndTheSystemsRefusalIsAnswered)
{
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "New Folder", "a file takes the name as well");
    testsupport::MakeDirs(dir / "New Folder (2)");
    std::string made;
    EXPECT_EQ(MakeNumberedFolder(dir.Path() + "/", "New Folder", made, 2), EEXIST);
    EXPECT_EQ(made, "");
    struct stat st {};
    EXPECT_NE(::stat((dir / "New Folder (3)").c_str(), &st), 0);
    EXPECT_EQ(MakeNumberedFolder(dir.Path() + "/", "New Folder", made, 3), 0);
    EXPECT_EQ(made, "New Folder (3)");
    EXPECT_EQ(MakeNumberedFolder(dir / "missing/", "New Folder", made), ENOENT);
}
