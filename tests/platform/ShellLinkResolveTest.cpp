// Resolve against a drive map of temporary folders.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "platform/drivemap/DriveMap.h"
#include "platform/shelllink/ShellLink.h"
#include "tests/support/TestSupport.h"

using namespace platform;
using testsupport::MakeDirs;
using testsupport::WriteFile;

namespace {

struct Machine {
    testsupport::TempDir root;
    DriveMap drives;
    WinEnvironment env = WinEnvironment::Defaults();

    Machine()
    {
        MakeDirs(root / "c");
        MakeDirs(root / "links");
        drives = DriveMap::FromText("C:=" + (root / "c"));
        env.Set("ToolDir", "C:\\Tools");
        env.Set("USERPROFILE", "C:\\users\\me");
    }

    std::string SaveLink(const std::string& name, const ShellLink& link) const
    {
        const std::string path = root / ("links/" + name);
        EXPECT_TRUE(link.Save(path));
        return path;
    }

    bool Resolves(const std::string& linkPath) const
    {
        ShellLink link;
        return link.Load(linkPath) && link.Resolve(linkPath, drives, env);
    }
};

ShellLink LinkTo(std::string_view windowsPath, const WinEnvironment& env)
{
    ShellLink link;
    link.SetPath(windowsPath, env);
    return link;
}

} // namespace

TEST(ShellLinkResolve, TheRawPathMapsThroughTheDriveMap)
{
    Machine m;
    MakeDirs(m.root / "c/Program Files/Tool");
    WriteFile(m.root / "c/Program Files/Tool/tool.exe", "MZ");
    const std::string exact = m.SaveLink("exact.lnk", LinkTo("C:\\Program Files\\Tool\\tool.exe", m.env));
    EXPECT_TRUE(m.Resolves(exact));
    // Letter case differs from the host's names.
    const std::string upper = m.SaveLink("upper.lnk", LinkTo("c:\\PROGRAM FILES\\tool\\TOOL.EXE", m.env));
    EXPECT_TRUE(m.Resolves(upper));
    // Folders resolve too.
    const std::string folder = m.SaveLink("folder.lnk", LinkTo("C:\\Program Files\\Tool", m.env));
    EXPECT_TRUE(m.Resolves(folder));

    // The target goes: the link fails, and is not rewritten by trying.
    ASSERT_EQ(::unlink((m.root / "c/Program Files/Tool/tool.exe").c_str()), 0);
    const std::string before = testsupport::ReadFile(exact);
    EXPECT_FALSE(m.Resolves(exact));
    EXPECT_TRUE(m.Resolves(folder));
    EXPECT_EQ(testsupport::ReadFile(exact), before);

    // A drive the map does not know.
    EXPECT_FALSE(m.Resolves(m.SaveLink("q.lnk", LinkTo("Q:\\x.exe", m.env))));
}

