#pragma once
// The shortcut-key field of the property window: it shows the key pressed in it,
// as the Hotkey column writes it ("Ctrl+Alt+H"). Backspace clears it; a key pressed
// without Ctrl or Alt gets both (Shift stays), as the shell adds them, except the
// function keys, which stand alone. Tab, Enter and Esc keep their dialog meaning.
#include <QLineEdit>
#include <cstdint>
#include <optional>

namespace platform::ui {

class HotkeyEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit HotkeyEdit(QWidget* parent = nullptr);

    std::uint16_t Hotkey() const { return hotkey_; } // stored form
    void SetHotkey(std::uint16_t stored);

    // The stored hotkey a key press makes (0: cleared); no value for a key the
    // field does not take (modifiers alone, Tab, Enter, Esc, keys with no code).
    static std::optional<std::uint16_t> HotkeyForKeyPress(int qtKey, Qt::KeyboardModifiers modifiers);

signals:
    void HotkeyChanged(std::uint16_t stored);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

private:
    std::uint16_t hotkey_ = 0;
};

} // namespace platform::ui
