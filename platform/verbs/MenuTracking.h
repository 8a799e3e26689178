#pragma once
// Shows a pop-up menu built as data (platform/shell/ContextMenu.h) and answers the
// command the user picked (TrackPopupMenuEx with TPM_RETURNCMD).
#include <cstdint>
#include <functional>

class QPoint;
class QWidget;

namespace platform::shell {
class PopupMenu;
}

namespace platform::verbs {

// Called with the identifier of the command the user highlights (never for
// separators and submenus), and once with closed set when the menu goes away.
using MenuSelectHandler = std::function<void(std::uint32_t id, bool closed)>;

// Runs the menu at a screen point in a nested event loop: the chosen command's
// identifier, or 0 when the user dismissed the menu (or its owner went away). A
// menu without entries is not shown and answers 0.
std::uint32_t TrackPopupMenu(const shell::PopupMenu& menu, const QPoint& screenPoint, QWidget* owner,
                             const MenuSelectHandler& onSelect);

} // namespace platform::verbs
