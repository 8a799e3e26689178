#pragma once
// File work that records what the verbs hand on and finishes it at once, for tests
// that check where a paste, a shortcut or a deletion would go without doing it.
#include <functional>
#include <string>
#include <vector>

#include "platform/verbs/FileWork.h"

namespace testsupport {

class RecordedFileWork : public platform::verbs::FileWork {
public:
    struct Call {
        std::string what; // "paste", "link" or "trash"
        std::string folder;
        platform::verbs::PasteMode mode = platform::verbs::PasteMode::Copy;
        std::vector<std::string> paths;
    };

    bool Paste(const std::vector<std::string>& sources, const std::string& folder, platform::verbs::PasteMode mode,
               QWidget*, std::function<void(bool)> finished) override
    {
        log.push_back({"paste", folder, mode, sources});
        finished(true);
        return true;
    }
    bool CreateShortcuts(const std::vector<std::string>& targets, QWidget*) override
    {
        log.push_back({"link", "", platform::verbs::PasteMode::Shortcuts, targets});
        return true;
    }
    bool Trash(const std::vector<std::string>& paths, QWidget*) override
    {
        log.push_back({"trash", "", platform::verbs::PasteMode::Copy, paths});
        return true;
    }

    std::vector<Call> log;
};

} // namespace testsupport
