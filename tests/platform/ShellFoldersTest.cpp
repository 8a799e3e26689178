#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/drivemap/DriveMap.h"
#include "platform/registry/Registry.h"
#include "platform/shellfolders/ShellFolders.h"
#include "tests/platform/FakeWinePrefix.h"
#include "tests/support/TestSupport.h"

using namespace platform;
using registry::Hive;
using testsupport::FakeWinePrefix;
using testsupport::MakeDirs;
using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

const std::string kUserReg = R"REG(WINE REGISTRY Version 2
;; All keys relative to \\User\\S-1-5-21-0-0-0-1000

#arch=win64

[Environment] 1700000000
"TEMP"=str(2):"%USERPROFILE%\\AppData\\Local\\Temp"

[Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders] 1700000000
#time=1da0b1c2d3e4f50
"Desktop"="C:\\users\\alice\\Desktop"
"Favorites"="C:\\users\\alice\\Favorites"
"Personal"="C:\\users\\alice\\Documents"
"Fonts"="C:\\WINDOWS\\Fonts"
"Elsewhere"="Q:\\unmapped"
"Odd \"quoted\" name"="C:\\users\\alice\\Odd\\"
"Number"=dword:00000001
this line is damaged
"Cut"="C:\\users\\alice\\no closing quote

[Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders] 1700000000
"Desktop"=str(2):"%USERPROFILE%\\Desktop"
"Start Menu"=str(2):"%APPDATA%\\Microsoft\\Windows\\Start Menu"
"Personal"=str(2):"D:\\Docs"
"Recent"=str(2):"%UNDEFINED%\\Recent"
"SendTo"="%APPDATA%\\SendTo"
)REG";

const std::string kSystemReg = R"REG(WINE REGISTRY Version 2
;; All keys relative to \\Machine

#arch=win64

[Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList] 1700000000
"ProfilesDirectory"=str(2):"%SystemDrive%\\users"
"ProgramData"=str(2):"%SystemDrive%\\ProgramData"
"Public"=str(2):"%SystemDrive%\\users\\Public"

[Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders] 1700000000
"Common Desktop"="C:\\users\\Public\\Desktop"

[Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders] 1700000000
"Common Start Menu"=str(2):"%ProgramData%\\Microsoft\\Windows\\Start Menu"
"Common Documents"=str(2):"%PUBLIC%\\Documents"

[Software\\Microsoft\\Windows\\CurrentVersion\\GrpConv\\MapGroups] 1700000000
"Quick Launch"="C:\\ql"
)REG";

const std::string kUserDefReg = R"REG(WINE REGISTRY Version 2
;; All keys relative to \\User\\.Default

#arch=win64

[Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders] 1700000000
"Desktop"=str(2):"%USERPROFILE%\\Desktop"
)REG";

const std::string kShellFolders(kShellFoldersKey);
const std::string kMapGroups(kMapGroupsKey);

// The string stored under a value, or nothing when the key or value is missing.
std::optional<std::string> Stored(Hive hive, const std::string& keyPath, const std::string& name)
{
    registry::Key key;
    if (registry::Key::Open(hive, keyPath, key) != registry::Success)
        return std::nullopt;
    registry::Value value;
    if (key.QueryValue(name, value) != registry::Success)
        return std::nullopt;
    return value.AsString();
}

struct FileState {
    ino_t inode = 0;
    std::string bytes;
    bool operator==(const FileState&) const = default;
};

std::optional<FileState> StateOf(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return FileState{st.st_ino, testsupport::ReadFile(path)};
}

class ShellFoldersTest : public ::testing::Test {
protected:
    TempDir scratch_;
    ScopedEnv registryDir_{"QUILLMERE_REGISTRY_DIR", scratch_ / "registry"};
    ScopedEnv home_{"HOME", scratch_ / "home"};
    ScopedEnv config_{"XDG_CONFIG_HOME", scratch_ / "config"};
    ScopedEnv prefix_{"WINEPREFIX", scratch_ / "no-prefix"};
    ScopedEnv drives_{"QUILLMERE_DRIVES", nullptr};

    std::string Home() const { return scratch_ / "home"; }
    std::string Hive(const char* name) const { return scratch_ / ("registry/" + std::string(name) + ".reg"); }

    void SetUp() override
    {
        MakeDirs(Home());
        MakeDirs(scratch_ / "config");
    }
};

} // namespace

