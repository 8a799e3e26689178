#include <gtest/gtest.h>

#include "platform/keynames/Hotkeys.h"

using namespace platform;

TEST(Hotkeys, EveryTextTheColumnShowsParsesBackToItsKey)
{
    for (int keyCode = 0; keyCode <= 0xFFFF; keyCode += (keyCode & 0xFF) == 0xFF ? 0x1F01 : 1) {
        const std::string text = HotkeyKeyCodeText(static_cast<std::uint16_t>(keyCode));
        if (text.empty())
            continue;
        const auto stored = ParseHotkeyText(text);
        ASSERT_TRUE(stored) << text;
        // Keypad digits are shown as digits, and come back as the digit keys.
        EXPECT_EQ(HotkeyKeyCodeText(StoredHotkeyToKeyCode(*stored)), text);
    }
    EXPECT_EQ(ParseHotkeyText("ctrl+ALT+h"), 0x0648);
    EXPECT_EQ(ParseHotkeyText("Alt+Shift+F1"), 0x0570);
    EXPECT_EQ(ParseHotkeyText("Ctrl+Alt+Num +"), 0x066B);
    EXPECT_EQ(ParseHotkeyText("Ctrl+Alt+Del"), 0x0E2E); // extended key
    EXPECT_EQ(ParseHotkeyText(""), 0);
    for (const char* bad : {"Ctrl+Alt+", "Ctrl+Alt+Foo", "Ctrl+Ctrl+A", "Hyper+A"})
        EXPECT_FALSE(ParseHotkeyText(bad)) << bad;
}
