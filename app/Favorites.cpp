#include "app/Favorites.h"

#include <sys/stat.h>

#include <QAction>
#include <QFile>
#include <QMenu>
#include <filesystem>
#include <string_view>

#include "app/Settings.h"
#include "platform/registry/Registry.h"
#include "platform/shell/NetworkMounts.h"
#include "platform/shellfolders/ShellFolders.h"

using platform::registry::Batch;
using platform::registry::Hive;
using platform::registry::Key;
using platform::registry::Result;
using platform::registry::Success;

namespace {

constexpr std::string_view kFavoritesSubKey = "Favorites";

// Where the submenus come from, in this order.
struct ShellFolderSource {
    int submenu; // 0 current user, 1 all users, 2 default user
    Hive hive;
    const char* keyPrefix;
    std::string_view key;
    std::vector<const char*> values;
};

const std::vector<ShellFolderSource>& ShellFolderSources()
{
    using platform::kMapGroupsKey;
    using platform::kShellFoldersKey;
    static const std::vector<ShellFolderSource> sources = {
        {0, Hive::CurrentUser, "", kShellFoldersKey, {"Desktop", "Favorites", "Recent", "SendTo", "Start Menu"}},
        {0, Hive::CurrentUser, "", kMapGroupsKey, {"Quick Launch"}},
        {1, Hive::LocalMachine, "", kShellFoldersKey,
         {"Common Desktop", "Common Favorites", "Common Recent", "Common SendTo", "Common Start Menu"}},
        {1, Hive::LocalMachine, "", kMapGroupsKey, {"Quick Launch"}},
        {2, Hive::Users, ".DEFAULT\\", kShellFoldersKey, {"Desktop", "Favorites", "Recent", "SendTo", "Start Menu"}},
        {2, Hive::Users, ".DEFAULT\\", kMapGroupsKey, {"Quick Launch"}},
    };
    return sources;
}

std::string FavName(std::size_t n) { return "Fav" + std::to_string(n); }

// A plain key delete refuses a key that has subkeys; the favorites' key is
// rebuilt whole, whatever was put into it.
Result DeleteTree(Key& parent, std::string_view name)
{
    Key key;
    if (const Result opened = parent.OpenSubKey(name, key); opened != Success)
        return opened == platform::registry::NotFound ? Success : opened;
    for (std::string child; key.EnumKey(0, child) == Success;)
        if (const Result result = DeleteTree(key, child); result != Success)
            return result;
    key.Close();
    return parent.DeleteSubKey(name);
}

// A folder to offer: one that is there, or one on a network mount, which is never
// looked at from the GUI thread (a server that went away would freeze the window);
// the tree reads it off its thread and finds out.
bool FolderMayExist(const std::string& path)
{
    if (path.empty())
        return false;
    std::error_code ec;
    if (platform::shell::NetworkMountOf(std::filesystem::absolute(path, ec).string()))
        return true;
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

std::vector<std::string> ReadFavorites()
{
    std::vector<std::string> paths;
    Key key;
    if (Key::Open(Hive::CurrentUser, std::string(kSettingsKey) + "\\" + std::string(kFavoritesSubKey), key) != Success)
        return paths;
    // A blank favorite leads nowhere (older versions added one for Computer and
    // Trash): it is dropped, and the next save renumbers the rest.
    std::string path;
    for (std::size_t n = 0; key.ValueExists(FavName(n)) && key.ReadString(FavName(n), path); ++n)
        if (!path.empty())
            paths.push_back(path);
    return paths;
}

bool WriteFavorites(const std::vector<std::string>& paths)
{
    Batch batch(Hive::CurrentUser);
    Key settings;
    if (Key::Create(Hive::CurrentUser, kSettingsKey, settings) != Success)
        return false;
    if (DeleteTree(settings, kFavoritesSubKey) != Success)
        return false;
    Key favorites;
    if (settings.CreateSubKey(kFavoritesSubKey, favorites) != Success)
        return false;
    for (std::size_t n = 0; n < paths.size(); ++n)
        if (!favorites.WriteString(FavName(n), paths[n]))
            break;
    return batch.Commit() == Success;
}

TFavorites::TFavorites(QMenu* menu, std::function<void(const std::string&)> select,
                       std::function<void(const QString&)> report, QObject* parent)
    : QObject(parent), menu_(menu), select_(std::move(select)), report_(std::move(report))
{
    // A folder made or removed since the last look shows as it is now.
    for (int i = 0; i < 3; ++i)
        connect(ShellFolderMenu(i), &QMenu::aboutToShow, this, [this, i] { GreyMissingFolders(ShellFolderMenu(i)); });
}

QMenu* TFavorites::ShellFolderMenu(int index) const { return menu_->actions().value(3 + index)->menu(); }

void TFavorites::FavLoad()
{
    for (const std::string& path : ReadFavorites())
        FavAdd(menu_, path);
    for (const ShellFolderSource& source : ShellFolderSources()) {
        Key key;
        if (Key::Open(source.hive, source.keyPrefix + std::string(source.key), key) != Success)
            continue;
        for (const char* name : source.values) {
            std::string path;
            if (!key.ValueExists(name))
                continue;
            if (!key.ReadString(name, path))
                break;
            FavAdd(ShellFolderMenu(source.submenu), path);
        }
    }
    for (int i = 0; i < 3; ++i)
        GreyMissingFolders(ShellFolderMenu(i));
}

void TFavorites::GreyMissingFolders(QMenu* submenu)
{
    for (QAction* entry : submenu->actions())
        entry->setEnabled(FolderMayExist(PathOf(entry)));
}

QString TFavorites::MenuText(const std::string& path)
{
    QString text = QFile::decodeName(QByteArray::fromStdString(path));
    text.replace('&', "&&");
    text.replace('\t', ' '); // a tab would start the text of a shortcut key
    return text;
}

std::string TFavorites::PathOf(const QAction* entry) { return entry->data().toByteArray().toStdString(); }

QAction* TFavorites::FavAdd(QMenu* parent, const std::string& path)
{
    auto* entry = new QAction(MenuText(path), parent);
    entry->setData(QByteArray::fromStdString(path));
    connect(entry, &QAction::triggered, this, [this, entry] { FavClick(entry); });
    parent->addAction(entry);
    return entry;
}

void TFavorites::FavClick(const QAction* entry)
{
    const std::string path = PathOf(entry);
    if (!FolderMayExist(path)) {
        // The tree would parse nothing and leave the selection as it was: the user
        // would see no answer at all.
        report_(QString("The folder '%1' does not exist.").arg(QFile::decodeName(QByteArray::fromStdString(path))));
        return;
    }
    select_(path);
}

std::vector<std::string> TFavorites::Paths() const
{
    std::vector<std::string> paths;
    const QList<QAction*> entries = menu_->actions();
    for (qsizetype i = kFavoritesFixedEntries; i < entries.size(); ++i)
        paths.push_back(PathOf(entries[i]));
    return paths;
}

void TFavorites::SetPaths(const std::vector<std::string>& paths)
{
    const QList<QAction*> entries = menu_->actions();
    for (qsizetype i = kFavoritesFixedEntries; i < entries.size(); ++i) {
        menu_->removeAction(entries[i]);
        delete entries[i];
    }
    for (const std::string& path : paths)
        if (!path.empty())
            FavAdd(menu_, path);
}