TEST_F(ShellFoldersTest, SeedsFromTheWinePrefixThroughTheDriveMap)
{
    FakeWinePrefix wine("alice");
    wine.WriteReg("user.reg", kUserReg);
    wine.WriteReg("system.reg", kSystemReg);
    wine.WriteReg("userdef.reg", kUserDefReg);
    const std::string c = wine.DriveC();
    MakeDirs(c + "/windows/fonts");
    const std::string quickLaunch = c + "/users/alice/AppData/Roaming/Microsoft/Internet Explorer/Quick Launch";
    MakeDirs(quickLaunch);

    const int written = SeedShellFolders(wine.Prefix(), DriveMap::FromPrefix(wine.Prefix()));

    const auto user = [&](const std::string& name) { return Stored(Hive::CurrentUser, kShellFolders, name); };
    EXPECT_EQ(user("Desktop"), c + "/users/alice/Desktop");
    EXPECT_EQ(user("Favorites"), c + "/users/alice/Favorites"); // missing on disk: as written
    EXPECT_EQ(user("Personal"), wine.Outside() + "/Docs");      // User Shell Folders wins
    EXPECT_EQ(user("Fonts"), c + "/windows/fonts");
    EXPECT_EQ(user("Start Menu"), c + "/users/alice/AppData/Roaming/Microsoft/Windows/Start Menu");
    EXPECT_EQ(user("Odd \"quoted\" name"), c + "/users/alice/Odd");
    EXPECT_EQ(user("SendTo"), std::nullopt);    // REG_SZ: "%APPDATA%" is not expanded, maps nowhere
    EXPECT_EQ(user("Elsewhere"), std::nullopt); // no drive Q:
    EXPECT_EQ(user("Recent"), std::nullopt);
    EXPECT_EQ(user("Number"), std::nullopt);
    EXPECT_EQ(user("Cut"), std::nullopt);
    EXPECT_EQ(Stored(Hive::CurrentUser, kMapGroups, "Quick Launch"), quickLaunch);

    const auto machine = [&](const std::string& name) { return Stored(Hive::LocalMachine, kShellFolders, name); };
    EXPECT_EQ(machine("Common Desktop"), c + "/users/Public/Desktop");
    EXPECT_EQ(machine("Common Start Menu"), c + "/ProgramData/Microsoft/Windows/Start Menu");
    EXPECT_EQ(machine("Common Documents"), c + "/users/Public/Documents");
    EXPECT_EQ(machine("Common Favorites"), std::nullopt);
    EXPECT_EQ(Stored(Hive::LocalMachine, kMapGroups, "Quick Launch"), c + "/ql");

    EXPECT_EQ(Stored(Hive::Users, ".DEFAULT\\" + kShellFolders, "Desktop"), c + "/users/Default/Desktop");
    EXPECT_EQ(Stored(Hive::Users, ".DEFAULT\\" + kMapGroups, "Quick Launch"), std::nullopt);

    EXPECT_EQ(written, 12);
}

TEST_F(ShellFoldersTest, NeverOverwritesAndLeavesTheHivesAloneWhenNothingIsMissing)
{
    FakeWinePrefix wine("alice");
    wine.WriteReg("user.reg", kUserReg);
    wine.WriteReg("system.reg", kSystemReg);
    {
        registry::Key key;
        ASSERT_EQ(registry::Key::Create(Hive::CurrentUser, kShellFolders, key), registry::Success);
        ASSERT_EQ(key.SetValue("desktop", registry::Value::String("/my/own desktop")), registry::Success);
        ASSERT_EQ(key.SetValue("Personal", registry::Value::Dword(7)), registry::Success);
        ASSERT_EQ(key.SetValue("Favorites", registry::Value::String("")), registry::Success);
    }
    const DriveMap drives = DriveMap::FromPrefix(wine.Prefix());
    EXPECT_GT(SeedShellFolders(wine.Prefix(), drives), 0);

    registry::Value personal;
    registry::Key key;
    ASSERT_EQ(registry::Key::Open(Hive::CurrentUser, kShellFolders, key), registry::Success);
    ASSERT_EQ(key.QueryValue("Personal", personal), registry::Success);
    EXPECT_EQ(personal, registry::Value::Dword(7));
    EXPECT_EQ(Stored(Hive::CurrentUser, kShellFolders, "Desktop"), "/my/own desktop");
    EXPECT_EQ(Stored(Hive::CurrentUser, kShellFolders, "Favorites"), "");
    EXPECT_EQ(Stored(Hive::CurrentUser, kShellFolders, "Start Menu"),
              wine.DriveC() + "/users/alice/AppData/Roaming/Microsoft/Windows/Start Menu");

    // Everything there now: a second start writes nothing at all.
    const auto before = StateOf(Hive("HKEY_CURRENT_USER"));
    const auto beforeMachine = StateOf(Hive("HKEY_LOCAL_MACHINE"));
    ASSERT_TRUE(before && beforeMachine);
    EXPECT_EQ(SeedShellFolders(wine.Prefix(), drives), 0);
    EXPECT_EQ(StateOf(Hive("HKEY_CURRENT_USER")), before);
    EXPECT_EQ(StateOf(Hive("HKEY_LOCAL_MACHINE")), beforeMachine);
    EXPECT_EQ(StateOf(Hive("HKEY_USERS")), std::nullopt); // no userdef.reg: nothing for the default user

    // A value the user deleted comes back; the others stay as they are.
    ASSERT_EQ(key.DeleteValue("Start Menu"), registry::Success);
    EXPECT_EQ(SeedShellFolders(wine.Prefix(), drives), 1);
    EXPECT_EQ(Stored(Hive::CurrentUser, kShellFolders, "Desktop"), "/my/own desktop");
}

