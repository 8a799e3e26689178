#include "foldertree/SystemTreeView.h"

#include <QAbstractItemDelegate>
#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QScrollBar>
#include <QShowEvent>
#include <QTimer>
#include <algorithm>
#include <utility>

#include "foldertree/FolderTreeModel.h"
#include "foldertree/MountTableWatcher.h"
#include "platform/icons/SystemIconList.h"
#include "platform/ui/SlowClickEdit.h"
#include "shortcuts/ShellVerbs.h"

namespace shell = platform::shell;

// --- small guards ---------------------------------------------------------------------------

namespace {

// The hourglass on the tree while it works; show puts up the cursor the depth calls for.
class BusyCursor {
public:
    BusyCursor(int& depth, std::function<void()> show) : depth_(depth), show_(std::move(show))
    {
        ++depth_;
        show_();
    }
    ~BusyCursor()
    {
        --depth_;
        show_();
    }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    int& depth_;
    std::function<void()> show_;
};

class UpdateLock {
public:
    explicit UpdateLock(TdfsSystemTreeView* tree) : tree_(tree) { tree_->BeginUpdate(); }
    ~UpdateLock() { tree_->EndUpdate(); }
    UpdateLock(const UpdateLock&) = delete;
    UpdateLock& operator=(const UpdateLock&) = delete;

private:
    TdfsSystemTreeView* tree_;
};

} // namespace

// --- the tree ----------------------------------------------------------------------------

TdfsSystemTreeView::TdfsSystemTreeView(QWidget* parent) : QTreeView(parent)
{
    model_ = new TFolderTreeModel(this);
    model_->OnFetch = [this](TFolderNode* node) { FetchChildren(node); };
    model_->OnRename = [this](TFolderNode* node, const QString& text) { return EndEdit(node, text); };
    model_->SetDropHighlight(palette().brush(QPalette::Highlight), palette().brush(QPalette::HighlightedText));
    setModel(model_);
    loader_ = std::make_unique<TFolderTreeLoader>(*model_, static_cast<TFolderTreeLoader::Viewer&>(*this));
    model_->SetProbeSubfolders(!loader_->ShowFiles(), loader_->ShowHiddenDirs());
    setHeaderHidden(true);
    setRootIsDecorated(true);
    setSortingEnabled(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::EditKeyPressed);
    new platform::ui::SlowClickEdit(this, [this](const QModelIndex& index) { StartEditing(NodeOf(index)); });
    setAnimated(false);
    setIconSize(QSize(platform::SystemIconList::kSmallSize, platform::SystemIconList::kSmallSize));
    // As wide as the names shown, measured on the rows in view only: measuring every
    // row would fetch every icon of a large folder.
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    header()->setResizeContentsPrecision(0);

    comboTimer_ = new QTimer(this);
    comboTimer_->setSingleShot(true);
    connect(comboTimer_, &QTimer::timeout, this, &TdfsSystemTreeView::TellComboBox);
    connect(this, &QTreeView::expanded, this, &TdfsSystemTreeView::NodeExpanded);
    // Collapsing a folder above the selected one hides the selection; the collapsed
    // folder takes it over, so the list never shows a folder the tree no longer does.
    connect(this, &QTreeView::collapsed, this, [this](const QModelIndex& index) {
        // Closing a folder gives up the reads of it and of the folders below it.
        loader_->GiveUpReadsFrom(NodeOf(index));
        for (QModelIndex i = currentIndex().parent(); i.isValid(); i = i.parent())
            if (i == index) {
                setCurrentIndex(index);
                return;
            }
    });
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current, const QModelIndex&) { CurrentChanged(current); });
    connect(&TMountTableWatcher::Instance(), &TMountTableWatcher::VolumesChanged, this,
            &TdfsSystemTreeView::VolumesChanged);
}

TdfsSystemTreeView::~TdfsSystemTreeView()
{
    destroying_ = true;
    disconnect(selectionModel(), nullptr, this, nullptr);
    // Every node goes now, and with it every record.
    model_->Clear();
}

// --- properties ------------------------------------------------------------------------------

std::string TdfsSystemTreeView::Selection() const
{
    if (!handleAllocated_)
        return {};
    // What the user asked for, not what stays selected until its folder answers: at
    // exit that is the folder to open next time.
    if (loader_->WaitsFor())
        return loader_->WalkTarget();
    return GetNodePath(Selected());
}

void TdfsSystemTreeView::SetSelection(const std::string& path)
{
    if (path.empty())
        return;
    if (!handleAllocated_) {
        pendingSelection_ = path;
        return;
    }
    loader_->SelectPath(path);
}

