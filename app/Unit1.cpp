#include "app/Unit1.h"

#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QResizeEvent>
#include <QShowEvent>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <utility>

#include "app/About.h"
#include "app/Application.h"
#include "app/DataFiles.h"
#include "app/FavOrg.h"
#include "app/Favorites.h"
#include "app/Hints.h"
#include "app/QuilOpt.h"
#include "app/Version.h"
#include "dirwatch/dirnotify.h"
#include "dragdrop/DropFileTarget.h"
#include "foldertree/SystemImageList.h"
#include "foldertree/SystemTreeView.h"
#include "platform/clipboard/Clipboard.h"
#include "platform/notify/ChangeWatch.h"
#include "platform/registry/Registry.h"
#include "platform/shell/EntryAttributes.h"
#include "platform/shell/NetworkMounts.h"
#include "platform/shell/ParentSteps.h"
#include "platform/shellfolders/ShellFolders.h"
#include "platform/ui/FileOperation.h"
#include "platform/verbs/VerbMessages.h"
#include "shortcuts/ShellVerbs.h"
#include "shortcuts/wekShortcutListView.h"

namespace {

// Tells of each top-level window that hides while it is (or was last) the active
// one: the platform may take the activation away before the window hides.
class TClosedWindowWatch : public QObject {
public:
    TClosedWindowWatch(std::function<void(QWidget*)> closed, QObject* parent)
        : QObject(parent), closed_(std::move(closed))
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const QEvent::Type type = event->type();
        if ((type == QEvent::WindowActivate || type == QEvent::Hide) && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->isWindow()) {
            auto* window = static_cast<QWidget*>(watched);
            if (type == QEvent::WindowActivate)
                lastActive_ = window;
            else if (window == lastActive_)
                closed_(window);
        }
        return false;
    }

private:
    std::function<void(QWidget*)> closed_;
    QPointer<QWidget> lastActive_;
};

// The built-in layout, in force until the settings are applied.
constexpr int kLayoutLeft = 182, kLayoutTop = 113, kLayoutWidth = 441, kLayoutHeight = 304, kLayoutTreeWidth = 185;
// What a first run (or a damaged setting) gets.
constexpr int kDefaultLeft = 100, kDefaultTop = 100, kDefaultWidth = 500, kDefaultHeight = 300, kDefaultTreeWidth = 150;
constexpr int kReadDelay = 300;
// The tree's own selection before anything else is chosen: the system drive's root.
constexpr const char* kBuiltInTreeSelection = "/";

