// The registry calls as the program's code uses them.
#include "tests/platform/RegistryTestSupport.h"

#include <cstring>
#include <filesystem>

using namespace registrytest;

namespace {

using RegistryKey = RegistryTest;

std::vector<std::string> SubKeys(const Key& key)
{
    std::vector<std::string> names;
    std::string name;
    for (std::uint32_t i = 0; key.EnumKey(i, name) == Success; ++i)
        names.push_back(name);
    return names;
}

std::vector<std::string> ValueNames(const Key& key)
{
    std::vector<std::string> names;
    std::string name;
    Value value;
    for (std::uint32_t i = 0; key.EnumValue(i, name, value) == Success; ++i)
        names.push_back(name);
    return names;
}

TEST_F(RegistryKey, KeysOpenAndCreateIgnoringCaseAndKeepTheirSpelling)
{
    Key key;
    EXPECT_EQ(Key::Open(Hive::CurrentUser, "Software\\Tarnwick\\Quillmere", key), NotFound);
    EXPECT_FALSE(key.IsOpen());
    EXPECT_FALSE(std::filesystem::exists(HivePath())); // opening never writes

    ASSERT_EQ(Key::Create(Hive::CurrentUser, "Software\\Tarnwick\\Quillmere", key), Success);
    EXPECT_EQ(key.Path(), "Software\\Tarnwick\\Quillmere");
    EXPECT_TRUE(key.WriteString("ColShow", "abc"));

    Key again;
    ASSERT_EQ(Key::Open(Hive::CurrentUser, "SOFTWARE\\tarnwick\\QUILLMERE\\", again), Success);
    EXPECT_EQ(again.Path(), "SOFTWARE\\tarnwick\\QUILLMERE\\");
    std::string text;
    EXPECT_TRUE(again.ReadString("COLSHOW", text));
    EXPECT_EQ(text, "abc");
    EXPECT_TRUE(again.WriteString("colshow", "abcd")); // replaces, keeping the first spelling
    EXPECT_EQ(ValueNames(key), std::vector<std::string>{"ColShow"});

    ASSERT_EQ(Key::Create(Hive::CurrentUser, "software\\TARNWICK\\quillmere\\\xC3\x84rger", again), Success);
    Key root;
    ASSERT_EQ(Key::Open(Hive::CurrentUser, "", root), Success);
    EXPECT_EQ(SubKeys(root), std::vector<std::string>{"Software"});
    EXPECT_EQ(SubKeys(key), std::vector<std::string>{"\xC3\x84rger"});
    EXPECT_EQ(key.OpenSubKey("\xC3\xA4RGER", again), Success);
    EXPECT_EQ(again.Path(), "Software\\Tarnwick\\Quillmere\\\xC3\xA4RGER");

    // The hives are separate files.
    EXPECT_EQ(Key::Open(Hive::LocalMachine, "Software", again), NotFound);
    ASSERT_EQ(Key::Create(Hive::ClassesRoot, "Directory\\shell\\Quillmere\\command", again), Success);
    EXPECT_TRUE(std::filesystem::exists(temp_ / "HKEY_CLASSES_ROOT.reg"));
    EXPECT_EQ(again.GetHive(), Hive::ClassesRoot);

    std::string deep;
    for (int i = 0; i < 513; ++i)
        deep += "k\\";
    EXPECT_EQ(Key::Create(Hive::CurrentUser, deep, again), InvalidParameter);
    EXPECT_FALSE(again.IsOpen());
}

TEST_F(RegistryKey, QueryingIntoABufferAsksForMoreDataWhenItIsTooSmall)
{
    Key key;
    ASSERT_EQ(Key::Create(Hive::CurrentUser, "Buffers", key), Success);
    ASSERT_EQ(key.SetValue("s", Value::String("abcd")), Success);

    std::uint32_t type = 0, size = 0;
    EXPECT_EQ(key.QueryValue("s", &type, nullptr, &size), Success);
    EXPECT_EQ(type, RegSz);
    EXPECT_EQ(size, 10u);

    char small[4] = {'x', 'x', 'x', 'x'};
    size = sizeof small;
    EXPECT_EQ(key.QueryValue("s", &type, small, &size), MoreData);
    EXPECT_EQ(size, 10u);
    EXPECT_EQ(std::memcmp(small, "xxxx", 4), 0);

    char big[16] = {};
    size = sizeof big;
    EXPECT_EQ(key.QueryValue("s", nullptr, big, &size), Success);
    EXPECT_EQ(size, 10u);
    EXPECT_EQ(std::memcmp(big, "a\0b\0c\0d\0\0\0", 10), 0);

    EXPECT_EQ(key.QueryValue("missing", &type, big, &size), NotFound);
    EXPECT_EQ(key.QueryValue("s", &type, big, nullptr), InvalidParameter);
}

TEST_F(RegistryKey, DeletingAKeyFailsWhileItHasSubkeys)
{
    Key root, key;
    ASSERT_EQ(Key::Open(Hive::CurrentUser, "", root), Success);
    ASSERT_EQ(Key::Create(Hive::CurrentUser, "A\\B\\C", key), Success);
    ASSERT_EQ(Key::Create(Hive::CurrentUser, "A\\B", key), Success);
    ASSERT_TRUE(key.WriteInteger("kept", 1));

    EXPECT_EQ(root.DeleteSubKey("A"), AccessDenied);
    EXPECT_EQ(root.DeleteSubKey("a\\b"), AccessDenied);
    EXPECT_TRUE(key.KeyExists());
    EXPECT_EQ(root.DeleteSubKey("A\\B\\C"), Success);
    EXPECT_EQ(root.DeleteSubKey("A\\B\\C"), NotFound);
    EXPECT_EQ(root.DeleteSubKey("a\\b"), Success); // values go with it
    EXPECT_FALSE(key.KeyExists());
    EXPECT_EQ(root.DeleteSubKey("A"), Success);
    EXPECT_EQ(SubKeys(root), std::vector<std::string>{});
    EXPECT_EQ(root.DeleteSubKey(""), AccessDenied); // the hive's root stays

    // A recreated key starts empty.
    ASSERT_EQ(Key::Create(Hive::CurrentUser, "A\\B", key), Success);
    EXPECT_FALSE(key.ValueExists("kept"));
    EXPECT_EQ(key.DeleteSubKey(""), Success);
    EXPECT_FALSE(key.KeyExists());
}

TEST_F(RegistryKey, ValuesEnumerateInTheirOrderAndSubkeysSorted)
{
    Key key, sub;
    ASSERT_EQ(Key::Create(Hive::CurrentUser, "Order", key), Success);
    for (const char* name : {"b", "a", "C"})
        ASSERT_TRUE(key.WriteInteger(name, 1));
    ASSERT_TRUE(key.WriteInteger("a", 2));
    for (const char* name : {"zeta", "Alpha", "beta", "_under"})
        ASSERT_EQ(key.CreateSubKey(name, sub), Success);

    EXPECT_EQ(ValueNames(key), (std::vector<std::string>{"b", "a", "C"}));
    EXPECT_EQ(SubKeys(key), (std::vector<std::string>{"Alpha", "beta", "zeta", "_under"}));
    std::string name = "untouched";
    Value value;
    EXPECT_EQ(key.EnumValue(3, name, value), NoMoreItems);
    EXPECT_EQ(key.EnumKey(4, name), NoMoreItems);
    EXPECT_EQ(name, "untouched");

    EXPECT_EQ(key.DeleteValue("B"), Success);
    EXPECT_EQ(key.DeleteValue("b"), NotFound);
    EXPECT_EQ(ValueNames(key), (std::vector<std::string>{"a", "C"}));
}

TEST_F(RegistryKey, TheSettingsHelpersFailOnlyAsTheSettingsCodeExpects)
{
    Key key;
    ASSERT_EQ(Key::Create(Hive::CurrentUser, "Software\\Tarnwick\\Quillmere", key), Success);
    ASSERT_TRUE(key.WriteInteger("WinTop", -5));
    ASSERT_TRUE(key.WriteBool("DefAct", true));
    ASSERT_TRUE(key.WriteString("ColShow", "abc"));
    ASSERT_EQ(key.SetValue("Seven", Value::Dword(7)), Success);
    ASSERT_EQ(key.SetValue("Short", MakeValue(RegDword, "\x01\x00")), Success);
    ASSERT_EQ(key.SetValue("Expand", Value::String("%USERPROFILE%\\Desktop", RegExpandSz)), Success);
    ASSERT_EQ(key.SetValue("Binary", MakeValue(RegBinary, "abc")), Success);

    std::int32_t number = 42;
    EXPECT_TRUE(key.ReadInteger("WinTop", number));
    EXPECT_EQ(number, -5);
    number = 42;
    EXPECT_FALSE(key.ReadInteger("Missing", number));
    EXPECT_FALSE(key.ReadInteger("ColShow", number)); // a string is not an integer
    EXPECT_FALSE(key.ReadInteger("Short", number));   // nor two bytes that say REG_DWORD
    EXPECT_FALSE(key.ReadInteger("Binary", number));
    EXPECT_EQ(number, 42);

    bool flag = false;
    EXPECT_TRUE(key.ReadBool("Seven", flag));
    EXPECT_TRUE(flag);
    ASSERT_TRUE(key.WriteBool("DefAct", false));
    EXPECT_TRUE(key.ReadBool("DefAct", flag));
    EXPECT_FALSE(flag);
    EXPECT_FALSE(key.ReadBool("Missing", flag));
    EXPECT_FALSE(key.ReadBool("ColShow", flag));

    std::string text = "left over";
    EXPECT_TRUE(key.ReadString("Missing", text)); // a missing string is empty, not a failure
    EXPECT_EQ(text, "");
    EXPECT_TRUE(key.ReadString("Expand", text)); // read as stored, not expanded
    EXPECT_EQ(text, "%USERPROFILE%\\Desktop");
    text = "kept";
    EXPECT_FALSE(key.ReadString("WinTop", text));
    EXPECT_FALSE(key.ReadString("Binary", text));
    EXPECT_EQ(text, "kept");

    const std::string oddBytes = "/home/u/\xFF\xFE folder\n";
    ASSERT_TRUE(key.WriteString("LastDir", oddBytes));
    EXPECT_TRUE(key.ReadString("LastDir", text));
    EXPECT_EQ(text, oddBytes);
}

TEST_F(RegistryKey, AKeyDeletedBehindAHandleIsNotFoundAndNotRecreated)
{
    Key key, other, root;
    ASSERT_EQ(Key::Create(Hive::CurrentUser, "Gone", key), Success);
    ASSERT_TRUE(key.WriteInteger("v", 1));
    ASSERT_EQ(Key::Open(Hive::CurrentUser, "", root), Success);
    ASSERT_EQ(root.DeleteSubKey("gone"), Success);

    Value value;
    EXPECT_FALSE(key.KeyExists());
    EXPECT_EQ(key.QueryValue("v", value), NotFound);
    EXPECT_EQ(key.SetValue("v", Value::Dword(2)), NotFound);
    EXPECT_EQ(key.CreateSubKey("child", other), Success); // creating makes the missing parents again
    EXPECT_TRUE(key.KeyExists());
    EXPECT_FALSE(key.ValueExists("v"));

    key.Close();
    EXPECT_EQ(key.QueryValue("v", value), InvalidParameter);
    EXPECT_EQ(key.OpenSubKey("child", other), InvalidParameter);
    EXPECT_FALSE(other.IsOpen());
}

} // namespace
