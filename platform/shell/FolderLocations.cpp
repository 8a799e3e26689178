// Special folders: where the folders Windows programs know by id are on this machine.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/registry/Registry.h"
#include "platform/shellfolders/ShellFolders.h"
#include "platform/shellfolders/UserDirs.h"
#include "platform/shell/FsAccess.h"
#include "platform/shell/NetworkMounts.h"
#include "platform/shell/ShellFolder.h"

namespace platform::shell {
namespace {

// A folder on a network mount is taken for one unasked: its server may be gone.
bool IsFolder(const std::string& path)
{
    struct stat st {};
    return !path.empty() && (MountProbe().Reach(path) != NetworkReach::None ||
                             (fs::Stat(path, st, true) == 0 && S_ISDIR(st.st_mode)));
}

std::string EnvOr(const char* name, const std::string& fallback)
{
    const char* v = std::getenv(name);
    return (v && *v) ? std::string(v) : fallback;
}

// The value of a "Shell Folders" entry of the current user: a host path (the
// platform's seeding turned the prefix's C:\ paths into host paths).
std::string ShellFolderValue(const char* valueName)
{
    registry::Key key;
    if (registry::Key::Open(registry::Hive::CurrentUser, kShellFoldersKey, key) != registry::Success)
        return {};
    std::string value;
    if (!key.ReadString(valueName, value))
        return {};
    return value;
}

HResult LocationOfPath(const std::string& path, IdList& out)
{
    out.Reset();
    if (!IsFolder(path) || path[0] != '/')
        return ResultFromErrno(ENOENT);
    ShellFolderPtr desktop;
    GetDesktopFolder(desktop);
    return desktop->ParseDisplayName(path, out);
}

} // namespace

std::string HomeDirectory()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
        return pw->pw_dir;
    return {};
}

std::string XdgUserDir(std::string_view name)
{
    return UserDir("XDG_" + std::string(name) + "_DIR", HomeDirectory()).value_or("");
}

std::string DesktopDirectory()
{
    const std::string home = HomeDirectory();
    std::string dir = XdgUserDir("DESKTOP");
    if (dir.empty())
        dir = home + "/Desktop";
    if (dir == home || !IsFolder(dir))
        return {};
    return dir;
}

HResult GetSpecialFolderLocation(int csidl, IdList& out)
{
    out.Reset();
    const std::string home = HomeDirectory();
    auto xdgOr = [&](const char* xdgName, const std::string& fallback) {
        std::string dir = XdgUserDir(xdgName);
        return (dir.empty() || dir == home) ? fallback : dir;
    };
    auto registryOr = [&](const char* valueName, const std::string& fallback) {
        const std::string value = ShellFolderValue(valueName);
        return IsFolder(value) ? value : fallback;
    };
    switch (csidl) {
    case CSIDL_DESKTOP:
        out = IdList::Allocate(2);
        return out ? S_OK : E_OUTOFMEMORY;
    case CSIDL_DRIVES:
        out = MakeDesktopItem(DesktopItem::Computer);
        return out ? S_OK : E_OUTOFMEMORY;
    case CSIDL_BITBUCKET:
        out = MakeDesktopItem(DesktopItem::Trash);
        return out ? S_OK : E_OUTOFMEMORY;
    case CSIDL_DESKTOPDIRECTORY:
        return LocationOfPath(DesktopDirectory(), out);
    case CSIDL_PROFILE:
        return LocationOfPath(home, out);
    case CSIDL_PERSONAL:
        return LocationOfPath(registryOr("Personal", xdgOr("DOCUMENTS", home + "/Documents")), out);
    case CSIDL_TEMPLATES:
        return LocationOfPath(registryOr("Templates", xdgOr("TEMPLATES", home + "/Templates")), out);
    case CSIDL_FONTS:
        return LocationOfPath(registryOr("Fonts", EnvOr("XDG_DATA_HOME", home + "/.local/share") + "/fonts"), out);
    case CSIDL_FAVORITES:
        return LocationOfPath(ShellFolderValue("Favorites"), out);
    case CSIDL_PROGRAMS:
        return LocationOfPath(ShellFolderValue("Programs"), out);
    case CSIDL_STARTMENU:
        return LocationOfPath(ShellFolderValue("Start Menu"), out);
    case CSIDL_STARTUP:
        return LocationOfPath(ShellFolderValue("Startup"), out);
    case CSIDL_RECENT:
        return LocationOfPath(ShellFolderValue("Recent"), out);
    case CSIDL_SENDTO:
        return LocationOfPath(ShellFolderValue("SendTo"), out);
    case CSIDL_NETHOOD:
        return LocationOfPath(ShellFolderValue("NetHood"), out);
    default:
        // Control Panel, Printers, the network neighbourhood: nothing of the kind here.
        return E_FAIL;
    }
}

} // namespace platform::shell
