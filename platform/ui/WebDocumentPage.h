#pragma once
// The Web Document page of an Internet shortcut: its URL and shortcut key, saved by
// rewriting those two lines of the file and nothing else.
#include "platform/ui/EditorPage.h"

class QLabel;
class QLineEdit;

namespace platform::ui {

class HotkeyEdit;

class WebDocumentPage : public EditorPage {
    Q_OBJECT
public:
    explicit WebDocumentPage(const std::string& path, QWidget* parent = nullptr);

protected:
    ShortcutEdits Edits() const override;
    void Fill(const ShortcutValues& values) override;
    QLineEdit* FieldEdit(EditField field) const override;

private:
    QLabel* note_ = nullptr;
    QLineEdit* url_ = nullptr;
    HotkeyEdit* hotkey_ = nullptr;
};

} // namespace platform::ui
