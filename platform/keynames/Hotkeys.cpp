#include "platform/keynames/Hotkeys.h"

#include "platform/keynames/KeyNames.h"
#include "platform/util/Text.h"

namespace platform {
namespace {

std::string_view FixedKeyName(std::uint8_t key)
{
    switch (key) {
    case 0x08: return "BkSp";
    case 0x09: return "Tab";
    case 0x0D: return "Enter";
    case 0x1B: return "Esc";
    case 0x20: return "Space";
    case 0x21: return "PgUp";
    case 0x22: return "PgDn";
    case 0x23: return "End";
    case 0x24: return "Home";
    case 0x25: return "Left";
    case 0x26: return "Up";
    case 0x27: return "Right";
    case 0x28: return "Down";
    case 0x2D: return "Ins";
    case 0x2E: return "Del";
    default: return {};
    }
}

std::string KeyName(std::uint8_t key)
{
    if (const auto fixed = FixedKeyName(key); !fixed.empty())
        return std::string(fixed);
    if (key >= 0x30 && key <= 0x39)
        return std::string(1, static_cast<char>('0' + key - 0x30));
    if (key >= 0x41 && key <= 0x5A)
        return std::string(1, static_cast<char>('A' + key - 0x41));
    if (key >= 0x60 && key <= 0x69)
        return std::string(1, static_cast<char>('0' + key - 0x60));
    if (key >= 0x70 && key <= 0x87)
        return "F" + std::to_string(key - 0x70 + 1);
    return KeyNameText(key);
}

bool ConsumePrefix(std::string_view& text, std::string_view prefix)
{
    if (text.size() < prefix.size() || !EqualsIgnoreAsciiCase(text.substr(0, prefix.size()), prefix))
        return false;
    text.remove_prefix(prefix.size());
    return true;
}

} // namespace

std::uint16_t StoredHotkeyToKeyCode(std::uint16_t stored)
{
    const auto modifiers = static_cast<std::uint8_t>((stored >> 8) << 5);
    return static_cast<std::uint16_t>((modifiers << 8) | (stored & 0xFF));
}

std::uint16_t KeyCodeToStoredHotkey(std::uint16_t keyCode)
{
    return static_cast<std::uint16_t>((((keyCode >> 8) >> 5) << 8) | (keyCode & 0xFF));
}

std::string HotkeyKeyCodeText(std::uint16_t keyCode)
{
    const std::string name = KeyName(static_cast<std::uint8_t>(keyCode & 0xFF));
    if (name.empty())
        return {};
    std::string text;
    if (keyCode & 0x2000)
        text += "Shift+";
    if (keyCode & 0x4000)
        text += "Ctrl+";
    if (keyCode & 0x8000)
        text += "Alt+";
    return text + name;
}

std::optional<std::uint16_t> ParseHotkeyText(std::string_view text)
{
    if (text.empty())
        return std::uint16_t{0};
    std::uint8_t modifiers = 0;
    // A key may itself be named with a "+" ("Num +"), so modifiers are taken off the
    // front only while one is there.
    for (bool more = true; more;) {
        more = false;
        for (const auto& [prefix, flag] : {std::pair<std::string_view, std::uint8_t>{"Shift+", HOTKEYF_SHIFT},
                                           {"Ctrl+", HOTKEYF_CONTROL},
                                           {"Alt+", HOTKEYF_ALT}}) {
            if (!(modifiers & flag) && ConsumePrefix(text, prefix)) {
                modifiers |= flag;
                more = true;
            }
        }
    }
    if (text.empty())
        return std::nullopt;
    // The lowest code wins where two keys share a name: the digits above the letters
    // over the keypad's, which the text names alike.
    for (int key = 1; key < 256; ++key) {
        const std::string name = KeyName(static_cast<std::uint8_t>(key));
        if (!name.empty() && EqualsIgnoreAsciiCase(name, text)) {
            if (IsExtendedKey(static_cast<std::uint8_t>(key)))
                modifiers |= HOTKEYF_EXT;
            return static_cast<std::uint16_t>((modifiers << 8) | key);
        }
    }
    return std::nullopt;
}

bool IsExtendedKey(std::uint8_t key)
{
    return (key >= 0x21 && key <= 0x28) || key == 0x2D || key == 0x2E || key == 0x6F || key == 0x90 ||
           (key >= 0x5B && key <= 0x5D) || key == 0xA3 || key == 0xA5;
}

} // namespace platform
