#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "platform/keynames/KeyNames.h"

using namespace platform;

TEST(KeyNames, KeysThatShareAScanCodeKeepTheirOwnNames)
{
    // Without the extended-key bit these would be "Pause", "/", "Ctrl", "Alt",
    // "Num 9", "Scroll Lock" and the letters D and C.
    EXPECT_EQ(KeyNameText(0x90), "Num Lock");
    EXPECT_EQ(KeyNameText(0x6F), "Num /");
    EXPECT_EQ(KeyNameText(0xA3), "Right Ctrl");
    EXPECT_EQ(KeyNameText(0xA5), "Right Alt");
    EXPECT_EQ(KeyNameText(0x21), "Page Up");
    EXPECT_EQ(KeyNameText(0x03), "Break");
    EXPECT_EQ(KeyNameText(0xAD), "Volume Mute");
    EXPECT_EQ(KeyNameText(0xAE), "Volume Down");
    // The keys they were confused with.
    EXPECT_EQ(KeyNameText(0x13), "Pause");
    EXPECT_EQ(KeyNameText(0xBF), "/");
    EXPECT_EQ(KeyNameText(0x69), "Num 9");
    EXPECT_EQ(KeyNameText(0x91), "Scroll Lock");
}

TEST(KeyNames, TheLayoutNamesKeysOutsideTheHotkeyTable)
{
    const std::map<int, std::string> expected = {
        {0xBA, ";"},          {0xBB, "="},     {0xBC, ","},     {0xBD, "-"},         {0xBE, "."},
        {0xC0, "`"},          {0xDB, "["},     {0xDC, "\\"},    {0xDD, "]"},         {0xDE, "'"},
        {0xE2, "\\"},         {0x6A, "Num *"}, {0x6B, "Num +"}, {0x6D, "Num -"},     {0x6E, "Num Del"},
        {0x14, "Caps Lock"},  {0x2C, "Prnt Scrn"},              {0x10, "Shift"},     {0x11, "Ctrl"},
        {0x12, "Alt"},        {0xA0, "Shift"}, {0xA1, "Right Shift"},                {0x5B, "Left Windows"},
        {0x5C, "Right Windows"},               {0x5D, "Application"},                {0x0C, "Num 5"},
    };
    for (const auto& [key, name] : expected)
        EXPECT_EQ(KeyNameText(static_cast<std::uint8_t>(key)), name) << std::hex << key;
    // Keys without a scan code on a PC keyboard have no name.
    for (const int key : {0x00, 0x01, 0x02, 0x04, 0x15, 0x19, 0x29, 0x2A, 0x2B, 0x6C, 0x88, 0xE5, 0xFF})
        EXPECT_EQ(KeyNameText(static_cast<std::uint8_t>(key)), "") << std::hex << key;
}

TEST(KeyNames, NoTwoKeysShareANameUnlessTheyAreTheSameKey)
{
    // Codes that stand for the same physical key (or, for the backslash, two keys
    // that type the same character on this layout) may share a name.
    const std::set<std::pair<int, int>> sameKey = {{0x10, 0xA0}, {0x11, 0xA2}, {0x12, 0xA4}, {0x0C, 0x65}, {0xDC, 0xE2}};
    std::map<std::string, int> firstCode;
    for (int key = 0; key < 256; ++key) {
        const std::string name = KeyNameText(static_cast<std::uint8_t>(key));
        if (name.empty())
            continue;
        const auto [it, fresh] = firstCode.emplace(name, key);
        if (!fresh) {
            EXPECT_TRUE(sameKey.count({it->second, key})) << name << ": " << std::hex << it->second << " and " << key;
        }
    }
}
