#include "platform/ui/PropertySheet.h"

#include <sys/stat.h>

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
        struct stat st {};
        if (path.empty() || ::lstat(path.c_str(), &st) != 0)
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
