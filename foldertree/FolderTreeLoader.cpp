#include "foldertree/FolderTreeLoader.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

#include "foldertree/FolderReader.h"
#include "foldertree/FolderTreeModel.h"
#include "platform/shell/NetworkMounts.h"

namespace shell = platform::shell;

namespace {

// Drawing held while nodes change in a row, so the view lays them out once.
class Freeze {
public:
    explicit Freeze(TFolderTreeLoader::Viewer& viewer) : viewer_(viewer) { viewer_.BeginUpdate(); }
    ~Freeze() { viewer_.EndUpdate(); }
    Freeze(const Freeze&) = delete;
    Freeze& operator=(const Freeze&) = delete;

private:
    TFolderTreeLoader::Viewer& viewer_;
};

// A read on this thread: the view shows the hourglass meanwhile.
class WorkingNow {
public:
    WorkingNow(int& depth, TFolderTreeLoader::Viewer& viewer) : depth_(depth), viewer_(viewer)
    {
        ++depth_;
        viewer_.ShowBusy();
    }
    ~WorkingNow()
    {
        --depth_;
        viewer_.ShowBusy();
    }
    WorkingNow(const WorkingNow&) = delete;
    WorkingNow& operator=(const WorkingNow&) = delete;

private:
    int& depth_;
    TFolderTreeLoader::Viewer& viewer_;
};

std::string PathOf(const TFolderNode* node)
{
    if (!node || !node->Data)
        return {};
    return GetItemPath(node->Data->AbsoluteIdList.Get());
}

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

TFolderTreeLoader::TFolderTreeLoader(TFolderTreeModel& model, Viewer& viewer) : model_(model), viewer_(viewer)
{
    reader_ = new TFolderReader(this);
    reader_->OnRead = [this](quint64 ticket, std::vector<IdList>& items) { ReadArrived(ticket, items); };
    reader_->OnSilent = [this](quint64 ticket, const std::string& mountPoint) { ReadSilent(ticket, mountPoint); };
    // Nodes that go take their reads with them, whoever removes them.
    connect(&model_, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex& parent, int first, int last) {
                RowsGoing(TFolderTreeModel::NodeOf(parent), first, last);
            });
    connect(&model_, &QAbstractItemModel::modelAboutToBeReset, this, [this] { Forget(); });
}

TFolderTreeLoader::~TFolderTreeLoader() = default;

void TFolderTreeLoader::SetFileMask(const std::string& mask)
{
    fileMask_ = mask;
    ParseMaskString(fileMask_, maskList_);
}

// --- expansion ------------------------------------------------------------------------------
//
// How a folder node comes to show its children. All of it is here; nothing else
// reads children into the tree.
//
// A node with a record is Unread until its children have been read (its record is
// Populated), then Read. A folder on a network mount (its item has SFGAO_ISSLOW, or
// its path leads onto one) is read on its mount's queue (TFolderReader), since a server
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
//                              The worker is left to itself; its answer is dropped
//                              (a read still waiting in its mount's queue never runs).
//   Reading --the mount does not answer--> Unread with its button
//                              the mount's queue judged it silent (a call given up
//                              on it is still under way): an error names the mount.
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
// Every expansion runs the expansion check (Check) once, which reads an Unread node
// and tells the viewer NodePopulated when it ends positive (for a read off the GUI
// thread, when the answer comes); the view sorts the children once they are shown.
// The view starts a check in one of three ways (SystemTreeView.cpp): code opening a
// node (ExpandNode: a selection's walk down, "*", Refresh), Qt asking the model for
// the children before it expands a node (a click on the button, the Right arrow, a
// double click), and Qt reporting a node expanded that it never asked about
// (expandRecursively, a node expanded while hidden).
//
// While a folder is read on this thread, AddNode collects its children into batch_
// instead of inserting them one by one.
//
// A selection by path walks down from the root (Descend), expanding each folder on
// the way. When it reaches a folder being read off the GUI thread it waits in walk_
// and goes on when the answer comes; only then is its node selected. Choosing
// another node meanwhile ends the walk (and gives up the read it waited for), as
// does a newer selection by path. A walk that waits for a share that never answers
// selects nothing: the deepest folder reached is not the one asked for, and showing
// it would send the list to the same silent share.

