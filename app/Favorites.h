#pragma once
// The Favorites menu: seven fixed entries (Add To Favorites, Organize Favorites, a
// separator, the submenus of the current user's, all users' and the default user's
// shell folders, a separator), then the user's favorite folders, stored under
// HKCU "Software\Tarnwick\Quillmere\Favorites" as Fav0, Fav1, ...
//
// An entry's folder is its action's data (the path's bytes); its text only shows
// it. A folder name may hold "&", which a menu takes for an accelerator mark, so the
// text doubles it, and nothing reads the folder back from the text.
//
// A favorite always names a folder: a blank one is never added, and one met in the
// stored list is dropped. Choosing an entry whose folder is missing says so; the
// shell-folder entries (a Wine prefix names folders it never made) stay listed,
// greyed while their folder is missing.
#include <QObject>
#include <QString>
#include <functional>
#include <string>
#include <vector>

class QAction;
class QMenu;

inline constexpr int kFavoritesFixedEntries = 7;

// The stored favorites in order: Fav0, Fav1, ... up to the first number missing,
// blank ones left out.
std::vector<std::string> ReadFavorites();

// Replaces the "Favorites" key (any subkey of it too) by Fav0..n, as one change of
// the hive: a program killed meanwhile leaves the old favorites or the new ones,
// never none. Inside a running registry Batch (the settings at shutdown) it is part
// of that batch's change.
bool WriteFavorites(const std::vector<std::string>& paths);

class TFavorites : public QObject {
    Q_OBJECT
public:
    // menu: the Favorites menu with its fixed entries in place; select: chooses a
    // folder in the tree; report: shows a message to the user.
    TFavorites(QMenu* menu, std::function<void(const std::string&)> select,
               std::function<void(const QString&)> report, QObject* parent = nullptr);

    QMenu* Menu() const { return menu_; }
    // The submenus "&Current User", "All &Users" and "&Default User" (0, 1, 2).
    QMenu* ShellFolderMenu(int index) const;

    // At start: the stored favorites, and the three submenus from the shell-folder
    // keys (a missing key or value leaves its entry out). The submenus' entries are
    // greyed while their folder is missing, looked at again whenever a submenu opens.
    void FavLoad();
    // Appends an entry for path to parent; choosing it runs FavClick.
    QAction* FavAdd(QMenu* parent, const std::string& path);
    // Selects the entry's folder in the tree: exactly the stored path. A folder that
    // is missing selects nothing and is reported.
    void FavClick(const QAction* entry);

    // The user's favorites (the entries after the fixed ones), in menu order.
    std::vector<std::string> Paths() const;
    // Replaces them, blank ones left out; the fixed entries stay.
    void SetPaths(const std::vector<std::string>& paths);

    static std::string PathOf(const QAction* entry);
    // The text a menu shows for a path: "&" doubled, so that it is no accelerator mark.
    static QString MenuText(const std::string& path);

private:
    void GreyMissingFolders(QMenu* submenu);

    QMenu* menu_;
    std::function<void(const std::string&)> select_;
    std::function<void(const QString&)> report_;
};
