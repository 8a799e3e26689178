// The list's New Folder: the numbered name when the plain one is taken, and a bound
// on the names tried.
#include <sys/stat.h>

#include <cerrno>

#include <gtest/gtest.h>

#include "shortcuts/NewFolder.h"
#include "tests/support/TestSupport.h"

using testsupport::MakeDirs;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

bool IsFolder(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

TEST(NewFolder, TheFirstFreeNumberedNameIsMadeAndNothingIsTakenOver)
{
    struct Case {
        const char* what;
        std::vector<std::string> folders, files;
        int tries;
        int error;
        std::string made;
    };
    const Case cases[] = {
        {"free", {}, {}, 9999, 0, "New Folder"},
        {"taken by a folder", {"New Folder"}, {}, 9999, 0, "New Folder (2)"},
        {"taken by a file", {}, {"New Folder"}, 9999, 0, "New Folder (2)"},
        {"a gap", {"New Folder", "New Folder (3)"}, {}, 9999, 0, "New Folder (2)"},
        // Every name it may try is taken: it stops there and makes nothing.
        {"all taken", {"New Folder", "New Folder (2)"}, {}, 2, EEXIST, ""},
    };
    for (const Case& c : cases) {
        TempDir dir;
        for (const std::string& f : c.folders)
            MakeDirs(dir / f);
        for (const std::string& f : c.files)
            WriteFile(dir / f, "keep");
        std::string made;
        EXPECT_EQ(MakeNumberedFolder(dir.Path() + "/", "New Folder", made, c.tries), c.error) << c.what;
        EXPECT_EQ(made, c.made) << c.what;
        EXPECT_EQ(IsFolder(dir / (c.error == 0 ? c.made : "New Folder (3)")), c.error == 0) << c.what;
        for (const std::string& f : c.files)
            EXPECT_EQ(testsupport::ReadFile(dir / f), "keep") << c.what;
    }
    // A folder that is not there is the system's refusal, told as it is.
    std::string made;
    EXPECT_EQ(MakeNumberedFolder("/nonexistent-folder-for-test/", "New Folder", made), ENOENT);
}

} // namespace
