#include "app/Unit1.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

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
#include <QMessageBox>
#include <QMimeData>
#include <QResizeEvent>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QSplitter>
#include <QStatusBar>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "app/DataFiles.h"
#include "app/Entry.h"
#include "app/Hints.h"
#include "app/Version.h"
#include "foldertree/SystemImageList.h"
#include "foldertree/SystemTreeView.h"
#include "platform/registry/Registry.h"
#include "platform/shellfolders/ShellFolders.h"
#include "platform/util/Text.h"
#include "shortcuts/wekShortcutListView.h"

using platform::registry::Hive;
using platform::registry::Key;

namespace {

// The built-in layout, in force until the settings are applied.
constexpr int kLayoutLeft = 182, kLayoutTop = 113, kLayoutWidth = 441, kLayoutHeight = 304, kLayoutTreeWidth = 185;
// What a first run (or a damaged setting) gets.
constexpr int kDefaultLeft = 100, kDefaultTop = 100, kDefaultWidth = 500, kDefaultHeight = 300, kDefaultTreeWidth = 150;
constexpr int kReadDelay = 300;
// The tree's own selection before anything else is chosen: the system drive's root.
constexpr const char* kBuiltInTreeSelection = "/";

struct ActionEntry {
    const char* name;
    const char* caption;
    const char* category;
    const char* key;  // as QKeySequence reads it; "" for none
    bool keyShownOnly; // shown beside the caption, but the key runs another action
};

// In table order: a key runs the first action that carries it.
constexpr ActionEntry kActions[] = {
    {"aOpen", "&Open", "File", "", false},
    {"aNewShortcut", "&New Shortcut...", "File", "", false},
    {"aNewFolder", "New &Folder", "File", "Ins", false},
    {"aDelete", "&Delete", "File", "", false},
    {"aRename", "Rena&me", "File", "F2", false},
    {"aProperties", "P&roperties", "File", "Alt+Return", false},
    {"aExit", "E&xit", "File", "", false},
    {"aCut", "Cu&t", "Edit", "Ctrl+X", false},
    {"aCopy", "&Copy", "Edit", "Ctrl+C", false},
    {"aPaste", "&Paste", "Edit", "Ctrl+V", true},
    {"aPasteShortcut", "Paste &Shortcut", "Edit", "Ctrl+V", true},
    {"aSelectAll", "Select &All", "Edit", "Ctrl+A", false},
    {"aInvertSelection", "&Invert Selection", "Edit", "Ctrl+I", false},
    {"aMainMenu", "&Main Menu", "View", "F10", false},
    {"aStatusBar", "&Status Bar", "View", "", false},
    {"aRefresh", "&Refresh", "View", "F5", false},
    {"aTest", "&Test", "View", "F7", false},
    {"aOptions", "&Options...", "View", "F8", false},
    {"aAddToFavorites", "&Add To Favorites", "Favorites", "", false},
    {"aOrganizeFavorites", "&Organize Favorites", "Favorites", "", false},
    {"aHelpTopics", "&Help Topics", "Help", "", false},
    {"aVisitHomePage", "&Visit Home Page", "Help", "", false},
    {"aAbout", "&About...", "Help", "", false},
};

std::string Plural(long long n, const char* word)
{
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

QString DisplayPath(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

bool IsFolder(const std::string& path)
{
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// An empty path stays empty: it is no folder, and "" must not match the root "/".
std::string WithSlash(std::string path)
{
    if (!path.empty() && path.back() != '/')
        path += '/';
    return path;
}

// A folder as the tree names it: absolute, without a trailing "/" but for the root.
std::string TreePath(const std::string& path)
{
    std::error_code ec;
    std::string p = std::filesystem::absolute(std::filesystem::path(path), ec).lexically_normal().string();
    if (ec)
        p = path;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    return p;
}

bool IsShortcutFileName(const QString& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    const qsizetype dot = path.lastIndexOf('.');
    if (dot < 0 || dot < slash)
        return false;
    const QString ext = path.mid(dot).toLower();
    return ext == ".lnk" || ext == ".pif" || ext == ".url";
}

// The files the clipboard offers as a file list, as the file managers put them there.
// Web addresses and remote files are skipped: a list naming nothing but those is no
// file list, or a copied web link would offer Paste.
bool ClipboardFiles(QStringList& files)
{
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data)
        return false;
    QList<QUrl> urls;
    if (data->hasFormat("x-special/gnome-copied-files")) {
        const QList<QByteArray> lines = data->data("x-special/gnome-copied-files").split('\n');
        for (qsizetype i = 1; i < lines.size(); ++i) // the first line says copy or cut
            if (!lines[i].trimmed().isEmpty())
                urls.append(QUrl::fromEncoded(lines[i].trimmed()));
    } else if (data->hasUrls()) {
        urls = data->urls();
    } else {
        return false;
    }
    for (const QUrl& url : urls)
        if (url.isLocalFile())
            files.append(url.toLocalFile());
    return !files.isEmpty() || urls.isEmpty();
}

} // namespace

TForm1::TForm1(const std::vector<std::string>& args, QWidget* parent) : QMainWindow(parent)
{
    setWindowTitle(kProgramName);
    BuildLayout();
    BuildActions();
    BuildMenus();
    FormCreate(args);
}

TForm1::~TForm1()
{
    FormDestroy();
    // The children go after this; their last signals (focus, selection) must not
    // reach a window that is half gone.
    disconnect(qApp, nullptr, this, nullptr);
    disconnect(QGuiApplication::clipboard(), nullptr, this, nullptr);
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
    PanelTVResize();

    connect(dfsTV_, &TdfsSystemTreeView::OnChange, this, [this](TFolderNode*) { dfsTVChange(); });
    // A folder renamed in place: the list follows it to its new name.
    connect(dfsTV_, &TdfsSystemTreeView::OnEdited, this, [this](TFolderNode* node) {
        if (node == dfsTV_->Selected())
            dfsTVChange();
    });
    // The tree is ready at once, so that the start folder is shown as the window opens.
    dfsTV_->HandleNeeded();
    connect(list_, &TwekShortcutListView::OnDirChange, this, [this] { ShortcutListDirChange(); });
    connect(list_, &TwekShortcutListView::OnStatusChange, this, [this] { ShortcutListStatusChange(); });
    connect(list_, &TwekShortcutListView::OnSelectionChange, this, [this] { ShortcutListSelectionChange(); });
    connect(splitter1_, &QSplitter::splitterMoved, this, [this] { PanelTVResize(); });
}

void TForm1::BuildActions()
{
    for (const ActionEntry& entry : kActions) {
        auto* action = new QAction(this);
        action->setObjectName(entry.name);
        action->setProperty("category", entry.category);
        if (entry.keyShownOnly)
            action->setText(QString(entry.caption) + "\t" + QKeySequence(entry.key).toString(QKeySequence::NativeText));
        else
            action->setText(entry.caption);
        if (*entry.key && !entry.keyShownOnly) {
            QList<QKeySequence> keys{QKeySequence(entry.key)};
            if (QString(entry.key) == "Alt+Return")
                keys.append(QKeySequence("Alt+Enter")); // the keypad's Enter too
            action->setShortcuts(keys);
        }
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, [this, action] { ActionExecute(action); });
        // Every action lives on the window too, so its key works with the menu bar hidden.
        addAction(action);
        actions_.push_back(action);
    }
    Action("aMainMenu")->setCheckable(true);
    Action("aMainMenu")->setChecked(true);
    Action("aStatusBar")->setCheckable(true);
    Action("aStatusBar")->setChecked(true);

    // A hidden action is a disabled one to Qt, so Ctrl+V belongs to an action of its
    // own that is never hidden and always runs Paste.
    pasteKey_ = new QAction(this);
    pasteKey_->setObjectName("PasteKey");
    pasteKey_->setShortcut(QKeySequence("Ctrl+V"));
    pasteKey_->setShortcutContext(Qt::WindowShortcut);
    connect(pasteKey_, &QAction::triggered, this, [this] { ActionExecute(Action("aPaste")); });
    addAction(pasteKey_);

    helpKey_ = new QAction(this);
    helpKey_->setObjectName("HelpKey");
    helpKey_->setShortcut(QKeySequence(Qt::Key_F1));
    helpKey_->setShortcutContext(Qt::WindowShortcut);
    connect(helpKey_, &QAction::triggered, this, [this] { ShowHelpContext(FocusedHelpContext()); });
    addAction(helpKey_);
}

QAction* TForm1::Action(const char* name) const
{
    for (QAction* action : actions_)
        if (action->objectName() == name)
            return action;
    return nullptr;
}

void TForm1::BuildMenus()
{
    auto add = [this](QMenu* menu, std::initializer_list<const char*> names) {
        for (const char* name : names) {
            if (std::string_view(name) == "-")
                menu->addSeparator();
            else
                menu->addAction(Action(name));
        }
    };
    QMenuBar* bar = menuBar();
    bar->setObjectName("MainMenu1");
    QMenu* file = bar->addMenu("&File");
    add(file, {"aOpen", "-", "aNewShortcut", "aNewFolder", "-", "aDelete", "aRename", "aProperties", "-", "aExit"});
    QMenu* edit = bar->addMenu("&Edit");
    add(edit, {"aCut", "aCopy", "aPaste", "aPasteShortcut", "-", "aSelectAll", "aInvertSelection"});
    QMenu* view = bar->addMenu("&View");
    add(view, {"aMainMenu", "aStatusBar", "-", "aRefresh", "aTest", "-", "aOptions"});
    QMenu* favorites = bar->addMenu("F&avorites");
    add(favorites, {"aAddToFavorites", "aOrganizeFavorites", "-"});
    favorites->addMenu("&Current User")->setObjectName("FavCurrentUser");
    favorites->addMenu("All &Users")->setObjectName("FavAllUsers");
    favorites->addMenu("&Default User")->setObjectName("FavDefaultUser");
    favorites->addSeparator();
    QMenu* help = bar->addMenu("&Help");
    add(help, {"aHelpTopics", "aVisitHomePage", "-", "aAbout"});
    mainMenus_ = {file, edit, view, favorites, help};

    popupMenu1_ = new QMenu(this);
    popupMenu1_->setObjectName("PopupMenu1");
    add(popupMenu1_, {"aNewShortcut", "aNewFolder", "aPaste", "aPasteShortcut", "-", "aMainMenu", "aRefresh", "aTest",
                      "-", "aOptions", "-", "aHelpTopics"});
    popupMenu1_->setDefaultAction(Action("aNewShortcut"));
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
        ActionList1Update();
    });
    // Asking the clipboard can mean a round trip to another program: it is asked when
    // its contents change, not at every update of the actions.
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, [this] {
        ReadClipboardState();
        ActionList1Update();
    });
    ReadClipboardState();
}

