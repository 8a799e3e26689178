#include "platform/ui/HotkeyEdit.h"

#include <QKeyEvent>

#include "platform/keynames/Hotkeys.h"

namespace platform::ui {
namespace {

// The virtual-key code of a Qt key on the US layout; 0 for none. Shifted symbols
// name the key they are on, since the modifiers are kept apart.
std::uint8_t VirtualKeyOf(int key, bool keypad)
{
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return static_cast<std::uint8_t>(0x41 + key - Qt::Key_A);
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return static_cast<std::uint8_t>((keypad ? 0x60 : 0x30) + key - Qt::Key_0);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return static_cast<std::uint8_t>(0x70 + key - Qt::Key_F1);
    if (keypad) {
        switch (key) {
        case Qt::Key_Asterisk: return 0x6A;
        case Qt::Key_Plus: return 0x6B;
        case Qt::Key_Minus: return 0x6D;
        case Qt::Key_Period: case Qt::Key_Comma: return 0x6E;
        case Qt::Key_Slash: return 0x6F;
        default: break;
        }
    }
    switch (key) {
    case Qt::Key_Space: return 0x20;
    case Qt::Key_PageUp: return 0x21;
    case Qt::Key_PageDown: return 0x22;
    case Qt::Key_End: return 0x23;
    case Qt::Key_Home: return 0x24;
    case Qt::Key_Left: return 0x25;
    case Qt::Key_Up: return 0x26;
    case Qt::Key_Right: return 0x27;
    case Qt::Key_Down: return 0x28;
    case Qt::Key_Insert: return 0x2D;
    case Qt::Key_Delete: return 0x2E;
    case Qt::Key_Pause: return 0x13;
    case Qt::Key_Print: return 0x2C;
    case Qt::Key_NumLock: return 0x90;
    case Qt::Key_ScrollLock: return 0x91;
    case Qt::Key_Exclam: return 0x31;
    case Qt::Key_At: return 0x32;
    case Qt::Key_NumberSign: return 0x33;
    case Qt::Key_Dollar: return 0x34;
    case Qt::Key_Percent: return 0x35;
    case Qt::Key_AsciiCircum: return 0x36;
    case Qt::Key_Ampersand: return 0x37;
    case Qt::Key_Asterisk: return 0x38;
    case Qt::Key_ParenLeft: return 0x39;
    case Qt::Key_ParenRight: return 0x30;
    case Qt::Key_Semicolon: case Qt::Key_Colon: return 0xBA;
    case Qt::Key_Equal: case Qt::Key_Plus: return 0xBB;
    case Qt::Key_Comma: case Qt::Key_Less: return 0xBC;
    case Qt::Key_Minus: case Qt::Key_Underscore: return 0xBD;
    case Qt::Key_Period: case Qt::Key_Greater: return 0xBE;
    case Qt::Key_Slash: case Qt::Key_Question: return 0xBF;
    case Qt::Key_QuoteLeft: case Qt::Key_AsciiTilde: return 0xC0;
    case Qt::Key_BracketLeft: case Qt::Key_BraceLeft: return 0xDB;
    case Qt::Key_Backslash: case Qt::Key_Bar: return 0xDC;
    case Qt::Key_BracketRight: case Qt::Key_BraceRight: return 0xDD;
    case Qt::Key_Apostrophe: case Qt::Key_QuoteDbl: return 0xDE;
    default: return 0;
    }
}

} // namespace

HotkeyEdit::HotkeyEdit(QWidget* parent) : QLineEdit(parent)
{
    setReadOnly(true); // typed text never gets in: every key is taken as the hotkey
    setPlaceholderText(tr("None"));
}

void HotkeyEdit::SetHotkey(std::uint16_t stored)
{
    hotkey_ = stored;
    setText(QString::fromStdString(HotkeyKeyCodeText(StoredHotkeyToKeyCode(stored))));
}

std::optional<std::uint16_t> HotkeyEdit::HotkeyForKeyPress(int key, Qt::KeyboardModifiers modifiers)
{
    if (key == Qt::Key_Backspace && !(modifiers & (Qt::ControlModifier | Qt::AltModifier)))
        return std::uint16_t{0};
    const std::uint8_t vk = VirtualKeyOf(key, modifiers & Qt::KeypadModifier);
    if (vk == 0)
        return std::nullopt;
    std::uint8_t flags = 0;
    if (modifiers & Qt::ShiftModifier)
        flags |= HOTKEYF_SHIFT;
    if (modifiers & Qt::ControlModifier)
        flags |= HOTKEYF_CONTROL;
    if (modifiers & Qt::AltModifier)
        flags |= HOTKEYF_ALT;
    const bool functionKey = vk >= 0x70 && vk <= 0x87;
    if (!(flags & (HOTKEYF_CONTROL | HOTKEYF_ALT)) && !functionKey)
        flags |= HOTKEYF_CONTROL | HOTKEYF_ALT;
    if (IsExtendedKey(vk))
        flags |= HOTKEYF_EXT;
    return static_cast<std::uint16_t>((flags << 8) | vk);
}

bool HotkeyEdit::event(QEvent* e)
{
    // Keys that would move the focus or trigger a dialog's shortcut are hotkeys here.
    if (e->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(e);
        if (HotkeyForKeyPress(key->key(), key->modifiers())) {
            e->accept();
            return true;
        }
    }
    return QLineEdit::event(e);
}

void HotkeyEdit::keyPressEvent(QKeyEvent* e)
{
    const auto hotkey = HotkeyForKeyPress(e->key(), e->modifiers());
    if (!hotkey) {
        // Tab, Enter and Esc go on to the dialog; modifiers alone wait for a key.
        if (e->key() == Qt::Key_Tab || e->key() == Qt::Key_Backtab || e->key() == Qt::Key_Return ||
            e->key() == Qt::Key_Enter || e->key() == Qt::Key_Escape)
            e->ignore();
        else
            e->accept();
        return;
    }
    e->accept();
    if (*hotkey == hotkey_)
        return;
    SetHotkey(*hotkey);
    emit HotkeyChanged(hotkey_);
}

void HotkeyEdit::keyReleaseEvent(QKeyEvent* e) { e->accept(); }

} // namespace platform::ui
