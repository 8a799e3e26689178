#pragma once
// TdfsSystemTreeView: the folder tree of the main window's left pane. It shows the
// shell namespace below a chosen root, fills a branch only when it is first opened
// (by the user or by a selection by path), draws the shell's icons, renames folders
// in place, and converts between the selected node and a file-system path.
//
// Everything the tree knows of an item lives in the node's TFolderItemData record
// (SystemControlPack.h). The nodes are TFolderNode objects owned by the tree's model;
// a node pointer stays valid until the node is deleted (RefreshNode of an ancestor,
// Reset, destruction). The view draws them, and takes keys, edits and drops; its
// loader (FolderTreeLoader.h) reads them in and walks to paths.
//
// A folder on a network mount is read off the GUI thread (a server that went away
// must not freeze the window): it shows a "Reading..." row meanwhile, the tree a busy
// cursor, and Esc, collapsing the folder or choosing another one gives the read up.
#include <QPointer>
#include <QString>
#include <QTreeView>
#include <functional>
#include <memory>
#include <string>

#include "foldertree/FolderTreeLoader.h"
#include "foldertree/SystemControlPack.h"

#include <QMenu>
class TFolderTreeModel;

class QTimer;
class TdfsSystemTreeView;

enum TPopupMenuMethod { pmmNone, pmmContext, pmmUser, pmmContextUser };

// A folder combo box kept in step with a tree: told after the tree's selection
// changes (at once, or ReadDelay after the last of a quick run of changes), and
// choosing a folder through the tree's SelectIdList. The main window links none.
class TFolderComboLink {
public:
    virtual ~TFolderComboLink() = default;
    virtual void TreeChanged(TdfsSystemTreeView& tree) = 0;
};

class TdfsSystemTreeView : public QTreeView, private TFolderTreeLoader::Viewer {
    Q_OBJECT

public:
    static constexpr const char* kVersion = "TdfsSystemTreeView v0.98.5 Beta";

    // Raises std::runtime_error when the desktop folder cannot be obtained.
    explicit TdfsSystemTreeView(QWidget* parent = nullptr);
    ~TdfsSystemTreeView() override;

    // --- properties -------------------------------------------------------------
    QString Version() const { return QString::fromLatin1(kVersion); }
    void SetVersion(const QString&) {} // read-only; kept for symmetry

    // How long the linked combo box waits after a selection change before it is told.
    unsigned short ReadDelay() const { return readDelay_; }
    void SetReadDelay(unsigned short ms) { readDelay_ = ms; }
    TFolderComboLink* ComboBox() const { return comboBox_; }
    void SetComboBox(TFolderComboLink* combo) { comboBox_ = combo; }
    TPopupMenuMethod PopupMenuMethod() const { return popupMenuMethod_; }
    void SetPopupMenuMethod(TPopupMenuMethod method) { popupMenuMethod_ = method; }
    // The tree's own pop-up menu, offered with pmmUser and pmmContextUser.
    QMenu* PopupMenu() const { return popupMenu_; }
    void SetPopupMenu(QMenu* menu) { popupMenu_ = menu; }

    // The path of the selected node: empty before the window exists, with nothing
    // selected, or for a node without a file-system path (Computer, Trash). While a
    // selection waits for a folder on its way to be read, the path it goes to.
    std::string Selection() const;
    // Selects the node of a path, expanding the way down. A path that does not
    // parse changes nothing; one that leads part of the way selects the deepest
    // folder on the way (a hidden folder while hidden ones are not shown: its
    // nearest shown ancestor). Before the window exists the path waits in
    // PendingSelection. The empty string does nothing. A folder on the way that
    // lies on a network mount is read off the GUI thread: the selection (and
    // OnChange) comes when its read does, unless the user chose another node or
    // gave the read up meanwhile; until then the old selection stays.
    void SetSelection(const std::string& path);
    std::string Directory() const { return Selection(); }
    void SetDirectory(const std::string& path) { SetSelection(path); }
    const std::string& PendingSelection() const { return pendingSelection_; }

    TRootFolder RootFolder() const { return loader_->RootFolder(); }
    void SetRootFolder(TRootFolder root);
    const std::string& CustomDir() const { return loader_->CustomDir(); }
    void SetCustomDir(const std::string& dir);
    const std::string& CustomDirCaption() const { return loader_->CustomDirCaption(); }
    // Renames the first node at once; the root's name for the next Reset (rfCustom).
    void SetCustomDirCaption(const std::string& caption);
    bool ShowFiles() const { return loader_->ShowFiles(); }
    void SetShowFiles(bool show);
    bool ShowHiddenDirs() const { return loader_->ShowHiddenDirs(); }
    void SetShowHiddenDirs(bool show);
    bool ExpandRoot() const { return expandRoot_; }
    void SetExpandRoot(bool expand) { expandRoot_ = expand; }
    bool Checkboxes() const { return checkboxes_; }
    void SetCheckboxes(bool on);
    bool Autoscroll() const { return autoscroll_; }
    void SetAutoscroll(bool on);
    const std::string& FileMask() const { return loader_->FileMask(); }
    void SetFileMask(const std::string& mask);
    // How long a network mount may take to answer a rename, in milliseconds.
    int NetworkWait() const { return static_cast<int>(networkWait_.count()); }
    void SetNetworkWait(int ms) { networkWait_ = std::chrono::milliseconds(ms); }

