#pragma once
// The shortcut list: one folder's subfolders, then its ".lnk", ".pif" and ".url"
// files, one row each, with a column per chosen property. Reads are delayed by the
// read timer so that a burst of requests costs one read.
//
// Host paths are bytes; Directory always ends with "/" once set to a folder (an empty one means no folder). Row names keep the
// bytes found on disk: a name that is not UTF-8 is shown decoded but opened and
// renamed by its real bytes.
//
// A folder on a network mount is read, and links whose test would look at one are
// tested, off the window's thread (a server that went away must not freeze the
// window); the list shows a busy cursor meanwhile, and Esc gives up.
//
// The rows live in TShortcutListModel (shortcuts/ShortcutListModel.h); this view
// fills them, sorts them and tells the model what to draw. Its commands and the
// test are in ShortcutListCommands.cpp.
#include <QCursor>
#include <QItemSelectionModel>
#include <QPixmap>
#include <QStringList>
#include <QTreeView>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QMenu;
class TdfsSystemImageList;
class TNetworkLinkTest;
class TReadTimer;
class TWorkerChannel;
struct TFolderContents;
class TShortcutListModel;
struct TShortcutListRow;

class TwekShortcutListView : public QTreeView {
    Q_OBJECT
public:
    explicit TwekShortcutListView(QWidget* parent = nullptr);
    ~TwekShortcutListView() override;

    // The folder shown. The setter adds the trailing "/" (nothing else is normalized;
    // the folder need not exist) and requests a read.
    const std::string& Directory() const { return directory_; }
    void SetDirectory(const std::string& dir);

    // The shown columns, one letter each ("a" Name to "j" Icon Index). The setter
    // trims blanks, repairs a hand-edited value (letters outside a-j and repeats
    // dropped, "a" put first) and rebuilds the columns, which empties the list.
    const std::string& ColumnSet() const { return columnSet_; }
    void SetColumnSet(std::string_view set);
    static std::string AllColumns();
    // "Caption=Description" for each letter of AllColumns, in order.
    const QStringList& ColumnDescriptions() const { return columnDescriptions_; }
    static QString ColumnCaption(const QString& description);

    int FolderCount() const { return folderCount_; }
    int FailedCount() const { return failedCount_; }
    // The error (an errno value) that kept the last read from listing a folder that
    // was asked for; 0 when it was listed, or when no folder was asked for.
    int ReadError() const { return readError_; }
    // The network mount (its mount point) that did not answer the test, a rename or
    // New Folder: set only while OnStatusChange runs after one, like FailedCount.
    const std::string& UnansweredMount() const { return unansweredMount_; }
    // How long a network mount may take to answer for a link under test, a rename or
    // New Folder before it is taken as gone, in milliseconds.
    int NetworkWait() const { return networkWait_; }
    void SetNetworkWait(int ms) { networkWait_ = ms; }
    // A read or a test is waiting on a network mount.
    bool Busy() const;
    // Gives up the read or test that is waiting on a network mount (Esc). A read
    // given up reports ReadError ECANCELED; a test reports the mounts it still waited
    // for as not answering.
    void GiveUp();
    int SortColumn() const { return sortColumn_; }
    bool SortDescending() const { return sortDescending_; }
    void SetSort(int column, bool descending); // sorts at once

    bool OpenRunsDefaultAction() const { return openRunsDefaultAction_; }
    void SetOpenRunsDefaultAction(bool value) { openRunsDefaultAction_ = value; }

    // Milliseconds from a read request to the read; 0 never reads.
    int ReadDelay() const { return readDelay_; }
    void SetReadDelay(int ms) { readDelay_ = ms; }
    // Asks for a read after ReadDelay. A request while one is pending does not
    // restart the delay.
    void RequestRead();
    bool ReadPending() const;
    // A read came due while a name was being edited in place. Its new rows would
    // close the editor and lose what was typed, so it runs when the editor closes,
    // the edit accepted or not.
    bool ReadDeferred() const { return readDeferred_; }
    const TReadTimer* ReadTimer() const { return readTimer_; }

    // The list's commands, by their exact names ("Test", "SelectAll", ...). The ones
    // on files hand them to the shell's verbs (shortcuts/ShellVerbs.h), with the list
    // as the owner of what those open.
    void DoVerb(std::string_view verb);
    // Starts a program from a command line, as WinExec does ("NewShortcut" starts the
    // new-shortcut wizard so); the platform's WinExec unless replaced, e.g. by tests.
    static constexpr int kShowNormal = 1;
    std::function<std::uint32_t(std::string_view commandLine, int show)> StartCommand;

    // Shows the result of a command: selects the rows of these names in Directory
    // once a read shows them (at once when all are shown), the first one current and
    // in view; with edit, then opens its name for editing. A selection the user makes
    // first, or another folder, gives it up.
    void SelectWhenShown(std::vector<std::string> names, bool edit = false);
    // The selection change being reported was made by a read (the selection put
    // back, or a command's result shown), not by the user.
    bool SelectionByRead() const { return selectionByRead_; }
    // The status change being reported is a test's.
    bool ReportingTest() const { return reportingTest_; }

    // Names relative to Directory, and full paths, of the selected rows in list order.
    std::vector<std::string> SelectedNames() const;
    std::vector<std::string> SelectedPaths() const;