void TForm1::SetTreeWidth(int width)
{
    width = std::max(width, 0);
    const int total = std::max(splitter1_->width(), width + splitter1_->handleWidth() + 1);
    splitter1_->setSizes({width, std::max(total - width - splitter1_->handleWidth(), 1)});
    panelTV_->resize(width, panelTV_->height());
    PanelTVResize();
}

void TForm1::ApplyDefaultSettings(bool& showMenu)
{
    list_->SetOpenRunsDefaultAction(false);
    move(kDefaultLeft, kDefaultTop);
    resize(kDefaultWidth, kDefaultHeight);
    SetTreeWidth(kDefaultTreeWidth);
    showMenu = true;
}

void TForm1::FormCreate(const std::vector<std::string>& args)
{
    helpFile_ = HelpBookName();

    THints::Instance().SetEnabled(false);
    THints::Instance().SetHidePause(5000);
    imageList_->SetImageSize(isSmall);

    bool showMenu = true;
    std::string columns, lastDir;
    Key key;
    if (Key::Create(Hive::CurrentUser, kSettingsKey, key) == platform::registry::Success) {
        std::int32_t top = 0, left = 0, height = 0, width = 0, treeWidth = 0;
        bool flag = false;
        // Each value is applied as it is read; the first that can't be read stops the
        // reading and puts every number and flag back to its default.
        const bool ok = [&] {
            if (!key.ReadBool("DefAct", flag))
                return false;
            list_->SetOpenRunsDefaultAction(flag);
            if (!key.ReadInteger("WinTop", top))
                return false;
            move(x(), top);
            if (!key.ReadInteger("WinLeft", left))
                return false;
            move(left, y());
            if (!key.ReadInteger("WinHeight", height))
                return false;
            resize(this->width(), height);
            if (!key.ReadInteger("WinWidth", width))
                return false;
            resize(width, this->height());
            if (!key.ReadString("ColShow", columns))
                return false;
            if (!key.ReadInteger("TreeWidth", treeWidth))
                return false;
            SetTreeWidth(treeWidth);
            if (!key.ReadString("LastDir", lastDir))
                return false;
            if (!key.ReadBool("MenuShow", flag))
                return false;
            showMenu = flag;
            return true;
        }();
        if (!ok)
            ApplyDefaultSettings(showMenu);
        key.Close();
    }

    if (lastDir.empty()) {
        // Nothing on Linux writes the shell-folder keys: the platform fills in what is missing.
        platform::SeedShellFolders();
        Key folders;
        if (Key::Open(Hive::CurrentUser, platform::kShellFoldersKey, folders) == platform::registry::Success) {
            std::string startMenu;
            if (folders.ReadString("Start Menu", startMenu))
                lastDir = startMenu;
        }
    }
    if (!args.empty() && IsFolder(args[0]))
        lastDir = TreePath(args[0]);
    if (!showMenu)
        MenuToggle();
    if (columns.size() < 2)
        columns = ShortcutList()->AllColumns();
    list_->SetColumnSet(columns);
    SetTreeSelection(lastDir.empty() ? kBuiltInTreeSelection : lastDir);
    ActionList1Update();
}

