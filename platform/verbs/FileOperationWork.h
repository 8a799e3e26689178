#pragma once
// The verbs' file work carried out by the platform's file jobs (platform/ui/
// FileOperation.h): on a worker thread, with the progress window, the conflict and
// trash questions and one message when something fails. The program installs it at
// start-up (SetFileWork); each call starts a job and returns at once.
#include "platform/verbs/FileWork.h"

namespace platform::verbs {

class FileOperationWork : public FileWork {
public:
    // `finished` gets true when every source arrived: after a move, the clipboard's
    // list then names files that are gone.
    bool Paste(const std::vector<std::string>& sources, const std::string& folder, PasteMode mode, QWidget* owner,
               std::function<void(bool complete)> finished) override;
    bool CreateShortcuts(const std::vector<std::string>& targets, QWidget* owner) override;
    bool Trash(const std::vector<std::string>& paths, QWidget* owner) override;
};

} // namespace platform::verbs