void TdfsSystemTreeView::SetRootFolder(TRootFolder root)
{
    if (root == RootFolder())
        return;
    loader_->SetRootFolder(root);
    Reset();
}

void TdfsSystemTreeView::SetCustomDir(const std::string& dir)
{
    if (dir == CustomDir())
        return;
    loader_->SetCustomDir(dir);
    Reset();
}

void TdfsSystemTreeView::SetCustomDirCaption(const std::string& caption)
{
    if (caption == CustomDirCaption())
        return;
    loader_->SetCustomDirCaption(caption);
    if (TFolderNode* root = RootNode())
        model_->SetText(root, caption);
}

void TdfsSystemTreeView::SetShowFiles(bool show)
{
    if (show == ShowFiles())
        return;
    loader_->SetShowFiles(show);
    // Folders that can list files have their buttons already.
    model_->SetProbeSubfolders(!show, ShowHiddenDirs());
    Reset();
}

void TdfsSystemTreeView::SetShowHiddenDirs(bool show)
{
    loader_->SetShowHiddenDirs(show);
    model_->SetProbeSubfolders(!ShowFiles(), show);
}

void TdfsSystemTreeView::SetCheckboxes(bool on)
{
    if (on == checkboxes_)
        return;
    checkboxes_ = on;
    model_->SetCheckable(on);
    if (handleAllocated_) {
        // The window is made anew with or without check boxes; the selection stays.
        DestroyHandle();
        HandleNeeded();
    }
}

void TdfsSystemTreeView::SetAutoscroll(bool on)
{
    autoscroll_ = on;
    // Every move counts, not only those with a button held.
    viewport()->setMouseTracking(on);
}

void TdfsSystemTreeView::SetFileMask(const std::string& mask)
{
    if (mask == FileMask())
        return;
    loader_->SetFileMask(mask);
    Reset();
}

// --- window life --------------------------------------------------------------------------

void TdfsSystemTreeView::HandleNeeded()
{
    if (handleAllocated_)
        return;
    handleAllocated_ = true;
    destroyingWindow_ = false;
    Reset();
}

void TdfsSystemTreeView::DestroyHandle()
{
    if (!handleAllocated_)
        return;
    destroyingWindow_ = true;
    if (pendingSelection_.empty())
        pendingSelection_ = Selection();
    const QSignalBlocker quiet(selectionModel());
    model_->Clear();
    handleAllocated_ = false;
}

void TdfsSystemTreeView::showEvent(QShowEvent* event)
{
    HandleNeeded();
    QTreeView::showEvent(event);
}

// --- nodes ------------------------------------------------------------------------------

QModelIndex TdfsSystemTreeView::IndexOf(const TFolderNode* node) const
{
    return model_->IndexOf(node);
}

TFolderNode* TdfsSystemTreeView::NodeOf(const QModelIndex& index)
{
    return TFolderTreeModel::NodeOf(index);
}

TFolderNode* TdfsSystemTreeView::Selected() const
{
    return NodeOf(currentIndex());
}

void TdfsSystemTreeView::SetSelected(TFolderNode* node)
{
    if (!node) {
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::Clear);
        return;
    }
    selectionModel()->setCurrentIndex(IndexOf(node), QItemSelectionModel::ClearAndSelect);
}

TFolderNode* TdfsSystemTreeView::RootNode() const
{
    return model_->RootNode();
}

int TdfsSystemTreeView::TopLevelCount() const
{
    return static_cast<int>(model_->Top().size());
}

TFolderNode* TdfsSystemTreeView::NodeAt(const QPoint& viewportPos) const
{
    return NodeOf(indexAt(viewportPos));
}

bool TdfsSystemTreeView::IsNodeExpanded(const TFolderNode* node) const
{
    return node && isExpanded(IndexOf(node));
}

std::string TdfsSystemTreeView::GetNodePath(const TFolderNode* node) const
{
    if (!node || !node->Data)
        return {};
    return GetItemPath(node->Data->AbsoluteIdList.Get());
}

TFolderItemData* TdfsSystemTreeView::GetFolderItemData(TFolderNode* node)
{
    if (!node)
        return nullptr;
    if (!node->Data) {
        ShowError(QStringLiteral("Could not get folder data."));
        return nullptr;
    }
    return node->Data.get();
}

void TdfsSystemTreeView::BeginUpdate()
{
    if (updateLocks_++ == 0)
        setUpdatesEnabled(false);
}

void TdfsSystemTreeView::EndUpdate()
{
    if (--updateLocks_ == 0)
        setUpdatesEnabled(true);
}

