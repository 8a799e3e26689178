#include "platform/verbs/FileOperationWork.h"

#include "platform/ui/FileOperation.h"

namespace platform::verbs {

bool FileOperationWork::Paste(const std::vector<std::string>& sources, const std::string& folder, PasteMode mode,
                              QWidget* owner, std::function<void(bool)> finished)
{
    FileOperation* job = mode == PasteMode::Shortcuts
                             ? FileOperation::PasteShortcut(sources, folder, owner)
                             : FileOperation::Paste(sources, mode == PasteMode::Move, folder, owner);
    // A skipped conflict or a cancel leaves sources behind: only a paste that took
    // them all is complete.
    QObject::connect(job, &FileOperation::Finished, job,
                     [finished = std::move(finished), count = sources.size()](const fileops::JobResult& result) {
                         if (finished)
                             finished(result.Succeeded() && result.done.size() == count);
                     });
    return true;
}

bool FileOperationWork::CreateShortcuts(const std::vector<std::string>& targets, QWidget* owner)
{
    FileOperation::CreateShortcut(targets, owner);
    return true;
}

bool FileOperationWork::Trash(const std::vector<std::string>& paths, QWidget* owner)
{
    FileOperation::Delete(paths, owner);
    return true;
}

} // namespace platform::verbs
