#pragma once
// The shell link object: reads (and, for the platform's own use, writes) files in the
// published Shell Link binary format. Strings are given as UTF-8 text, each cut to
// fit a buffer of the size asked for (the program asks with MAX_PATH, 260 UTF-16
// units including the terminating NUL, so at most 259 units arrive).
//
// Text from inside a link becomes UTF-8 the way host names do (platform/util/Text.h,
// Utf16ToBytes): a UTF-16 unit that is a lone surrogate U+DC80..U+DCFF comes out as
// the byte it stands for, so a host name that is not UTF-8, written into a link by
// the writer, reads back as the same bytes.
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class DriveMap;
class WinEnvironment;

inline constexpr std::size_t kMaxPath = 260;

// GetPath flags.
inline constexpr std::uint32_t SLGP_SHORTPATH = 0x1;
inline constexpr std::uint32_t SLGP_UNCPRIORITY = 0x2; // not used by the program
inline constexpr std::uint32_t SLGP_RAWPATH = 0x4;
// Resolve flags.
inline constexpr std::uint32_t SLR_NO_UI = 0x1;

// LinkFlags of the header (the names of SHELL_LINK_DATA_FLAGS).
inline constexpr std::uint32_t SLDF_HAS_ID_LIST = 0x1;
inline constexpr std::uint32_t SLDF_HAS_LINK_INFO = 0x2;
inline constexpr std::uint32_t SLDF_HAS_NAME = 0x4;
inline constexpr std::uint32_t SLDF_HAS_RELPATH = 0x8;
inline constexpr std::uint32_t SLDF_HAS_WORKINGDIR = 0x10;
inline constexpr std::uint32_t SLDF_HAS_ARGS = 0x20;
inline constexpr std::uint32_t SLDF_HAS_ICONLOCATION = 0x40;
inline constexpr std::uint32_t SLDF_UNICODE = 0x80;
inline constexpr std::uint32_t SLDF_FORCE_NO_LINKINFO = 0x100;
inline constexpr std::uint32_t SLDF_HAS_EXP_SZ = 0x200;
inline constexpr std::uint32_t SLDF_HAS_DARWINID = 0x1000;
inline constexpr std::uint32_t SLDF_HAS_EXP_ICON_SZ = 0x4000;
inline constexpr std::uint32_t SLDF_RUN_WITH_SHIMLAYER = 0x20000;

// ExtraData block signatures.
inline constexpr std::uint32_t kEnvironmentBlock = 0xA0000001;
inline constexpr std::uint32_t kConsoleBlock = 0xA0000002;
inline constexpr std::uint32_t kTrackerBlock = 0xA0000003;
inline constexpr std::uint32_t kConsoleFeBlock = 0xA0000004;
inline constexpr std::uint32_t kSpecialFolderBlock = 0xA0000005;
inline constexpr std::uint32_t kDarwinBlock = 0xA0000006;
inline constexpr std::uint32_t kIconEnvironmentBlock = 0xA0000007;
inline constexpr std::uint32_t kShimBlock = 0xA0000008;
inline constexpr std::uint32_t kPropertyStoreBlock = 0xA0000009;
inline constexpr std::uint32_t kKnownFolderBlock = 0xA000000B;
inline constexpr std::uint32_t kVistaIdListBlock = 0xA000000C;

// What a link records about its target: attributes, size and times as Windows keeps
// them in the header and in the last item of the ID list.
struct LinkTargetInfo {
    std::uint32_t attributes = 0; // FILE_ATTRIBUTE_*: 0x10 folder, 0x20 archive, 0x01 read-only
    std::uint64_t size = 0;
    std::uint64_t creationTime = 0; // FILETIME: 100 ns units since 1601-01-01 UTC; 0 = none
    std::uint64_t accessTime = 0;
    std::uint64_t writeTime = 0;
};

// The LinkTargetInfo of a host file or folder (following symbolic links); no value
// when it cannot be examined.
std::optional<LinkTargetInfo> LinkTargetInfoOf(const std::string& hostPath);

class ShellLink {
public:
    ShellLink();
    ~ShellLink();
    ShellLink(const ShellLink&);
    ShellLink& operator=(const ShellLink&);

    // IPersistFile::Load. False for any file that is missing, unreadable or not a
    // readable shell link; never reads out of bounds, whatever the bytes. A failed
    // load leaves an empty link.
    bool Load(const std::string& hostPath);
    bool LoadFromBytes(std::span<const std::uint8_t> bytes);

