#include "platform/keynames/KeyNames.h"

#include <array>

namespace platform {
namespace {

// The US layout's name for each virtual-key code: the name of the key's scan code
// (with its extended-key bit, so that the keypad's "/" and Num Lock, the right-hand
// modifiers, the Windows keys and the navigation block are not named after the keys
// that share their scan code without it), or the character the key types. Codes
// whose key has no scan code on a PC keyboard (mouse buttons, IME keys, reserved
// and OEM-specific codes) have no name. The media and browser keys, which have
// extended scan codes but no entry in the layout's name table, carry the names
// Windows documents for them.
constexpr std::array<const char*, 256> MakeTable()
{
    std::array<const char*, 256> t{};
    for (auto& name : t)
        name = "";
    t[0x03] = "Break"; // VK_CANCEL: Ctrl+Break's key
    t[0x08] = "Backspace";
    t[0x09] = "Tab";
    t[0x0C] = "Num 5"; // VK_CLEAR: keypad 5 without Num Lock
    t[0x0D] = "Enter";
    t[0x10] = "Shift";
    t[0x11] = "Ctrl";
    t[0x12] = "Alt";
    t[0x13] = "Pause";
    t[0x14] = "Caps Lock";
    t[0x1B] = "Esc";
    t[0x20] = "Space";
    t[0x21] = "Page Up";
    t[0x22] = "Page Down";
    t[0x23] = "End";
    t[0x24] = "Home";
    t[0x25] = "Left";
    t[0x26] = "Up";
    t[0x27] = "Right";
    t[0x28] = "Down";
    t[0x2C] = "Prnt Scrn";
    t[0x2D] = "Insert";
    t[0x2E] = "Delete";
    t[0x2F] = "Help";
    constexpr const char* digits[] = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"};
    for (int i = 0; i < 10; ++i)
        t[0x30 + i] = digits[i];
    constexpr const char* letters[] = {"A", "B", "C", "D", "E", "F", "G", "H", "I", "J", "K", "L", "M",
                                       "N", "O", "P", "Q", "R", "S", "T", "U", "V", "W", "X", "Y", "Z"};
    for (int i = 0; i < 26; ++i)
        t[0x41 + i] = letters[i];
    t[0x5B] = "Left Windows";
    t[0x5C] = "Right Windows";
    t[0x5D] = "Application";
    t[0x5F] = "Sleep";
    constexpr const char* keypad[] = {"Num 0", "Num 1", "Num 2", "Num 3", "Num 4",
                                      "Num 5", "Num 6", "Num 7", "Num 8", "Num 9"};
    for (int i = 0; i < 10; ++i)
        t[0x60 + i] = keypad[i];
    t[0x6A] = "Num *";
    t[0x6B] = "Num +";
    t[0x6D] = "Num -";
    t[0x6E] = "Num Del";
    t[0x6F] = "Num /";
    constexpr const char* functionKeys[] = {"F1",  "F2",  "F3",  "F4",  "F5",  "F6",  "F7",  "F8",
                                            "F9",  "F10", "F11", "F12", "F13", "F14", "F15", "F16",
                                            "F17", "F18", "F19", "F20", "F21", "F22", "F23", "F24"};
    for (int i = 0; i < 24; ++i)
        t[0x70 + i] = functionKeys[i];
    t[0x90] = "Num Lock";
    t[0x91] = "Scroll Lock";
    t[0xA0] = "Shift";
    t[0xA1] = "Right Shift";
    t[0xA2] = "Ctrl";
    t[0xA3] = "Right Ctrl";
    t[0xA4] = "Alt";
    t[0xA5] = "Right Alt";
    t[0xA6] = "Browser Back";
    t[0xA7] = "Browser Forward";
    t[0xA8] = "Browser Refresh";
    t[0xA9] = "Browser Stop";
    t[0xAA] = "Browser Search";
    t[0xAB] = "Browser Favorites";
    t[0xAC] = "Browser Home";
    t[0xAD] = "Volume Mute";
    t[0xAE] = "Volume Down";
    t[0xAF] = "Volume Up";
    t[0xB0] = "Next Track";
    t[0xB1] = "Previous Track";
    t[0xB2] = "Stop Media";
    t[0xB3] = "Play/Pause Media";
    t[0xB4] = "Start Mail";
    t[0xB5] = "Select Media";
    t[0xB6] = "Start Application 1";
    t[0xB7] = "Start Application 2";
    t[0xBA] = ";";
    t[0xBB] = "=";
    t[0xBC] = ",";
    t[0xBD] = "-";
    t[0xBE] = ".";
    t[0xBF] = "/";
    t[0xC0] = "`";
    t[0xDB] = "[";
    t[0xDC] = "\\";
    t[0xDD] = "]";
    t[0xDE] = "'";
    t[0xE2] = "\\"; // the extra key of 102-key keyboards types a backslash on this layout
    return t;
}

constexpr std::array<const char*, 256> kKeyNames = MakeTable();

} // namespace

std::string KeyNameText(std::uint8_t virtualKey) { return kKeyNames[virtualKey]; }

} // namespace platform
