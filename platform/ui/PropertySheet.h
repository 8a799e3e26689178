#pragma once
// The shell's property window for files and folders: a window of our own per
// request, modeless, owned by the owner window. One item gets its General page and,
// for a shell link, a Shortcut page, for an Internet shortcut a Web Document page;
// several items get one window with a General page for all of them.
#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace platform {

// What the window tells the program that shows the items; both may be left empty.
struct PropertyCallbacks {
    // An item was saved or renamed (path: its path now): the caller reads it again.
    std::function<void(const std::string& path)> saved;
    // Open File Location: the caller shows this folder. Without it, the desktop's
    // file manager opens it.
    std::function<void(const std::string& folder)> showFolder;
};

// The "properties" verb. Opens the window for the host paths and returns true when
// every item has a property sheet (an item that exists, file or folder); false, and
// no window, for an empty list or an item that is gone.
bool ShowProperties(const std::vector<std::string>& paths, QWidget* owner, PropertyCallbacks callbacks);

// The callbacks the context menus' "properties" hands its windows. The program that
// shows the items sets them once (its main window, at start), so that the verbs,
// which know nothing of it, still reach it; unset, the windows go without.
void SetPropertyCallbacks(PropertyCallbacks callbacks);
const PropertyCallbacks& CurrentPropertyCallbacks();

} // namespace platform
