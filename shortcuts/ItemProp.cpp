#include "shortcuts/ItemProp.h"

#include <charconv>
#include <optional>
#include <string_view>

#include "platform/drivemap/DriveMap.h"
#include "platform/ini/IniFile.h"
#include "platform/keynames/Hotkeys.h"
#include "platform/keynames/KeyNames.h"
#include "platform/shell/NetworkMounts.h"
#include "platform/shelllink/ShellLink.h"
#include "platform/util/Text.h"

namespace {

// The host path a Windows path maps to, spelled from its drive's folder without
// looking at the disk; none without a mapped drive letter.
std::optional<std::string> SpelledHostPath(std::string_view windows, const platform::DriveMap& drives)
{
    for (const std::string_view longForm : {"\\\\?\\", "\\??\\", "//?/"}) {
        if (windows.substr(0, longForm.size()) == longForm) {
            windows.remove_prefix(longForm.size());
            break;
        }
    }
    if (windows.size() < 2 || windows[1] != ':')
        return std::nullopt;
    std::optional<std::string> host = drives.DriveFolder(windows[0]);
    if (!host)
        return std::nullopt;
    *host += '/';
    for (char c : windows.substr(2))
        *host += c == '\\' ? '/' : c;
    return host;
}

// The extension of a host path's last component, dot included; empty when none.
std::string_view PathExtension(std::string_view path)
{
    const auto slash = path.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const auto dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string_view{} : name.substr(dot);
}

// A signed decimal number as the INI values hold them ("7", "-1", "+3"); no value
// when the text is not exactly such a number or does not fit 32 bits.
std::optional<std::int32_t> ParseInt(std::string_view text)
{
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    std::int32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

} // namespace

bool ClearShortcutInfo(TwekShortcutInfo& info)
{
    info.Target.clear();
    info.TargetPath.clear();
    info.StartIn.clear();
    info.Arguments.clear();
    info.Description.clear();
    info.ShowCommand = 1;
    info.WindowState.clear();
    info.Hotkey = 0;
    info.HotkeyText.clear();
    info.IconLocation.clear();
    info.IconIndex = 0;
    return true;
}

bool ReadShortcut(const std::string& fileName, TwekShortcutInfo& info)
{
    ClearShortcutInfo(info);
    const bool ok = platform::EqualsIgnoreAsciiCase(PathExtension(fileName), ".url")
                        ? ReadInternetShortcut(fileName, info)
                        : ReadShellLink(fileName, info);
    info.WindowState = WindowStateText(info.ShowCommand);
    info.Hotkey = HotkeyToKeyCode(info.Hotkey);
    info.HotkeyText = HotkeyText(info.Hotkey);
    return ok;
}

bool ReadShellLink(const std::string& fileName, TwekShortcutInfo& info)
{
    platform::ShellLink link;
    if (!link.Load(fileName))
        return false;
    const std::string raw = link.GetPath(platform::SLGP_RAWPATH);
    const auto cut = raw.rfind('\\');
    if (cut == std::string::npos) {
        info.Target = raw;
        info.TargetPath.clear();
    } else {
        info.Target = raw.substr(cut + 1);
        info.TargetPath = raw.substr(0, cut + 1);
    }
    info.Description = link.GetDescription();
    info.StartIn = link.GetWorkingDirectory();
    info.Arguments = link.GetArguments();
    int iconIndex = 0;
    info.IconLocation = link.GetIconLocation(iconIndex);
    info.IconIndex = iconIndex;
    info.ShowCommand = link.GetShowCmd();
    info.Hotkey = link.GetHotkey();
    return true;
}

bool ReadInternetShortcut(const std::string& fileName, TwekShortcutInfo& info)
{
    const platform::IniFile ini = platform::IniFile::Load(fileName);
    const char* const section = "InternetShortcut";
    info.Target = ini.ReadString(section, "URL");
    info.Hotkey = static_cast<std::uint16_t>(ParseInt(ini.ReadString(section, "Hotkey")).value_or(0));
    info.IconIndex = ParseInt(ini.ReadString(section, "IconIndex")).value_or(0);
    info.IconLocation = ini.ReadString(section, "IconFile");
    info.StartIn = ini.ReadString(section, "WorkingDirectory");
    info.ShowCommand = ParseInt(ini.ReadString(section, "ShowCommand")).value_or(1);
    return true;
}

std::string WindowStateText(std::int32_t showCommand)
{
    switch (showCommand) {
    case 0: return "Hidden";
    case 1: case 4: case 5: case 8: case 9: return "Normal";
    case 2: case 6: case 7: return "Minimized";
    case 3: return "Maximized";
    default: return "abNormal";
    }
}

std::uint16_t HotkeyToKeyCode(std::uint16_t stored) { return platform::StoredHotkeyToKeyCode(stored); }

std::string HotkeyText(std::uint16_t keyCode) { return platform::HotkeyKeyCodeText(keyCode); }

bool TestShellLink(const std::string& path)
{
    platform::ShellLink link;
    if (!link.Load(path))
        return false;
    return link.Resolve(path, platform::DriveMap::Default(), platform::WinEnvironment::Default());
}

std::optional<std::string> LinkTestNetworkMount(const std::string& path)
{
    using platform::shell::ResolveOnMounts;
    const auto mounts = platform::shell::CurrentNetworkMounts();
    if (mounts->empty())
        return std::nullopt;
    if (const auto m = ResolveOnMounts(path, *mounts).Network)
        return m->MountPoint;
    platform::ShellLink link;
    if (!link.Load(path))
        return std::nullopt;
    const std::string raw = link.GetPath(platform::SLGP_RAWPATH, SIZE_MAX);
    if (!raw.empty()) {
        const auto host = SpelledHostPath(platform::WinEnvironment::Default().Expand(raw), platform::DriveMap::Default());
        if (host) {
            if (const auto m = ResolveOnMounts(*host, *mounts).Network)
                return m->MountPoint;
        }
    }
    const std::string relative = link.GetRelativePath(SIZE_MAX);
    if (!relative.empty()) {
        std::string target = path.substr(0, path.rfind('/') + 1);
        for (char c : relative)
            target += c == '\\' ? '/' : c;
        if (const auto m = ResolveOnMounts(target, *mounts).Network)
            return m->MountPoint;
    }
    return std::nullopt;
}
