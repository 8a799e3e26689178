#pragma once
// The main window: folder tree on the left, shortcut list on the right, menus,
// status bar, and the settings kept under HKCU "Software\Tarnwick\Quillmere".
#include <QMainWindow>
#include <QPixmap>
#include <QPoint>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <string>
#include <vector>

#include "app/Actions.h"
#include "app/Settings.h"
#include "dragdrop/DropEffects.h"

class QAction;
class QDialog;
class QLabel;
class QMenu;
class QSplitter;
class QTimer;
class QWidget;
class TDirNotify;
class TDropFileTarget;
class TDropTarget;
class TdfsSystemImageList;
class TdfsSystemTreeView;
class TFavorites;
class TwekShortcutListView;
namespace platform::fileops {
struct JobRequest;
struct JobResult;
} // namespace platform::fileops

// Help contexts of the windows and menus; the help book has an anchor "context-N"
// for each.
inline constexpr int kHelpWindow = 1;            // the main window and its menus
inline constexpr int kHelpOptions = 4;           // the options dialog
inline constexpr int kHelpFavorites = 5;         // the Favorites menu
inline constexpr int kHelpOrganizeFavorites = 6; // the Organize Favorites dialog
inline constexpr int kHelpList = 7;              // the shortcut list

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    // args: the command-line arguments after the program's name. Builds the window
    // and applies the settings (FormCreate).
    explicit TForm1(const std::vector<std::string>& args = {}, QWidget* parent = nullptr);
    // Saves the settings (FormDestroy).
    ~TForm1() override;

    // Components.
    QWidget* PanelTV() const { return panelTV_; }  // the tree pane; the tree fills it
    QWidget* PanelLV() const { return panelLV_; }
    QSplitter* Splitter1() const { return splitter1_; }
    TwekShortcutListView* ShortcutList() const { return list_; }
    TdfsSystemTreeView* dfsTV() const { return dfsTV_; }
    TdfsSystemImageList* ImageList() const { return imageList_; }
    const std::vector<QPixmap>& ImageListGoodBad() const { return imageListGoodBad_; }
    QMenu* PopupMenu1() const { return popupMenu1_; }
    // The folder watcher: it follows the tree's selection, subfolders included.
    TDirNotify* DirNotify1() const { return dirNotify1_; }
    // The drop targets of the tree and the list.
    TDropFileTarget* DropFileTargetTV() const { return dropFileTargetTV_; }
    TDropFileTarget* DropFileTargetLV() const { return dropFileTargetLV_; }
    QString PanelText(int panel) const;
    int PanelWidth(int panel) const;

    // The actions, in table order (app/Actions.h).
    const std::vector<QAction*>& ActionList1() const { return actions_; }
    QAction* Action(ActionId id) const { return actions_[static_cast<std::size_t>(id)]; }
    // The top-level menus File, Edit, View, Favorites, Help.
    const std::vector<QMenu*>& MainMenu1() const { return mainMenus_; }
    // The Favorites menu's entries (app/Favorites.h).
    TFavorites* Favorites() const { return favorites_; }

    void ActionExecute(ActionId id);
    void ActionList1Update();
    // The clipboard holds a file list whose files are all shortcut files.
    static bool CanPaste();
    // Shows a dialog modally, hints on, 45 right and 60 below the window's corner.
    void CreateModal(const std::function<QDialog*(QWidget* owner)>& create);
    void MenuToggle();
    bool MenuBarShown() const;

    // The folder tree's selection as a path (empty for Computer, Trash and before a
    // folder is chosen). Setting a path that does not parse changes nothing.
    std::string TreeSelection() const;
    void SetTreeSelection(const std::string& path);
    // Handlers of the tree's selection change, the list's own folder change, the
    // end of a list read or test, and the list's selection change.
    void dfsTVChange();
    void ShortcutListDirChange();
    void ShortcutListStatusChange();
    void ShortcutListSelectionChange();
    void PanelTVResize();
    // Something changed in the watched folder or below it.
    void DirNotify1Change();
    // Drops on the tree and the list (app/DropHandling.cpp): shortcut files are
    // copied or moved, other files get shortcuts made to them, always through the
    // shell's verbs.
    void DropFileTargetEnter(TDropTarget* sender, TShiftState shift, QPoint point, TDropEffect& effect);
    void DropFileTargetTVDragOver(TDropTarget* sender, TShiftState shift, QPoint point, TDropEffect& effect);
    void DropFileTargetLVDragOver(TDropTarget* sender, TShiftState shift, QPoint point, TDropEffect& effect);
    void DropFileTargetGetDropEffect(TDropTarget* sender, TShiftState shift, QPoint point, TDropEffect& effect);
    void DropFileTargetTVLeave(TDropTarget* sender);
    void DropFileTargetLVLeave(TDropTarget* sender);
    void DropFileTargetDrop(TDropTarget* sender, TShiftState shift, QPoint point, TDropEffect& effect);
    // Re-reads the list and rebuilds the selected folder's branch of the tree,
    // expanding again the children that were expanded. While a folder's name is
    // being edited in the tree the rebuild waits for the editor to close.
    void Refresh();
    bool BranchRebuildDeferred() const { return rebuildDeferred_; }

    // The help book: the program file's name, lower-cased, with ".html", beside the
    // program or in ../share/quillmere/ (DataFilePath).
    QString HelpFile() const { return helpFile_; }
    // Opens the help book at the topic of a help context (kHelpWindow, ...), or at its
    // contents for 0. F1 asks for the context of the focused pane or the open menu.
    void ShowHelpContext(int context);
    // Opens the help book at an anchor ("about"), or at its contents for "".
    void ShowHelpTopic(const QString& anchor);

    // Writes the settings and the favorites now: at shutdown, and when the desktop
    // session ends.
    void SaveSettings();

    // Shows an error's message as the application shows errors escaping a handler:
    // once the running handler has returned, and not before the window is shown.
    void ReportError(const QString& message);

    // How long panel 1 tells what a file job did before it shows again what it
    // showed before, in milliseconds.
    void SetJobResultTime(int ms);