void TdfsSystemTreeView::SetDropTarget(TFolderNode* node)
{
    model_->SetDropTarget(node);
}

TFolderNode* TdfsSystemTreeView::DropTarget() const
{
    return model_->DropTarget();
}

void TdfsSystemTreeView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::PaletteChange)
        model_->SetDropHighlight(palette().brush(QPalette::Highlight), palette().brush(QPalette::HighlightedText));
    QTreeView::changeEvent(event);
}

// --- expansion ------------------------------------------------------------------------------
//
// The loader reads a node's children and runs the expansion check (see "expansion"
// in FolderTreeLoader.cpp); the view starts the check from whichever of these comes
// first:
//   ExpandNode        code opening a node: a selection's walk down, "*", Refresh;
//   FetchChildren     Qt asking the model for the children before it expands a node
//                     (a click on the button, the Right arrow, a double click);
//   NodeExpanded      Qt reporting a node expanded that it never asked about
//                     (expandRecursively, a node expanded while hidden).
// checked_ names the node whose check ran and that Qt is about to expand: it tells
// NodeExpanded that the check already ran (and OnPopulated already fired) for the
// expansion Qt reports. Every expansion ends with the children sorted.

void TdfsSystemTreeView::FetchChildren(TFolderNode* node)
{
    loader_->Check(node);
    // Qt expands the node next and reports it to NodeExpanded.
    checked_ = node;
}

void TdfsSystemTreeView::ShowExpanded(TFolderNode* node)
{
    const QModelIndex index = IndexOf(node);
    if (!isExpanded(index)) {
        checked_ = node;
        expand(index);
    }
    checked_ = nullptr;
}

bool TdfsSystemTreeView::ExpandNode(TFolderNode* node)
{
    return loader_->ExpandNode(node);
}

void TdfsSystemTreeView::CollapseNode(TFolderNode* node)
{
    if (node)
        collapse(IndexOf(node));
}

void TdfsSystemTreeView::NodeExpanded(const QModelIndex& index)
{
    TFolderNode* node = NodeOf(index);
    if (!node)
        return;
    bool checked = std::exchange(checked_, nullptr) == node;
    if (!checked && node->Data && !node->Data->Populated) {
        // Expanded without the model being asked for the children (the view only
        // records the state when it expands a whole branch): read them now.
        loader_->Check(node);
        checked = true;
    }
    if (node->Children.empty()) {
        collapse(index);
        // A folder that could not be bound keeps its button, so the next expansion
        // tries again; one that was read and holds nothing loses it.
        if (!node->Data || node->Data->Populated)
            model_->SetHasButton(node, false);
        scheduleDelayedItemsLayout();
        return;
    }
    if (!checked)
        emit OnPopulated(node);
    UpdateLock lock(this);
    model_->SortChildren(node);
}

void TdfsSystemTreeView::NodePopulated(TFolderNode* node)
{
    emit OnPopulated(node);
}

void TdfsSystemTreeView::RefreshNode(TFolderNode* node)
{
    if (!node)
        return;
    UpdateLock lock(this);
    loader_->RefreshNode(node);
    scheduleDelayedItemsLayout();
    TellComboBox();
}

void TdfsSystemTreeView::GiveUp()
{
    loader_->GiveUp();
}

void TdfsSystemTreeView::ShowBusy()
{
    if (busy_ > 0 || loader_->Working())
        viewport()->setCursor(Qt::WaitCursor);
    else if (loader_->Busy())
        viewport()->setCursor(Qt::BusyCursor);
    else
        viewport()->unsetCursor();
}

// --- rebuilding and selecting ---------------------------------------------------------------

void TdfsSystemTreeView::Reset()
{
    if (!handleAllocated_)
        return;
    // A selection still on its way is the one to keep.
    if (loader_->WaitsFor() && pendingSelection_.empty())
        pendingSelection_ = loader_->WalkTarget();
    IdList remembered;
    bool wasExpanded = false;
    if (TFolderNode* selected = Selected(); selected && selected->Data && selected->Data->AbsoluteIdList) {
        remembered = CopyIdList(selected->Data->AbsoluteIdList.Get());
        wasExpanded = IsNodeExpanded(selected);
    }

    const bool savedNotify = notifyImmediately_;
    notifyImmediately_ = true;
    UpdateLock lock(this);
    SetSelected(nullptr);
    loader_->Rebuild(expandRoot_);

    if (!pendingSelection_.empty())
        loader_->SelectPath(std::exchange(pendingSelection_, {}));
    else if (remembered)
        loader_->Reselect(remembered.Get(), wasExpanded);
    notifyImmediately_ = savedNotify;
    TellComboBox();
}