TFolderNode* TFolderTreeLoader::AddNode(const ShellFolderPtr& folder, IdList& absolute, TFolderNode* parent,
                                        IdList& relative)
{
    TFolderItemInfo info;
    if (!MakeFolderItem(*this, folder, absolute, parent, relative, info))
        return nullptr;
    std::unique_ptr<TFolderNode> node = TFolderTreeModel::MakeNode(parent, std::move(info));
    TFolderNode* added = node.get();
    if (collecting_ && collecting_ == parent) {
        batch_.push_back(std::move(node));
    } else {
        Nodes one;
        one.push_back(std::move(node));
        model_.InsertChildren(parent, one);
    }
    return added;
}

TFolderTreeLoader::Nodes TFolderTreeLoader::CollectChildren(TFolderNode* node, const std::function<bool()>& add,
                                                           bool& found)
{
    Freeze freeze(viewer_);
    collecting_ = node;
    batch_.clear();
    try {
        found = add();
    } catch (...) {
        collecting_ = nullptr;
        batch_.clear();
        throw;
    }
    collecting_ = nullptr;
    Nodes batch = std::exchange(batch_, {});
    // Sorted before they are shown, so the view lays the branch out once.
    std::stable_sort(batch.begin(), batch.end(), [](const auto& a, const auto& b) {
        return CompareFolderItems(a.get(), b.get()) < 0;
    });
    return batch;
}

TFolderTreeLoader::Nodes TFolderTreeLoader::ReadChildren(const ShellFolderPtr& folder, TFolderNode* node, bool& found)
{
    WorkingNow working(working_, viewer_);
    return CollectChildren(node, [&] { return EnumerateChildren(*this, folder, node); }, found);
}

bool TFolderTreeLoader::Check(TFolderNode* node, bool opening)
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
            viewer_.ShowError(QString::fromUtf8(e.what()));
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
        model_.SetChildren(node, children);
        answer = (!node->Parent && rootFolder_ == rfDesktop) ? true : found;
    }
    // A branch that shows nothing loses its button, whatever the enumeration said.
    if (node->Children.empty())
        answer = false;
    if (!answer) {
        model_.SetHasButton(node, false);
        return false;
    }
    viewer_.NodePopulated(node);
    return true;
}

bool TFolderTreeLoader::ExpandNode(TFolderNode* node)
{
    if (!node || !Check(node))
        return false;
    viewer_.ShowExpanded(node);
    return true;
}

void TFolderTreeLoader::Rebuild(bool expandRoot)
{
    model_.Clear();
    IdList root;
    if (!GetRootIdList(*this, rootFolder_, customDir_, root))
        return;
    IdList absolute = CopyIdList(root.Get());
    TFolderNode* added = AddNode(desktopFolder_, absolute, nullptr, root);
    if (expandRoot && added)
        ExpandNode(added);
}

void TFolderTreeLoader::RefreshNode(TFolderNode* node)
{
    if (!node)
        return;
    const bool wasExpanded = viewer_.IsNodeExpanded(node);
    // Only the expansion of the direct children survives.
    std::vector<std::string> expanded;
    for (const auto& child : node->Children)
        if (viewer_.IsNodeExpanded(child.get()))
            expanded.push_back(child->Text);
    Freeze freeze(viewer_);
    model_.ForgetChildren(node);
    if (!node->Data)
        return;
    const bool ok = Check(node, wasExpanded);
    if (ok && wasExpanded)
        viewer_.ShowExpanded(node);
    else if (!ok && viewer_.IsNodeExpanded(node))
        viewer_.CollapseNode(node);
    if (const auto read = reads_.find(node); read != reads_.end())
        read->second.reopen = std::move(expanded);
    else
        ExpandChildrenNamed(node, std::move(expanded));
}