    // IShellLink getters. Each result is cut to cch - 1 UTF-16 units (never in the
    // middle of a surrogate pair).
    // GetPath with SLGP_RAWPATH: the environment block's target when the link has
    // HasExpString, else the LinkInfo path, else the path the ID list spells;
    // without it, the same with %VARS% expanded. Empty for a link to a shell object.
    // SLGP_UNCPRIORITY prefers the LinkInfo's network path to its local one.
    std::string GetPath(std::uint32_t flags, std::size_t cch = kMaxPath) const;
    std::string GetDescription(std::size_t cch = kMaxPath) const;
    std::string GetWorkingDirectory(std::size_t cch = kMaxPath) const;
    std::string GetArguments(std::size_t cch = kMaxPath) const;
    // The icon environment block's path when the link has HasExpIcon and the block
    // holds one (kept with its %VARS%), else the ICON_LOCATION string.
    std::string GetIconLocation(int& iconIndex, std::size_t cch = kMaxPath) const;
    std::string GetRelativePath(std::size_t cch = kMaxPath) const;
    int GetShowCmd() const;
    std::uint16_t GetHotkey() const;

    // True when the link's target is a shell object with no file-system path
    // (a control panel item, a virtual folder).
    bool TargetIsShellObject() const;

    // IShellLink::Resolve with SLR_NO_UI: true when the raw path, %VARS% expanded
    // through the environment, maps through the drive map to an existing host file
    // or folder; failing that, when the relative path from the link's own folder
    // exists; links to shell objects resolve. Never rewrites the link, never
    // searches. linkHostPath is the link's own file (for the relative path).
    bool Resolve(const std::string& linkHostPath, const DriveMap& drives, const WinEnvironment& env) const;

    // What the file stores, before the getters' choices and cuts: for the property
    // sheet and for checking the reader. Strings are whole (ending at their first
    // NUL); each is absent when the file does not hold it.
    std::uint32_t LinkFlags() const;
    std::uint32_t FileAttributes() const;
    LinkTargetInfo TargetInfo() const; // attributes, size and times of the header
    std::optional<std::string> StringData(std::uint32_t hasFlag) const; // SLDF_HAS_NAME ... SLDF_HAS_ICONLOCATION
    std::optional<std::string> LocalBasePath() const;    // LinkInfo, Unicode form when present
    std::optional<std::string> CommonPathSuffix() const; // LinkInfo, Unicode form when present
    std::optional<std::string> NetworkShareName() const; // LinkInfo's CommonNetworkRelativeLink
    std::optional<std::string> NetworkDeviceName() const;
    std::optional<std::string> VolumeLabel() const;
    std::optional<std::uint32_t> DriveType() const;
    std::optional<std::string> IdListPath() const; // the file-system path the ID list spells
    std::optional<std::string> EnvironmentTarget() const;     // environment variables block
    std::optional<std::string> IconEnvironmentTarget() const; // icon environment block
    std::optional<std::string> DarwinId() const;
    std::optional<std::string> KnownFolderId() const; // "{B4BFCC3A-DB2C-424C-B029-7FE99A87C641}"
    std::optional<std::uint32_t> SpecialFolderId() const; // CSIDL
    std::optional<std::string> TrackerMachineId() const;
    std::optional<std::uint32_t> ConsoleCodePage() const;
    std::optional<std::string> ShimLayerName() const;
    // The first ExtraData block with this signature, size and signature included.
    std::optional<std::vector<std::uint8_t>> ExtraDataBlock(std::uint32_t signature) const;

    // The writer, for the platform's own use (paste shortcut, wizard, property sheet).
    // A link made with these and saved is one Windows reads; editing one field of a
    // loaded link keeps every other block byte for byte. An empty string removes the
    // field. SetPath takes a drive path ("C:\dir\file.exe") or a UNC path; a path
    // with %VARS% is kept in an environment block, its expansion (through the
    // environment given, by default WinEnvironment::Default()) spelled in the ID list
    // and LinkInfo. Setting a path drops the blocks that belong to the old target
    // (distributed link tracking, known and special folder, the alternative ID list).
    void SetPath(std::string_view windowsPath);
    void SetPath(std::string_view windowsPath, const WinEnvironment& env);
    void SetDescription(std::string_view text);
    void SetWorkingDirectory(std::string_view windowsPath);
    void SetArguments(std::string_view text);
    void SetIconLocation(std::string_view windowsPath, int iconIndex);
    void SetRelativePath(std::string_view windowsPath);
    void SetShowCmd(int showCmd);
    void SetHotkey(std::uint16_t hotkey);
    // Attributes, size and times of the target, for the header and the ID list's last
    // item; used by the next SetPath and written into the header at once.
    void SetTargetInfo(const LinkTargetInfo& info);
    std::vector<std::uint8_t> SaveToBytes() const;
    // Atomically (WriteFileAtomically). Through a symbolic link, the file it leads to
    // is replaced and the link kept, when ShortcutSavePath allows it. False (and the
    // file untouched) when the path is a folder, the file is read-only (not writable
    // by us, or without any write bit), a link leads elsewhere, or anything fails.
    bool Save(const std::string& hostPath) const;

    struct Data; // the parsed file (ShellLinkData.h)

private:
    std::unique_ptr<Data> d_;
};

} // namespace platform
