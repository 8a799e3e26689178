#include <gtest/gtest.h>

#include "platform/drivemap/DriveMap.h"
#include "platform/drivemap/WineRegistry.h"
#include "tests/platform/FakeWinePrefix.h"
#include "tests/support/TestSupport.h"

using platform::WinEnvironment;
using testsupport::FakeWinePrefix;
using testsupport::MakeDirs;
using testsupport::ScopedEnv;

namespace {

// The parts of a fresh 64-bit prefix's system.reg that make the environment, with
// the session's variables under ControlSet001 behind the CurrentControlSet link.
const std::string kSystemReg = R"REG(WINE REGISTRY Version 2
;; All keys relative to \\Machine

#arch=win64

[Software\\Microsoft\\Windows\\CurrentVersion] 1700000000
#time=1da0
"CommonFilesDir"="C:\\Program Files\\Common Files"
"CommonFilesDir (x86)"="C:\\Program Files (x86)\\Common Files"
"CommonW6432Dir"="C:\\Program Files\\Common Files"
"ProgramFilesDir"="C:\\Program Files"
"ProgramFilesDir (x86)"="C:\\Program Files (x86)"
"ProgramW6432Dir"="C:\\Program Files"

[Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList] 1700000000
"ProfilesDirectory"=str(2):"%SystemDrive%\\users"
"ProgramData"=str(2):"%SystemDrive%\\ProgramData"
"Public"=str(2):"%SystemDrive%\\users\\Public"

[System\\ControlSet001\\Control\\Session Manager\\Environment] 1700000000
"ComSpec"=str(2):"%SystemRoot%\\system32\\cmd.exe"
"OS"="Windows_NT"
"Path"=str(2):"%SystemRoot%\\system32;%SystemRoot%"
"PATHEXT"=".COM;.EXE;.BAT"
"SystemDrive"="C:"
"SystemRoot"="C:\\windows"
"TEMP"=str(2):"%SystemRoot%\\TEMP"
"windir"=str(2):"%SystemRoot%"
"winsysdir"=str(2):"%windir%\\system32"
"Loop1"=str(2):"<%Loop2%>"
"Loop2"=str(2):"[%Loop1%]"
"Self"=str(2):"x%Self%"

[System\\CurrentControlSet] 1700000000
#link
"SymbolicLinkValue"=hex(6):5c,00,52,00,45,00,47,00
)REG";

const std::string kUserReg = R"REG(WINE REGISTRY Version 2
;; All keys relative to \\User\\S-1-5-21-0-0-0-1000

#arch=win64

[Environment] 1700000000
"TEMP"=str(2):"%USERPROFILE%\\AppData\\Local\\Temp"
"TMP"=str(2):"%USERPROFILE%\\AppData\\Local\\Temp"
"Path"=str(2):"%USERPROFILE%\\bin"
"Editor"=str(2):"%ProgramFiles%\\Ed\\ed.exe"
"Literal"="%SystemRoot% stays"
)REG";

} // namespace

TEST(DriveMapEnvironment, ExpandsAsExpandEnvironmentStringsDoes)
{
    WinEnvironment env = WinEnvironment::Defaults();
    env.Set("Tool", "C:\\Tool");
    env.Set("Pct", "100%Tool%"); // a value is not expanded again
    env.Set("Empty", "");

    EXPECT_EQ(env.Expand("%tool%\\x.exe"), "C:\\Tool\\x.exe");
    EXPECT_EQ(env.Expand("%TOOL%%Tool%"), "C:\\ToolC:\\Tool");
    EXPECT_EQ(env.Expand("%Unknown%\\x"), "%Unknown%\\x");
    EXPECT_EQ(env.Expand("%Unknown%Tool%"), "%Unknown%Tool%");
    EXPECT_EQ(env.Expand("50% of %Tool%"), "50% of %Tool%"); // "% of %" is taken as a name
    EXPECT_EQ(env.Expand("100%"), "100%");
    EXPECT_EQ(env.Expand("%"), "%");
    EXPECT_EQ(env.Expand("%%"), "%%");
    EXPECT_EQ(env.Expand("%%Tool%"), "%%Tool%");
    EXPECT_EQ(env.Expand("a%Empty%b"), "ab");
    EXPECT_EQ(env.Expand("%Pct%"), "100%Tool%");
    EXPECT_EQ(env.Expand(""), "");
    EXPECT_EQ(env.Expand("no vars"), "no vars");
}

