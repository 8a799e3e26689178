#pragma once
// A shortcut's hotkey in its two forms and as text. Stored in a link (and in an
// Internet shortcut's "Hotkey" value) the low byte is the virtual-key code and the
// high byte holds HOTKEYF_SHIFT 0x01, HOTKEYF_CONTROL 0x02, HOTKEYF_ALT 0x04 and
// HOTKEYF_EXT 0x08; the key-code form shifts that byte left by 5 (Shift 0x2000,
// Ctrl 0x4000, Alt 0x8000) and loses the extended-key flag. The text is what the
// list's Hotkey column shows: "Shift+", "Ctrl+", "Alt+" as set, then the key's name.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

inline constexpr std::uint8_t HOTKEYF_SHIFT = 0x01;
inline constexpr std::uint8_t HOTKEYF_CONTROL = 0x02;
inline constexpr std::uint8_t HOTKEYF_ALT = 0x04;
inline constexpr std::uint8_t HOTKEYF_EXT = 0x08;

std::uint16_t StoredHotkeyToKeyCode(std::uint16_t stored);
std::uint16_t KeyCodeToStoredHotkey(std::uint16_t keyCode);

// The text of a key-code form hotkey ("Ctrl+Alt+A", "Shift+F1"); empty when the key
// has no name, whatever the modifiers, so 0 gives "".
std::string HotkeyKeyCodeText(std::uint16_t keyCode);

// The stored form of such a text, for typing a hotkey: modifiers in any order and
// letter case ("ctrl+alt+h"), then a key name as the text shows it. "" gives 0 (no
// hotkey). No value for a text that names no key.
std::optional<std::uint16_t> ParseHotkeyText(std::string_view text);

// Keys Windows marks with HOTKEYF_EXT when they are pressed as a hotkey: the
// navigation block, the keypad's "/" and Num Lock, the right-hand and Windows keys.
bool IsExtendedKey(std::uint8_t virtualKey);

} // namespace platform