void TForm1::FormDestroy()
{
    if (destroyed_)
        return;
    destroyed_ = true;
    SaveSettings();
}

void TForm1::SaveSettings()
{
    // One write of the hive for all the values: quicker at logout, and another
    // instance or a crash sees all of them or none.
    platform::registry::Batch batch(Hive::CurrentUser);
    Key key;
    if (Key::Create(Hive::CurrentUser, kSettingsKey, key) != platform::registry::Success)
        return;
    // Where the window system keeps the window's place to itself (Wayland), the
    // place read back is meaningless: the stored one stays.
    const bool placeKnown = !QGuiApplication::platformName().startsWith("wayland");
    [&] {
        if (!key.WriteBool("DefAct", list_->OpenRunsDefaultAction()))
            return;
        if (!isMaximized() && !isFullScreen()) {
            if (placeKnown && !key.WriteInteger("WinTop", y()))
                return;
            if (placeKnown && !key.WriteInteger("WinLeft", x()))
                return;
            if (!key.WriteInteger("WinHeight", height()))
                return;
            if (!key.WriteInteger("WinWidth", width()))
                return;
        }
        if (!key.WriteInteger("TreeWidth", panelTV_->width()))
            return;
        if (!key.WriteString("LastDir", TreeSelection()))
            return;
        if (!key.WriteString("ColShow", list_->ColumnSet()))
            return;
        if (!key.ValueExists("MenuShow")) {
            if (!key.WriteBool("MenuSave", false))
                return;
            key.WriteBool("MenuShow", true);
            return;
        }
        bool menuSave = false;
        if (key.ReadBool("MenuSave", menuSave) && menuSave)
            key.WriteBool("MenuShow", MenuBarShown());
    }();
    key.Close();
}

