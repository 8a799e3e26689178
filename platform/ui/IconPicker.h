#pragma once
// The shell's Change Icon dialog: every icon of a program, library or icon file, a
// Browse button for another file, and the choice answered as the link keeps it (the
// file as a Windows path, and an icon index). Files are read off the window's thread
// (in the queue of their network mount, if they lie on one), so a file on a mount
// whose server is gone never holds the window.
#include <QDialog>
#include <QPixmap>
#include <QString>
#include <memory>
#include <string>

#include "platform/util/Tasks.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace platform::ui {

// Shows the dialog, modal to owner, starting at iconLocation (a Windows path, %VARS%
// allowed, as a link stores it) and index. OK: true, with both set to the choice.
// A choice the user left as it was keeps the location and index exactly as given
// (a negative index, a resource ID, stays one). picture, when given, gets the chosen
// icon's picture.
bool PickIcon(QWidget* owner, std::string& iconLocation, int& index, QPixmap* picture = nullptr);

class IconPicker : public QDialog {
    Q_OBJECT
public:
    IconPicker(QWidget* owner, const std::string& iconLocation, int index);
    ~IconPicker() override;

    // The chosen file as a Windows path, and the icon's index in it.
    std::string IconLocation() const;
    int IconIndex() const;

    // Shows the icons of a file named by a Windows path or a host path.
    void ShowFile(const QString& text);
    bool Loading() const { return loading_; }
    int IconCount() const;
    QPixmap IconPicture() const; // the chosen icon's
    QString Note() const; // what the dialog says about the file, if anything
    QListWidget* List() const { return list_; }

    void accept() override;

signals:
    void IconsShown(); // the icons of the file asked for last are in the list

private:
    struct Loaded;
    void Browse();
    void Show(const Loaded& loaded);
    void UpdateOk();

    QLineEdit* file_;
    QListWidget* list_;
    QLabel* note_;
    QPushButton* ok_;
    tasks::Inbox inbox_;
    tasks::CancelToken cancel_; // of the file read last
    std::uint64_t generation_ = 0;
    bool loading_ = false;
    QString shownText_;  // the field's text for the icons in the list
    std::string shownHost_;
    bool firstFile_ = true; // the file the dialog opened with has not been shown yet
    // As given, answered unchanged while the user changes nothing.
    std::string givenLocation_;
    int givenIndex_ = 0;
    int givenRow_ = -1;
};

} // namespace platform::ui
