#pragma once
// The Shortcut page of a shell link: Target (the raw Windows path, %VARS% kept),
// Arguments, Start in, Shortcut key, Run, Comment; Open File Location and Change
// Icon. A host path typed as target, start-in folder or icon becomes a Windows path
// through the drive map when saved.
#include <functional>
#include <optional>

#include "platform/ui/EditorPage.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace platform::ui {

class HotkeyEdit;

class ShortcutPage : public EditorPage {
    Q_OBJECT
public:
    ShortcutPage(const std::string& path, std::function<void(const std::string&)> showFolder,
                 QWidget* parent = nullptr);

    // Open File Location: the folder holding the target, for the caller or the
    // desktop's file manager.
    void OpenFileLocation();
    void ChangeIcon();

protected:
    ShortcutEdits Edits() const override;
    void Fill(const ShortcutValues& values) override;
    QLineEdit* FieldEdit(EditField field) const override;

private:
    std::function<void(const std::string&)> showFolder_;
    QLabel* note_ = nullptr;
    QLabel* icon_ = nullptr;
    QLineEdit* target_ = nullptr;
    QLineEdit* arguments_ = nullptr;
    QLineEdit* startIn_ = nullptr;
    HotkeyEdit* hotkey_ = nullptr;
    QComboBox* run_ = nullptr;
    QLineEdit* comment_ = nullptr;
    QPushButton* openLocation_ = nullptr;
    QPushButton* changeIcon_ = nullptr;
    ShortcutIcon iconChoice_;
    int runAtStart_ = 0;
};

} // namespace platform::ui