TFolderNode* TdfsSystemTreeView::FindNode(PCIdList idList)
{
    return loader_->FindNode(idList);
}

void TdfsSystemTreeView::ShowSelected(TFolderNode* node)
{
    SetSelected(node);
    if (node)
        ScrollIntoView(node);
}

void TdfsSystemTreeView::ShowWaiting(TFolderNode* node)
{
    // In view meanwhile: the folder waited for, and its "Reading..." row.
    ScrollIntoView(node->Children.empty() ? node : node->Children.back().get());
}

void TdfsSystemTreeView::ScrollIntoView(TFolderNode* node)
{
    scrollTo(IndexOf(node));
    // Laying the new rows out may bring a horizontal scroll bar that covers the last
    // row: look again once the view has settled.
    QTimer::singleShot(0, this, [this] {
        // While a selection waits for a folder, that folder's "Reading..." row, in the
        // middle, so that the folder shows above it.
        if (const TFolderNode* waitedFor = loader_->WaitsFor())
            scrollTo(IndexOf(waitedFor->Children.empty() ? waitedFor : waitedFor->Children.back().get()),
                     PositionAtCenter);
        else if (currentIndex().isValid())
            scrollTo(currentIndex());
    });
}

void TdfsSystemTreeView::scrollTo(const QModelIndex& index, ScrollHint hint)
{
    // Qt scrolls a column wider than the pane back to its left edge, which hides
    // the label of every deep node: a click or an arrow key would move the selected
    // folder out of sight. Keep the sideways position and only move it as far as
    // the label needs.
    QScrollBar* h = horizontalScrollBar();
    const int before = h->value();
    QTreeView::scrollTo(index, hint);
    h->setValue(before);
    ScrollLabelIntoView(index);
}

void TdfsSystemTreeView::ScrollLabelIntoView(const QModelIndex& index)
{
    // A deep node in a narrow pane: the view alone may leave the node's icon and
    // text outside on the right. Show them, with one level of indent to the left.
    const QRect rect = visualRect(index);
    if (!rect.isValid())
        return;
    // The cell runs to the end of the column, which is as wide as the longest name
    // in view: measure the label itself, or a shallow node would scroll as well.
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const int label = std::min(rect.width(), itemDelegateForIndex(index)->sizeHint(option, index).width());
    const int width = viewport()->width();
    if (rect.left() < 0 || rect.left() + std::min(label, width) > width) {
        QScrollBar* h = horizontalScrollBar();
        h->setValue(std::max(h->minimum(), h->value() + rect.left() - indentation()));
    }
}

void TdfsSystemTreeView::SelectIdList(PCIdList absoluteIdList)
{
    loader_->SelectIdList(absoluteIdList);
}

void TdfsSystemTreeView::CurrentChanged(const QModelIndex& current)
{
    if (destroying_)
        return;
    // Another node chosen while a selection waits for a folder: that one is off.
    loader_->GiveUpWalk();
    BusyCursor busy(busy_, [this] { ShowBusy(); });
    emit OnChange(NodeOf(current));
    if (readDelay_ == 0 || notifyImmediately_) {
        comboTimer_->stop();
        TellComboBox();
        notifyImmediately_ = false;
    } else {
        comboTimer_->start(readDelay_);
    }
}

void TdfsSystemTreeView::TellComboBox()
{
    if (comboBox_)
        comboBox_->TreeChanged(*this);
}

void TdfsSystemTreeView::VolumesChanged()
{
    // A volume came or went: rebuild, keeping the selection.
    Reset();
}

// --- renaming in place ------------------------------------------------------------------------

bool TdfsSystemTreeView::StartEditing(TFolderNode* node)
{
    if (!node || !node->Data || !(node->Data->Attributes & shell::SFGAO_CANRENAME))
        return false;
    const QModelIndex index = IndexOf(node);
    setCurrentIndex(index);
    return edit(index, QAbstractItemView::AllEditTriggers, nullptr);
}

bool TdfsSystemTreeView::EndEdit(TFolderNode* node, const QString& text)
{
    if (!node || !node->Data || text.isEmpty())
        return false;
    const QString shown = QString::fromUtf8(node->Text.data(), static_cast<qsizetype>(node->Text.size()));
    // Unchanged text is no rename (and keeps a name that is not UTF-8 as it is).
    if (text == shown)
        return true;
    const QByteArray newName = text.toUtf8();
    TFolderItemData* parentRecord = node->Parent ? node->Parent->Data.get() : nullptr;
    std::string why;
    if (!RenameItem(node->Data.get(), std::string_view(newName.constData(), newName.size()), parentRecord, &why,
                    networkWait_)) {
        ShowError(QStringLiteral("Cannot rename %1: %2").arg(shown, QString::fromUtf8(why.data(), qsizetype(why.size()))));
        return false;
    }
    model_->SetText(node, newName.toStdString());
    // The records below still name the old path: enumerate them again.
    if (node->Data->Populated)
        RefreshNode(node);
    emit OnEdited(node);
    return true;
}

