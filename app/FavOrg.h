#pragma once
// The Organize Favorites dialog: the user's favorites in a list to reorder by
// dragging, edit in place, and remove. It works on a copy and gives the Favorites
// menu the new list only on OK after a change; the registry is written at shutdown.
#include <QDialog>
#include <string>
#include <vector>

class QListWidget;
class QListWidgetItem;
class QPushButton;
class TFavList;
class TForm1;

enum class TFavButton { fbEdit, fbRemove, fbRemoveAll, fbOk, fbCancel, fbHelp };

class TFavOrgBox : public QDialog {
    Q_OBJECT
public:
    explicit TFavOrgBox(TForm1& form);

    QListWidget* ListView1() const;
    QPushButton* Button(TFavButton button) const;
    bool Edited() const { return edited_; }
    bool Editing() const { return editing_; }
    // The favorites as the list holds them now.
    std::vector<std::string> Paths() const;

    // The one handler of the six buttons.
    void BtnClick(TFavButton button);
    // A drop of the dragged (selected) favorite on target, or after the last one
    // when target is null: it moves before target, or to the end.
    void ListView1DragDrop(QListWidgetItem* target);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void FormCreate();
    // Alt+Up and Alt+Down: the selected favorite one place up or down.
    void MoveSelected(int step);
    void EditingStarted();
    void EditingEnded(bool accepted);

    TForm1& form_;
    TFavList* list_ = nullptr;
    QPushButton* buttons_[6] = {};
    bool edited_ = false;
    bool editing_ = false;
    bool editAccepted_ = false; // the open editor's text was committed
};
