#pragma once
// TFolderTreeLoader: fills the folder tree's nodes. It reads a folder's children when
// its node is first opened (off the GUI thread for a folder on a network mount), gives
// reads up, reads a node afresh, and walks down to the node of a path. It holds what
// decides which items are shown (the root, files, hidden folders, the mask) and
// changes the nodes only through the tree's model (FolderTreeModel.h).
//
// It draws nothing: what it needs of the view showing the nodes (which nodes are open,
// the selection, the cursor, errors) it asks through TFolderTreeLoader::Viewer, which
// the tree view implements, and a test without a widget as well.
#include <QObject>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "foldertree/SystemControlPack.h"

class TFolderReader;
class TFolderTreeModel;

class TFolderTreeLoader : public QObject, public TFolderTreeBase {
    Q_OBJECT

public:
    // What the loader asks of whoever shows its nodes.
    class Viewer {
    public:
        virtual ~Viewer() = default;
        virtual bool IsNodeExpanded(const TFolderNode* node) const = 0;
        // Shows node open; its expansion check has run.
        virtual void ShowExpanded(TFolderNode* node) = 0;
        virtual void CollapseNode(TFolderNode* node) = 0;
        // Selects node (null clears the selection) and brings it into view.
        virtual void ShowSelected(TFolderNode* node) = 0;
        // A selection by path waits for node's read: the node, and the row that
        // stands for its children, in view.
        virtual void ShowWaiting(TFolderNode*) {}
        // Suspends and resumes drawing; nests.
        virtual void BeginUpdate() {}
        virtual void EndUpdate() {}
        // A read began or ended (Busy, Working).
        virtual void ShowBusy() {}
        // A node's expansion check ended positive.
        virtual void NodePopulated(TFolderNode*) {}
        virtual void ShowError(const QString& message) = 0;
    };

    // Raises std::runtime_error when the desktop folder cannot be obtained.
    TFolderTreeLoader(TFolderTreeModel& model, Viewer& viewer);
    ~TFolderTreeLoader() override;
    TFolderTreeLoader(const TFolderTreeLoader&) = delete;
    TFolderTreeLoader& operator=(const TFolderTreeLoader&) = delete;

    // --- what is shown (takes effect with the next Rebuild) -----------------------------
    void SetRootFolder(TRootFolder root) { rootFolder_ = root; }
    void SetCustomDir(const std::string& dir) { customDir_ = dir; }
    void SetCustomDirCaption(const std::string& caption) { customDirCaption_ = caption; }
    void SetShowFiles(bool show) { showFiles_ = show; }
    void SetShowHiddenDirs(bool show) { showHiddenDirs_ = show; }
    void SetFileMask(const std::string& mask);

    // --- filling the nodes ----------------------------------------------------------------
    // Deletes every node and adds the root's, opened when asked.
    void Rebuild(bool expandRoot);
    // The expansion check (see the .cpp): reads an unread node (off the GUI thread
    // for a folder on a network mount, only when opening), and answers whether the
    // node has anything to show. A node that shows nothing loses its button.
    bool Check(TFolderNode* node, bool opening = true);
    // Checks a node and shows it open; false when it has nothing to show.
    bool ExpandNode(TFolderNode* node);
    // Reads a node's children afresh: it is opened again if it was open, and so are
    // those of its children that were and are still there (for a folder read off the
    // GUI thread, once its answer has come).
    void RefreshNode(TFolderNode* node);

    // --- walking to a path ----------------------------------------------------------------
    // Selects the node of a path, opening the way down (see SetSelection in
    // SystemTreeView.h).
    void SelectPath(const std::string& path);
    // Selects the node of an absolute list.
    void SelectIdList(PCIdList absoluteIdList);
    // Selects the node of an absolute list as the tree had it before a Rebuild,
    // opening it when asked.
    void Reselect(PCIdList absoluteIdList, bool expand);
    // The node of a list relative to the root's folder (see FindNode in SystemTreeView.h).
    TFolderNode* FindNode(PCIdList idList);
    // The folder whose read a selection by path waits for (null for none), and the
    // path that selection goes to.
    TFolderNode* WaitsFor() const { return walk_.node; }
    const std::string& WalkTarget() const { return walk_.target; }

    // --- reads under way --------------------------------------------------------------------
    // A folder is being read off the GUI thread.
    bool Busy() const { return !reads_.empty(); }
    // A folder is being read on this thread, now.
    bool Working() const { return working_ > 0; }
    // Gives up every read under way, and the selection waiting for one.
    void GiveUp();
    // Gives up the reads of node and of the nodes below it (node closed).
    void GiveUpReadsFrom(TFolderNode* node);
    // Gives up the selection waiting for a read, and that read (another node chosen).
    void GiveUpWalk();

    TFolderNode* AddNode(const ShellFolderPtr& folder, IdList& absolute, TFolderNode* parent,
                         IdList& relative) override;

private:
    using Nodes = std::vector<std::unique_ptr<TFolderNode>>;
    enum class ReadKind { Fill, Missing };
    // The folders being read off the GUI thread, and what each read is for.
    struct Read {
        quint64 ticket = 0;
        ReadKind kind = ReadKind::Fill;
        ShellFolderPtr folder; // the GUI thread's own object of the folder
        std::vector<std::string> reopen; // Fill: the children to open once read
    };
    // A selection by path waiting for the read of node, the deepest folder it has
    // reached (none when no selection waits).
    struct Walk {
        TFolderNode* node = nullptr;
        IdList rest;        // the items still to find below node; none: parse target again
        std::string target; // the path it goes to
        bool expandAtEnd = false;
    };
    Nodes CollectChildren(TFolderNode* node, const std::function<bool()>& add, bool& found);
    Nodes ReadChildren(const ShellFolderPtr& folder, TFolderNode* node, bool& found);
    bool ReadMissingChildren(TFolderNode* node);
    bool AddMissingChildren(TFolderNode* node, Nodes& read);
    void ExpandChildrenNamed(TFolderNode* node, std::vector<std::string> names);
    bool IsSlow(const TFolderNode* node) const;
    void StartRead(TFolderNode* node, ReadKind kind, ShellFolderPtr folder);
    void ReadArrived(quint64 ticket, std::vector<IdList>& items);
    void ReadSilent(quint64 ticket, const std::string& mountPoint);
    void GiveUpRead(TFolderNode* node);
    void ForgetReadsFrom(const TFolderNode* node);
    void RowsGoing(TFolderNode* parent, int first, int last);
    void Forget();
    TFolderNode* Descend(TFolderNode* current, PCIdList& at, bool justRead);
    void WalkTo(TFolderNode* from, PCIdList at, bool justRead, bool expandAtEnd);

    TFolderTreeModel& model_;
    Viewer& viewer_;
    TFolderReader* reader_ = nullptr;
    std::map<TFolderNode*, Read> reads_;
    quint64 lastTicket_ = 0;
    Walk walk_;
    int working_ = 0;
    // The node whose children a read on this thread collects (AddNode), and those
    // collected so far.
    TFolderNode* collecting_ = nullptr;
    Nodes batch_;
};