signals:
    // An action's command has run (by its object name, "aPaste").
    void ActionExecuted(const QString& name);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void BuildLayout();
    void BuildActions();
    void BuildMenus();
    // The components exist: those that wait for the window to be built may start
    // (the folder watcher, the drop targets), before the settings are applied.
    void Loaded();
    void AttachDropTargets(); // app/DropHandling.cpp
    // Makes the property windows the verbs open report to this window.
    void AttachPropertyCallbacks(); // app/PropertyCallbacks.cpp
    // Where a drop at `point` would put the files: the tree's node there, or the
    // list's folder or its highlighted subfolder. Empty for no folder.
    std::string DropDestination(const TDropTarget* target, QPoint point) const;
    // The list's subfolder row at a point, the one a drop there goes into; -1 for
    // none (shortcut rows take no drop).
    int ListDropRow(QPoint point) const;
    void FormCreate(const std::vector<std::string>& args);
    void FormDestroy();
    void SetTreeWidth(int width);
    void ApplySettings(const TWindowSettings& settings);
    void ApplyDefaultSettings();
    void RunOnList(const ActionRow& row);
    void RunOnTree(ActionId id);
    bool ListFocused() const;
    bool TreeFocused() const;
    const QWidget* CommandFocus() const;
    void OpenHelpTopics();
    void RebuildSelectedBranch();
    int FocusedHelpContext() const;
    void ReadClipboardState();
    void WatchFileJobs();
    // A file job the window started is over: panel 1 says what it did, the list
    // selects what it made in the list's folder.
    void FileJobFinished(const platform::fileops::JobRequest& request, const platform::fileops::JobResult& result);
    // Panel 1's text; one that does not replace a job's result waits underneath it.
    void SetPanel1(const QString& text, bool replacesJobResult);
    // The pane the focus was last in gets it back when it is in neither (after a
    // dialog, a message or a progress window closed).
    void RestorePaneFocus();
    void TakeBackFocus();

    QWidget* panelTV_ = nullptr;
    QWidget* panelLV_ = nullptr;
    QSplitter* splitter1_ = nullptr;
    TwekShortcutListView* list_ = nullptr;
    TdfsSystemTreeView* dfsTV_ = nullptr;
    TdfsSystemImageList* imageList_ = nullptr;
    TDirNotify* dirNotify1_ = nullptr;
    std::vector<QPixmap> imageListGoodBad_;
    QLabel* panels_[2] = {nullptr, nullptr};
    QMenu* popupMenu1_ = nullptr;
    TDropFileTarget* dropFileTargetTV_ = nullptr;
    TDropFileTarget* dropFileTargetLV_ = nullptr;
    std::vector<QMenu*> mainMenus_;
    std::vector<QAction*> actions_;
    TFavorites* favorites_ = nullptr;
    QAction* pasteKey_ = nullptr; // Ctrl+V runs Paste even while Paste is hidden
    QAction* helpKey_ = nullptr;  // F1: help on the focused pane
    QString helpFile_;
    QPointer<QWidget> lastFocus_; // the focus before the menu bar took it
    bool destroyed_ = false;
    bool rebuildDeferred_ = false;
    QStringList heldErrors_; // raised before the window was first shown
    bool dropFilesMovable_ = true; // the files of the drag under way may be moved
    bool clipboardHasFiles_ = false;
    bool clipboardCanPaste_ = false;
    QTimer* jobResultTimer_ = nullptr;
    int jobResultMs_ = 5000;
    QString panel1Underneath_; // what panel 1 shows again when a job's result has been read
    QPointer<QWidget> lastPane_; // the tree or the list, whichever had the focus last
    QObject* closedWindows_ = nullptr; // watches the application's windows close
};