TEST(DriveMapEnvironment, WithoutPrefixFixedWindowsDefaults)
{
    ScopedEnv user("USER", "bob");
    const WinEnvironment env = WinEnvironment::Defaults();
    EXPECT_EQ(env.Get("systemroot"), "C:\\windows");
    EXPECT_EQ(env.Get("WINDIR"), "C:\\windows");
    EXPECT_EQ(env.Get("SystemDrive"), "C:");
    EXPECT_EQ(env.Get("ProgramFiles"), "C:\\Program Files");
    EXPECT_EQ(env.Get("ProgramFiles(x86)"), "C:\\Program Files (x86)");
    EXPECT_EQ(env.Get("ProgramData"), "C:\\ProgramData");
    EXPECT_EQ(env.Get("ALLUSERSPROFILE"), "C:\\ProgramData");
    EXPECT_EQ(env.Get("PUBLIC"), "C:\\users\\Public");
    EXPECT_EQ(env.Get("ComSpec"), "C:\\windows\\system32\\cmd.exe");
    EXPECT_EQ(env.Get("USERNAME"), "bob");
    EXPECT_EQ(env.Get("USERPROFILE"), "C:\\users\\bob");
    EXPECT_EQ(env.Get("APPDATA"), "C:\\users\\bob\\AppData\\Roaming");
    EXPECT_EQ(env.Get("LOCALAPPDATA"), "C:\\users\\bob\\AppData\\Local");
    EXPECT_EQ(env.Get("TEMP"), "C:\\users\\bob\\AppData\\Local\\Temp");
    EXPECT_EQ(env.Get("TMP"), env.Get("TEMP"));
    EXPECT_EQ(env.Get("HOMEDRIVE"), "C:");
    EXPECT_EQ(env.Get("HOMEPATH"), "\\users\\bob");
    EXPECT_EQ(env.Get("NoSuchVariable"), std::nullopt);
}

TEST(DriveMapEnvironment, PrefixFilesGiveTheVariablesAndWineDerivesTheUsersOwn)
{
    ScopedEnv user("USER", "somebody-else");
    FakeWinePrefix wine("Alice");
    wine.WriteReg("system.reg", kSystemReg);
    wine.WriteReg("user.reg", kUserReg);
    const WinEnvironment env = WinEnvironment::FromPrefix(wine.Prefix());

    EXPECT_EQ(env.Get("USERNAME"), "Alice"); // the prefix's profile, not the login name
    EXPECT_EQ(env.Get("USERPROFILE"), "C:\\users\\Alice");
    EXPECT_EQ(env.Get("APPDATA"), "C:\\users\\Alice\\AppData\\Roaming");
    EXPECT_EQ(env.Get("LOCALAPPDATA"), "C:\\users\\Alice\\AppData\\Local");
    EXPECT_EQ(env.Get("TEMP"), "C:\\users\\Alice\\AppData\\Local\\Temp");
    EXPECT_EQ(env.Get("winsysdir"), "C:\\windows\\system32");
    EXPECT_EQ(env.Get("ComSpec"), "C:\\windows\\system32\\cmd.exe");
    EXPECT_EQ(env.Get("PATHEXT"), ".COM;.EXE;.BAT");
    EXPECT_EQ(env.Get("ProgramData"), "C:\\ProgramData");
    EXPECT_EQ(env.Get("PUBLIC"), "C:\\users\\Public");
    EXPECT_EQ(env.Get("ProgramFiles(x86)"), "C:\\Program Files (x86)");
    EXPECT_EQ(env.Get("Editor"), "C:\\Program Files\\Ed\\ed.exe");
    EXPECT_EQ(env.Get("Literal"), "%SystemRoot% stays"); // REG_SZ is not expanded
    EXPECT_EQ(env.Get("Path"), "C:\\windows\\system32;C:\\windows;C:\\users\\Alice\\bin");
    EXPECT_EQ(env.Expand("%userprofile%\\Desktop"), "C:\\users\\Alice\\Desktop");

    // Variables that refer to each other end, leaving the loop's names as written.
    const std::string loop1 = env.Get("Loop1").value_or("");
    EXPECT_NE(loop1.find('%'), std::string::npos);
    EXPECT_EQ(env.Get("Self"), "x%Self%");

    const WinEnvironment defaultUser = env.ForDefaultUser();
    EXPECT_EQ(defaultUser.Get("USERPROFILE"), "C:\\users\\Default");
    EXPECT_EQ(defaultUser.Get("APPDATA"), "C:\\users\\Default\\AppData\\Roaming");
    EXPECT_EQ(defaultUser.Get("SystemRoot"), "C:\\windows");
}

