#pragma once
// Change Icon, for now: the file holding the icon (a Windows path, or a host file
// chosen with Browse, shown as its Windows path) and the icon's index in it.
#include <QDialog>

#include "platform/shelllink/LinkEditor.h"

class QLineEdit;
class QSpinBox;

namespace platform::ui {

class IconLocationDialog : public QDialog {
    Q_OBJECT
public:
    IconLocationDialog(const ShortcutIcon& current, QWidget* parent = nullptr);
    ShortcutIcon Choice() const;

private:
    void Browse();

    QLineEdit* location_ = nullptr;
    QSpinBox* index_ = nullptr;
};

} // namespace platform::ui
