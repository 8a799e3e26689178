#include "platform/verbs/PasteFiles.h"

namespace platform::verbs {
namespace {

const clipboard::FileList* current = nullptr;

} // namespace

ScopedPasteFiles::ScopedPasteFiles(std::vector<std::string> paths, bool cut) : outer_(current)
{
    files_.paths = std::move(paths);
    files_.cut = cut;
    current = &files_;
}

ScopedPasteFiles::~ScopedPasteFiles()
{
    current = outer_;
}

bool PendingPasteFiles(clipboard::FileList& out)
{
    if (!current)
        return false;
    out = *current;
    return true;
}

} // namespace platform::verbs
