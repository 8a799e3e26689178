#include "app/Actions.h"

#include <iterator>

namespace {

using enum ActionId;

constexpr std::uint8_t F = amMain, FG = amMain | amMainGroup, P = amPopup, PG = amPopup | amPopupGroup;

constexpr ActionRow kActions[] = {
    {aOpen, "aOpen", "&Open", "File", "", false, "DefaultAction", F},
    {aNewShortcut, "aNewShortcut", "&New Shortcut...", "File", "", false, "NewShortcut", FG | P},
    {aNewFolder, "aNewFolder", "New &Folder", "File", "Ins", false, "NewFolder", F | P},
    {aDelete, "aDelete", "&Delete", "File", "", false, "Delete", FG},
    {aRename, "aRename", "Rena&me", "File", "F2", false, "Rename", F},
    {aProperties, "aProperties", "P&roperties", "File", "Alt+Return", false, "Properties", F},
    {aExit, "aExit", "E&xit", "File", "", false, nullptr, FG},
    {aCut, "aCut", "Cu&t", "Edit", "Ctrl+X", false, "Cut", F},
    {aCopy, "aCopy", "&Copy", "Edit", "Ctrl+C", false, "Copy", F},
    {aPaste, "aPaste", "&Paste", "Edit", "Ctrl+V", true, "Paste", F | P},
    {aPasteShortcut, "aPasteShortcut", "Paste &Shortcut", "Edit", "Ctrl+V", true, "PasteShortcut", F | P},
    {aSelectAll, "aSelectAll", "Select &All", "Edit", "Ctrl+A", false, "SelectAll", FG},
    {aInvertSelection, "aInvertSelection", "&Invert Selection", "Edit", "Ctrl+I", false, "InvertSelection", F},
    {aMainMenu, "aMainMenu", "&Main Menu", "View", "F10", false, nullptr, F | PG},
    {aStatusBar, "aStatusBar", "&Status Bar", "View", "", false, nullptr, F},
    {aRefresh, "aRefresh", "&Refresh", "View", "F5", false, nullptr, FG | P},
    {aTest, "aTest", "&Test", "View", "F7", false, "Test", F | P},
    {aOptions, "aOptions", "&Options...", "View", "F8", false, nullptr, FG | PG},
    {aAddToFavorites, "aAddToFavorites", "&Add To Favorites", "Favorites", "", false, nullptr, F},
    {aOrganizeFavorites, "aOrganizeFavorites", "&Organize Favorites", "Favorites", "", false, nullptr, F},
    {aHelpTopics, "aHelpTopics", "&Help Topics", "Help", "", false, nullptr, F | PG},
    {aVisitHomePage, "aVisitHomePage", "&Visit Home Page", "Help", "", false, nullptr, F},
    {aAbout, "aAbout", "&About...", "Help", "", false, nullptr, FG},
};

constexpr bool RowsInIdOrder()
{
    for (std::size_t i = 0; i < std::size(kActions); ++i)
        if (static_cast<std::size_t>(kActions[i].id) != i)
            return false;
    return true;
}
// ActionRowOf indexes the table by id.
static_assert(std::size(kActions) == kActionCount && RowsInIdOrder());

constexpr MainMenuRow kMainMenus[] = {
    {"File", "&File"}, {"Edit", "&Edit"}, {"View", "&View"}, {"Favorites", "F&avorites"}, {"Help", "&Help"},
};

} // namespace

std::span<const ActionRow> ActionTable() { return kActions; }

const ActionRow& ActionRowOf(ActionId id) { return kActions[static_cast<std::size_t>(id)]; }

std::span<const MainMenuRow> MainMenuTable() { return kMainMenus; }
