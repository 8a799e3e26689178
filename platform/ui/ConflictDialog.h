#pragma once
// The question of a file job whose destination already holds the name: Replace (for
// two folders: merge them), Skip, Keep Both (a numbered name) or Cancel, with "do
// this for all conflicts". Replace is not offered between a file and a folder.
#include <QDialog>

#include "platform/fileops/JobTypes.h"

class QCheckBox;
class QPushButton;

namespace platform {

class ConflictDialog : public QDialog {
    Q_OBJECT
public:
    ConflictDialog(const fileops::JobQuestion& question, QWidget* owner);

    // The answer given; Cancel until a button is pressed.
    fileops::JobReply Reply() const { return reply_; }

    QPushButton* ReplaceButton() const { return replace_; }
    QPushButton* SkipButton() const { return skip_; }
    QPushButton* KeepBothButton() const { return keepBoth_; }
    QCheckBox* ApplyToAllBox() const { return applyToAll_; }

private:
    void Answer(fileops::Choice choice);

    fileops::JobReply reply_;
    QPushButton* replace_;
    QPushButton* skip_;
    QPushButton* keepBoth_;
    QCheckBox* applyToAll_;
};

} // namespace platform
