#pragma once
// The file work the context-menu verbs hand on: pasting (copy, move, shortcuts),
// making shortcuts beside their targets, and moving to the trash. The platform's job
// runner carries it out with its own progress, conflict and confirmation windows;
// each call answers whether the work was taken on.
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QWidget;

namespace platform::verbs {

enum class PasteMode { Copy, Move, Shortcuts };

class FileWork {
public:
    virtual ~FileWork() = default;
    // Into `folder`; `finished` runs once the work is over, with true when every
    // file arrived (after a move, the clipboard's list is then out of date).
    virtual bool Paste(const std::vector<std::string>& sources, const std::string& folder, PasteMode mode,
                       QWidget* owner, std::function<void(bool complete)> finished) = 0;
    // "NAME - Shortcut.lnk" beside each target.
    virtual bool CreateShortcuts(const std::vector<std::string>& targets, QWidget* owner) = 0;
    // After the user confirms.
    virtual bool Trash(const std::vector<std::string>& paths, QWidget* owner) = 0;
};

// The file work the verbs use. Without a job runner installed, every call answers
// false and nothing happens.
std::shared_ptr<FileWork> CurrentFileWork();
// Installs another one (a job runner, or a test's recorder); nullptr restores the
// built-in one.
void SetFileWork(std::shared_ptr<FileWork> work);

} // namespace platform::verbs
