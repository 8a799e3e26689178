// The shell link reader on arbitrary bytes: it must never crash or read out of
// bounds, and a link it reads must survive an edit and a save unchanged elsewhere.
// Inputs that do not start like a link (first byte other than 0x4C) exercise the
// writer instead: they are taken as a target path.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/drivemap/DriveMap.h"
#include "platform/shelllink/ShellLink.h"

using namespace platform;

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

void ReadEverything(const ShellLink& link)
{
    int iconIndex = 0;
    for (const std::size_t cch : {std::size_t{0}, std::size_t{1}, std::size_t{7}, kMaxPath}) {
        link.GetPath(SLGP_RAWPATH, cch);
        link.GetPath(SLGP_RAWPATH | SLGP_UNCPRIORITY, cch);
        link.GetDescription(cch);
        link.GetWorkingDirectory(cch);
        link.GetArguments(cch);
        link.GetIconLocation(iconIndex, cch);
        link.GetRelativePath(cch);
    }
    link.GetShowCmd();
    link.GetHotkey();
    link.TargetIsShellObject();
    link.TargetInfo();
    for (const std::uint32_t flag : {SLDF_HAS_NAME, SLDF_HAS_RELPATH, SLDF_HAS_WORKINGDIR, SLDF_HAS_ARGS, SLDF_HAS_ICONLOCATION})
        link.StringData(flag);
    link.LocalBasePath();
    link.CommonPathSuffix();
    link.NetworkShareName();
    link.NetworkDeviceName();
    link.VolumeLabel();
    link.DriveType();
    link.IdListPath();
    link.EnvironmentTarget();
    link.IconEnvironmentTarget();
    link.DarwinId();
    link.KnownFolderId();
    link.SpecialFolderId();
    link.TrackerMachineId();
    link.ConsoleCodePage();
    link.ShimLayerName();
    link.ExtraDataBlock(kPropertyStoreBlock);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 0 && data[0] != 0x4C) {
        static const WinEnvironment env = WinEnvironment::Defaults();
        ShellLink made;
        made.SetPath(std::string(reinterpret_cast<const char*>(data), size), env);
        made.SetArguments(std::string(reinterpret_cast<const char*>(data), size));
        ShellLink back;
        Check(back.LoadFromBytes(made.SaveToBytes()));
        Check(back.GetPath(SLGP_RAWPATH) == made.GetPath(SLGP_RAWPATH));
        ReadEverything(back);
        return 0;
    }
    ShellLink link;
    if (!link.LoadFromBytes({data, size}))
        return 0;
    ReadEverything(link);

    // Saving an unedited link gives its bytes back; an edit of one string leaves
    // the target alone.
    const std::vector<std::uint8_t> saved = link.SaveToBytes();
    Check(saved.size() == size && std::equal(saved.begin(), saved.end(), data));
    ShellLink edited = link;
    edited.SetArguments("-x");
    Check(edited.GetArguments() == "-x");
    Check(edited.GetPath(SLGP_RAWPATH, 100000) == link.GetPath(SLGP_RAWPATH, 100000));
    Check(edited.GetDescription(100000) == link.GetDescription(100000));
    ShellLink reloaded;
    Check(reloaded.LoadFromBytes(edited.SaveToBytes()));
    Check(reloaded.GetArguments() == "-x");
    return 0;
}