void TdfsSystemTreeView::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    QTreeView::closeEditor(editor, hint);
    if (!Editing())
        emit OnEditorClosed();
}

// --- context menu, autoscroll, errors -----------------------------------------------------------

bool TdfsSystemTreeView::ShowShellMenu(TFolderNode* node, const QPoint& globalPos)
{
    if (!node || !node->Data || !node->Data->RelativeIdList)
        return false;
    // The menu runs an event loop of its own, in which a refresh or a change of
    // volumes may delete the node: it is found again through the model afterwards.
    const QPersistentModelIndex index(IndexOf(node));
    bool rename = false;
    const bool handled = ShowItemsContextMenu(node->Data->ParentFolder, node->Data->RelativeIdList.Get(),
                                              node->Data->Attributes, rename, globalPos, this);
    if (rename && index.isValid())
        StartEditing(NodeOf(index));
    return handled;
}

void TdfsSystemTreeView::contextMenuEvent(QContextMenuEvent* event)
{
    if (popupMenuMethod_ == pmmContext || popupMenuMethod_ == pmmContextUser) {
        TFolderNode* node = nullptr;
        QPoint global = event->globalPos();
        if (event->reason() == QContextMenuEvent::Keyboard) {
            node = Selected();
            if (node) {
                const QRect r = visualRect(IndexOf(node));
                global = viewport()->mapToGlobal(r.center());
            }
        } else {
            node = NodeAt(viewport()->mapFromGlobal(event->globalPos()));
        }
        if (node) {
            SetSelected(node);
            if (ShowShellMenu(node, global)) {
                event->accept();
                return;
            }
        }
    }
    if ((popupMenuMethod_ == pmmUser || popupMenuMethod_ == pmmContextUser) && popupMenu_) {
        popupMenu_->popup(event->globalPos());
        event->accept();
        return;
    }
    event->ignore();
}

void TdfsSystemTreeView::keyPressEvent(QKeyEvent* event)
{
    // "*" would expand the whole branch below the node, enumerating every folder
    // under it (without end through a symbolic link that leads back up). Here it
    // opens the selected node, as "+" does.
    if (event->key() == Qt::Key_Asterisk) {
        if (TFolderNode* node = Selected())
            ExpandNode(node);
        event->accept();
        return;
    }
    // Shift+F10 is the context-menu key of keyboards without one.
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
        QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(), QCursor::pos());
        contextMenuEvent(&menuKey);
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Escape && state() != QAbstractItemView::EditingState && Busy()) {
        GiveUp();
        event->accept();
        return;
    }
    // Backspace goes up to the parent folder, as it does in the shortcut list.
    if (event->key() == Qt::Key_Backspace && event->modifiers() == Qt::NoModifier) {
        if (const QModelIndex parent = currentIndex().parent(); parent.isValid())
            setCurrentIndex(parent);
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void TdfsSystemTreeView::mouseMoveEvent(QMouseEvent* event)
{
    if (autoscroll_) {
        const QPoint p = viewport()->mapTo(this, event->position().toPoint());
        DoAutoscroll(p.x(), p.y());
    }
    QTreeView::mouseMoveEvent(event);
}

void TdfsSystemTreeView::DoAutoscroll(int x, int y)
{
    const int margin = std::abs(QFontMetrics(font()).height());
    const QScrollBar* h = horizontalScrollBar();
    const QScrollBar* v = verticalScrollBar();
    const int a = (h->minimum() != h->maximum()) ? 16 : 0;
    const int b = (v->minimum() != v->maximum()) ? 16 : 0;
    if (y < margin)
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (y > height() - b - margin)
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    if (x < margin)
        horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (x > width() - a - margin)
        horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
}

void TdfsSystemTreeView::ShowError(const QString& message)
{
    if (OnError) {
        OnError(message);
        return;
    }
    // Opened without a loop of its own: the failure may come in the middle of an
    // expansion Qt runs from a key press or a paint, whose events must not run again
    // meanwhile.
    auto* box = new QMessageBox(QMessageBox::Critical, QApplication::applicationName(), message, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->open();
}
