#pragma once
// The new-shortcut wizard: the item's location (a Windows or host path, or a URL),
// then the shortcut's name; Finish writes a shell link, or an Internet shortcut for
// a URL, into the folder, never in place of an existing file.
#include <QWizard>
#include <string>

#include "platform/shelllink/NewShortcut.h"

class QLineEdit;

namespace platform::ui {

class NewShortcutWizard : public QWizard {
    Q_OBJECT
public:
    explicit NewShortcutWizard(std::string folder, QWidget* parent = nullptr);

    const std::string& Folder() const { return folder_; }
    const ShortcutLocation& Location() const { return location_; }
    // The file written by Finish; empty until then.
    const std::string& Created() const { return created_; }

    bool LocationAccepted(const QString& text); // page 1's check
    bool NameAccepted(const QString& text);     // page 2's check, which writes the file

private:
    std::string folder_;
    ShortcutLocation location_;
    std::string created_;
    QLineEdit* name_ = nullptr;

    friend class NamePage;
};

} // namespace platform::ui
