// The shortcut list's commands (DoVerb and what the keys and double-clicks run),
// the test of its links, renaming, and its context menu.
#include <sys/stat.h>

#include <QApplication>
#include <QMenu>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <utility>

#include "platform/fileops/DisplayPath.h"
#include "platform/shell/CallNearMount.h"
#include "platform/shell/NetworkMounts.h"
#include "platform/util/Text.h"
#include "platform/verbs/VerbMessages.h"
#include "shortcuts/FolderContents.h"
#include "shortcuts/ItemProp.h"
#include "shortcuts/NetworkLinkTest.h"
#include "shortcuts/NewFolder.h"
#include "shortcuts/RenameNoReplace.h"
#include "shortcuts/ShellVerbs.h"
#include "shortcuts/ShortcutListModel.h"
#include "shortcuts/wekShortcutListView.h"

void TwekShortcutListView::OpenSelected()
{
    const int first = FirstSelectedRow();
    if (first < 0) {
        DoVerb("NewShortcut");
        return;
    }
    if (first < folderCount_) {
        SetDirectory(model_->Folder() + model_->Row(first).Name);
        emit OnDirChange(this);
        return;
    }
    DoVerb(openRunsDefaultAction_ ? "DefaultAction" : "Properties");
}

void TwekShortcutListView::GoUp()
{
    // Drop the trailing "/" and the last character of the last name, then keep
    // everything up to the "/" before it.
    std::string dir = directory_.size() >= 2 ? directory_.substr(0, directory_.size() - 2) : std::string();
    const auto slash = dir.find_last_of('/');
    dir = slash == std::string::npos ? std::string() : dir.substr(0, slash + 1);
    if (dir.empty())
        return; // at the root, or in no folder: nowhere further up
    SetDirectory(dir);
    emit OnDirChange(this);
}

void TwekShortcutListView::StartEditing(int row)
{
    if (row < 0 || row >= ItemCount())
        return;
    const QModelIndex index = model_->index(row, 0);
    setCurrentIndex(index);
    scrollTo(index);
    edit(index);
}

void TwekShortcutListView::DoVerb(std::string_view verb)
{
    if (directory_.empty())
        return; // no folder: no command has anything to work on
    // The selected rows' files are in the folder the rows were read from, which is
    // not Directory while another folder's read is pending.
    const std::string& rowsFolder = model_->Folder();
    const std::pair<std::string_view, std::function<void()>> commands[] = {
        {"DefaultAction", [&] { RunDefaultVerbOnFiles(rowsFolder, SelectedNames(), this); }},
        {"NewShortcut",
         [&] {
             // The wizard takes the rest of its command line as the folder, blanks
             // and all, so the folder is not quoted.
             if (StartCommand && StartCommand("RunDLL32 AppWiz.Cpl,NewLinkHere " + directory_, kShowNormal) > 31)
                 AwaitWizard();
         }},
        {"NewFolder", [&] { NewFolder(); }},
        {"Delete", [&] { RunVerbOnFiles("Delete", rowsFolder, SelectedNames(), this); }},
        {"Rename", [&] { StartEditing(FirstSelectedRow()); }},
        {"Properties", [&] { ShowFilesProperties(rowsFolder, SelectedNames(), this); }},
        {"Cut",
         [&] {
             // Ghosted once the shell took them, until the next read, which comes when
             // the files have moved. Rows the shell refused keep their look.
             const std::vector<int> rows = SelectedRows();
             if (RunVerbOnFiles("Cut", rowsFolder, SelectedNames(), this))
                 for (int row : rows)
                     SetItemCut(row, true);
         }},
        {"Copy", [&] { RunVerbOnFiles("Copy", rowsFolder, SelectedNames(), this); }},
        {"Paste", [&] { RunVerbOnPath("Paste", directory_, this); }},
        {"PasteShortcut", [&] { RunVerbOnPath("PasteLink", directory_, this); }},
        {"SelectAll", [&] { SelectAllRows(QItemSelectionModel::Select); }},
        {"InvertSelection", [&] { SelectAllRows(QItemSelectionModel::Toggle); }},
        {"Test", [&] { TestShortcuts(); }},
    };
    // Exact names, letter case included; a name not in the table does nothing.
    for (const auto& [name, run] : commands) {
        if (name == verb) {
            run();
            return;
        }
    }
}

