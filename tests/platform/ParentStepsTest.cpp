// ".." in a host path is the file system's: after a symbolic link it leads to the
// parent of the link's target, and only what a ".." follows is resolved.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>

#include "platform/shell/ParentSteps.h"
#include "platform/shell/ShellFolder.h"
#include "tests/support/TestSupport.h"

using namespace platform::shell;
using testsupport::MakeDirs;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

TEST(ParentStepsTest, DotDotIsTakenAsTheFileSystemTakesIt)
{
    TempDir dir;
    testsupport::ScopedEnv home("HOME", dir.Path());
    testsupport::ScopedEnv registry("QUILLMERE_REGISTRY_DIR", dir / "registry");
    MakeDirs(dir / "real/sub");
    MakeDirs(dir / "far/target/inner");
    MakeDirs(dir / "far/x");
    WriteFile(dir / "file", "x");
    ASSERT_EQ(::symlink((dir / "far/target").c_str(), (dir / "link").c_str()), 0);
    ASSERT_EQ(::symlink("far/target", (dir / "rel").c_str()), 0);
    ASSERT_EQ(::symlink("link", (dir / "chain").c_str()), 0);
    ASSERT_EQ(::symlink("target/inner", (dir / "far/deep").c_str()), 0);
    ASSERT_EQ(::symlink("loop", (dir / "loop").c_str()), 0);

    struct Case {
        std::string path;
        std::string expected; // below dir; empty for an error
        int error;
    };
    const Case cases[] = {
        {"real/sub/..", "real", 0},
        {"real/./sub//", "real/sub", 0},
        {"link/../x", "far/x", 0},     // not dir/x
        {"rel/../x", "far/x", 0},      // a relative target
        {"chain/../x", "far/x", 0},    // a link to a link
        {"far/deep/..", "far/target", 0}, // a relative target of two steps
        {"link/inner", "link/inner", 0}, // no "..": the link stays as typed
        {"link/inner/..", "link", 0},
        {"real/gone/../sub", "", ENOENT},
        {"file/..", "", ENOTDIR},
        {"loop/..", "", ELOOP},
    };
    ShellFolderPtr desktop;
    ASSERT_EQ(GetDesktopFolder(desktop), S_OK);
    for (const Case& c : cases) {
        std::string resolved;
        EXPECT_EQ(fs::ResolveParentSteps(dir / c.path, resolved), c.error) << c.path;
        if (c.error != 0)
            continue;
        EXPECT_EQ(resolved, dir / c.expected) << c.path;
        // The namespace parses the folder the file system means.
        IdList list;
        std::string parsed;
        ASSERT_EQ(desktop->ParseDisplayName(dir / c.path, list), S_OK) << c.path;
        ASSERT_TRUE(GetPathFromIdList(list.Get(), parsed));
        EXPECT_EQ(parsed, dir / c.expected) << c.path;
    }
    std::string root;
    EXPECT_EQ(fs::ResolveParentSteps("/..", root), 0);
    EXPECT_EQ(root, "/");
}

} // namespace