// A prefix found beside a link is someone else's: values that double at each step,
// or a chain of references deeper than any prefix holds, end bounded instead of
// filling the memory or exhausting the stack.
TEST(DriveMapEnvironment, VariablesMadeOfVariablesStayBounded)
{
    std::string system = "WINE REGISTRY Version 2\n\n"
                         "[System\\\\CurrentControlSet\\\\Control\\\\Session Manager\\\\Environment] 0\n"
                         "\"D0\"=\"0123456789abcdef\"\n";
    for (int i = 1; i <= 40; ++i)
        system += "\"D" + std::to_string(i) + "\"=str(2):\"%D" + std::to_string(i - 1) + "%%D" + std::to_string(i - 1) + "%\"\n";
    constexpr int kChain = 100000;
    for (int i = 0; i < kChain; ++i)
        system += "\"C" + std::to_string(i) + "\"=str(2):\"%C" + std::to_string(i + 1) + "%\"\n";
    system += "\"C" + std::to_string(kChain) + "\"=\"end\"\n";
    const WinEnvironment env = WinEnvironment::FromWineRegistry("/nonexistent", platform::WineRegistry::Parse(system), {});

    EXPECT_EQ(env.Get("D10").value_or("").size(), 16384u); // within the bound, whole
    for (int i = 11; i <= 40; ++i)
        EXPECT_LE(env.Get("D" + std::to_string(i)).value_or("").size(), 32767u) << i;
    EXPECT_EQ(env.Get("C99999"), "end");
    EXPECT_TRUE(env.Get("C0").value_or("").starts_with("%C"));
}

TEST(DriveMapEnvironment, UserNameFromThePrefixsProfiles)
{
    {
        // Several profiles: the login name's wins, whatever its case.
        ScopedEnv user("USER", "carol");
        FakeWinePrefix wine("Alice");
        MakeDirs(wine.DriveC() + "/users/Carol");
        MakeDirs(wine.DriveC() + "/users/.hidden");
        EXPECT_EQ(WinEnvironment::FromPrefix(wine.Prefix()).Get("USERPROFILE"), "C:\\users\\Carol");
    }
    {
        // Only Public: the login name.
        ScopedEnv user("USER", "dave");
        FakeWinePrefix wine("Public");
        EXPECT_EQ(WinEnvironment::FromPrefix(wine.Prefix()).Get("USERNAME"), "dave");
    }
}

TEST(DriveMapEnvironment, DamagedOrMissingFilesFallBackToDefaults)
{
    ScopedEnv user("USER", "erin");
    FakeWinePrefix wine("erin");
    wine.WriteReg("system.reg", "WINE REGISTRY Version 2\n#arch=win32\n[System\\\\CurrentControlSet\\\\Control\\\\"
                                "Session Manager\\\\Environment] 1\n\"SystemRoot\"=\"D:\\\\win\n\"OS\"=str(2):\"NT\"\n\x01\x02");
    const WinEnvironment env = WinEnvironment::FromPrefix(wine.Prefix());
    EXPECT_EQ(env.Get("SystemRoot"), "C:\\windows"); // the damaged value is left out
    EXPECT_EQ(env.Get("OS"), "NT");
    EXPECT_EQ(env.Get("ProgramFiles(x86)"), std::nullopt); // a 32-bit prefix
    EXPECT_EQ(env.Get("USERPROFILE"), "C:\\users\\erin");
    EXPECT_EQ(env.Get("TEMP"), "C:\\users\\erin\\AppData\\Local\\Temp");
}

TEST(DriveMapEnvironment, EnvironmentFollowsThePrefix)
{
    testsupport::TempDir home;
    ScopedEnv homeEnv("HOME", home.Path());
    ScopedEnv user("USER", "frank");
    FakeWinePrefix wine("Alice");
    wine.WriteReg("user.reg", kUserReg);
    {
        ScopedEnv prefix("WINEPREFIX", wine.Prefix());
        EXPECT_EQ(WinEnvironment::FromEnvironment().Get("USERPROFILE"), "C:\\users\\Alice");
    }
    {
        ScopedEnv prefix("WINEPREFIX", nullptr);
        EXPECT_EQ(WinEnvironment::FromEnvironment().Get("USERPROFILE"), "C:\\users\\frank");
    }
}