std::string Plural(long long n, const char* word)
{
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

QString DisplayPath(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

bool IsFolder(const std::string& path)
{
    if (path.empty())
        return false;
    // A path on a network mount is not looked at here, where a server that went away
    // would keep the window from ever showing: it is a folder to try, and the tree
    // and the list, which read it off this thread, find out.
    std::error_code ec;
    if (platform::shell::NetworkMountOf(std::filesystem::absolute(path, ec).string()))
        return true;
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// An empty path stays empty: it is no folder, and "" must not match the root "/".
std::string WithSlash(std::string path)
{
    if (!path.empty() && path.back() != '/')
        path += '/';
    return path;
}

// A folder as the tree names it: absolute, without a trailing "/" but for the root.
// ".." is the file system's: after a symbolic link it leads to the parent of the
// link's target. A path that does not resolve is passed on as typed, for the tree
// to find nothing there.
std::string TreePath(const std::string& path)
{
    std::error_code ec;
    std::string p = std::filesystem::absolute(std::filesystem::path(path), ec).string();
    if (ec)
        p = path;
    if (std::string resolved; platform::shell::fs::ResolveParentSteps(p, resolved) == 0)
        return resolved;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    return p;
}

} // namespace

TForm1::TForm1(const std::vector<std::string>& args, QWidget* parent) : QMainWindow(parent)
{
    setWindowTitle(kProgramName);
    BuildLayout();
    BuildActions();
    BuildMenus();
    Loaded();
    FormCreate(args);
}

TForm1::~TForm1()
{
    FormDestroy();
    // The children go after this; their last signals (focus, selection) must not
    // reach a window that is half gone.
    disconnect(qApp, nullptr, this, nullptr);
    qApp->removeEventFilter(closedWindows_);
    disconnect(QGuiApplication::clipboard(), nullptr, this, nullptr);
    disconnect(&platform::FileOperationStarts::Instance(), nullptr, this, nullptr);
    list_->disconnect(this);
    dfsTV_->disconnect(this);
    splitter1_->disconnect(this);
    panelTV_->removeEventFilter(this);
}

void TForm1::BuildLayout()
{
    move(kLayoutLeft, kLayoutTop);
    resize(kLayoutWidth, kLayoutHeight);

    imageList_ = new TdfsSystemImageList(this);
    // Made while the window is built; it watches from the first folder change on.
    dirNotify1_ = new TDirNotify(this, true);
    dirNotify1_->setObjectName("DirNotify1");
    dirNotify1_->SetWatchSubTree(true);
    dirNotify1_->SetFilter({nfFileName, nfDirName});
    dirNotify1_->OnChange = [this](TDirNotify*) { DirNotify1Change(); };
    // A watch that fails once it runs (its share does not answer, the system's limit on
    // watches is reached) says so as every error does; the folder stays shown.
    dirNotify1_->OnError = [this](TDirNotify*, std::int32_t code) {
        ReportError(QString::fromLocal8Bit(platform::notify::ChangeErrorMessage(code)));
    };
    for (const char* name : {":/images/state-failed.png", ":/images/state-passed.png", ":/images/state-internet.png"})
        imageListGoodBad_.emplace_back(name);

    splitter1_ = new QSplitter(Qt::Horizontal, this);
    splitter1_->setObjectName("Splitter1");
    splitter1_->setHandleWidth(3);
    splitter1_->setChildrenCollapsible(false);

    panelTV_ = new QWidget(splitter1_);
    panelTV_->setObjectName("PanelTV");
    auto* treeLayout = new QVBoxLayout(panelTV_);
    treeLayout->setContentsMargins(0, 0, 0, 0);
    panelTV_->setMinimumWidth(1);
    panelTV_->installEventFilter(this);
    dfsTV_ = new TdfsSystemTreeView(panelTV_);
    dfsTV_->setObjectName("dfsTV");
    dfsTV_->setIndentation(19);
    treeLayout->addWidget(dfsTV_);

    panelLV_ = new QWidget(splitter1_);
    panelLV_->setObjectName("PanelLV");
    auto* listLayout = new QVBoxLayout(panelLV_);
    listLayout->setContentsMargins(0, 0, 0, 0);
    list_ = new TwekShortcutListView(panelLV_);
    list_->setObjectName("ShortcutList");
    list_->SetReadDelay(kReadDelay);
    list_->SetSmallImages(imageList_);
    list_->SetStateImages(imageListGoodBad_);
    listLayout->addWidget(list_);

    splitter1_->addWidget(panelTV_);
    splitter1_->addWidget(panelLV_);
    splitter1_->setStretchFactor(0, 0);
    splitter1_->setStretchFactor(1, 1);
    setCentralWidget(splitter1_);
    SetTreeWidth(kLayoutTreeWidth);

    auto* bar = statusBar();
    bar->setObjectName("StatusBar1");
    bar->setSizeGripEnabled(true);
    for (int i = 0; i < 2; ++i) {
        panels_[i] = new QLabel(bar);
        panels_[i]->setObjectName(QString("Panel%1").arg(i));
        panels_[i]->setMinimumWidth(50);
    }
    bar->addWidget(panels_[0]);
    bar->addWidget(panels_[1], 1);
    // What a file job did stays in panel 1 until it runs out.
    jobResultTimer_ = new QTimer(this);
    jobResultTimer_->setSingleShot(true);
    connect(jobResultTimer_, &QTimer::timeout, this, [this] { panels_[1]->setText(panel1Underneath_); });
    PanelTVResize();

    connect(dfsTV_, &TdfsSystemTreeView::OnChange, this, [this](TFolderNode*) { dfsTVChange(); });
    // A rebuild put off while a folder's name was being edited.
    connect(
        dfsTV_, &TdfsSystemTreeView::OnEditorClosed, this,
        [this] {
            if (rebuildDeferred_)
                RebuildSelectedBranch();
        },
        Qt::QueuedConnection);
    // A folder renamed in place: the list follows it to its new name.
    connect(dfsTV_, &TdfsSystemTreeView::OnEdited, this, [this](TFolderNode* node) {
        if (node == dfsTV_->Selected())
            dfsTVChange();
    });
    // What the tree cannot do (open a folder, read a share, rename) is told as every
    // error is.
    dfsTV_->OnError = [this](const QString& message) { ReportError(message); };
    // The tree is ready at once, so that the start folder is shown as the window opens.
    dfsTV_->HandleNeeded();
    connect(list_, &TwekShortcutListView::OnDirChange, this, [this] { ShortcutListDirChange(); });
    connect(list_, &TwekShortcutListView::OnStatusChange, this, [this] { ShortcutListStatusChange(); });
    connect(list_, &TwekShortcutListView::OnSelectionChange, this, [this] { ShortcutListSelectionChange(); });
    connect(splitter1_, &QSplitter::splitterMoved, this, [this] { PanelTVResize(); });
}

void TForm1::BuildActions()
{
    for (const ActionRow& row : ActionTable()) {
        auto* action = new QAction(this);
        action->setObjectName(row.name);
        action->setProperty("category", row.category);
        if (row.keyShownOnly)
            action->setText(QString(row.caption) + "\t" + QKeySequence(row.key).toString(QKeySequence::NativeText));
        else
            action->setText(row.caption);
        if (*row.key && !row.keyShownOnly) {
            QList<QKeySequence> keys{QKeySequence(row.key)};
            if (QString(row.key) == "Alt+Return")
                keys.append(QKeySequence("Alt+Enter")); // the keypad's Enter too
            action->setShortcuts(keys);
        }
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, [this, id = row.id] { ActionExecute(id); });
        // Every action lives on the window too, so its key works with the menu bar hidden.
        addAction(action);
        actions_.push_back(action);
    }
    for (ActionId id : {ActionId::aMainMenu, ActionId::aStatusBar}) {
        Action(id)->setCheckable(true);
        Action(id)->setChecked(true);
    }

    // A hidden action is a disabled one to Qt, so Ctrl+V belongs to an action of its
    // own that is never hidden. It runs the paste the Edit menu shows it beside:
    // Paste Shortcut when only that one is offered, Paste otherwise.
    pasteKey_ = new QAction(this);
    pasteKey_->setObjectName("PasteKey");
    pasteKey_->setShortcut(QKeySequence("Ctrl+V"));
    pasteKey_->setShortcutContext(Qt::WindowShortcut);
    connect(pasteKey_, &QAction::triggered, this, [this] {
        ActionExecute(clipboardHasFiles_ && !clipboardCanPaste_ ? ActionId::aPasteShortcut : ActionId::aPaste);
    });
    addAction(pasteKey_);

    helpKey_ = new QAction(this);
    helpKey_->setObjectName("HelpKey");
    helpKey_->setShortcut(QKeySequence(Qt::Key_F1));
    helpKey_->setShortcutContext(Qt::WindowShortcut);
    connect(helpKey_, &QAction::triggered, this, [this] { ShowHelpContext(FocusedHelpContext()); });
    addAction(helpKey_);
}

void TForm1::BuildMenus()
{
    // Each menu shows its rows in table order; a group's first row gets a separator.
    auto fill = [this](QMenu* menu, std::uint8_t shown, std::uint8_t group, const char* category) {
        for (const ActionRow& row : ActionTable()) {
            if (!(row.menus & shown) || (category && std::string_view(row.category) != category))
                continue;
            if ((row.menus & group) && !menu->isEmpty())
                menu->addSeparator();
            menu->addAction(Action(row.id));
        }
    };
    QMenuBar* bar = menuBar();
    bar->setObjectName("MainMenu1");
    for (const MainMenuRow& row : MainMenuTable()) {
        QMenu* menu = bar->addMenu(row.caption);
        fill(menu, amMain, amMainGroup, row.category);
        mainMenus_.push_back(menu);
    }
    QMenu* favorites = mainMenus_[3];
    favorites->addSeparator();
    favorites->addMenu("&Current User")->setObjectName("FavCurrentUser");
    favorites->addMenu("All &Users")->setObjectName("FavAllUsers");
    favorites->addMenu("&Default User")->setObjectName("FavDefaultUser");
    favorites->addSeparator();
    favorites_ = new TFavorites(
        favorites, [this](const std::string& path) { SetTreeSelection(path); },
        [this](const QString& message) { ReportError(message); }, this);

    popupMenu1_ = new QMenu(this);
    popupMenu1_->setObjectName("PopupMenu1");
    fill(popupMenu1_, amPopup, amPopupGroup, nullptr);
    popupMenu1_->setDefaultAction(Action(ActionId::aNewShortcut));
    list_->SetPopupMenu(popupMenu1_);

    for (QMenu* menu : mainMenus_) {
        connect(menu, &QMenu::aboutToShow, this, [this] { ActionList1Update(); });
        menu->installEventFilter(this); // F1 on an open menu: that menu's help
    }
    popupMenu1_->installEventFilter(this);
    connect(popupMenu1_, &QMenu::aboutToShow, this, [this] { ActionList1Update(); });
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (now && !qobject_cast<QMenuBar*>(now) && !qobject_cast<QMenu*>(now))
            lastFocus_ = now;
        if (now && (now == list_ || list_->isAncestorOf(now)))
            lastPane_ = list_;
        else if (now && (now == panelTV_ || panelTV_->isAncestorOf(now)))
            lastPane_ = dfsTV_;
        ActionList1Update();
    });
    // A window of the program that closes with the focus (a dialog, a message, a
    // progress window) leaves no window active where no window manager hands the
    // focus on, and the window that had it before then never gets it back.
    qApp->installEventFilter(closedWindows_ = new TClosedWindowWatch([this](QWidget* closed) {
        if (closed != this && (!closed->parentWidget() || closed->parentWidget()->window() == this))
            QMetaObject::invokeMethod(this, &TForm1::TakeBackFocus, Qt::QueuedConnection);
    }, this));
    // Asking the clipboard can mean a round trip to another program: it is asked when
    // its contents change, not at every update of the actions.
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, [this] {
        ReadClipboardState();
        ActionList1Update();
    });
    ReadClipboardState();
}