void TwekShortcutListView::NewFolder()
{
    // Filled on a thread of its own for a folder on a network mount, which may still
    // be at it when the wait is given up.
    auto made = std::make_shared<std::string>();
    const std::string folder = directory_;
    const std::optional<int> error =
        CallInFolder(folder, [folder, made] { return MakeNumberedFolder(folder, "New Folder", *made); });
    if (!error)
        return;
    RequestRead();
    if (*error == 0)
        SelectWhenShown({*made}, true);
    else
        platform::verbs::TellUser("Cannot make a new folder in \"" + platform::fileops::DisplayPath(folder) +
                                      "\": " + std::strerror(*error) + ".",
                                  this);
}

void TwekShortcutListView::AwaitWizard()
{
    // The wizard, a process of its own, names its file itself: what it made is the
    // shortcut file that was not there before.
    if (model_->Folder() != directory_)
        return;
    TAwaitedRows awaited{directory_, {}, false, true, {}};
    for (int row = 0; row < ItemCount(); ++row)
        awaited.known.push_back(model_->Row(row).Name);
    std::sort(awaited.known.begin(), awaited.known.end());
    awaited_ = std::move(awaited);
}

void TwekShortcutListView::SelectAllRows(QItemSelectionModel::SelectionFlag how)
{
    if (ItemCount() > 0) {
        const QItemSelection all(model_->index(0, 0), model_->index(ItemCount() - 1, model_->columnCount() - 1));
        selectionModel()->select(all, how | QItemSelectionModel::Rows);
    }
    setFocus();
}

void TwekShortcutListView::TestShortcuts()
{
    CancelNetworkTest(); // a new test replaces one still waiting
    failedCount_ = 0;
    unansweredMount_.clear();
    std::vector<int> rows = SelectedRows();
    if (rows.empty()) {
        for (int row = 0; row < ItemCount(); ++row)
            rows.push_back(row);
    }
    // Links on a network mount, or leading into one, are tested off this thread.
    const auto folderMount = platform::shell::NetworkMountOf(model_->Folder());
    std::vector<TNetworkLinkTest::TLink> remote;
    int failed = 0;
    for (int row : rows) {
        if (row < folderCount_)
            continue;
        const std::string& name = model_->Row(row).Name;
        const std::string path = model_->Folder() + name;
        if (platform::EqualsIgnoreAsciiCase(NameExtension(name), ".url")) {
            model_->SetState(row, 2);
        } else if (const auto mount = folderMount ? std::optional(folderMount->MountPoint) : LinkTestNetworkMount(path)) {
            remote.push_back({name, path, *mount});
        } else if (TestShellLink(path)) {
            model_->SetState(row, 1);
        } else {
            model_->SetState(row, 0);
            ++failed;
        }
    }
    if (remote.empty()) {
        failedCount_ = failed;
        ReportTest();
        failedCount_ = 0;
        return;
    }
    localFailures_ = failed;
    networkTest_ = std::make_unique<TNetworkLinkTest>(std::move(remote), networkWait_);
    connect(networkTest_.get(), &TNetworkLinkTest::Done, this, &TwekShortcutListView::FinishNetworkTest);
    UpdateBusyCursor();
    networkTest_->Start();
}

void TwekShortcutListView::FinishNetworkTest()
{
    if (!networkTest_)
        return;
    // It is still in its own signal: it goes once that has returned.
    TNetworkLinkTest* test = networkTest_.release();
    test->deleteLater();
    UpdateBusyCursor();
    failedCount_ = localFailures_;
    localFailures_ = 0;
    // By name: the rows may have been sorted or renamed meanwhile. A link whose
    // mount did not answer is untested, whatever an earlier test said.
    const std::map<std::string, bool>& results = test->Results();
    std::vector<std::string> untested = test->Untested();
    std::sort(untested.begin(), untested.end());
    for (int row = std::max(folderCount_, 0); row < ItemCount(); ++row) {
        const std::string& name = model_->Row(row).Name;
        if (const auto it = results.find(name); it != results.end()) {
            model_->SetState(row, it->second ? 1 : 0);
            failedCount_ += it->second ? 0 : 1;
        } else if (std::binary_search(untested.begin(), untested.end(), name)) {
            model_->SetState(row, -1);
        }
    }
    const std::vector<std::string>& unanswered = test->Unanswered();
    unansweredMount_ = unanswered.empty() ? std::string() : unanswered.front();
    ReportTest();
    failedCount_ = 0;
    unansweredMount_.clear();
}

