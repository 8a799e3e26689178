#include "platform/ui/PropertySheet.h"

#include <QMessageBox>

#include "platform/ui/PathText.h"
#include "platform/ui/PathWithin.h"
#include "platform/ui/PropertyWindow.h"

namespace platform {
namespace {

PropertyCallbacks& Installed()
{
    static PropertyCallbacks callbacks;
    return callbacks;
}

} // namespace

bool ShowProperties(const std::vector<std::string>& paths, QWidget* owner, PropertyCallbacks callbacks)
{
    if (paths.empty())
        return false;
    std::vector<std::string> items;
    for (std::string path : paths) {
        while (path.size() > 1 && path.back() == '/')
            path.pop_back();
        if (path.empty())
            return false;
        // The window's pages look at the items on this thread: an item on a network
        // mount that does not answer gets a message instead of a window that never shows.
        const ui::PathLookUp item = ui::LookUpWithin(path, false);
        if (!item.answered) {
            QMessageBox::warning(owner, QObject::tr("Properties"),
                                 QObject::tr("%1 does not answer.").arg(ui::BytesToText(item.mountPoint)));
            return false;
        }
        if (!item.exists)
            return false;
        items.push_back(std::move(path));
    }
    auto* window = new ui::PropertyWindow(std::move(items), std::move(callbacks), owner);
    window->show();
    window->raise();
    window->activateWindow();
    return true;
}

void SetPropertyCallbacks(PropertyCallbacks callbacks)
{
    Installed() = std::move(callbacks);
}

const PropertyCallbacks& CurrentPropertyCallbacks()
{
    return Installed();
}

} // namespace platform
