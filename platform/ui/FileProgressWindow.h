#pragma once
// The progress window of a file job: what it does, the file it is on, how much of
// the whole is done, and Cancel. Not modal: the user goes on working meanwhile.
#include <QDialog>

#include "platform/fileops/JobTypes.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace platform {

class FileProgressWindow : public QDialog {
    Q_OBJECT
public:
    // `destination`: the folder pasted into; empty where there is none.
    FileProgressWindow(fileops::JobKind kind, const std::string& destination, QWidget* owner);

    void Update(const fileops::JobProgress& progress);
    QPushButton* CancelButton() const { return cancel_; }

signals:
    void CancelRequested();

protected:
    void reject() override; // Esc and the window's close button cancel

private:
    fileops::JobKind kind_;
    QString destination_;
    QLabel* action_;
    QLabel* counts_;
    QProgressBar* bar_;
    QPushButton* cancel_;
};

// The name to show for a host path's last component: bytes that are not UTF-8 as
// the replacement character.
QString DisplayName(const std::string& path);

} // namespace platform
