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
#include <cstring>
#include <utility>

#include "foldertree/FolderReader.h"
#include "foldertree/FolderTreeModel.h"
#include "foldertree/MountTableWatcher.h"
#include "platform/icons/SystemIconList.h"
#include "platform/shell/NetworkMounts.h"
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

constexpr const char* kReadingText = "Reading...";

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
    reader_ = new TFolderReader(this);
    reader_->OnRead = [this](quint64 ticket, std::vector<IdList>& items) { ReadArrived(ticket, items); };
    // Nodes that go take their reads with them, whoever removes them.
    connect(model_, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex& parent, int first, int last) {
                TFolderNode* node = NodeOf(parent);
                const auto& rows = node ? node->Children : model_->Top();
                for (int row = first; row <= last && row < static_cast<int>(rows.size()); ++row)
                    ForgetReadsFrom(rows[static_cast<std::size_t>(row)].get());
                // A read of the parent fills rows that are going: it is over too.
                if (node && reads_.erase(node) && walk_.node == node)
                    walk_ = {};
                ShowBusy();
            });
    connect(model_, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        reads_.clear();
        walk_ = {};
        ShowBusy();
    });
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
        GiveUpReadsFrom(NodeOf(index));
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
    if (walk_.node)
        return walk_.target;
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
// Populated), then Read. A folder on a network mount (its item has SFGAO_ISSLOW, or
// its path leads onto one) is read on a worker thread (TFolderReader), since a server
// that went away would make the read wait for good; while it is read, the node is
// Reading, listed in reads_:
//
//   Unread --read--> Read      the children are inserted, sorted, in one go; a node
//                              that shows nothing loses its button. A folder that
//                              cannot be bound stays Unread, keeps its button (the
//                              next expansion tries again) and says why.
//   Unread --read off the GUI thread--> Reading --answer--> Read
//                              the node expands at once with one disabled
//                              "Reading..." row, which the answer replaces; the tree
//                              shows a busy cursor while any read is under way.
//   Reading --given up--> Unread with its button
//                              Esc, collapsing the node (or a node above it), or
//                              choosing another node while a selection waits for it.
//                              The worker is left to itself; its answer is dropped.
//   Read --RefreshNode--> Unread --read--> Read
//                              the children are dropped and read afresh; an expanded
//                              node is expanded again, and so are the children that
//                              were (when a read off the GUI thread answers). A
//                              collapsed folder on a network mount is read when it
//                              is next opened.
//   Read --ReadMissingChildren--> Read
//                              a selection by path that found no child for the next
//                              step reads the folder again and adds the children the
//                              node lacks; those it has keep their nodes and expansion
//                              (off the GUI thread too, for a network mount).
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
// fires OnPopulated when it ends positive; for a read off the GUI thread, when the
// answer comes) and ends with the children sorted. The tree's own step, expansion_,
// says where the one expansion under way on the GUI thread stands:
//
//   Idle --ExpansionCheck--> Reading(node) --children read--> Idle
//   Idle --check done, Qt about to expand--> Checked(node) --NodeExpanded--> Idle
//
// While Reading, AddNode collects the node's children into expansion_.batch instead
// of inserting them one by one; Checked tells NodeExpanded that the check already
// ran (and OnPopulated already fired) for the expansion Qt reports.
//
// A selection by path walks down from the root (Descend), expanding each folder on
// the way. When it reaches a folder being read off the GUI thread it waits in walk_
// and goes on when the answer comes; only then is its node selected and OnChange
// fired. Choosing another node meanwhile ends the walk (and gives up the read it
// waited for), as does a newer selection by path. A walk that waits for a share that
// never answers selects nothing: the deepest folder reached is not the one asked
// for, and showing it would send the list to the same silent share.

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

