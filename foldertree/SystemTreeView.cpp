#include "foldertree/SystemTreeView.h"

#include <QAbstractItemDelegate>
#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QScrollBar>
#include <QShowEvent>
#include <QTimer>
#include <algorithm>
#include <cstring>

#include "foldertree/FolderTreeModel.h"
#include "foldertree/MountTableWatcher.h"
#include "platform/icons/SystemIconList.h"

namespace shell = platform::shell;

// --- small guards ---------------------------------------------------------------------------

namespace {

// The hourglass on the tree while it works.
class BusyCursor {
public:
    explicit BusyCursor(QAbstractScrollArea* w, int& depth) : w_(w), depth_(depth)
    {
        if (depth_++ == 0)
            w_->viewport()->setCursor(Qt::WaitCursor);
    }
    ~BusyCursor()
    {
        if (--depth_ == 0)
            w_->viewport()->unsetCursor();
    }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    QAbstractScrollArea* w_;
    int& depth_;
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

// The list behind prefix when list begins with prefix's items; null otherwise.
PCIdList StripPrefix(PCIdList list, PCIdList prefix)
{
    PCIdList a = list, b = prefix;
    while (shell::ItemSize(b) != 0) {
        const std::uint16_t cb = shell::ItemSize(b);
        if (shell::ItemSize(a) != cb || std::memcmp(a, b, cb) != 0)
            return nullptr;
        a += cb;
        b += cb;
    }
    return a;
}

} // namespace

// --- the tree ----------------------------------------------------------------------------

TdfsSystemTreeView::TdfsSystemTreeView(QWidget* parent) : QTreeView(parent)
{
    model_ = new TFolderTreeModel(this);
    model_->OnFetch = [this](TFolderNode* node) { FetchChildren(node); };
    model_->OnRename = [this](TFolderNode* node, const QString& text) { return EndEdit(node, text); };
    model_->SetDropHighlight(palette().brush(QPalette::Highlight), palette().brush(QPalette::HighlightedText));
    model_->SetProbeSubfolders(!showFiles_, showHiddenDirs_);
    setModel(model_);
    setHeaderHidden(true);
    setRootIsDecorated(true);
    setSortingEnabled(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
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
    SelectPath(path);
}

void TdfsSystemTreeView::SetRootFolder(TRootFolder root)
{
    if (root == rootFolder_)
        return;
    rootFolder_ = root;
    Reset();
}

void TdfsSystemTreeView::SetCustomDir(const std::string& dir)
{
    if (dir == customDir_)
        return;
    customDir_ = dir;
    Reset();
}

void TdfsSystemTreeView::SetCustomDirCaption(const std::string& caption)
{
    if (caption == customDirCaption_)
        return;
    customDirCaption_ = caption;
    if (TFolderNode* root = RootNode()) {
        root->Text = caption;
        model_->NodeChanged(root);
    }
}

void TdfsSystemTreeView::SetShowFiles(bool show)
{
    if (show == showFiles_)
        return;
    showFiles_ = show;
    // Folders that can list files have their buttons already.
    model_->SetProbeSubfolders(!showFiles_, showHiddenDirs_);
    Reset();
}

void TdfsSystemTreeView::SetShowHiddenDirs(bool show)
{
    showHiddenDirs_ = show;
    model_->SetProbeSubfolders(!showFiles_, showHiddenDirs_);
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
    if (mask == fileMask_)
        return;
    fileMask_ = mask;
    ParseMaskString(fileMask_, maskList_);
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
// How a folder node comes to show its children. All of it is here; nothing else
// reads children into the tree.
//
// A node with a record is Unread until its children have been read (its record is
// Populated), then Read:
//
//   Unread --read--> Read      the children are inserted, sorted, in one go; a node
//                              that shows nothing loses its button. A folder that
//                              cannot be bound stays Unread, keeps its button (the
//                              next expansion tries again) and says why.
//   Read --RefreshNode--> Unread --read--> Read
//                              the children are dropped and read afresh; an expanded
//                              node is expanded again.
//   Read --ReadMissingChildren--> Read
//                              a selection by path that found no child for the next
//                              step reads the folder again and adds the children the
//                              node lacks; those it has keep their nodes and expansion.
//   Unread without a button --the model's look finds a linked subfolder--> Unread
//                              with a button (FolderTreeModel, off the GUI thread).
//
// A read starts from whichever of these comes first:
//   ExpandNode        code opening a node: a selection's walk down, "*", Refresh;
//   FetchChildren     Qt asking the model for the children before it expands a node
//                     (a click on the button, the Right arrow, a double click);
//   NodeExpanded      Qt reporting a node expanded that it never asked about
//                     (expandRecursively, a node expanded while hidden).
//
// Every expansion runs the expansion check once (which reads an Unread node and
// fires OnPopulated when it ends positive) and ends with the children sorted. The
// tree's own step, expansion_, says where the one expansion under way stands:
//
//   Idle --ExpansionCheck--> Reading(node) --children read--> Idle
//   Idle --check done, Qt about to expand--> Checked(node) --NodeExpanded--> Idle
//
// While Reading, AddNode collects the node's children into expansion_.batch instead
// of inserting them one by one; Checked tells NodeExpanded that the check already
// ran (and OnPopulated already fired) for the expansion Qt reports.

TFolderNode* TdfsSystemTreeView::AddNode(const ShellFolderPtr& folder, IdList& absolute, TFolderNode* parent,
                                         IdList& relative)
{
    TFolderItemInfo info;
    if (!MakeFolderItem(*this, folder, absolute, parent, relative, info))
        return nullptr;
    auto node = std::make_unique<TFolderNode>();
    node->Parent = parent;
    node->Text = std::move(info.Name);
    node->Data = std::move(info.Data);
    node->OverlayIndex = info.Overlay;
    node->HasButton = info.HasButton;
    TFolderNode* added = node.get();
    if (expansion_.step == ExpansionStep::Reading && expansion_.node == parent) {
        expansion_.batch.push_back(std::move(node));
    } else {
        std::vector<std::unique_ptr<TFolderNode>> one;
        one.push_back(std::move(node));
        model_->InsertChildren(parent, one);
    }
    return added;
}

TdfsSystemTreeView::Nodes TdfsSystemTreeView::ReadChildren(const ShellFolderPtr& folder, TFolderNode* node,
                                                          bool& found)
{
    UpdateLock lock(this);
    BusyCursor busy(this, busy_);
    expansion_ = {ExpansionStep::Reading, node, {}};
    try {
        found = EnumerateChildren(*this, folder, node);
    } catch (...) {
        expansion_ = {};
        throw;
    }
    Nodes batch = std::move(expansion_.batch);
    expansion_ = {};
    // Sorted before they are shown, so the view lays the branch out once.
    std::stable_sort(batch.begin(), batch.end(), [](const auto& a, const auto& b) {
        return CompareFolderItems(a.get(), b.get()) < 0;
    });
    return batch;
}

bool TdfsSystemTreeView::ExpansionCheck(TFolderNode* node)
{
    if (!node)
        return false;
    bool answer = true;
    if (node->Data && !node->Data->Populated) {
        ShellFolderPtr folder;
        try {
            folder = BindItemFolder(*this, *node);
        } catch (const std::exception& e) {
            ShowError(QString::fromUtf8(e.what()));
            return false;
        }
        bool found = false;
        Nodes children = ReadChildren(folder, node, found);
        model_->InsertChildren(node, children);
        node->Data->Populated = true;
        answer = (!node->Parent && rootFolder_ == rfDesktop) ? true : found;
    }
    // A branch that shows nothing loses its button, whatever the enumeration said.
    if (node->Children.empty())
        answer = false;
    if (!answer) {
        node->HasButton = false;
        model_->NodeChanged(node);
        return false;
    }
    emit OnPopulated(node);
    return true;
}

void TdfsSystemTreeView::FetchChildren(TFolderNode* node)
{
    ExpansionCheck(node);
    // Qt expands the node next and reports it to NodeExpanded.
    expansion_ = {ExpansionStep::Checked, node, {}};
}

void TdfsSystemTreeView::ExpandChecked(TFolderNode* node)
{
    const QModelIndex index = IndexOf(node);
    if (!isExpanded(index)) {
        expansion_ = {ExpansionStep::Checked, node, {}};
        expand(index);
    }
    expansion_ = {};
}

bool TdfsSystemTreeView::ExpandNode(TFolderNode* node)
{
    if (!node)
        return false;
    if (!ExpansionCheck(node))
        return false;
    ExpandChecked(node);
    return true;
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
    bool checked = expansion_.step == ExpansionStep::Checked && expansion_.node == node;
    expansion_ = {};
    if (!checked && node->Data && !node->Data->Populated) {
        // Expanded without the model being asked for the children (the view only
        // records the state when it expands a whole branch): read them now.
        ExpansionCheck(node);
        checked = true;
    }
    if (node->Children.empty()) {
        collapse(index);
        // A folder that could not be bound keeps its button, so the next expansion
        // tries again; one that was read and holds nothing loses it.
        if (!node->Data || node->Data->Populated) {
            node->HasButton = false;
            model_->NodeChanged(node);
        }
        scheduleDelayedItemsLayout();
        return;
    }
    if (!checked)
        emit OnPopulated(node);
    UpdateLock lock(this);
    model_->SortChildren(node);
}

void TdfsSystemTreeView::RefreshNode(TFolderNode* node)
{
    if (!node)
        return;
    const bool wasExpanded = IsNodeExpanded(node);
    UpdateLock lock(this);
    model_->RemoveChildren(node);
    if (node->Data) {
        node->Data->Populated = false;
        node->HasButton = true;
        const bool ok = ExpansionCheck(node);
        if (ok && wasExpanded)
            ExpandChecked(node);
        else if (!ok && IsNodeExpanded(node))
            collapse(IndexOf(node));
        scheduleDelayedItemsLayout();
    }
    TellComboBox();
}

bool TdfsSystemTreeView::ReadMissingChildren(TFolderNode* node)
{
    if (!node || !node->Data || !node->Data->Populated)
        return false;
    ShellFolderPtr folder;
    try {
        folder = BindItemFolder(*this, *node);
    } catch (const std::exception&) {
        return false; // gone since it was read: nothing to add
    }
    bool found = false;
    Nodes read = ReadChildren(folder, node, found);
    // The children shown stay as they are (with their expansion and their nodes);
    // only the items they lack are added.
    std::vector<const TFolderNode*> shown;
    shown.reserve(node->Children.size());
    for (const auto& child : node->Children)
        shown.push_back(child.get());
    const auto before = [](const TFolderNode* a, const TFolderNode* b) { return CompareFolderItems(a, b) < 0; };
    std::sort(shown.begin(), shown.end(), before);
    Nodes missing;
    for (auto& child : read)
        if (!std::binary_search(shown.begin(), shown.end(), child.get(), before))
            missing.push_back(std::move(child));
    if (missing.empty())
        return false;
    UpdateLock lock(this);
    model_->InsertChildren(node, missing);
    model_->SortChildren(node);
    node->HasButton = true;
    model_->NodeChanged(node);
    ExpandNode(node);
    return true;
}

// --- rebuilding and selecting ---------------------------------------------------------------

void TdfsSystemTreeView::Reset()
{
    if (!handleAllocated_)
        return;
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
    model_->Clear();

    IdList root;
    if (GetRootIdList(*this, rootFolder_, customDir_, root)) {
        IdList absolute = CopyIdList(root.Get());
        TFolderNode* added = AddNode(desktopFolder_, absolute, nullptr, root);
        if (expandRoot_ && added && TopLevelCount() > 0)
            ExpandNode(added);
    }

    if (!pendingSelection_.empty()) {
        const std::string path = std::move(pendingSelection_);
        pendingSelection_.clear();
        SelectPath(path);
    } else if (remembered && RootNode()) {
        PCIdList list = remembered.Get();
        if (rootFolder_ == rfDrives || rootFolder_ == rfFileSystem) {
            list = NextId(list);
        } else if (rootFolder_ != rfDesktop && RootNode()->Data) {
            // The remembered list starts at the desktop; below the root it is the
            // part behind the root's own items.
            if (PCIdList below = StripPrefix(list, RootNode()->Data->AbsoluteIdList.Get()))
                list = below;
        }
        if (list) {
            TFolderNode* node = FindNode(list);
            SetSelected(node);
            if (node) {
                ScrollIntoView(node);
                if (wasExpanded)
                    ExpandNode(node);
            }
        }
    }
    notifyImmediately_ = savedNotify;
    TellComboBox();
}

void TdfsSystemTreeView::SelectPath(const std::string& path)
{
    TFolderNode* root = RootNode();
    if (!root)
        return;
    if (!IsNodeExpanded(root))
        ExpandNode(root);
    if (root->Children.empty() || !root->Children.front()->Data)
        return;
    const ShellFolderPtr folder = root->Children.front()->Data->ParentFolder;

    std::string_view rest = path;
    if (rootFolder_ != rfDesktop && rootFolder_ != rfDrives && rootFolder_ != rfFileSystem) {
        // A path below the root is parsed from the root: its name (the root's full
        // path, unless a caption names it) is cut off the front. Host paths tell
        // letter case apart, so the cut does too.
        std::string prefix = root->Text;
        if (!prefix.empty() && prefix.back() != '/')
            prefix += '/';
        if (!prefix.empty() && rest.substr(0, prefix.size()) == prefix)
            rest.remove_prefix(prefix.size());
        // The root's own path names the root, which no folder parses as one of its
        // items.
        auto trimmed = [](std::string_view p) {
            while (p.size() > 1 && p.back() == '/')
                p.remove_suffix(1);
            return p;
        };
        const std::string rootPath = GetNodePath(root);
        if (!rootPath.empty() && (rest.empty() || trimmed(path) == trimmed(rootPath))) {
            SetSelected(root);
            ScrollIntoView(root);
            return;
        }
    }
    IdList list;
    if (!ParsePath(folder, rest, list))
        return;
    UpdateLock lock(this);
    TFolderNode* node = FindNode(list.Get());
    SetSelected(node);
    if (node)
        ScrollIntoView(node);
}

TFolderNode* TdfsSystemTreeView::FindNode(PCIdList idList)
{
    TFolderNode* current = RootNode();
    if (!current || !idList)
        return nullptr;
    if (shell::ItemSize(idList) == 0)
        return current;
    // The children of a node read earlier may lack a folder made (or renamed) since:
    // a miss reads the node's folder again, once, before it counts as one.
    const auto matchingChild = [](const TFolderNode* node, PCIdList wanted) -> TFolderNode* {
        for (const auto& child : node->Children) {
            const TFolderItemData* data = child->Data.get();
            if (data && data->ParentFolder &&
                (data->ParentFolder->CompareIDs(0, data->RelativeIdList.Get(), wanted) & 0xFFFF) == 0)
                return child.get();
        }
        return nullptr;
    };
    PCIdList at = idList;
    IdList wanted = CopyFirstId(at);
    bool justRead = false; // a folder read on this very walk knows its children
    while (true) {
        TFolderNode* match = matchingChild(current, wanted.Get());
        if (!match && !justRead && ReadMissingChildren(current))
            match = matchingChild(current, wanted.Get());
        if (!match)
            break;
        current = match;
        at = NextId(at);
        if (!at || shell::ItemSize(at) == 0)
            break;
        wanted = CopyFirstId(at);
        justRead = current->Data && !current->Data->Populated;
        ExpandNode(current);
    }
    return current;
}

void TdfsSystemTreeView::ScrollIntoView(TFolderNode* node)
{
    scrollTo(IndexOf(node));
    // Laying the new rows out may bring a horizontal scroll bar that covers the last
    // row: look again once the view has settled.
    QTimer::singleShot(0, this, [this] {
        if (currentIndex().isValid())
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
    if (!absoluteIdList)
        return;
    PCIdList list = absoluteIdList;
    if (rootFolder_ == rfDrives || rootFolder_ == rfFileSystem)
        list = NextId(list);
    if (!list)
        return;
    TFolderNode* node = FindNode(list);
    SetSelected(node);
    if (node)
        ScrollIntoView(node);
}

void TdfsSystemTreeView::CurrentChanged(const QModelIndex& current)
{
    if (destroying_)
        return;
    BusyCursor busy(this, busy_);
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
    node->Text = newName.toStdString();
    node->IconsFetched = false;
    model_->NodeChanged(node);
    // The records below still name the old path: enumerate them again.
    if (node->Data->Populated)
        RefreshNode(node);
    emit OnEdited(node);
    return true;
}

// --- context menu, autoscroll, errors -----------------------------------------------------------

bool TdfsSystemTreeView::ShowShellMenu(TFolderNode* node, const QPoint& globalPos)
{
    (void)globalPos;
    if (!node || !node->Data || !node->Data->RelativeIdList)
        return false;
    // The shell's verbs for items are not wired to the tree yet: no menu.
    return false;
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
    QMessageBox::critical(this, QApplication::applicationName(), message);
}
