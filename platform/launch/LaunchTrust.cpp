#include "platform/launch/LaunchTrust.h"

#include <sys/stat.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <optional>

#include "platform/drivemap/DriveMap.h"
#include "platform/launch/GioHandles.h"
#include "platform/registry/Registry.h"
#include "platform/shell/FsAccess.h"

namespace platform::launch {
namespace {

namespace fs = shell::fs;
using registry::Hive;
using registry::Key;

std::optional<std::string> RealPath(const std::string& path)
{
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    if (!real)
        return std::nullopt;
    return std::string(real.get());
}

// The path with its links resolved where it exists; as written where it does not (a
// prefix Wine has not made yet).
std::string Canonical(const std::string& path)
{
    return RealPath(path).value_or(path);
}

bool StartsWithFolder(std::string_view path, std::string_view folder)
{
    if (folder == "/")
        return !path.empty() && path[0] == '/';
    return path.starts_with(folder) && (path.size() == folder.size() || path[folder.size()] == '/');
}

bool OwnedByRootAlone(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && st.st_uid == 0 && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

std::string HomeDir()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return "/";
}

} // namespace

bool IsSystemProgram(const std::string& path)
{
    const std::optional<std::string> real = RealPath(path);
    if (!real)
        return false;
    constexpr std::string_view kSystemFolders[] = {"/usr", "/bin", "/sbin", "/opt"};
    bool inSystemFolder = false;
    for (const std::string_view folder : kSystemFolders)
        inSystemFolder = inSystemFolder || StartsWithFolder(*real, folder);
    if (!inSystemFolder || !OwnedByRootAlone("/"))
        return false;
    std::string at = "/";
    std::size_t pos = 0;
    for (std::string_view name = fs::NextName(*real, pos); !name.empty(); name = fs::NextName(*real, pos)) {
        at = fs::JoinPath(at, name);
        if (!OwnedByRootAlone(at))
            return false;
    }
    return true;
}

bool LiesInside(const std::string& path, const std::string& folder)
{
    const std::optional<std::string> realPath = RealPath(path);
    const std::optional<std::string> realFolder = RealPath(folder);
    return realPath && realFolder && StartsWithFolder(*realPath, *realFolder);
}

std::string UsersOwnPrefix()
{
    if (const std::optional<std::string> located = LocateWinePrefix())
        return *located;
    if (const char* prefix = std::getenv("WINEPREFIX"); prefix && *prefix)
        return prefix;
    return fs::JoinPath(HomeDir(), ".wine");
}

bool IsTrustedPrefix(const std::string& prefix)
{
    const std::string wanted = Canonical(prefix);
    std::vector<std::string> trusted{fs::JoinPath(HomeDir(), ".wine")};
    if (const char* own = std::getenv("WINEPREFIX"); own && *own)
        trusted.emplace_back(own);
    if (Key key; Key::Open(Hive::CurrentUser, kTrustedPrefixesKey, key) == registry::Success) {
        std::string name;
        registry::Value value;
        for (std::uint32_t i = 0; key.EnumValue(i, name, value) == registry::Success; ++i) {
            if (!name.empty() && name[0] == '/')
                trusted.push_back(name);
        }
    }
    for (const std::string& folder : trusted) {
        if (Canonical(folder) == wanted)
            return true;
    }
    return false;
}

bool TrustPrefix(const std::string& prefix)
{
    Key key;
    return Key::Create(Hive::CurrentUser, kTrustedPrefixesKey, key) == registry::Success &&
           key.WriteString(prefix, "");
}

std::string ShortcutFingerprint(std::span<const std::uint8_t> bytes)
{
    const GCharPtr hex(g_compute_checksum_for_data(G_CHECKSUM_SHA256, bytes.data(), bytes.size()));
    return hex ? std::string(hex.get()) : std::string();
}

bool IsRememberedShortcut(const std::string& linkPath, std::string_view fingerprint)
{
    Key key;
    std::string stored;
    return !fingerprint.empty() && Key::Open(Hive::CurrentUser, kTrustedShortcutsKey, key) == registry::Success &&
           key.ValueExists(linkPath) && key.ReadString(linkPath, stored) && stored == fingerprint;
}

bool RememberShortcut(const std::string& linkPath, std::string_view fingerprint)
{
    Key key;
    return !fingerprint.empty() && Key::Create(Hive::CurrentUser, kTrustedShortcutsKey, key) == registry::Success &&
           key.WriteString(linkPath, fingerprint);
}

} // namespace platform::launch
