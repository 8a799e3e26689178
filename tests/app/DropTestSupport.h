#pragma once
// What the window's drop tests share: the pastes the verbs hand on, recorded, and
// settings that open the window on a folder.
#include <algorithm>
#include <string>
#include <vector>

#include "app/Settings.h"
#include "platform/registry/Registry.h"
#include "platform/verbs/FileWork.h"

namespace droptest {

// Records the pastes (sources sorted, folder without a trailing "/") and finishes
// each at once, so drops need no file work.
class RecordedPastes : public platform::verbs::FileWork {
public:
    struct Call {
        std::vector<std::string> sources;
        std::string folder;
        platform::verbs::PasteMode mode;
        bool operator==(const Call&) const = default;
    };
    bool Paste(const std::vector<std::string>& sources, const std::string& folder, platform::verbs::PasteMode mode,
               QWidget*, std::function<void(bool)> finished) override
    {
        Call call{sources, folder, mode};
        std::sort(call.sources.begin(), call.sources.end());
        while (call.folder.size() > 1 && call.folder.back() == '/')
            call.folder.pop_back();
        log.push_back(std::move(call));
        finished(true);
        return true;
    }
    bool CreateShortcuts(const std::vector<std::string>&, QWidget*) override { return false; }
    bool Trash(const std::vector<std::string>&, QWidget*) override { return false; }
    std::vector<Call> log;
};

// A whole set of settings, as a shutdown leaves them (the reading stops at the
// first value missing), opening the window on `folder`.
inline void OpenOn(const std::string& folder, int width, int height)
{
    platform::registry::Key key;
    platform::registry::Key::Create(platform::registry::Hive::CurrentUser, kSettingsKey, key);
    key.WriteBool("DefAct", false);
    key.WriteInteger("WinTop", 0);
    key.WriteInteger("WinLeft", 0);
    key.WriteInteger("WinHeight", height);
    key.WriteInteger("WinWidth", width);
    key.WriteString("ColShow", "abc");
    key.WriteInteger("TreeWidth", 200);
    key.WriteString("LastDir", folder);
    key.WriteBool("MenuShow", true);
}

} // namespace droptest
