#include "app/FavOrg.h"

#include <QAbstractItemDelegate>
#include <QAction>
#include <QDropEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QListWidget>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <functional>

#include "app/Favorites.h"
#include "app/Unit1.h"

// The favorites' list: drops of its own rows only, each handed to the dialog, which
// moves the dragged (selected) row itself. Every Qt item view drags its rows in the
// same format, so the format tells nothing: a drag is the list's own when it carries
// the very data the list made for it (the toolkit hands a drag inside the program its
// source's data; another program's drag arrives as data of the toolkit's own).
class TFavList : public QListWidget {
public:
    using QListWidget::QListWidget;
    std::function<void(QListWidgetItem* target)> OnDrop;

    bool StartEditing(QListWidgetItem* item) { return edit(indexFromItem(item), AllEditTriggers, nullptr); }

protected:
    QMimeData* mimeData(const QList<QListWidgetItem*>& items) const override
    {
        QMimeData* data = QListWidget::mimeData(items);
        ownRows_ = data; // the drag owns it; the pointer clears when the drag is over
        return data;
    }
    bool OwnRows(const QMimeData* data) const { return data && data == ownRows_; }
    void dragEnterEvent(QDragEnterEvent* event) override
    {
        if (OwnRows(event->mimeData()))
            event->acceptProposedAction();
        else
            event->ignore();
    }
    void dragMoveEvent(QDragMoveEvent* event) override
    {
        QListWidget::dragMoveEvent(event); // scrolls near the edges
        if (OwnRows(event->mimeData()))
            event->acceptProposedAction();
        else
            event->ignore();
    }
    void dropEvent(QDropEvent* event) override
    {
        if (!OwnRows(event->mimeData())) {
            event->ignore();
            return;
        }
        if (OnDrop)
            OnDrop(itemAt(event->position().toPoint()));
        // The row has been moved here; a move action would make the view remove
        // the dragged row once more when the drag ends.
        event->setDropAction(Qt::CopyAction);
        event->accept();
        stopAutoScroll();
    }

private:
    mutable QPointer<QMimeData> ownRows_;
};

namespace {

constexpr int kPathRole = Qt::UserRole;

QListWidgetItem* NewItem(const QByteArray& path)
{
    auto* item = new QListWidgetItem(QFile::decodeName(path));
    item->setData(kPathRole, path);
    item->setFlags(item->flags() | Qt::ItemIsEditable | Qt::ItemIsDragEnabled);
    return item;
}

} // namespace

TFavOrgBox::TFavOrgBox(TForm1& form)
    : QDialog(&form, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                         Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint),
      form_(form)
{
    setObjectName("FavOrgBox");
    setWindowTitle("Organize Favorites - Quillmere");
    resize(460, 320);

    list_ = new TFavList(this);
    list_->setObjectName("ListView1");
    QFont font = list_->font();
    font.setPixelSize(13);
    list_->setFont(font);
    list_->setToolTip("Drag them into the order you want (or Alt+Up, Alt+Down)");
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers); // Edit and F2 start it
    list_->setDragEnabled(true);
    list_->setAcceptDrops(true);
    list_->viewport()->setAcceptDrops(true);
    list_->setDragDropMode(QAbstractItemView::DragDrop);
    list_->setDefaultDropAction(Qt::MoveAction);
    list_->setDropIndicatorShown(true);
    list_->OnDrop = [this](QListWidgetItem* target) { ListView1DragDrop(target); };

    struct ButtonRow {
        TFavButton id;
        const char* name;
        const char* caption;
        const char* hint;
    };
    const ButtonRow rows[] = {
        {TFavButton::fbEdit, "EditBtn", "&Edit", "Manually edit selected favorite"},
        {TFavButton::fbRemove, "RemoveBtn", "&Remove", "Delete selected favorite(s)"},
        {TFavButton::fbRemoveAll, "RemoveAllBtn", "Remove &All", "Delete all favorites from menu"},
        {TFavButton::fbOk, "OkBtn", "OK", "Save changes"},
        {TFavButton::fbCancel, "CancelBtn", "&Cancel", "Discard changes"},
        {TFavButton::fbHelp, "HelpBtn", "&Help", "Read help file"},
    };
    auto* buttonColumn = new QVBoxLayout;
    for (const ButtonRow& row : rows) {
        auto* button = new QPushButton(row.caption, this);
        button->setObjectName(row.name);
        button->setToolTip(row.hint);
        connect(button, &QPushButton::clicked, this, [this, id = row.id] { BtnClick(id); });
        buttons_[static_cast<int>(row.id)] = button;
        if (row.id == TFavButton::fbOk)
            buttonColumn->addStretch(1); // OK, Cancel and Help stay at the bottom
        buttonColumn->addWidget(button);
    }
    Button(TFavButton::fbOk)->setDefault(true);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addLayout(buttonColumn);

    // The dialog sees these keys before its controls.
    auto addKey = [this](QKeySequence key, std::function<void()> run) {
        auto* action = new QAction(this);
        action->setShortcut(key);
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        connect(action, &QAction::triggered, this, std::move(run));
        addAction(action);
    };
    addKey(Qt::Key_F2, [this] { BtnClick(TFavButton::fbEdit); });
    addKey(Qt::Key_Delete, [this] {
        if (!editing_)
            BtnClick(TFavButton::fbRemove);
    });
    addKey(Qt::Key_F1, [this] { BtnClick(TFavButton::fbHelp); });
    // The order without the mouse.
    addKey(QKeySequence(Qt::ALT | Qt::Key_Up), [this] { MoveSelected(-1); });
    addKey(QKeySequence(Qt::ALT | Qt::Key_Down), [this] { MoveSelected(1); });

    // An accepted edit commits its data before the editor closes; Esc only closes it.
    connect(list_->itemDelegate(), &QAbstractItemDelegate::commitData, this, [this] { editAccepted_ = true; });
    connect(list_->itemDelegate(), &QAbstractItemDelegate::closeEditor, this, [this] {
        EditingEnded(editAccepted_);
        editAccepted_ = false;
    });
    // An edited text is the favorite's new path.
    connect(list_, &QListWidget::itemChanged, this, [](QListWidgetItem* item) {
        const QByteArray path = item->data(kPathRole).toByteArray();
        if (item->text() != QFile::decodeName(path))
            item->setData(kPathRole, QFile::encodeName(item->text()));
    });

    FormCreate();
    list_->setFocus();
}