TEST(ShellLinkResolve, VariablesExpandThroughTheEnvironment)
{
    Machine m;
    MakeDirs(m.root / "c/Tools");
    WriteFile(m.root / "c/Tools/t.exe", "MZ");
    const std::string link = m.SaveLink("env.lnk", LinkTo("%ToolDir%\\t.exe", m.env));
    EXPECT_TRUE(m.Resolves(link));
    // The same link on a machine where the variable leads elsewhere.
    Machine other;
    other.env.Set("ToolDir", "C:\\Elsewhere");
    EXPECT_FALSE(other.Resolves(link));

    // A path the ID list spells through the user's profile.
    MakeDirs(m.root / "c/users/me/Desktop");
    WriteFile(m.root / "c/users/me/Desktop/notes.txt", "");
    ShellLink desktop;
    std::vector<std::uint8_t> bytes(0x4C, 0);
    bytes[0] = 0x4C;
    const std::uint8_t clsid[] = {0x01, 0x14, 0x02, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
    std::copy(std::begin(clsid), std::end(clsid), bytes.begin() + 4);
    bytes[0x14] = SLDF_HAS_ID_LIST;
    const std::uint8_t item[] = {26, 0, 0x32, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x20, 0,
                                 'N', 'O', 'T', 'E', 'S', '.', 'T', 'X', 'T', 0, 0, 0};
    bytes.push_back(sizeof item + 2);
    bytes.push_back(0);
    bytes.insert(bytes.end(), std::begin(item), std::end(item));
    bytes.insert(bytes.end(), 6, 0); // end of list, terminal block
    ASSERT_TRUE(desktop.LoadFromBytes(bytes));
    const std::string desktopLink = m.SaveLink("desktop.lnk", desktop);
    EXPECT_TRUE(m.Resolves(desktopLink));
}

TEST(ShellLinkResolve, TheRelativePathIsTriedFromTheLinksFolder)
{
    Machine m;
    MakeDirs(m.root / "Target");
    WriteFile(m.root / "Target/Tool.exe", "MZ");
    ShellLink link = LinkTo("Q:\\Moved\\tool.exe", m.env);
    link.SetRelativePath("..\\target\\.\\TOOL.EXE");
    EXPECT_TRUE(m.Resolves(m.SaveLink("relative.lnk", link)));
    link.SetRelativePath("..\\target\\missing.exe");
    EXPECT_FALSE(m.Resolves(m.SaveLink("missing.lnk", link)));
    // A UNC target cannot map; the relative path still can.
    ShellLink unc = LinkTo("\\\\server\\share\\Tool.exe", m.env);
    unc.SetRelativePath("../Target/Tool.exe");
    EXPECT_TRUE(m.Resolves(m.SaveLink("unc.lnk", unc)));
    // An existing raw target wins before the relative path is looked at.
    WriteFile(m.root / "c/here.exe", "");
    ShellLink both = LinkTo("C:\\here.exe", m.env);
    both.SetRelativePath("..\\nowhere.exe");
    EXPECT_TRUE(m.Resolves(m.SaveLink("both.lnk", both)));
}

TEST(ShellLinkResolve, ShellObjectsResolveAndEmptyLinksDoNot)
{
    Machine m;
    std::vector<std::uint8_t> bytes(0x4C, 0);
    bytes[0] = 0x4C;
    const std::uint8_t clsid[] = {0x01, 0x14, 0x02, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
    std::copy(std::begin(clsid), std::end(clsid), bytes.begin() + 4);
    const std::vector<std::uint8_t> empty = [&] {
        std::vector<std::uint8_t> v = bytes;
        v.insert(v.end(), 4, 0);
        return v;
    }();
    bytes[0x14] = SLDF_HAS_ID_LIST;
    // Control Panel {21EC2020-3AEA-1069-A2DD-08002B30309D}
    const std::uint8_t controlPanel[] = {20,   0,    0x1F, 0x50, 0x20, 0x20, 0xEC, 0x21, 0xEA, 0x3A,
                                         0x69, 0x10, 0xA2, 0xDD, 0x08, 0x00, 0x2B, 0x30, 0x30, 0x9D};
    bytes.push_back(sizeof controlPanel + 2);
    bytes.push_back(0);
    bytes.insert(bytes.end(), std::begin(controlPanel), std::end(controlPanel));
    bytes.insert(bytes.end(), 6, 0);
    ShellLink shellObject;
    ASSERT_TRUE(shellObject.LoadFromBytes(bytes));
    EXPECT_TRUE(m.Resolves(m.SaveLink("panel.lnk", shellObject)));
    ShellLink nothing;
    ASSERT_TRUE(nothing.LoadFromBytes(empty));
    EXPECT_FALSE(m.Resolves(m.SaveLink("empty.lnk", nothing)));
    WriteFile(m.root / "links/damaged.lnk", "L\0\0\0garbage");
    EXPECT_FALSE(m.Resolves(m.root / "links/damaged.lnk"));
}