void TForm1::Loaded()
{
    AttachDropTargets();
    AttachPropertyCallbacks();
    // What the verbs refuse is told as every error is; the route outlives this window
    // (tests build several), so it checks the window is there.
    const QPointer<TForm1> self(this);
    platform::verbs::SetMessageRoute([self](const std::string& message, QWidget*) {
        const QString text = QString::fromStdString(message);
        if (self)
            self->ReportError(text);
        else if (auto* app = qobject_cast<TApplication*>(QCoreApplication::instance()))
            app->QueueError(text);
        else
            QMetaObject::invokeMethod(qApp, [text] { TApplication::ShowErrorBox(text); }, Qt::QueuedConnection);
    });
    dirNotify1_->Loaded();
    WatchFileJobs();
}

void TForm1::WatchFileJobs()
{
    connect(&platform::FileOperationStarts::Instance(), &platform::FileOperationStarts::Started, this,
            [this](platform::FileOperation* operation) {
                // The window's own jobs: its commands, its drops, its panes' menus.
                QWidget* owner = operation->Owner();
                if (!owner || (owner != this && !isAncestorOf(owner)))
                    return;
                connect(operation, &platform::FileOperation::Finished, this,
                        [this, request = operation->Request()](const platform::fileops::JobResult& result) {
                            FileJobFinished(request, result);
                        });
            });
}