bool TForm1::MenuBarShown() const { return mainMenus_.front()->menuAction()->isVisible(); }

void TForm1::MenuToggle()
{
    // The new state follows the menus themselves: Qt has already flipped the
    // check mark when the action was triggered from a key or a menu.
    const bool show = !MenuBarShown();
    Action("aMainMenu")->setChecked(show);
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

bool TForm1::CanPaste()
{
    QStringList files;
    if (!ClipboardFiles(files))
        return false;
    for (const QString& file : files)
        if (!IsShortcutFileName(file))
            return false;
    return true;
}

void TForm1::ReadClipboardState()
{
    QStringList files;
    clipboardHasFiles_ = ClipboardFiles(files);
    clipboardCanPaste_ = CanPaste();
}

void TForm1::ActionList1Update()
{
    Action("aMainMenu")->setChecked(MenuBarShown());
    Action("aStatusBar")->setChecked(statusBar()->isVisibleTo(this));
    Action("aPaste")->setVisible(clipboardCanPaste_);
    Action("aPasteShortcut")->setVisible(!clipboardCanPaste_ && clipboardHasFiles_);
    const bool listSelection = ListFocused() && list_->SelectedCount() > 0;
    const bool treeSelection = TreeFocused() && dfsTV_->Selected() != nullptr;
    Action("aOpen")->setEnabled(listSelection);
    for (const char* name : {"aDelete", "aRename", "aProperties", "aCut", "aCopy"})
        Action(name)->setEnabled(listSelection || treeSelection);
    Action("aTest")->setEnabled(list_->ItemCount() > 0);
}

void TForm1::ActionExecute(QAction* action)
{
    if (!action)
        return;
    ActionList1Update();
    const QString name = action->objectName();
    // Commands for the list whatever has the focus.
    if (name == "aNewShortcut")
        list_->DoVerb("NewShortcut");
    else if (name == "aNewFolder")
        list_->DoVerb("NewFolder");
    else if (name == "aSelectAll")
        list_->DoVerb("SelectAll");
    else if (name == "aInvertSelection")
        list_->DoVerb("InvertSelection");
    else if (name == "aTest")
        list_->DoVerb("Test");
    else if (name == "aExit")
        close();
    else if (name == "aMainMenu")
        MenuToggle();
    else if (name == "aStatusBar") {
        statusBar()->setVisible(!statusBar()->isVisibleTo(this));
        Action("aStatusBar")->setChecked(statusBar()->isVisibleTo(this));
    } else if (name == "aRefresh")
        Refresh();
    else if (name == "aHelpTopics")
        OpenHelpTopics();
    else if (name == "aOptions" || name == "aAddToFavorites" || name == "aOrganizeFavorites" ||
             name == "aVisitHomePage" || name == "aAbout") {
        // Their dialogs and menus come with their own parts of the program.
    } else {
        // Commands for the pane with the focus.
        static const std::pair<const char*, const char*> kListVerbs[] = {
            {"aOpen", "DefaultAction"}, {"aDelete", "Delete"}, {"aRename", "Rename"},
            {"aProperties", "Properties"}, {"aCut", "Cut"}, {"aCopy", "Copy"},
            {"aPaste", "Paste"}, {"aPasteShortcut", "PasteShortcut"}};
        if (ListFocused()) {
            for (const auto& [actionName, verb] : kListVerbs)
                if (name == actionName)
                    list_->DoVerb(verb);
        } else if (TreeFocused()) {
            // Open does nothing on the tree; Delete, Properties, Cut, Copy and the
            // pastes are the shell's verbs on the selected folder, wired with them.
            if (name == "aRename")
                dfsTV_->StartEditing(dfsTV_->Selected());
        }
    }
    ActionList1Update();
    emit ActionExecuted(name);
}

void TForm1::OpenHelpTopics() { ShowHelpContext(0); }

void TForm1::ShowHelpContext(int context)
{
    const QString path = DataFilePath(helpFile_);
    if (!QFileInfo::exists(path)) {
        QMessageBox::warning(this, kProgramName, QString("The help file %1 was not found.").arg(path));
        return;
    }
    QUrl url = QUrl::fromLocalFile(path);
    if (context != 0)
        url.setFragment(QString("context-%1").arg(context));
    // Without a browser or a desktop's opener nothing would happen at all.
    if (!QDesktopServices::openUrl(url))
        QMessageBox::warning(this, kProgramName, QString("No program was found to open the help file %1.").arg(path));
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
    // A node without a file-system path (Computer, Trash) gives the list nothing.
    const std::string selection = dfsTV_->Selection();
    if (WithSlash(list_->Directory()) != WithSlash(selection))
        list_->SetDirectory(selection);
    Refresh();
    setWindowTitle(QString(kProgramName) + " - " + DisplayPath(selection));
}

void TForm1::ShortcutListDirChange()
{
    // The tree follows the list; its change handler then finds both in step.
    if (WithSlash(dfsTV_->Selection()) != WithSlash(list_->Directory()))
        SetTreeSelection(list_->Directory());
}

void TForm1::Refresh()
{
    list_->RequestRead();
    TFolderNode* node = dfsTV_->Selected();
    if (!node)
        return;
    // Only the expansion of the direct children survives the rebuild.
    std::vector<std::string> expanded;
    for (const auto& child : node->Children)
        if (dfsTV_->IsNodeExpanded(child.get()))
            expanded.push_back(child->Text);
    dfsTV_->BeginUpdate();
    dfsTV_->RefreshNode(node);
    for (std::size_t i = 0; i < node->Children.size() && !expanded.empty(); ++i) {
        TFolderNode* child = node->Children[i].get();
        const auto it = std::find(expanded.begin(), expanded.end(), child->Text);
        if (it != expanded.end()) {
            expanded.erase(it);
            dfsTV_->ExpandNode(child);
        }
    }
    dfsTV_->EndUpdate();
}

void TForm1::ShortcutListStatusChange()
{
    const long long shortcuts = list_->ItemCount() - list_->FolderCount();
    panels_[0]->setText(QString::fromStdString(Plural(shortcuts, "shortcut")));
    const int failed = list_->FailedCount();
    panels_[1]->setText(failed != 0 ? QString::fromStdString(Plural(failed, "shortcut") + " failed test!") : QString());
    // An empty list from a folder that could not be read says why, rather than
    // looking like an empty folder.
    if (failed == 0 && list_->ReadError() != 0)
        panels_[1]->setText(QStringLiteral("Cannot read this folder: ") + QString::fromLocal8Bit(std::strerror(list_->ReadError())));
    // A test that had to give up on a network mount says which, after its failures.
    if (!list_->UnansweredMount().empty()) {
        const QString mount = DisplayPath(list_->UnansweredMount()) + " does not answer";
        panels_[1]->setText(failed != 0 ? panels_[1]->text() + "  " + mount : mount);
    }
    ActionList1Update();
}

void TForm1::ShortcutListSelectionChange()
{
    panels_[1]->setText(QString::fromStdString(Plural(list_->SelectedCount(), "item") + " selected"));
    ActionList1Update();
}

void TForm1::PanelTVResize()
{
    if (panels_[0])
        panels_[0]->setFixedWidth(panelTV_->width() + 1);
}

QString TForm1::PanelText(int panel) const { return panel >= 0 && panel < 2 ? panels_[panel]->text() : QString(); }

int TForm1::PanelWidth(int panel) const { return panel >= 0 && panel < 2 ? panels_[panel]->width() : 0; }

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

namespace {

// SIGTERM, SIGINT and SIGHUP reach the event loop through a pipe: the handler only
// writes a byte, the window closes the normal way.
int gSignalPipe[2] = {-1, -1};

void OnTerminateSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(gSignalPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

int RunMainWindow(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(kProgramName);
    QGuiApplication::setDesktopFileName("quillmere");

    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);

    auto* window = new TForm1(args);

    std::unique_ptr<QSocketNotifier> notifier;
    if (::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        notifier = std::make_unique<QSocketNotifier>(gSignalPipe[0], QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, window, [window] {
            char buf[16];
            while (::read(gSignalPipe[0], buf, sizeof buf) > 0) {
            }
            window->close();
        });
        struct sigaction sa = {};
        sa.sa_handler = OnTerminateSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        sigaction(SIGTERM, &sa, nullptr);
        sigaction(SIGINT, &sa, nullptr);
        // The terminal the program was started from going away (at logout, too) is
        // no reason to lose the settings; started with nohup, it stays ignored.
        struct sigaction hangup = {};
        if (sigaction(SIGHUP, nullptr, &hangup) == 0 && hangup.sa_handler != SIG_IGN)
            sigaction(SIGHUP, &sa, nullptr);
    }
    // The session may end the process right after asking: the settings are written then.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, window, [window](QSessionManager&) { window->SaveSettings(); });

    window->show();
    const int status = app.exec();
    notifier.reset();
    delete window;
    // Every folder record went with the tree; one left behind is a leak worth telling.
    try {
        CheckFolderItemDataLeaks();
    } catch (const ELeaking& e) {
        QMessageBox::critical(nullptr, kProgramName, QString::fromUtf8(e.what()));
    }
    return status;
}
