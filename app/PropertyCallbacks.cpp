// What the property windows tell the main window: a saved item of the shown folder
// makes the list read again at once (the folder watcher would, a little later), and
// Open File Location selects the target's folder in the tree, which the list then
// follows. The verbs that open the windows know nothing of the window; they pass on
// what is set here.
#include <QPointer>

#include "app/Unit1.h"
#include "platform/ui/PropertySheet.h"
#include "shortcuts/wekShortcutListView.h"

namespace {

std::string ParentWithSlash(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

} // namespace

void TForm1::AttachPropertyCallbacks()
{
    // The callbacks stay set when this window is gone (tests build several windows,
    // and a property window may still be open): each checks the window is there.
    const QPointer<TForm1> self(this);
    platform::PropertyCallbacks callbacks;
    callbacks.saved = [self](const std::string& path) {
        if (!self)
            return;
        std::string shown = self->list_->Directory();
        if (!shown.empty() && shown.back() != '/')
            shown += '/';
        if (!shown.empty() && ParentWithSlash(path) == shown)
            self->list_->RequestRead();
    };
    callbacks.showFolder = [self](const std::string& folder) {
        if (!self)
            return;
        self->SetTreeSelection(folder);
        self->activateWindow();
    };
    platform::SetPropertyCallbacks(std::move(callbacks));
}