void TForm1::FileJobFinished(const platform::fileops::JobRequest& request, const platform::fileops::JobResult& result)
{
    using platform::fileops::JobKind;
    const std::string folder = WithSlash(list_->Directory());
    std::vector<std::string> inList;
    for (const std::string& path : result.created) {
        const std::size_t slash = path.rfind('/');
        if (!folder.empty() && slash != std::string::npos && path.compare(0, slash + 1, folder) == 0)
            inList.push_back(path.substr(slash + 1));
    }
    // First the selection, so that its own status is what panel 1 shows again after.
    list_->SelectWhenShown(std::move(inList));
    const std::size_t count = request.kind == JobKind::Link ? result.created.size() : result.done.size();
    if (count == 0)
        return;
    std::string text;
    switch (request.kind) {
    case JobKind::Copy:
        text = Plural(static_cast<long long>(count), "item") + " copied";
        break;
    case JobKind::Move:
        text = Plural(static_cast<long long>(count), "item") + " moved";
        break;
    case JobKind::Link:
        text = Plural(static_cast<long long>(count), "shortcut") + " made";
        break;
    case JobKind::Trash:
        text = Plural(static_cast<long long>(count), "item") + " moved to the Trash";
        break;
    }
    if (!jobResultTimer_->isActive())
        panel1Underneath_ = panels_[1]->text();
    panels_[1]->setText(QString::fromStdString(text));
    jobResultTimer_->start(jobResultMs_);
}

void TForm1::SetJobResultTime(int ms)
{
    jobResultMs_ = ms;
    if (jobResultTimer_->isActive())
        jobResultTimer_->start(ms);
}