    int ItemCount() const;
    int SelectedCount() const;
    std::string ItemName(int row) const;          // the name's bytes
    QString ItemText(int row, int column) const;  // as shown
    int ItemImageIndex(int row) const;
    int ItemStateIndex(int row) const;            // -1 none, 0 failed, 1 passed, 2 Internet shortcut
    bool ItemCut(int row) const;
    void SetItemCut(int row, bool cut);           // drawn ghosted until the next read
    // The folder row a drop would land in, drawn as selected; -1 for none. Only
    // folder rows are taken; a read clears it.
    int DropHighlightRow() const;
    void SetDropHighlightRow(int row);

    // The images: the system small-icon list and the three state images.
    void SetSmallImages(TdfsSystemImageList* images);
    void SetStateImages(std::vector<QPixmap> images);
    // The pop-up menu shown for a context-menu request with no row selected.
    void SetPopupMenu(QMenu* menu) { popupMenu_ = menu; }
    QMenu* PopupMenu() const { return popupMenu_; }

    // Drag feedback for one file ("SCopy") or several ("MCopy").
    static QCursor DragCursor(int fileCount);
    // Drags the selected rows out (files and folders), offering copy and move; the
    // target does the work, and a move shows here through the folder watcher.
    void StartDragOut();
    // A drag of the list's rows is under way (its own rows may not be dropped on
    // the folder they are in).
    bool DraggingRows() const { return draggingRows_; }

    // The steps behind the events, public for the window and for tests.
    void ReadFolder();
    void BuildColumns();
    void SortItems();
    int CompareItems(int row1, int row2) const;
    void HeaderClicked(int position, int clientX);
    void OpenSelected();
    void GoUp();
    void TestShortcuts();
    // Accepting an edited name: the extension rule, then the rename, which never
    // replaces an existing file. Answers whether the file was renamed. A name that
    // cannot be a file's, or a rename the system refuses, is told (the verbs' message
    // route) and stays in its editor to be put right; Esc gives it up.
    bool RenameEdited(int row, const QString& text);
    void ShowContextMenu(const QPoint& screenPoint);
    QPixmap HeaderImage() const { return headerImage_; }

signals:
    void OnDirChange(TwekShortcutListView* sender);
    void OnStatusChange(TwekShortcutListView* sender);
    // The row selection changed (the window shows the count).
    void OnSelectionChange(TwekShortcutListView* sender);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    void startDrag(Qt::DropActions supportedActions) override;

private:
    void ReadTimerFired();
    void RunDeferredRead();
    bool Editing() const { return state() == QAbstractItemView::EditingState; }
    int CompareRowKeys(const TShortcutListRow& a, const TShortcutListRow& b) const;
    void BuildHeaderImage();
    void LoadColumnDescriptions();
    void UpdateSortIndicator();
    void StartEditing(int row);
    void NewFolder();
    void AwaitWizard();
    void RefuseRename(const std::string& message);
    void SelectAllRows(QItemSelectionModel::SelectionFlag how);
    QPoint KeyboardMenuPoint() const;
    // The selected rows in list order, without asking the selection model row by
    // row (which costs the number of selected ranges for every row).
    std::vector<int> SelectedRows() const;
    int FirstSelectedRow() const; // -1 for none
    void RestoreSelection(const std::vector<std::string>& names, const std::string& current);
    bool SelectAwaited(bool allOrNothing);
    void ReportReadSelection();
    void ReportTest();
    void ShowContents(bool listed, TFolderContents& contents, bool namesOnly);
    void StartNetworkRead(const std::string& mountPoint);
    void FinishNetworkRead(bool listed, TFolderContents& contents);
    void NetworkReadSilent(const std::string& mountPoint);
    void AbandonRead();
    void FinishNetworkTest();
    void CancelNetworkTest();
    void UpdateBusyCursor();
    // Runs call, which works in folder: on a network mount on another thread, waited
    // for NetworkWait at most. Nothing when the mount gave no answer in time, which
    // OnStatusChange then tells.
    std::optional<int> CallInFolder(const std::string& folder, const std::function<int()>& call);

    std::unique_ptr<TShortcutListModel> model_;
    std::string directory_;
    std::string columnSet_;
    QStringList columnDescriptions_;
    int folderCount_ = 0;
    int readError_ = 0;
    int failedCount_ = 0;
    std::string unansweredMount_;
    int sortColumn_ = 0;
    bool sortDescending_ = false;
    bool openRunsDefaultAction_ = false;
    int readDelay_ = 0;
    bool readDeferred_ = false;
    bool renameRefused_ = false; // the last edit's name was refused: its editor stays
    TReadTimer* readTimer_ = nullptr;

    QPixmap headerImage_;
    QMenu* popupMenu_ = nullptr;
    int lastHeaderClickX_ = 0;
    bool autoSizeFirstColumn_ = false;
    std::string nameSizedFor_; // the folder whose names the Name column was sized to
    bool menuKeySeen_ = false;
    bool draggingRows_ = false;
    // A read puts the selection back in one step and reports it after its own status.
    bool readingSelection_ = false;
    bool selectionRestored_ = false;
    bool selectionByRead_ = false;
    bool reportingTest_ = false;
    // Rows a command made, to be selected once a read shows them: by name, or (after
    // the wizard, whose file's name only it knows) the first shortcut files that are
    // not among the names known when it started.
    struct TAwaitedRows {
        std::string folder;
        std::vector<std::string> names;
        bool edit = false;
        bool newShortcuts = false;
        std::vector<std::string> known; // sorted
    };
    std::optional<TAwaitedRows> awaited_;

    // What waits on network mounts: the read of a folder on one, and the part of a
    // test that looks at one, with the failures the rest of that test found.
    std::unique_ptr<TWorkerChannel> networkRead_;
    std::unique_ptr<TNetworkLinkTest> networkTest_;
    int localFailures_ = 0;
    int networkWait_ = 2000;
};
