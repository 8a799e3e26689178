#pragma once
// Reading one folder the way the shortcut list shows it, without widgets: its
// visible subfolders, then its ".lnk", ".pif" and ".url" files, each shortcut read
// into a record. The list view and the command-line report both read through here.
#include <string>
#include <string_view>
#include <vector>

#include "shortcuts/ItemProp.h"

struct TShortcutListItem {
    std::string Name;        // the entry's name as found (bytes)
    bool IsFolder = false;
    bool ReadOk = true;      // ReadShortcut's result; true for folders
    bool OnNetwork = false;  // a symbolic link into a network mount, taken as a folder unseen
    TwekShortcutInfo Info;   // shortcuts only
};

// One folder as the list shows it after a read with its default sort (by name,
// ascending): the visible subfolders sorted by name, then the ".lnk", ".pif" and
// ".url" files sorted by name. Ties keep the enumeration order (".lnk" files before
// ".pif" before ".url", each in the file system's order), so the folder rows keep
// their block at the top and equal names never swap between two reads.
struct TFolderContents {
    std::vector<TShortcutListItem> Items;
    int FolderCount = 0;  // Items[0 .. FolderCount - 1] are the folder rows
    int Error = 0;        // errno when the folder could not be listed
};

// What a read does with an entry that is a symbolic link into a network mount
// (platform/shell/NetworkMounts.h), where looking at it may wait for ever on a
// server that went away: follow it like any other, or take it as a folder without
// looking (what the window's thread must do).
enum class TNetworkLinks { Follow, TakeAsFolders };

// Reads dir (a host path; a trailing "/" is optional). False, with no rows and Error
// set, when dir cannot be listed: missing, not a folder, or not readable.
bool ReadFolderContents(const std::string& dir, TFolderContents& contents,
                        TNetworkLinks networkLinks = TNetworkLinks::Follow);

// One shortcut file read on its own, as a row: its name is the path's last component.
TShortcutListItem ReadShortcutItem(const std::string& path);

// Sorts rows [first, last) by name with CompareListText, keeping equal names in place.
void SortItemsByName(std::vector<TShortcutListItem>::iterator first, std::vector<TShortcutListItem>::iterator last);

// The subfolders of dir (a host path ending with "/"): hidden ones (a leading ".")
// skipped, "." and ".." skipped, in the order the file system gives them.
std::vector<TShortcutListItem> ListSubfolderItems(const std::string& dir);
// The files of dir whose extension is ext ("lnk", "pif", "url"; ignoring letter
// case), hidden ones included, folders skipped, each read with ReadShortcut.
std::vector<TShortcutListItem> ListShortcutItems(const std::string& dir, std::string_view ext);

// The text of a column (letter "a" to "j"; "a" is the row text) for a row, exactly
// as the list shows it: "Dir" under Type for folders, "(special)" as the Target of a
// failed read, the record's defaults in the other columns of a failed read.
std::string ShortcutColumnText(const TShortcutListItem& item, char letter);
// The same without a copy: a view into the row, or into scratch for the icon index.
std::string_view ShortcutColumnView(const TShortcutListItem& item, char letter, std::string& scratch);

// The list's text comparison: letters a to z upper-cased, then byte by byte; a text
// that is a prefix of the other comes first. Answers -1, 0 or 1.
int CompareListText(std::string_view a, std::string_view b);

// The extension of a name with its dot, from the last "." (empty when none).
std::string_view NameExtension(std::string_view name);
