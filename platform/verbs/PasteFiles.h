#pragma once
// The files the Paste and Paste Shortcut commands take when they are not to be read
// back from the clipboard. A drop puts the dropped files on the clipboard with Copy
// or Cut and pastes them at once; that paste must take exactly the dropped files,
// even where the clipboard could not be set (on Wayland a window without the
// keyboard focus may not set it) or another program changed it in between.
#include <string>
#include <vector>

#include "platform/clipboard/Clipboard.h"

namespace platform::verbs {

// While it lives, pastes take these files. Scopes nest; GUI thread only.
class ScopedPasteFiles {
public:
    ScopedPasteFiles(std::vector<std::string> paths, bool cut);
    ~ScopedPasteFiles();
    ScopedPasteFiles(const ScopedPasteFiles&) = delete;
    ScopedPasteFiles& operator=(const ScopedPasteFiles&) = delete;

private:
    clipboard::FileList files_;
    const clipboard::FileList* outer_;
};

// The files of the innermost scope; false outside any.
bool PendingPasteFiles(clipboard::FileList& out);

} // namespace platform::verbs
