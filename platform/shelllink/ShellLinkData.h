#pragma once
// The shell link as parsed: the file's bytes and where each structure lies in them.
// Nothing is decoded at load time beyond what validation needs; the getters decode
// the few strings they are asked for. Internal to platform/shelllink.
#include <array>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/shelllink/ShellLink.h"

namespace platform {
namespace shelllink {

inline std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
inline std::uint32_t Le32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t Le64(const std::uint8_t* p)
{
    return static_cast<std::uint64_t>(Le32(p)) | (static_cast<std::uint64_t>(Le32(p + 4)) << 32);
}

inline constexpr std::uint32_t kHeaderSize = 0x4C;
inline constexpr std::array<std::uint8_t, 16> kLinkClsid = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                            0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

// The StringData strings in file order, with the flag that announces each.
inline constexpr int kStringCount = 5;
inline constexpr std::array<std::uint32_t, kStringCount> kStringFlags = {
    SLDF_HAS_NAME, SLDF_HAS_RELPATH, SLDF_HAS_WORKINGDIR, SLDF_HAS_ARGS, SLDF_HAS_ICONLOCATION};
int StringIndex(std::uint32_t hasFlag); // -1 for a flag that is not a string's

// A stretch of the file; len 0 with off 0 means absent.
struct Span {
    std::uint32_t off = 0;
    std::uint32_t len = 0;
};

// A string inside the file: its characters up to the first NUL, ANSI or UTF-16LE.
struct TextRef {
    bool present = false;
    bool unicode = false;
    std::uint32_t off = 0;
    std::uint32_t units = 0; // bytes for ANSI, UTF-16 units for Unicode
};

struct Header {
    std::uint32_t flags = 0;
    std::uint32_t attributes = 0;
    std::uint64_t creationTime = 0;
    std::uint64_t accessTime = 0;
    std::uint64_t writeTime = 0;
    std::uint32_t fileSize = 0;
    std::int32_t iconIndex = 0;
    std::uint32_t showCommand = 1;
    std::uint16_t hotkey = 0;
    std::uint16_t reserved1 = 0;
    std::uint32_t reserved2 = 0;
    std::uint32_t reserved3 = 0;
};

struct LinkInfoRefs {
    bool present = false; // present and used (not ForceNoLinkInfo)
    std::uint32_t flags = 0;
    TextRef localBasePath;
    TextRef commonPathSuffix;
    TextRef netName;
    TextRef deviceName;
    TextRef volumeLabel;
    std::uint32_t driveType = 0;
};

// Known ExtraData blocks: offset of the block's first byte, 0 when absent.
enum BlockKind {
    kBlockEnvironment,
    kBlockConsole,
    kBlockTracker,
    kBlockConsoleFe,
    kBlockSpecialFolder,
    kBlockDarwin,
    kBlockIconEnvironment,
    kBlockShim,
    kBlockPropertyStore,
    kBlockKnownFolder,
    kBlockVistaIdList,
    kBlockKindCount
};

} // namespace shelllink

struct ShellLink::Data {
    std::vector<std::uint8_t> bytes; // the whole file; always a link that parses
    shelllink::Header header;
    shelllink::Span idList;   // the items, without the IDListSize field
    shelllink::Span idListField; // IDListSize and the items, as stored
    shelllink::Span linkInfo; // the whole LinkInfo, as stored
    shelllink::LinkInfoRefs info;
    std::array<shelllink::Span, shelllink::kStringCount> stringFields{}; // count and characters, as stored
    std::array<shelllink::TextRef, shelllink::kStringCount> strings{};
    std::uint32_t extraOff = 0; // first ExtraData block (or the terminal block)
    std::array<std::uint32_t, shelllink::kBlockKindCount> blocks{};
    LinkTargetInfo pendingTarget; // for the next SetPath
    bool hasPendingTarget = false;

    // Parses bytes (already stored in this->bytes); false when they are not a link.
    bool Parse();
    void Reset(); // an empty link
    std::u16string Text(const shelllink::TextRef& ref) const;
    std::string TextUtf8(const shelllink::TextRef& ref, std::size_t maxUnits) const;
    std::u16string RawPath(bool uncPriority) const;
    std::u16string LinkInfoPath(bool uncPriority) const;
    bool IdListIsShellObject() const;
};

namespace shelllink {

// UTF-16 code units from the file, as UTF-8 (lone U+DC80..U+DCFF as bytes), at most
// maxUnits of them and never half a surrogate pair.
std::string Utf16LeToBytes(const std::uint8_t* p, std::size_t units, std::size_t maxUnits);
std::string CutUtf16(std::u16string_view text, std::size_t maxUnits);
// Code page 1252 for the writer: false when a character has no ANSI form (it
// becomes "?").
bool EncodeCp1252(std::u16string_view text, std::string& out);
bool HasEnvironmentVariable(std::u16string_view path);
// The drive letter of "X:\..." in upper case, or 0.
char16_t DriveLetter(std::u16string_view path);

// The ID list: the path it spells and whether it names a shell object instead.
struct SpelledPath {
    std::u16string path; // empty when it spells no file-system path
    bool hasItems = false;
};
SpelledPath SpellIdList(std::span<const std::uint8_t> items);
// Items for a drive or UNC path (no IDListSize field, with the terminating 0).
// Empty when the path is neither.
std::vector<std::uint8_t> BuildIdList(std::u16string_view windowsPath, const LinkTargetInfo& target);
// A LinkInfo for a drive or UNC path; empty when the path is neither.
std::vector<std::uint8_t> BuildLinkInfo(std::u16string_view windowsPath);

std::uint32_t FileTimeToDosDateTime(std::uint64_t fileTime);

// %VARS% expansion (ShellLinkResolve.cpp, which brings in the environment).
std::string ExpandWith(const WinEnvironment& env, const std::string& text);
std::string ExpandWithDefaultEnvironment(const std::string& text);

} // namespace shelllink
} // namespace platform