void TForm1::SetPanel1(const QString& text, bool replacesJobResult)
{
    if (jobResultTimer_->isActive() && !replacesJobResult) {
        panel1Underneath_ = text;
        return;
    }
    jobResultTimer_->stop();
    panels_[1]->setText(text);
}

void TForm1::SetTreeWidth(int width)
{
    width = std::max(width, 0);
    const int total = std::max(splitter1_->width(), width + splitter1_->handleWidth() + 1);
    splitter1_->setSizes({width, std::max(total - width - splitter1_->handleWidth(), 1)});
    panelTV_->resize(width, panelTV_->height());
    PanelTVResize();
}

void TForm1::ApplySettings(const TWindowSettings& settings)
{
    list_->SetOpenRunsDefaultAction(settings.defAct);
    move(settings.left, settings.top);
    resize(settings.width, settings.height);
    SetTreeWidth(settings.treeWidth);
}

void TForm1::ApplyDefaultSettings()
{
    list_->SetOpenRunsDefaultAction(false);
    move(kDefaultLeft, kDefaultTop);
    resize(kDefaultWidth, kDefaultHeight);
    SetTreeWidth(kDefaultTreeWidth);
}

void TForm1::FormCreate(const std::vector<std::string>& args)
{
    helpFile_ = HelpBookName();

    THints::Instance().SetEnabled(false);
    THints::Instance().SetHidePause(5000);
    imageList_->SetImageSize(isSmall);

    // A damaged value puts every number and flag back to its default; the strings
    // read before it are kept. Without the key the built-in layout stays.
    TWindowSettings settings;
    switch (ReadWindowSettings(settings)) {
    case TSettingsRead::srNoKey:
        settings = {};
        break;
    case TSettingsRead::srDamaged:
        ApplyDefaultSettings();
        settings.menuShow = true;
        break;
    case TSettingsRead::srComplete:
        ApplySettings(settings);
        break;
    }

    // Nothing on Linux writes the shell-folder keys: the platform fills in what is
    // missing, on every start, for the Favorites submenus as much as for the start folder.
    platform::SeedShellFolders();
    std::string lastDir = settings.lastDir;
    if (lastDir.empty())
        lastDir = StartMenuFolder();
    if (!args.empty() && IsFolder(args[0]))
        lastDir = TreePath(args[0]);
    if (!settings.menuShow)
        MenuToggle();
    std::string columns = settings.colShow;
    if (columns.size() < 2)
        columns = ShortcutList()->AllColumns();
    list_->SetColumnSet(columns);
    SetTreeSelection(lastDir.empty() ? kBuiltInTreeSelection : lastDir);
    // Qt makes the first row of a view without a current row current when the view
    // takes the focus; a start folder that selected nothing must leave the tree, the
    // list and the title alone until the user picks a folder.
    if (!dfsTV_->Selected())
        dfsTV_->setCurrentIndex(QModelIndex());
    favorites_->FavLoad();
    ActionList1Update();
}

void TForm1::FormDestroy()
{
    if (destroyed_)
        return;
    destroyed_ = true;
    dropFileTargetLV_->Detach();
    dropFileTargetTV_->Detach();
    dirNotify1_->SetEnabled(false);
    SaveSettings();
}

void TForm1::SaveSettings()
{
    TWindowSettings settings;
    settings.defAct = list_->OpenRunsDefaultAction();
    settings.top = y();
    settings.left = x();
    settings.height = height();
    settings.width = width();
    settings.treeWidth = panelTV_->width();
    settings.lastDir = TreeSelection();
    settings.colShow = list_->ColumnSet();
    settings.menuShow = MenuBarShown();
    const bool normal = !isMaximized() && !isFullScreen();
    // Where the window system keeps the window's place to itself (Wayland), the
    // place read back is meaningless: the stored one stays.
    const bool placeKnown = !QGuiApplication::platformName().startsWith("wayland");
    // One change of the hive: a program killed while saving loses neither. The
    // favorites are saved even when the settings part stops early, and the menu
    // keeps them, for the next save.
    platform::registry::Batch batch(platform::registry::Hive::CurrentUser);
    WriteWindowSettings(settings, normal && placeKnown, normal);
    WriteFavorites(favorites_->Paths());
}

bool TForm1::MenuBarShown() const { return mainMenus_.front()->menuAction()->isVisible(); }