void TwekShortcutListView::ReportTest()
{
    reportingTest_ = true;
    emit OnStatusChange(this);
    reportingTest_ = false;
}

void TwekShortcutListView::CancelNetworkTest()
{
    if (!networkTest_)
        return;
    networkTest_.reset();
    localFailures_ = 0;
    UpdateBusyCursor();
}

bool TwekShortcutListView::RenameEdited(int row, const QString& text)
{
    renameRefused_ = false;
    if (row < 0 || row >= ItemCount())
        return false;
    const std::string& oldName = model_->Row(row).Name;
    std::string newName = TShortcutListModel::TextToName(text);
    const std::string_view oldExt = NameExtension(oldName);
    if (!platform::EqualsIgnoreAsciiCase(oldExt, NameExtension(newName)))
        newName += oldExt;
    if (newName == oldName)
        return false;
    // A "/" would move the file into another folder; "." and ".." name folders.
    if (newName.empty() || newName == "." || newName == ".." || newName.find('/') != std::string::npos ||
        newName.find('\0') != std::string::npos) {
        RefuseRename("\"" + platform::fileops::DisplayPath(newName) + "\" cannot be a file's name.");
        return false;
    }
    // The row's file is in the folder the rows were read from. Directory may already
    // name another folder whose read is still pending, where the same name would be
    // someone else's file.
    const std::string folder = model_->Folder();
    const std::optional<int> error = CallInFolder(folder, [from = folder + oldName, to = folder + newName] {
        errno = 0;
        return RenameNoReplace(from, to) ? 0 : errno != 0 ? errno : EIO;
    });
    // The list shows the changes of its folder by reading it again; a share that did
    // not answer would only hold up another read.
    if (error)
        RequestRead();
    if (!error)
        return false;
    if (*error != 0) {
        const std::string shown = platform::fileops::DisplayPath(oldName);
        RefuseRename(*error == EEXIST ? "Could not rename \"" + shown + "\": a file named \"" +
                                            platform::fileops::DisplayPath(newName) + "\" exists already."
                                      : "Could not rename \"" + shown + "\": " + std::strerror(*error));
        return false;
    }
    model_->SetRowName(row, std::move(newName));
    return true;
}

void TwekShortcutListView::RefuseRename(const std::string& message)
{
    renameRefused_ = true;
    // A commit made because the message took the focus from the editor is the same
    // name again: it is told once.
    if (!QApplication::activeModalWidget())
        platform::verbs::TellUser(message, this);
}

std::optional<int> TwekShortcutListView::CallInFolder(const std::string& folder, const std::function<int()>& call)
{
    std::string silent;
    if (std::optional<int> answer =
            platform::shell::CallNearMount(folder, call, std::chrono::milliseconds(networkWait_), silent))
        return answer;
    unansweredMount_ = silent;
    emit OnStatusChange(this);
    unansweredMount_.clear();
    return std::nullopt;
}

QPoint TwekShortcutListView::KeyboardMenuPoint() const
{
    if (const int first = FirstSelectedRow(); first >= 0) {
        const QPoint topLeft = viewport()->mapTo(this, visualRect(model_->index(first, 0)).topLeft());
        return mapToGlobal(topLeft + QPoint(30, 10));
    }
    return mapToGlobal(QPoint(width() / 3, height() / 3));
}

void TwekShortcutListView::ShowContextMenu(const QPoint& screenPoint)
{
    if (FirstSelectedRow() < 0) {
        if (popupMenu_)
            popupMenu_->popup(screenPoint);
        return;
    }
    bool rename = false;
    ShowFilesContextMenu(model_->Folder(), SelectedNames(), this, rename, screenPoint);
    // The menu ran an event loop of its own, in which a read may have replaced the
    // rows: the row to edit is the first selected one now.
    if (rename)
        StartEditing(FirstSelectedRow());
}