void TFolderTreeLoader::ExpandChildrenNamed(TFolderNode* node, std::vector<std::string> names)
{
    for (std::size_t i = 0; i < node->Children.size() && !names.empty(); ++i) {
        TFolderNode* child = node->Children[i].get();
        if (const auto it = std::find(names.begin(), names.end(), child->Text); it != names.end()) {
            names.erase(it);
            ExpandNode(child);
        }
    }
}

bool TFolderTreeLoader::ReadMissingChildren(TFolderNode* node)
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

bool TFolderTreeLoader::AddMissingChildren(TFolderNode* node, Nodes& read)
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
    Freeze freeze(viewer_);
    model_.InsertChildren(node, missing);
    model_.SortChildren(node);
    model_.SetHasButton(node, true);
    ExpandNode(node);
    return true;
}

// --- reads off the GUI thread ---------------------------------------------------------------

bool TFolderTreeLoader::IsSlow(const TFolderNode* node) const
{
    if (!node->Data)
        return false;
    if (node->Data->Attributes & shell::SFGAO_ISSLOW)
        return true;
    // Mounted since the item was made, or reached through a link made since.
    const std::string path = PathOf(node);
    return !path.empty() && shell::NetworkMountOf(path).has_value();
}

void TFolderTreeLoader::StartRead(TFolderNode* node, ReadKind kind, ShellFolderPtr folder)
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
    if (kind == ReadKind::Fill)
        model_.ShowReading(node);
    const std::optional<shell::NetworkMount> mount = shell::NetworkMountOf(PathOf(node));
    reader_->Read(ticket, std::move(own), EnumerationFlags(*this), mount ? mount->MountPoint : std::string());
    viewer_.ShowBusy();
}