TEST_F(ShellFoldersTest, WithoutPrefixTheXdgUserDirectories)
{
    const std::string home = Home();
    for (const char* dir : {"/Schreibtisch", "/Docs \"quoted\"", "/T\xFF", "/Music"})
        MakeDirs(home + dir);
    MakeDirs(scratch_ / "pictures");
    WriteFile(scratch_ / "config/user-dirs.dirs",
              "# written by xdg-user-dirs-update\n"
              "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
              "XDG_DOCUMENTS_DIR=\"$HOME/Docs \\\"quoted\\\"\"\n"
              "XDG_MUSIC_DIR=\"$HOME\"\n"
              "XDG_PICTURES_DIR=\"" + (scratch_ / "pictures/") + "\"\n"
              "XDG_VIDEOS_DIR=\"$HOME/Missing\"\n"
              "XDG_TEMPLATES_DIR=\"$HOME/T\xFF\"\n"
              "XDG_DOWNLOAD_DIR=relative/Downloads\n"
              "XDG_PUBLICSHARE_DIR=\"$HOME/Music\"\n"
              "XDG_BROKEN_DIR=\"unterminated\n");

    EXPECT_EQ(SeedShellFolders(), 4); // no prefix here ($WINEPREFIX names none)

    const auto user = [&](const std::string& name) { return Stored(Hive::CurrentUser, kShellFolders, name); };
    EXPECT_EQ(user("Desktop"), home + "/Schreibtisch");
    EXPECT_EQ(user("Personal"), home + "/Docs \"quoted\"");
    EXPECT_EQ(user("My Pictures"), scratch_ / "pictures");
    EXPECT_EQ(user("Templates"), home + "/T\xFF"); // a name that is not UTF-8, byte for byte
    EXPECT_EQ(user("My Music"), std::nullopt);     // set to $HOME: switched off
    EXPECT_EQ(user("My Video"), std::nullopt);     // no such folder
    EXPECT_EQ(user("{374DE290-123F-4565-9164-39C4925E467B}"), std::nullopt);
    EXPECT_EQ(user("Start Menu"), std::nullopt);
    EXPECT_EQ(Stored(Hive::CurrentUser, kMapGroups, "Quick Launch"), std::nullopt);
    EXPECT_EQ(StateOf(Hive("HKEY_LOCAL_MACHINE")), std::nullopt);
    EXPECT_EQ(StateOf(Hive("HKEY_USERS")), std::nullopt);
}

TEST_F(ShellFoldersTest, DesktopDefaultsToTheHomeDesktopFolder)
{
    // No user-dirs.dirs and no Desktop folder: nothing to give.
    EXPECT_EQ(SeedShellFolders(std::nullopt, DriveMap::FromText("")), 0);
    EXPECT_EQ(StateOf(Hive("HKEY_CURRENT_USER")), std::nullopt);

    MakeDirs(Home() + "/Desktop");
    EXPECT_EQ(SeedShellFolders(std::nullopt, DriveMap::FromText("")), 1);
    EXPECT_EQ(Stored(Hive::CurrentUser, kShellFolders, "Desktop"), Home() + "/Desktop");
}

TEST_F(ShellFoldersTest, APrefixWithoutUserRegistryLeavesTheUserToXdg)
{
    FakeWinePrefix wine("alice");
    wine.WriteReg("system.reg", kSystemReg);
    MakeDirs(Home() + "/Desktop");

    SeedShellFolders(wine.Prefix(), DriveMap::FromPrefix(wine.Prefix()));
    EXPECT_EQ(Stored(Hive::CurrentUser, kShellFolders, "Desktop"), Home() + "/Desktop");
    EXPECT_EQ(Stored(Hive::LocalMachine, kShellFolders, "Common Desktop"), wine.DriveC() + "/users/Public/Desktop");
}
