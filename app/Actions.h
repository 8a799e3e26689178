#pragma once
// The window's commands: one row per action, found by its id. The menus are built
// from the rows, and the window's dispatch switches over the ids, so a command
// missing from either, or a misspelt one, does not build.
#include <cstddef>
#include <cstdint>
#include <span>

// In table order: a key runs the first action that carries it.
enum class ActionId : std::uint8_t {
    aOpen,
    aNewShortcut,
    aNewFolder,
    aDelete,
    aRename,
    aProperties,
    aExit,
    aCut,
    aCopy,
    aPaste,
    aPasteShortcut,
    aSelectAll,
    aInvertSelection,
    aMainMenu,
    aStatusBar,
    aRefresh,
    aTest,
    aOptions,
    aAddToFavorites,
    aOrganizeFavorites,
    aHelpTopics,
    aVisitHomePage,
    aAbout,
};
inline constexpr std::size_t kActionCount = static_cast<std::size_t>(ActionId::aAbout) + 1;

// Where an action is shown. A group's first entry has a separator before it.
enum ActionMenus : std::uint8_t {
    amMain = 1,       // its category's menu in the menu bar
    amMainGroup = 2,  // ... first of a group there
    amPopup = 4,      // the list's pop-up menu
    amPopupGroup = 8, // ... first of a group there
};

struct ActionRow {
    ActionId id;
    const char* name; // the QAction's object name, told by TForm1::ActionExecuted
    const char* caption;
    const char* category; // also the menu-bar menu that shows it
    const char* key;      // as QKeySequence reads it; "" for none
    bool keyShownOnly;    // shown beside the caption, but the key runs another action
    const char* listCommand; // the list's command (DoVerb); nullptr when it has none
    std::uint8_t menus;      // ActionMenus
};

// The menu bar's menus, in order, each showing its category's actions.
struct MainMenuRow {
    const char* category;
    const char* caption;
};

std::span<const ActionRow> ActionTable();
const ActionRow& ActionRowOf(ActionId id);
std::span<const MainMenuRow> MainMenuTable();