void TFavOrgBox::FormCreate()
{
    edited_ = false;
    for (const std::string& path : form_.Favorites()->Paths())
        list_->addItem(NewItem(QByteArray::fromStdString(path)));
}

QListWidget* TFavOrgBox::ListView1() const { return list_; }

QPushButton* TFavOrgBox::Button(TFavButton button) const { return buttons_[static_cast<int>(button)]; }

std::vector<std::string> TFavOrgBox::Paths() const
{
    std::vector<std::string> paths;
    for (int i = 0; i < list_->count(); ++i)
        paths.push_back(list_->item(i)->data(kPathRole).toByteArray().toStdString());
    return paths;
}

void TFavOrgBox::BtnClick(TFavButton button)
{
    QListWidgetItem* selected = list_->selectedItems().value(0);
    switch (button) {
    case TFavButton::fbEdit:
        if (selected && list_->StartEditing(selected))
            EditingStarted();
        break;
    case TFavButton::fbRemove:
        if (selected) {
            delete selected;
            edited_ = true;
        }
        break;
    case TFavButton::fbRemoveAll:
        list_->clear();
        edited_ = true;
        break;
    case TFavButton::fbOk:
        if (edited_)
            form_.Favorites()->SetPaths(Paths());
        accept();
        break;
    case TFavButton::fbCancel:
        reject();
        break;
    case TFavButton::fbHelp:
        form_.ShowHelpContext(kHelpOrganizeFavorites);
        break;
    }
}

void TFavOrgBox::ListView1DragDrop(QListWidgetItem* dropped)
{
    QListWidgetItem* dragged = list_->selectedItems().value(0);
    if (!dragged)
        return;
    QListWidgetItem* moved = NewItem(dragged->data(kPathRole).toByteArray());
    moved->setText(dragged->text());
    if (dropped)
        list_->insertItem(list_->row(dropped), moved);
    else
        list_->addItem(moved);
    delete dragged;
    list_->setCurrentItem(moved);
    edited_ = true;
}

void TFavOrgBox::MoveSelected(int step)
{
    QListWidgetItem* selected = list_->selectedItems().value(0);
    if (!selected || editing_)
        return;
    const int to = list_->row(selected) + step;
    if (to < 0 || to >= list_->count())
        return;
    list_->insertItem(to, list_->takeItem(list_->row(selected)));
    list_->setCurrentItem(selected);
    edited_ = true;
}

void TFavOrgBox::EditingStarted()
{
    // Enter and Esc belong to the editor now.
    editing_ = true;
    Button(TFavButton::fbOk)->setDefault(false);
}

void TFavOrgBox::EditingEnded(bool accepted)
{
    editing_ = false;
    if (accepted)
        edited_ = true;
    Button(TFavButton::fbOk)->setDefault(true);
}

void TFavOrgBox::keyPressEvent(QKeyEvent* event)
{
    // While an item is edited, OK is no default button and Cancel no cancel
    // button: the keys that reach the dialog then do nothing.
    const int key = event->key();
    if (editing_ && (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
