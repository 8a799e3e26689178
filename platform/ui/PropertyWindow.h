#pragma once
// The property window: General page, and the Shortcut or Web Document page of one
// shortcut file; OK, Cancel and Apply. A save that fails says why and keeps the
// window open with the user's edits.
#include <QDialog>
#include <string>
#include <vector>

#include "platform/ui/PropertySheet.h"

class QPushButton;
class QTabWidget;

namespace platform::ui {

class EditorPage;
class GeneralPage;

class PropertyWindow : public QDialog {
    Q_OBJECT
public:
    PropertyWindow(std::vector<std::string> paths, PropertyCallbacks callbacks, QWidget* owner);

    // Apply: saves every page; false (with a message shown) when anything was refused.
    bool ApplyChanges();

    QTabWidget* Tabs() const { return tabs_; }

    void accept() override;

private:
    void UpdateApply();

    PropertyCallbacks callbacks_;
    QTabWidget* tabs_ = nullptr;
    GeneralPage* general_ = nullptr;
    EditorPage* editor_ = nullptr; // the Shortcut or Web Document page, when there is one
    QPushButton* apply_ = nullptr;
};

} // namespace platform::ui