void TForm1::MenuToggle()
{
    // The new state follows the menus themselves: Qt has already flipped the
    // check mark when the action was triggered from a key or a menu.
    const bool show = !MenuBarShown();
    Action(ActionId::aMainMenu)->setChecked(show);
    for (QMenu* menu : mainMenus_)
        menu->menuAction()->setVisible(show);
    menuBar()->setVisible(show);
}

const QWidget* TForm1::CommandFocus() const
{
    // A menu opened from the keyboard (Alt+F) takes the focus into the menu bar; its
    // commands are still meant for the pane the user was in.
    const QWidget* focus = QApplication::focusWidget();
    if (focus && (qobject_cast<const QMenuBar*>(focus) || qobject_cast<const QMenu*>(focus)))
        return lastFocus_.data();
    return focus;
}

bool TForm1::ListFocused() const
{
    const QWidget* focus = CommandFocus();
    return focus && (focus == list_ || list_->isAncestorOf(focus));
}

bool TForm1::TreeFocused() const
{
    const QWidget* focus = CommandFocus();
    return focus && (focus == panelTV_ || panelTV_->isAncestorOf(focus));
}

namespace {

// Every file of the list is a shortcut file (an empty list too). The whole name is
// judged, however long its path.
bool AllShortcutFiles(const platform::clipboard::FileList& files)
{
    return std::all_of(files.paths.begin(), files.paths.end(), [](const std::string& path) {
        return platform::shell::IsShortcutFileName(path.substr(path.rfind('/') + 1));
    });
}

} // namespace

bool TForm1::CanPaste()
{
    platform::clipboard::FileList files;
    return platform::clipboard::ReadFiles(files) && AllShortcutFiles(files);
}

void TForm1::ReadClipboardState()
{
    platform::clipboard::FileList files;
    clipboardHasFiles_ = platform::clipboard::ReadFiles(files);
    clipboardCanPaste_ = clipboardHasFiles_ && AllShortcutFiles(files);
}

void TForm1::ActionList1Update()
{
    using enum ActionId;
    Action(aMainMenu)->setChecked(MenuBarShown());
    Action(aStatusBar)->setChecked(statusBar()->isVisibleTo(this));
    Action(aPaste)->setVisible(clipboardCanPaste_);
    Action(aPasteShortcut)->setVisible(!clipboardCanPaste_ && clipboardHasFiles_);
    const bool listSelection = ListFocused() && list_->SelectedCount() > 0;
    const bool treeSelection = TreeFocused() && dfsTV_->Selected() != nullptr;
    Action(aOpen)->setEnabled(listSelection);
    for (ActionId id : {aDelete, aRename, aProperties, aCut, aCopy})
        Action(id)->setEnabled(listSelection || treeSelection);
    Action(aTest)->setEnabled(list_->ItemCount() > 0);
    // Computer, Trash and no selection have no folder to come back to.
    Action(aAddToFavorites)->setEnabled(!TreeSelection().empty());
}

void TForm1::ActionExecute(ActionId id)
{
    using enum ActionId;
    const ActionRow& row = ActionRowOf(id);
    ActionList1Update();
    switch (id) {
    // Commands for the list whatever has the focus.
    case aNewShortcut:
    case aNewFolder:
    case aSelectAll:
    case aInvertSelection:
    case aTest:
        RunOnList(row);
        break;
    // Commands for the pane with the focus.
    case aOpen:
    case aDelete:
    case aRename:
    case aProperties:
    case aCut:
    case aCopy:
    case aPaste:
    case aPasteShortcut:
        if (ListFocused())
            RunOnList(row);
        else if (TreeFocused())
            RunOnTree(id);
        break;
    case aExit:
        close();
        break;
    case aMainMenu:
        MenuToggle();
        break;
    case aStatusBar:
        statusBar()->setVisible(!statusBar()->isVisibleTo(this));
        Action(aStatusBar)->setChecked(statusBar()->isVisibleTo(this));
        break;
    case aRefresh:
        Refresh();
        break;
    case aHelpTopics:
        OpenHelpTopics();
        break;
    case aVisitHomePage:
        // The program has no site: the help book, installed with it, says what it is.
        ShowHelpTopic(QStringLiteral("about"));
        break;
    case aOptions:
        CreateModal([this](QWidget*) { return new TQuilOptBox(*this); });
        break;
    case aAddToFavorites:
        favorites_->FavAdd(favorites_->Menu(), TreeSelection());
        break;
    case aOrganizeFavorites:
        CreateModal([this](QWidget*) { return new TFavOrgBox(*this); });
        break;
    case aAbout:
        CreateModal([this](QWidget*) { return new TAboutBox(*this); });
        break;
    }
    ActionList1Update();
    emit ActionExecuted(row.name);
}

