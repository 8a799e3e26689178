#include <QTest>

#include <gtest/gtest.h>

#include "platform/ui/HotkeyEdit.h"

using platform::ui::HotkeyEdit;

TEST(HotkeyEdit, ShowsTheKeyPressedAsTheHotkeyColumnWritesIt)
{
    struct Case {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        const char* shown;
    };
    const Case cases[] = {
        {Qt::Key_H, Qt::ControlModifier | Qt::AltModifier, "Ctrl+Alt+H"},
        {Qt::Key_A, Qt::NoModifier, "Ctrl+Alt+A"}, // the shell adds Ctrl+Alt to a plain key
        {Qt::Key_A, Qt::ShiftModifier, "Shift+Ctrl+Alt+A"},
        {Qt::Key_Q, Qt::ControlModifier, "Ctrl+Q"},
        {Qt::Key_F5, Qt::NoModifier, "F5"}, // function keys stand alone
        {Qt::Key_F1, Qt::ShiftModifier, "Shift+F1"},
        {Qt::Key_Exclam, Qt::ShiftModifier | Qt::ControlModifier, "Shift+Ctrl+1"},
        {Qt::Key_9, Qt::KeypadModifier, "Ctrl+Alt+9"},
        {Qt::Key_Delete, Qt::AltModifier, "Alt+Del"},
        {Qt::Key_PageUp, Qt::ControlModifier, "Ctrl+PgUp"},
        {Qt::Key_Space, Qt::ControlModifier | Qt::AltModifier, "Ctrl+Alt+Space"},
        {Qt::Key_Semicolon, Qt::ControlModifier | Qt::AltModifier, "Ctrl+Alt+;"},
        {Qt::Key_Backspace, Qt::NoModifier, ""}, // clears
        {Qt::Key_Shift, Qt::ShiftModifier, "Ctrl+Alt+A"}, // a modifier alone waits for a key
    };
    HotkeyEdit edit;
    for (const Case& c : cases) {
        edit.SetHotkey(0x0641);
        QTest::keyClick(&edit, c.key, c.modifiers);
        EXPECT_EQ(edit.text().toStdString(), c.shown) << c.shown;
    }
    QTest::keyClick(&edit, Qt::Key_Home, Qt::AltModifier);
    EXPECT_EQ(edit.Hotkey(), 0x0C24); // stored with the extended-key flag, as Windows stores it
}
