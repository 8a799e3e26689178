#include "platform/shellfolders/ShellFolders.h"

#include <sys/stat.h>

#include <cstdlib>

#include "platform/drivemap/DriveMap.h"
#include "platform/drivemap/WineRegistry.h"
#include "platform/shellfolders/UserDirs.h"
#include "platform/util/Text.h"

namespace platform {
namespace {

using registry::Hive;

constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::string_view kDefaultUserKey = ".DEFAULT\\";
constexpr std::string_view kQuickLaunch = "Quick Launch";

bool IsFolder(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string HomeDir()
{
    const char* home = std::getenv("HOME");
    return home && *home ? home : "";
}

std::string WithoutTrailingSlash(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// The text of a registry value as Windows would use it: REG_EXPAND_SZ expanded.
std::optional<std::string> FolderText(const WineRegistry::Value& value, const WinEnvironment& env)
{
    std::optional<std::string> text = value.AsString();
    if (!text || text->empty())
        return std::nullopt;
    if (value.type == kRegExpandSz)
        return env.Expand(*text);
    return text;
}

struct Collector {
    std::vector<ShellFolderValue>& out;
    Hive hive;
    std::string keyPrefix; // ".DEFAULT\" for the default user

    bool Has(std::string_view key, std::string_view name) const
    {
        const std::string keyPath = keyPrefix + std::string(key);
        for (const ShellFolderValue& v : out)
            if (v.hive == hive && v.keyPath == keyPath && EqualsIgnoreCase(v.name, name))
                return true;
        return false;
    }
    void Add(std::string_view key, std::string name, std::string hostPath)
    {
        if (!Has(key, name))
            out.push_back(ShellFolderValue{hive, keyPrefix + std::string(key), std::move(name), std::move(hostPath)});
    }
};

// The shell folders of one of the prefix's files. User Shell Folders is where
// Windows keeps the truth; Shell Folders is its copy for old programs, so it only
// counts where the other has no value that maps to a host path.
void CollectFromWine(const WineRegistry& file, const WinEnvironment& env, const DriveMap& drives, Collector collect)
{
    const WineRegistry::Key* userFolders = file.FindKey(kUserShellFoldersKey);
    const WineRegistry::Key* folders = file.FindKey(kShellFoldersKey);
    auto hostPathOf = [&](const WineRegistry::Key* key, const std::string& name) -> std::optional<std::string> {
        const WineRegistry::Value* value = key ? key->Find(name) : nullptr;
        if (!value)
            return std::nullopt;
        const std::optional<std::string> text = FolderText(*value, env);
        return text ? drives.ToHostPath(*text) : std::nullopt;
    };
    std::vector<std::string> names;
    for (const WineRegistry::Key* key : {folders, userFolders}) {
        if (!key)
            continue;
        for (const auto& [name, value] : key->values) {
            if (name.empty())
                continue;
            bool seen = false;
            for (const std::string& n : names)
                seen = seen || EqualsIgnoreCase(n, name);
            if (!seen)
                names.push_back(name);
        }
    }
    for (const std::string& name : names) {
        std::optional<std::string> host = hostPathOf(userFolders, name);
        if (!host)
            host = hostPathOf(folders, name);
        if (host)
            collect.Add(kShellFoldersKey, name, WithoutTrailingSlash(std::move(*host)));
    }

    if (const WineRegistry::Key* groups = file.FindKey(kMapGroupsKey)) {
        for (const auto& [name, value] : groups->values) {
            if (name.empty())
                continue;
            if (const std::optional<std::string> text = FolderText(value, env))
                if (std::optional<std::string> host = drives.ToHostPath(*text))
                    collect.Add(kMapGroupsKey, name, WithoutTrailingSlash(std::move(*host)));
        }
    }
}

// The XDG user directories that have a shell folder of the same meaning. Nothing
// stands for Favorites, Recent, SendTo, Start Menu or Quick Launch (the desktop's
// menu is made of .desktop entries, not of shortcut files), so those stay absent.
void CollectFromXdg(Collector collect)
{
    struct Mapping {
        const char* xdgName;
        const char* valueName;
    };
    static constexpr Mapping kMappings[] = {
        {"XDG_DESKTOP_DIR", "Desktop"},
        {"XDG_DOCUMENTS_DIR", "Personal"},
        {"XDG_MUSIC_DIR", "My Music"},
        {"XDG_PICTURES_DIR", "My Pictures"},
        {"XDG_VIDEOS_DIR", "My Video"},
        {"XDG_TEMPLATES_DIR", "Templates"},
        {"XDG_DOWNLOAD_DIR", "{374DE290-123F-4565-9164-39C4925E467B}"}, // Downloads
    };
    const std::string home = WithoutTrailingSlash(HomeDir());
    const auto dirs = ReadUserDirs(home);
    for (const Mapping& m : kMappings) {
        std::optional<std::string> folder;
        for (const auto& [name, path] : dirs)
            if (name == m.xdgName)
                folder = path; // the last line wins, as when the shell reads the file
        const bool desktop = std::string_view(m.xdgName) == "XDG_DESKTOP_DIR";
        if (!folder && desktop && !home.empty())
            folder = home + "/Desktop";
        // A directory set to the home folder itself is switched off, except the
        // desktop, which then is the home folder.
        if (!folder || (!desktop && *folder == home) || !IsFolder(*folder))
            continue;
        collect.Add(kShellFoldersKey, m.valueName, *folder);
    }
}

std::vector<std::string> WineKeys(bool withEnvironment, const std::vector<std::string>& environmentKeys)
{
    std::vector<std::string> keys = {std::string(kShellFoldersKey), std::string(kUserShellFoldersKey),
                                     std::string(kMapGroupsKey)};
    if (withEnvironment)
        keys.insert(keys.end(), environmentKeys.begin(), environmentKeys.end());
    return keys;
}

struct KeyValues {
    std::string keyPath;
    std::vector<const ShellFolderValue*> values;
};

// The values our registry lacks, found without writing anything.
std::vector<const ShellFolderValue*> Missing(Hive hive, const KeyValues& wanted)
{
    registry::Key key;
    if (registry::Key::Open(hive, wanted.keyPath, key) != registry::Success)
        return wanted.values;
    std::vector<const ShellFolderValue*> missing;
    for (const ShellFolderValue* v : wanted.values)
        if (!key.ValueExists(v->name))
            missing.push_back(v);
    return missing;
}

int WriteMissing(Hive hive, const std::vector<KeyValues>& keys)
{
    std::vector<KeyValues> missing;
    for (const KeyValues& wanted : keys)
        if (std::vector<const ShellFolderValue*> values = Missing(hive, wanted); !values.empty())
            missing.push_back(KeyValues{wanted.keyPath, std::move(values)});
    if (missing.empty())
        return 0;

    // All of a hive's values in one write of its file, rather than one each.
    registry::Batch batch(hive);
    int written = 0;
    for (const KeyValues& keyValues : missing) {
        registry::Key key;
        if (registry::Key::Create(hive, keyValues.keyPath, key) != registry::Success)
            continue;
        for (const ShellFolderValue* v : keyValues.values) {
            // Another instance may have filled it in the meantime: still never overwrite.
            if (key.ValueExists(v->name))
                continue;
            if (key.SetValue(v->name, registry::Value::String(v->hostPath)) == registry::Success)
                ++written;
        }
    }
    return batch.Commit() == registry::Success ? written : 0;
}

} // namespace

std::vector<ShellFolderValue> ShellFolderSources(const std::optional<std::string>& winePrefix, const DriveMap& drives)
{
    std::vector<ShellFolderValue> out;
    Collector currentUser{out, Hive::CurrentUser, ""};
    if (!winePrefix) {
        CollectFromXdg(currentUser);
        return out;
    }

    const std::string& prefix = *winePrefix;
    const WineRegistry system = WineRegistry::Load(prefix + "/system.reg", WineKeys(true, WinEnvironment::SystemKeys()));
    const WineRegistry user = WineRegistry::Load(prefix + "/user.reg", WineKeys(true, WinEnvironment::UserKeys()));
    const WineRegistry userDefault = WineRegistry::Load(prefix + "/userdef.reg", WineKeys(false, {}));
    const WinEnvironment env = WinEnvironment::FromWineRegistry(prefix, system, user);

    if (user.Exists()) {
        CollectFromWine(user, env, drives, currentUser);
        // Windows keeps the Quick Launch folder in the user's roaming profile; Wine
        // has no MapGroups of its own, so take the folder where one was made.
        if (!currentUser.Has(kMapGroupsKey, kQuickLaunch)) {
            const std::string quickLaunch = env.Expand("%APPDATA%\\Microsoft\\Internet Explorer\\Quick Launch");
            if (std::optional<std::string> host = drives.ToHostPath(quickLaunch); host && IsFolder(*host))
                currentUser.Add(kMapGroupsKey, std::string(kQuickLaunch), *host);
        }
    } else {
        CollectFromXdg(currentUser);
    }
    CollectFromWine(system, env, drives, Collector{out, Hive::LocalMachine, ""});
    CollectFromWine(userDefault, env.ForDefaultUser(), drives, Collector{out, Hive::Users, std::string(kDefaultUserKey)});
    return out;
}

int SeedShellFolders() { return SeedShellFolders(LocateWinePrefix(), DriveMap::Default()); }

int SeedShellFolders(const std::optional<std::string>& winePrefix, const DriveMap& drives)
{
    const std::vector<ShellFolderValue> values = ShellFolderSources(winePrefix, drives);
    int written = 0;
    for (const Hive hive : {Hive::CurrentUser, Hive::LocalMachine, Hive::Users}) {
        std::vector<KeyValues> keys;
        for (const ShellFolderValue& v : values) {
            if (v.hive != hive)
                continue;
            auto it = keys.begin();
            while (it != keys.end() && it->keyPath != v.keyPath)
                ++it;
            if (it == keys.end())
                it = keys.insert(keys.end(), KeyValues{v.keyPath, {}});
            it->values.push_back(&v);
        }
        if (!keys.empty())
            written += WriteMissing(hive, keys);
    }
    return written;
}

} // namespace platform