void TForm1::RunOnList(const ActionRow& row)
{
    if (row.listCommand)
        list_->DoVerb(row.listCommand);
}

void TForm1::RunOnTree(ActionId id)
{
    using enum ActionId;
    TFolderNode* node = dfsTV_->Selected();
    if (!node || !node->Data || !node->Data->RelativeIdList)
        return;
    // The node as the item its folder enumerated, as its own menu takes it: the
    // verbs see that one item with its real attributes (a root stays a root, and a
    // folder named "a*" is no pattern); the pastes go into it.
    const TFolderItemData& item = *node->Data;
    auto run = [&](const char* verb) {
        RunVerbOnItem(verb, item.ParentFolder, item.RelativeIdList.Get(), item.Attributes, this);
    };
    switch (id) {
    case aDelete:
        run("Delete");
        break;
    case aRename:
        dfsTV_->StartEditing(node);
        break;
    case aProperties:
        ShowItemProperties(item.ParentFolder, item.RelativeIdList.Get(), item.Attributes, this);
        break;
    case aCut:
        run("Cut");
        break;
    case aCopy:
        run("Copy");
        break;
    case aPaste:
        run("Paste");
        break;
    case aPasteShortcut:
        run("PasteLink");
        break;
    default:
        break; // Open does nothing on the tree; the rest are no item commands
    }
}

void TForm1::OpenHelpTopics() { ShowHelpContext(0); }

void TForm1::ShowHelpContext(int context)
{
    ShowHelpTopic(context != 0 ? QString("context-%1").arg(context) : QString());
}

void TForm1::ShowHelpTopic(const QString& anchor)
{
    const QString path = DataFilePath(helpFile_);
    // The manual page is installed with the book and tells its essentials.
    const QString manual = QStringLiteral("\n\nThe manual page (man quillmere) has the same book's essentials.");
    if (!QFileInfo::exists(path)) {
        ReportError(QString("The help file %1 was not found.").arg(path) + manual);
        return;
    }
    QUrl url = QUrl::fromLocalFile(path);
    if (!anchor.isEmpty())
        url.setFragment(anchor);
    // Without a browser or a desktop's opener nothing would happen at all.
    if (!QDesktopServices::openUrl(url))
        ReportError(QString("No program was found to open the help file %1.").arg(path) + manual);
}

int TForm1::FocusedHelpContext() const
{
    return ListFocused() ? kHelpList : kHelpWindow;
}

void TForm1::CreateModal(const std::function<QDialog*(QWidget* owner)>& create)
{
    THints::Instance().SetEnabled(true);
    QDialog* dialog = create(this);
    if (dialog) {
        dialog->move(x() + 45, y() + 60);
        dialog->exec();
        delete dialog;
    }
    THints::Instance().SetEnabled(false);
}

std::string TForm1::TreeSelection() const
{
    return dfsTV_->Selection();
}

void TForm1::SetTreeSelection(const std::string& path)
{
    // The tree's change of selection runs dfsTVChange; a path that does not parse
    // selects nothing and changes nothing.
    dfsTV_->SetSelection(path.empty() ? path : TreePath(path));
}

void TForm1::dfsTVChange()
{
    // The watcher never reports the old folder's changes to a list showing the new one.
    dirNotify1_->SetEnabled(false);
    // A node without a file-system path (Computer, Trash) gives the list and the
    // watcher nothing: an empty path leaves the watcher idle.
    const std::string selection = dfsTV_->Selection();
    dirNotify1_->SetPath(selection);
    if (WithSlash(list_->Directory()) != WithSlash(selection))
        list_->SetDirectory(selection);
    Refresh();
    setWindowTitle(QString(kProgramName) + " - " + DisplayPath(selection));
    if (destroyed_)
        return;
    try {
        dirNotify1_->SetEnabled(true);
    } catch (const std::exception& e) {
        // The folder is shown all the same; its changes go unseen (F5 still reads)
        // until another folder is chosen.
        ReportError(QString::fromLocal8Bit(e.what()));
    }
}

void TForm1::DirNotify1Change() { Refresh(); }

void TForm1::ShortcutListDirChange()
{
    // The tree follows the list; its change handler then finds both in step.
    if (WithSlash(dfsTV_->Selection()) != WithSlash(list_->Directory()))
        SetTreeSelection(list_->Directory());
}

