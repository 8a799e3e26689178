// Resolving a link on this machine: its Windows paths become host paths through the
// drive map and the Windows environment. Kept apart from the reader, which needs
// neither.
#include <dirent.h>
#include <sys/stat.h>

#include "platform/drivemap/DriveMap.h"
#include "platform/shelllink/ShellLink.h"
#include "platform/shelllink/ShellLinkData.h"
#include "platform/util/Text.h"
#include "platform/util/UniqueFd.h"

namespace platform {

using namespace shelllink;

namespace shelllink {

std::string ExpandWith(const WinEnvironment& env, const std::string& text) { return env.Expand(text); }

std::string ExpandWithDefaultEnvironment(const std::string& text) { return WinEnvironment::Default().Expand(text); }

} // namespace shelllink

namespace {

bool Exists(const std::string& hostPath)
{
    struct stat st {};
    return ::stat(hostPath.c_str(), &st) == 0;
}

// The entry of folder named segment, or failing that one whose name differs from
// it only in letter case (as the drive map matches); empty when there is none.
std::string MatchEntry(const std::string& folder, const std::string& segment)
{
    const std::string exact = (folder == "/" ? folder : folder + "/") + segment;
    struct stat st {};
    if (::lstat(exact.c_str(), &st) == 0)
        return exact;
    const UniqueDir dir(::opendir(folder.c_str()));
    if (!dir)
        return {};
    std::string found;
    while (const dirent* entry = ::readdir(dir.get())) {
        if (EqualsIgnoreCase(entry->d_name, segment)) {
            found = (folder == "/" ? folder : folder + "/") + entry->d_name;
            break;
        }
    }
    return found;
}

// A link's relative path ("..\dir\file.exe") from the link's own folder.
bool RelativeTargetExists(const std::string& linkHostPath, const std::string& relative)
{
    const std::size_t slash = linkHostPath.rfind('/');
    std::string current = slash == std::string::npos ? "." : (slash == 0 ? "/" : linkHostPath.substr(0, slash));
    std::size_t start = 0;
    while (start <= relative.size()) {
        std::size_t end = relative.find_first_of("\\/", start);
        if (end == std::string::npos)
            end = relative.size();
        const std::string segment = relative.substr(start, end - start);
        start = end + 1;
        if (segment.empty() || segment == ".")
            continue;
        if (segment == "..") {
            const std::size_t up = current.rfind('/');
            if (up == std::string::npos)
                current = current == "." || current == ".." ? current + "/.." : ".";
            else
                current = up == 0 ? "/" : current.substr(0, up);
            continue;
        }
        std::string next = MatchEntry(current, segment);
        if (next.empty())
            return false;
        current = std::move(next);
    }
    return Exists(current);
}

} // namespace

void ShellLink::SetPath(std::string_view windowsPath) { SetPath(windowsPath, WinEnvironment::Default()); }

bool ShellLink::Resolve(const std::string& linkHostPath, const DriveMap& drives, const WinEnvironment& env) const
{
    const std::u16string raw = d_->RawPath(false);
    if (!raw.empty()) {
        const std::optional<std::string> host =
            drives.ToHostPath(env.Expand(Utf16ToBytes(raw)), DriveMap::OnNetworkMounts::LookUp);
        if (host && Exists(*host))
            return true;
    } else if (d_->IdListIsShellObject()) {
        return true;
    }
    const std::string relative = d_->TextUtf8(d_->strings[1], SIZE_MAX);
    return !relative.empty() && RelativeTargetExists(linkHostPath, relative);
}

} // namespace platform
