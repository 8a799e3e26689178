#pragma once
// The shell link object: reads (and, for the platform's own use, writes) files in the
// published Shell Link binary format. Strings are given as UTF-8 text, each cut to
// fit a buffer of the size asked for (the program asks with MAX_PATH, 260 UTF-16
// units including the terminating NUL, so at most 259 units arrive).
#include <cstdint>
#include <memory>
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

class ShellLink {
public:
    ShellLink();
    ~ShellLink();
    ShellLink(const ShellLink&);
    ShellLink& operator=(const ShellLink&);

    // IPersistFile::Load. False for any file that is missing, unreadable or not a
    // readable shell link; never reads out of bounds, whatever the bytes.
    bool Load(const std::string& hostPath);
    bool LoadFromBytes(std::span<const std::uint8_t> bytes);

    // IShellLink getters. Each result is cut to cch - 1 UTF-16 units.
    // GetPath with SLGP_RAWPATH: the environment block's target when the link has
    // HasExpString, else the LinkInfo path, else the path the ID list spells;
    // without it, the same with %VARS% expanded. Empty for a link to a shell object.
    std::string GetPath(std::uint32_t flags, std::size_t cch = kMaxPath) const;
    std::string GetDescription(std::size_t cch = kMaxPath) const;
    std::string GetWorkingDirectory(std::size_t cch = kMaxPath) const;
    std::string GetArguments(std::size_t cch = kMaxPath) const;
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

    // The writer, for the platform's own use (paste shortcut, wizard, property sheet).
    // A link made with these and saved is one Windows reads; editing one field of a
    // loaded link keeps every other block byte for byte.
    void SetPath(std::string_view windowsPath);
    void SetDescription(std::string_view text);
    void SetWorkingDirectory(std::string_view windowsPath);
    void SetArguments(std::string_view text);
    void SetIconLocation(std::string_view windowsPath, int iconIndex);
    void SetRelativePath(std::string_view windowsPath);
    void SetShowCmd(int showCmd);
    void SetHotkey(std::uint16_t hotkey);
    std::vector<std::uint8_t> SaveToBytes() const;
    bool Save(const std::string& hostPath) const; // atomically: temporary file, rename

private:
    struct Data;
    std::unique_ptr<Data> d_;
};

} // namespace platform