void TForm1::Refresh()
{
    list_->RequestRead();
    RebuildSelectedBranch();
}

void TForm1::RebuildSelectedBranch()
{
    // The rebuild would close a name editor open in the branch, and what was typed
    // would be lost: it waits until the editor closes, the edit accepted or not.
    rebuildDeferred_ = dfsTV_->Editing();
    if (rebuildDeferred_)
        return;
    TFolderNode* node = dfsTV_->Selected();
    if (!node)
        return;
    // The tree expands again the children that were expanded, also once a folder on
    // a network mount has answered.
    dfsTV_->BeginUpdate();
    dfsTV_->RefreshNode(node);
    dfsTV_->EndUpdate();
}

void TForm1::ShortcutListStatusChange()
{
    const long long shortcuts = list_->ItemCount() - list_->FolderCount();
    panels_[0]->setText(QString::fromStdString(Plural(shortcuts, "shortcut")));
    const int failed = list_->FailedCount();
    QString text = failed != 0 ? QString::fromStdString(Plural(failed, "shortcut") + " failed test!") : QString();
    // An empty list from a folder that could not be read says why, rather than
    // looking like an empty folder.
    if (failed == 0 && list_->ReadError() != 0)
        text = QStringLiteral("Cannot read this folder: ") + QString::fromLocal8Bit(std::strerror(list_->ReadError()));
    // A test that had to give up on a network mount says which, after its failures.
    if (!list_->UnansweredMount().empty()) {
        const QString mount = DisplayPath(list_->UnansweredMount()) + " does not answer";
        text = failed != 0 ? text + "  " + mount : mount;
    }
    // A read, which the job's own changes bring, leaves the job's result in view.
    SetPanel1(text, list_->ReportingTest() || !list_->UnansweredMount().empty());
    ActionList1Update();
}

void TForm1::ShortcutListSelectionChange()
{
    SetPanel1(QString::fromStdString(Plural(list_->SelectedCount(), "item") + " selected"), !list_->SelectionByRead());
    ActionList1Update();
}

void TForm1::PanelTVResize()
{
    if (panels_[0])
        panels_[0]->setFixedWidth(panelTV_->width() + 1);
}

QString TForm1::PanelText(int panel) const { return panel >= 0 && panel < 2 ? panels_[panel]->text() : QString(); }

int TForm1::PanelWidth(int panel) const { return panel >= 0 && panel < 2 ? panels_[panel]->width() : 0; }

void TForm1::ReportError(const QString& message)
{
    // Before the window is shown (a folder refused at start-up) a box would stand
    // alone on the screen, ahead of the window it is about.
    if (!isVisible()) {
        heldErrors_.append(message);
        return;
    }
    if (auto* app = qobject_cast<TApplication*>(QCoreApplication::instance()))
        app->QueueError(message);
    else
        QMetaObject::invokeMethod(this, [message] { TApplication::ShowErrorBox(message); }, Qt::QueuedConnection);
}

void TForm1::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    // After the toolkit has given the window's focus back to the widget that had it.
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        QMetaObject::invokeMethod(this, &TForm1::RestorePaneFocus, Qt::QueuedConnection);
}

void TForm1::TakeBackFocus()
{
    // Another window of the program, or a question still open, keeps it.
    if (!isVisible() || QApplication::activeModalWidget() ||
        (QApplication::activeWindow() && QApplication::activeWindow() != this))
        return;
    if (isActiveWindow())
        RestorePaneFocus();
    else
        activateWindow(); // its activation gives the pane the focus
}

void TForm1::RestorePaneFocus()
{
    if (!isActiveWindow() || ListFocused() || TreeFocused())
        return;
    QWidget* pane = lastPane_ ? lastPane_.data() : list_;
    pane->setFocus(Qt::ActiveWindowFocusReason);
}

void TForm1::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    for (const QString& message : std::exchange(heldErrors_, {}))
        ReportError(message);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == panelTV_ && event->type() == QEvent::Resize)
        PanelTVResize();
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1) {
        if (auto* menu = qobject_cast<QMenu*>(watched)) {
            // The list's own menu is part of the list; the top-level menus have theirs.
            const int context = menu == popupMenu1_                                ? kHelpList
                                : mainMenus_.size() > 3 && menu == mainMenus_[3] ? kHelpFavorites
                                                                                  : kHelpWindow;
            menu->close();
            ShowHelpContext(context);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}