void TFolderTreeLoader::ReadArrived(quint64 ticket, std::vector<IdList>& items)
{
    const auto it =
        std::find_if(reads_.begin(), reads_.end(), [ticket](const auto& read) { return read.second.ticket == ticket; });
    if (it == reads_.end())
        return; // given up, or its node went
    TFolderNode* node = it->first;
    const Read read = std::move(it->second);
    reads_.erase(it);
    viewer_.ShowBusy();
    bool found = false;
    Nodes children = CollectChildren(node, [&] { return AddChildren(*this, read.folder, node, items); }, found);
    Freeze freeze(viewer_);
    if (read.kind == ReadKind::Fill) {
        model_.SetChildren(node, children); // in place of the "Reading..." row
        // As when read on this thread: a folder that could not be read, or shows
        // nothing, loses its button.
        if ((!found && (node->Parent || rootFolder_ != rfDesktop)) || node->Children.empty()) {
            model_.SetHasButton(node, false);
            viewer_.CollapseNode(node);
        } else {
            viewer_.NodePopulated(node);
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

void TFolderTreeLoader::GiveUpRead(TFolderNode* node)
{
    const auto it = reads_.find(node);
    if (it == reads_.end())
        return;
    const ReadKind kind = it->second.kind;
    reader_->Drop(it->second.ticket);
    reads_.erase(it);
    if (walk_.node == node)
        walk_ = {};
    if (kind == ReadKind::Fill) {
        // Back to Unread with its button: the next expansion reads again.
        Freeze freeze(viewer_);
        model_.ForgetChildren(node);
        if (viewer_.IsNodeExpanded(node))
            viewer_.CollapseNode(node);
    }
    viewer_.ShowBusy();
}

void TFolderTreeLoader::ReadSilent(quint64 ticket, const std::string& mountPoint)
{
    const auto it =
        std::find_if(reads_.begin(), reads_.end(), [ticket](const auto& read) { return read.second.ticket == ticket; });
    if (it == reads_.end())
        return;
    // As if given up: the folder keeps its button, and the next expansion tries again.
    GiveUpRead(it->first);
    viewer_.ShowError(QString::fromStdString(mountPoint) + QStringLiteral(" does not answer"));
}

void TFolderTreeLoader::GiveUpReadsFrom(TFolderNode* node)
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

void TFolderTreeLoader::GiveUpWalk()
{
    if (TFolderNode* waitedFor = std::exchange(walk_, {}).node)
        GiveUpRead(waitedFor);
}

void TFolderTreeLoader::GiveUp()
{
    GiveUpWalk();
    while (!reads_.empty())
        GiveUpRead(reads_.begin()->first);
}

void TFolderTreeLoader::ForgetReadsFrom(const TFolderNode* node)
{
    // The nodes are going: nothing to show any more, only the records to drop.
    const auto isBelow = [node](const TFolderNode* n) {
        for (; n; n = n->Parent)
            if (n == node)
                return true;
        return false;
    };
    for (auto it = reads_.begin(); it != reads_.end();) {
        if (!isBelow(it->first)) {
            ++it;
            continue;
        }
        reader_->Drop(it->second.ticket);
        it = reads_.erase(it);
    }
    if (walk_.node && isBelow(walk_.node))
        walk_ = {};
}

void TFolderTreeLoader::RowsGoing(TFolderNode* parent, int first, int last)
{
    const auto& rows = parent ? parent->Children : model_.Top();
    for (int row = first; row <= last && row < static_cast<int>(rows.size()); ++row)
        ForgetReadsFrom(rows[static_cast<std::size_t>(row)].get());
    // A read of the parent fills rows that are going: it is over too.
    if (const auto read = parent ? reads_.find(parent) : reads_.end(); read != reads_.end()) {
        reader_->Drop(read->second.ticket);
        reads_.erase(read);
        if (walk_.node == parent)
            walk_ = {};
    }
    viewer_.ShowBusy();
}

void TFolderTreeLoader::Forget()
{
    for (const auto& [node, read] : reads_)
        reader_->Drop(read.ticket);
    reads_.clear();
    walk_ = {};
    viewer_.ShowBusy();
}

// --- walking to a path ------------------------------------------------------------------------

void TFolderTreeLoader::SelectPath(const std::string& path)
{
    TFolderNode* root = model_.RootNode();
    if (!root)
        return;
    if (!viewer_.IsNodeExpanded(root))
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
        const std::string rootPath = PathOf(root);
        if (!rootPath.empty() && (rest.empty() || trimmed(path) == trimmed(rootPath))) {
            viewer_.ShowSelected(root);
            return;
        }
    }
    IdList list;
    if (!ParsePath(folder, rest, list))
        return;
    Freeze freeze(viewer_);
    WalkTo(root, list.Get(), false, false);
}

void TFolderTreeLoader::SelectIdList(PCIdList absoluteIdList)
{
    if (!absoluteIdList)
        return;
    PCIdList list = absoluteIdList;
    if (rootFolder_ == rfDrives || rootFolder_ == rfFileSystem)
        list = NextId(list);
    if (!list)
        return;
    WalkTo(model_.RootNode(), list, false, false);
}

void TFolderTreeLoader::Reselect(PCIdList absoluteIdList, bool expand)
{
    TFolderNode* root = model_.RootNode();
    if (!root || !absoluteIdList)
        return;
    PCIdList list = absoluteIdList;
    if (rootFolder_ == rfDrives || rootFolder_ == rfFileSystem) {
        list = NextId(list);
    } else if (rootFolder_ != rfDesktop && root->Data) {
        // The list starts at the desktop; below the root it is the part behind the
        // root's own items.
        if (PCIdList below = StripPrefix(list, root->Data->AbsoluteIdList.Get()))
            list = below;
    }
    if (list)
        WalkTo(root, list, false, expand);
}

TFolderNode* TFolderTreeLoader::FindNode(PCIdList idList)
{
    TFolderNode* root = model_.RootNode();
    if (!root || !idList)
        return nullptr;
    return Descend(root, idList, false);
}

TFolderNode* TFolderTreeLoader::Descend(TFolderNode* current, PCIdList& at, bool justRead)
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

void TFolderTreeLoader::WalkTo(TFolderNode* from, PCIdList at, bool justRead, bool expandAtEnd)
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
        viewer_.ShowWaiting(node);
        return;
    }
    viewer_.ShowSelected(node);
    if (node && expandAtEnd)
        ExpandNode(node);
}