    // --- operations ------------------------------------------------------------------
    // Rebuilds the whole tree, keeping the selection (and its expansion).
    void Reset();
    // The node of a list relative to the root's folder, expanding the way down; the
    // deepest node reached when the list leads further than the tree goes. A node
    // read earlier that lacks the next item reads its folder again first (adding
    // what it lacks), so folders made since are found. A folder on a network mount
    // is not waited for: the walk stops at it while it is read.
    TFolderNode* FindNode(PCIdList idList);
    // Selects the node of an absolute list.
    void SelectIdList(PCIdList absoluteIdList);
    // Enumerates a node's children afresh; an expanded node is expanded again, and
    // so are its children that were (once read, for a folder on a network mount).
    void RefreshNode(TFolderNode* node);
    std::string GetNodePath(const TFolderNode* node) const;
    // The record of a node; for a node without one, an error message and null.
    TFolderItemData* GetFolderItemData(TFolderNode* node);

    TFolderNode* Selected() const;
    void SetSelected(TFolderNode* node);
    TFolderNode* RootNode() const;
    int TopLevelCount() const;
    // The node at a point of the viewport, or null.
    TFolderNode* NodeAt(const QPoint& viewportPos) const;
    QModelIndex IndexOf(const TFolderNode* node) const;
    static TFolderNode* NodeOf(const QModelIndex& index);
    bool IsNodeExpanded(const TFolderNode* node) const override;
    // Expands a node as a click on its button does (enumerating it on the first
    // time); false when it has nothing to show. A folder on a network mount expands
    // at once, showing "Reading..." until its read comes.
    bool ExpandNode(TFolderNode* node);
    // A folder is being read off the GUI thread.
    bool Busy() const { return loader_->Busy(); }
    // Gives up every read under way (Esc), and the selection waiting for one. The
    // folders keep their buttons: the next expansion reads again.
    void GiveUp();
    void CollapseNode(TFolderNode* node) override;
    // Starts in-place editing of a node's label; only items that can be renamed.
    bool StartEditing(TFolderNode* node);
    // A label's editor is open. Whoever rebuilds nodes waits for OnEditorClosed
    // meanwhile: the rebuild would close the editor and lose what was typed.
    bool Editing() const { return state() == QAbstractItemView::EditingState; }
    // The node drawn as the target of a drag (null for none).
    void SetDropTarget(TFolderNode* node);
    TFolderNode* DropTarget() const;
    // Suspends and resumes drawing; nests.
    void BeginUpdate() override;
    void EndUpdate() override;

    // The window's life: the tree fills itself when its window is created (on first
    // show, or here), and keeps its selection in PendingSelection while the window
    // is gone.
    bool HandleAllocated() const { return handleAllocated_; }
    void HandleNeeded();
    void DestroyHandle();

    // Runs the shell's context menu for a node's item (shortcuts/ShellVerbs.h) and,
    // when the user picks Rename there, edits the node's label. Answers whether it
    // handled the request (also when the user dismissed the menu).
    virtual bool ShowShellMenu(TFolderNode* node, const QPoint& globalPos);
    // Scrolls one line or column when the point (tree coordinates) is near an edge.
    virtual void DoAutoscroll(int x, int y);

    // What reads the nodes in.
    TFolderTreeLoader& Loader() { return *loader_; }

    // Shows a failure to the user: a message box unless replaced (the main window
    // sends it to the program's error route, tests record it).
    std::function<void(const QString& message)> OnError;

signals:
    // The selected node changed (null when the selection was cleared).
    void OnChange(TFolderNode* node);
    // A node's expansion check ended positive.
    void OnPopulated(TFolderNode* node);
    // A node was renamed in place.
    void OnEdited(TFolderNode* node);
    // The label's editor closed, the edit accepted or not.
    void OnEditorClosed();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

public:
    // Also keeps the node's icon and text in view sideways (see the .cpp).
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;

private:
    // Qt's side of an expansion (see "expansion" in the .cpp).
    void FetchChildren(TFolderNode* node);
    void NodeExpanded(const QModelIndex& index);
    // What the loader asks of the view.
    void ShowExpanded(TFolderNode* node) override;
    void ShowSelected(TFolderNode* node) override;
    void ShowWaiting(TFolderNode* node) override;
    void ShowBusy() override;
    void NodePopulated(TFolderNode* node) override;
    void ShowError(const QString& message) override;
    bool EndEdit(TFolderNode* node, const QString& text);
    void ScrollIntoView(TFolderNode* node);
    void ScrollLabelIntoView(const QModelIndex& index);
    void CurrentChanged(const QModelIndex& current);
    void VolumesChanged();
    void TellComboBox();

    TFolderTreeModel* model_ = nullptr;
    std::unique_ptr<TFolderTreeLoader> loader_;
    unsigned short readDelay_ = 500;
    TFolderComboLink* comboBox_ = nullptr;
    QTimer* comboTimer_ = nullptr;
    TPopupMenuMethod popupMenuMethod_ = pmmContext;
    QPointer<QMenu> popupMenu_;
    std::string pendingSelection_;
    bool expandRoot_ = true;
    bool checkboxes_ = false;
    bool autoscroll_ = false;
    bool handleAllocated_ = false;
    bool destroyingWindow_ = false;
    bool destroying_ = false;
    bool notifyImmediately_ = true;
    int updateLocks_ = 0;
    int busy_ = 0;
    std::chrono::milliseconds networkWait_ = kNetworkWait;

    // The node whose expansion check ran, about to be expanded by Qt (see
    // "expansion" in the .cpp).
    TFolderNode* checked_ = nullptr;
};