TdfsSystemTreeView::Nodes TdfsSystemTreeView::CollectChildren(TFolderNode* node, const std::function<bool()>& add,
                                                             bool& found)
{
    UpdateLock lock(this);
    expansion_ = {ExpansionStep::Reading, node, {}};
    try {
        found = add();
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

TdfsSystemTreeView::Nodes TdfsSystemTreeView::ReadChildren(const ShellFolderPtr& folder, TFolderNode* node,
                                                          bool& found)
{
    BusyCursor busy(busy_, [this] { ShowBusy(); });
    return CollectChildren(node, [&] { return EnumerateChildren(*this, folder, node); }, found);
}

bool TdfsSystemTreeView::ExpansionCheck(TFolderNode* node, bool opening)
{
    if (!node)
        return false;
    bool answer = true;
    if (node->Data && !node->Data->Populated) {
        // Being read: its "Reading..." row shows until the answer comes.
        if (reads_.count(node))
            return true;
        ShellFolderPtr folder;
        try {
            folder = BindItemFolder(*this, *node);
        } catch (const std::exception& e) {
            ShowError(QString::fromUtf8(e.what()));
            return false;
        }
        if (IsSlow(node)) {
            // Not opened (a refresh): it keeps its button and is read when it is.
            if (opening)
                StartRead(node, ReadKind::Fill, std::move(folder));
            return true;
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
    // Only the expansion of the direct children survives.
    std::vector<std::string> expanded;
    for (const auto& child : node->Children)
        if (IsNodeExpanded(child.get()))
            expanded.push_back(child->Text);
    UpdateLock lock(this);
    model_->RemoveChildren(node);
    if (node->Data) {
        node->Data->Populated = false;
        node->HasButton = true;
        const bool ok = ExpansionCheck(node, wasExpanded);
        if (ok && wasExpanded)
            ExpandChecked(node);
        else if (!ok && IsNodeExpanded(node))
            collapse(IndexOf(node));
        if (const auto read = reads_.find(node); read != reads_.end())
            read->second.reopen = std::move(expanded);
        else
            ExpandChildrenNamed(node, std::move(expanded));
        scheduleDelayedItemsLayout();
    }
    TellComboBox();
}

void TdfsSystemTreeView::ExpandChildrenNamed(TFolderNode* node, std::vector<std::string> names)
{
    for (std::size_t i = 0; i < node->Children.size() && !names.empty(); ++i) {
        TFolderNode* child = node->Children[i].get();
        if (const auto it = std::find(names.begin(), names.end(), child->Text); it != names.end()) {
            names.erase(it);
            ExpandNode(child);
        }
    }
}

bool TdfsSystemTreeView::ReadMissingChildren(TFolderNode* node)
{
    if (!node || !node->Data || !node->Data->Populated || reads_.count(node))
        return false;
    ShellFolderPtr folder;
    try {
        folder = BindItemFolder(*this, *node);
    } catch (const std::exception&) {
        return false; // gone since it was read: nothing to add
    }
    if (IsSlow(node)) {
        StartRead(node, ReadKind::Missing, std::move(folder));
        return false; // nothing yet: the answer adds them
    }
    bool found = false;
    Nodes read = ReadChildren(folder, node, found);
    return AddMissingChildren(node, read);
}

bool TdfsSystemTreeView::AddMissingChildren(TFolderNode* node, Nodes& read)
{
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

// --- reads off the GUI thread ---------------------------------------------------------------

bool TdfsSystemTreeView::IsSlow(const TFolderNode* node) const
{
    if (!node->Data)
        return false;
    if (node->Data->Attributes & shell::SFGAO_ISSLOW)
        return true;
    // Mounted since the item was made, or reached through a link made since.
    const std::string path = GetNodePath(node);
    return !path.empty() && shell::NetworkMountOf(path).has_value();
}

void TdfsSystemTreeView::StartRead(TFolderNode* node, ReadKind kind, ShellFolderPtr folder)
{
    // The worker gets a folder object of its own: nothing on this thread touches it.
    ShellFolderPtr own;
    try {
        own = BindItemFolder(*this, *node);
    } catch (const std::exception&) {
        own = folder;
    }
    const quint64 ticket = ++lastTicket_;
    reads_[node] = {ticket, kind, std::move(folder), {}};
    if (kind == ReadKind::Fill) {
        Nodes reading;
        reading.push_back(std::make_unique<TFolderNode>());
        reading.back()->Text = kReadingText;
        reading.back()->Placeholder = true;
        model_->InsertChildren(node, reading);
    }
    reader_->Read(ticket, std::move(own), EnumerationFlags(*this));
    ShowBusy();
}

void TdfsSystemTreeView::ReadArrived(quint64 ticket, std::vector<IdList>& items)
{
    const auto it =
        std::find_if(reads_.begin(), reads_.end(), [ticket](const auto& read) { return read.second.ticket == ticket; });
    if (it == reads_.end())
        return; // given up, or its node went
    TFolderNode* node = it->first;
    const Read read = std::move(it->second);
    reads_.erase(it);
    ShowBusy();
    bool found = false;
    Nodes children = CollectChildren(node, [&] { return AddChildren(*this, read.folder, node, items); }, found);
    UpdateLock lock(this);
    if (read.kind == ReadKind::Fill) {
        model_->RemoveChildren(node); // the "Reading..." row
        model_->InsertChildren(node, children);
        node->Data->Populated = true;
        // As when read on this thread: a folder that could not be read, or shows
        // nothing, loses its button.
        if ((!found && (node->Parent || rootFolder_ != rfDesktop)) || node->Children.empty()) {
            node->HasButton = false;
            model_->NodeChanged(node);
            collapse(IndexOf(node));
        } else {
            emit OnPopulated(node);
            ExpandChildrenNamed(node, read.reopen);
        }
    } else {
        AddMissingChildren(node, children);
    }
    if (walk_.node == node) {
        Walk walk = std::exchange(walk_, {});
        if (!walk.rest) {
            // The root was being read: the path parses now.
            SelectPath(walk.target);
            return;
        }
        WalkTo(node, walk.rest.Get(), true, walk.expandAtEnd);
    }
}

void TdfsSystemTreeView::GiveUpRead(TFolderNode* node)
{
    const auto it = reads_.find(node);
    if (it == reads_.end())
        return;
    const ReadKind kind = it->second.kind;
    reads_.erase(it);
    if (walk_.node == node)
        walk_ = {};
    if (kind == ReadKind::Fill) {
        // Back to Unread with its button: the next expansion reads again.
        UpdateLock lock(this);
        model_->RemoveChildren(node);
        node->HasButton = true;
        model_->NodeChanged(node);
        if (IsNodeExpanded(node))
            collapse(IndexOf(node));
    }
    ShowBusy();
}

void TdfsSystemTreeView::GiveUpReadsFrom(TFolderNode* node)
{
    std::vector<TFolderNode*> below;
    for (const auto& [reading, read] : reads_)
        for (const TFolderNode* p = reading; p; p = p->Parent)
            if (p == node) {
                below.push_back(reading);
                break;
            }
    for (TFolderNode* reading : below)
        GiveUpRead(reading);
}

void TdfsSystemTreeView::GiveUpWalk()
{
    if (TFolderNode* waitedFor = std::exchange(walk_, {}).node)
        GiveUpRead(waitedFor);
}

void TdfsSystemTreeView::GiveUp()
{
    GiveUpWalk();
    while (!reads_.empty())
        GiveUpRead(reads_.begin()->first);
}

void TdfsSystemTreeView::ForgetReadsFrom(const TFolderNode* node)
{
    // The nodes are going: nothing to show any more, only the records to drop.
    const auto isBelow = [node](const TFolderNode* n) {
        for (; n; n = n->Parent)
            if (n == node)
                return true;
        return false;
    };
    for (auto it = reads_.begin(); it != reads_.end();)
        it = isBelow(it->first) ? reads_.erase(it) : std::next(it);
    if (walk_.node && isBelow(walk_.node))
        walk_ = {};
}

void TdfsSystemTreeView::ShowBusy()
{
    if (busy_ > 0)
        viewport()->setCursor(Qt::WaitCursor);
    else if (!reads_.empty())
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
    if (walk_.node && pendingSelection_.empty())
        pendingSelection_ = walk_.target;
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
        if (list)
            WalkTo(RootNode(), list, false, wasExpanded);
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
    if (reads_.count(root)) {
        // The root's own items are being read: the path is parsed once they are there.
        walk_ = {root, {}, path, false};
        return;
    }
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
    WalkTo(root, list.Get(), false, false);
}

TFolderNode* TdfsSystemTreeView::FindNode(PCIdList idList)
{
    TFolderNode* root = RootNode();
    if (!root || !idList)
        return nullptr;
    return Descend(root, idList, false);
}

TFolderNode* TdfsSystemTreeView::Descend(TFolderNode* current, PCIdList& at, bool justRead)
{
    // The children of a node read earlier may lack a folder made (or renamed) since:
    // a miss reads the node's folder again, once, before it counts as one. justRead:
    // the folder of current was read on this very walk and knows its children.
    const auto matchingChild = [](const TFolderNode* node, PCIdList wanted) -> TFolderNode* {
        for (const auto& child : node->Children) {
            const TFolderItemData* data = child->Data.get();
            if (data && data->ParentFolder &&
                (data->ParentFolder->CompareIDs(0, data->RelativeIdList.Get(), wanted) & 0xFFFF) == 0)
                return child.get();
        }
        return nullptr;
    };
    while (at && shell::ItemSize(at) != 0 && !reads_.count(current)) {
        const IdList wanted = CopyFirstId(at);
        TFolderNode* match = matchingChild(current, wanted.Get());
        if (!match && !justRead && ReadMissingChildren(current))
            match = matchingChild(current, wanted.Get());
        if (!match)
            break;
        current = match;
        at = NextId(at);
        if (!at || shell::ItemSize(at) == 0)
            break;
        justRead = current->Data && !current->Data->Populated;
        ExpandNode(current);
    }
    return current;
}

void TdfsSystemTreeView::WalkTo(TFolderNode* from, PCIdList at, bool justRead, bool expandAtEnd)
{
    // A newer selection replaces one still on its way (the read it waited for goes
    // on, and fills its folder).
    walk_ = {};
    const PCIdList whole = at;
    TFolderNode* node = from ? Descend(from, at, justRead) : nullptr;
    if (node && at && shell::ItemSize(at) != 0 && reads_.count(node)) {
        const TFolderItemData* base = from->Data.get();
        const IdList absolute = ConcatIdLists(base ? base->AbsoluteIdList.Get() : nullptr, whole);
        walk_ = {node, CopyIdList(at), GetItemPath(absolute.Get()), expandAtEnd};
        // In view meanwhile: the folder waited for, and its "Reading..." row.
        ScrollIntoView(node->Children.empty() ? node : node->Children.back().get());
        return;
    }
    SetSelected(node);
    if (node) {
        ScrollIntoView(node);
        if (expandAtEnd)
            ExpandNode(node);
    }
}

void TdfsSystemTreeView::ScrollIntoView(TFolderNode* node)
{
    scrollTo(IndexOf(node));
    // Laying the new rows out may bring a horizontal scroll bar that covers the last
    // row: look again once the view has settled.
    QTimer::singleShot(0, this, [this] {
        // While a selection waits for a folder, that folder's "Reading..." row, in the
        // middle, so that the folder shows above it.
        if (const TFolderNode* waitedFor = walk_.node)
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
    if (!absoluteIdList)
        return;
    PCIdList list = absoluteIdList;
    if (rootFolder_ == rfDrives || rootFolder_ == rfFileSystem)
        list = NextId(list);
    if (!list)
        return;
    WalkTo(RootNode(), list, false, false);
}

void TdfsSystemTreeView::CurrentChanged(const QModelIndex& current)
{
    if (destroying_)
        return;
    // Another node chosen while a selection waits for a folder: that one is off.
    GiveUpWalk();
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
    node->Text = newName.toStdString();
    node->IconsFetched = false;
    model_->NodeChanged(node);
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
    QMessageBox::critical(this, QApplication::applicationName(), message);
}
