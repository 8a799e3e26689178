// Shell items of a link's ID list: spelling the path they stand for, and building
// them for the writer. The items' layouts are the shell's own (root folders by
// CLSID, volumes, file entries with their 0xBEEF0004 extension blocks, network
// locations, delegate items wrapping a file entry).
#include <ctime>

#include "platform/shelllink/ShellLinkData.h"
#include "platform/util/Text.h"

namespace platform::shelllink {
namespace {

using Guid = std::array<std::uint8_t, 16>;

// "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" in the byte order it has in a file.
constexpr Guid MakeGuid(const char (&s)[37])
{
    Guid g{};
    auto byteAt = [&](int i) {
        return static_cast<std::uint8_t>(HexDigitValue(s[i]) << 4 | HexDigitValue(s[i + 1]));
    };
    for (int i = 0; i < 4; ++i)
        g[3 - i] = byteAt(2 * i);
    g[5] = byteAt(9);
    g[4] = byteAt(11);
    g[7] = byteAt(14);
    g[6] = byteAt(16);
    g[8] = byteAt(19);
    g[9] = byteAt(21);
    for (int i = 0; i < 6; ++i)
        g[10 + i] = byteAt(24 + 2 * i);
    return g;
}

constexpr Guid kMyComputer = MakeGuid("20D04FE0-3AEA-1069-A2D8-08002B30309D");
constexpr Guid kNetworkPlaces = MakeGuid("208D2C60-3AEA-1069-A2D7-08002B30309D");
constexpr Guid kNetwork = MakeGuid("F02C1A0D-BE21-4350-88B0-7367FC96EF3C");

// Folders of the user's profile, by the CLSIDs and known-folder ids that stand for
// them in ID lists. Their place on the machine that made the link is not in the
// link, so they are spelled with the variables Windows derives them from.
struct FolderGuid {
    Guid guid;
    const char16_t* path;
};
const FolderGuid kUserFolders[] = {
    {MakeGuid("59031A47-3F72-44A7-89C5-5595FE6B30EE"), u"%USERPROFILE%"}, // the user's files
    {MakeGuid("5E6C858F-0E22-4760-9AFE-EA3317B67173"), u"%USERPROFILE%"},
    {MakeGuid("B4BFCC3A-DB2C-424C-B029-7FE99A87C641"), u"%USERPROFILE%\\Desktop"},
    {MakeGuid("FDD39AD0-238F-46AF-ADB4-6C85480369C7"), u"%USERPROFILE%\\Documents"},
    {MakeGuid("450D8FBA-AD25-11D0-98A8-0800361B1103"), u"%USERPROFILE%\\Documents"},
    {MakeGuid("A8CDFF1C-4878-43BE-B5FD-F8091C1C60D0"), u"%USERPROFILE%\\Documents"},
    {MakeGuid("D3162B92-9365-467A-956B-92703ACA08AF"), u"%USERPROFILE%\\Documents"},
    {MakeGuid("374DE290-123F-4565-9164-39C4925E467B"), u"%USERPROFILE%\\Downloads"},
    {MakeGuid("088E3905-0323-4B02-9826-5D99428E115F"), u"%USERPROFILE%\\Downloads"},
    {MakeGuid("4BD8D571-6D19-48D3-BE97-422220080E43"), u"%USERPROFILE%\\Music"},
    {MakeGuid("1CF1260C-4DD0-4EBB-811F-33C572699FDE"), u"%USERPROFILE%\\Music"},
    {MakeGuid("3DFDF296-DBEC-4FB4-81D1-6A3438BCF4DE"), u"%USERPROFILE%\\Music"},
    {MakeGuid("33E28130-4E1E-4676-835A-98395C3BC3BB"), u"%USERPROFILE%\\Pictures"},
    {MakeGuid("3ADD1653-EB32-4CB0-BBD7-DFA0ABB5ACCA"), u"%USERPROFILE%\\Pictures"},
    {MakeGuid("24AD3AD4-A569-4530-98E1-AB02F9417AA8"), u"%USERPROFILE%\\Pictures"},
    {MakeGuid("18989B1D-99B5-455B-841C-AB7C74E4DDFC"), u"%USERPROFILE%\\Videos"},
    {MakeGuid("A0953C92-50DC-43BF-BE83-3742FED03C9C"), u"%USERPROFILE%\\Videos"},
    {MakeGuid("F86FA3AB-70D2-4FC7-9C99-FCBF05467F3A"), u"%USERPROFILE%\\Videos"},
    {MakeGuid("0DB7E03F-FC29-4DC6-9020-FF41B59E513A"), u"%USERPROFILE%\\3D Objects"},
    {MakeGuid("3EB685DB-65F9-4CF6-A03A-E3EF65729F3D"), u"%APPDATA%"},
    {MakeGuid("F1B32785-6FBA-4FCF-9D55-7B8E7F157091"), u"%LOCALAPPDATA%"},
};

const char16_t* UserFolder(const std::uint8_t* guid)
{
    for (const FolderGuid& f : kUserFolders)
        if (std::memcmp(f.guid.data(), guid, 16) == 0)
            return f.path;
    return nullptr;
}

bool SameGuid(const std::uint8_t* p, const Guid& g) { return std::memcmp(p, g.data(), 16) == 0; }

// A NUL-terminated ANSI string at item[from, end); empty when there is none.
std::u16string AnsiIn(const std::uint8_t* item, std::size_t from, std::size_t end)
{
    if (from >= end)
        return {};
    const char* s = reinterpret_cast<const char*>(item + from);
    const void* nul = std::memchr(s, 0, end - from);
    if (!nul)
        return {};
    return Cp1252ToUtf16(std::string_view(s, static_cast<const char*>(nul) - s));
}

// A NUL-terminated UTF-16LE string at item[from, end); empty when there is none.
std::u16string UnicodeIn(const std::uint8_t* item, std::size_t from, std::size_t end)
{
    std::u16string out;
    for (std::size_t p = from; p + 2 <= end; p += 2) {
        const char16_t c = static_cast<char16_t>(Le16(item + p));
        if (c == 0)
            return out;
        out += c;
    }
    return {};
}

// The long name of a 0xBEEF0004 extension block at item[off], if it is one.
std::u16string LongNameAt(const std::uint8_t* item, std::size_t len, std::size_t off)
{
    if (off < 4 || off > len || len - off < 8 || Le32(item + off + 4) != 0xBEEF0004)
        return {};
    const std::size_t size = Le16(item + off);
    const std::uint16_t version = Le16(item + off + 2);
    if (size < 8 || size > len - off)
        return {};
    std::size_t nameOff;
    if (version >= 9)
        nameOff = 46;
    else if (version == 8)
        nameOff = 42;
    else if (version == 7)
        nameOff = 38;
    else if (version == 3)
        nameOff = 18;
    else
        return {};
    return UnicodeIn(item + off, nameOff, size);
}

// The long name of a file entry: from the extension block the item's last two
// bytes point at, else from the first such block after the primary name.
std::u16string LongName(const std::uint8_t* item, std::size_t len, std::size_t searchFrom)
{
    if (len >= 4) {
        std::u16string name = LongNameAt(item, len, Le16(item + len - 2));
        if (!name.empty())
            return name;
    }
    for (std::size_t off = searchFrom; off + 8 <= len; ++off) {
        if (item[off + 4] == 0x04 && item[off + 5] == 0x00 && item[off + 6] == 0xEF && item[off + 7] == 0xBE) {
            std::u16string name = LongNameAt(item, len, off);
            if (!name.empty())
                return name;
        }
    }
    return {};
}

// The name of a file entry whose fixed part starts at item[at] (the entry itself at
// 0, or the one a delegate item wraps).
std::u16string FileEntryName(const std::uint8_t* item, std::size_t len, std::size_t at)
{
    if (len < at + 15)
        return {};
    const bool unicodeName = item[at + 2] & 0x04;
    std::size_t nameEnd = at + 14;
    std::u16string primary;
    if (unicodeName) {
        primary = UnicodeIn(item, at + 14, len);
        nameEnd += 2 * (primary.size() + 1);
    } else {
        primary = AnsiIn(item, at + 14, len);
        nameEnd += primary.size() + 1;
    }
    std::u16string longName = LongName(item, len, nameEnd);
    return longName.empty() ? primary : longName;
}

void Append(std::u16string& path, std::u16string_view name)
{
    if (!path.empty() && path.back() != u'\\')
        path += u'\\';
    path += name;
}

} // namespace

SpelledPath SpellIdList(std::span<const std::uint8_t> items)
{
    enum class State { Start, Computer, Network, FileSystem, NoPath };
    SpelledPath out;
    State state = State::Start;
    const std::uint8_t* b = items.data();
    const std::size_t n = items.size();
    std::size_t p = 0;
    while (n - p >= 2) {
        const std::size_t len = Le16(b + p);
        if (len == 0 || len < 2 || len > n - p)
            break;
        const std::uint8_t* item = b + p;
        p += len;
        out.hasItems = true;
        if (len < 3 || state == State::NoPath)
            continue;
        const std::uint8_t type = item[2];
        if (type == 0x1F) { // root folder
            if (state != State::Start || len < 20)
                continue;
            if (SameGuid(item + 4, kMyComputer)) {
                state = State::Computer;
            } else if (SameGuid(item + 4, kNetworkPlaces) || SameGuid(item + 4, kNetwork)) {
                state = State::Network;
            } else if (const char16_t* folder = UserFolder(item + 4)) {
                out.path = folder;
                state = State::FileSystem;
            } else {
                state = State::NoPath; // control panel, recycle bin, libraries ...
            }
        } else if ((type & 0x70) == 0x20) { // volume, or a folder of the computer by GUID
            if (state != State::Start && state != State::Computer)
                continue;
            if (type == 0x2E) {
                const char16_t* folder = len >= 20 ? UserFolder(item + 4) : nullptr;
                if (folder) {
                    out.path = folder;
                    state = State::FileSystem;
                } else {
                    state = State::NoPath;
                }
                continue;
            }
            const std::u16string name = AnsiIn(item, 3, len);
            if (name.size() >= 2 && name[1] == u':' &&
                ((name[0] >= u'A' && name[0] <= u'Z') || (name[0] >= u'a' && name[0] <= u'z'))) {
                out.path = name.substr(0, 2) + u"\\";
                state = State::FileSystem;
            } else {
                state = State::NoPath;
            }
        } else if ((type & 0x70) == 0x30 || (type == 0x74 && len >= 10 && std::memcmp(item + 6, "CFSF", 4) == 0)) {
            const std::u16string name = type == 0x74 ? FileEntryName(item, len, 10) : FileEntryName(item, len, 0);
            if (state == State::Start) {
                // Items straight under the namespace root are those of the desktop.
                out.path = u"%USERPROFILE%\\Desktop";
                state = State::FileSystem;
            }
            if (state != State::FileSystem || name.empty()) {
                state = State::NoPath;
                continue;
            }
            Append(out.path, name);
        } else if ((type & 0x70) == 0x40) { // network location
            const std::u16string location = AnsiIn(item, 5, len);
            if (location.size() > 2 && location[0] == u'\\' && location[1] == u'\\') {
                if (state == State::Start || state == State::Network) {
                    out.path = location;
                    state = State::FileSystem;
                } else if (state == State::FileSystem && location.starts_with(out.path)) {
                    out.path = location; // the share after its server
                }
            }
        }
        // Other items (URIs, control panel entries, property-store items) name no
        // folder of their own on the path; they are stepped over.
    }
    if (state != State::FileSystem)
        out.path.clear();
    return out;
}

// ---------------------------------------------------------------------------------
// Building

namespace {

void Put16(std::vector<std::uint8_t>& v, std::uint32_t x)
{
    v.push_back(static_cast<std::uint8_t>(x));
    v.push_back(static_cast<std::uint8_t>(x >> 8));
}
void Put32(std::vector<std::uint8_t>& v, std::uint32_t x)
{
    Put16(v, x & 0xFFFF);
    Put16(v, x >> 16);
}
void Set16(std::vector<std::uint8_t>& v, std::size_t at, std::uint32_t x)
{
    v[at] = static_cast<std::uint8_t>(x);
    v[at + 1] = static_cast<std::uint8_t>(x >> 8);
}
void Set32(std::vector<std::uint8_t>& v, std::size_t at, std::uint32_t x)
{
    Set16(v, at, x & 0xFFFF);
    Set16(v, at + 2, x >> 16);
}
void PutUtf16(std::vector<std::uint8_t>& v, std::u16string_view s)
{
    for (const char16_t c : s)
        Put16(v, c);
    Put16(v, 0);
}

bool IsAscii(std::u16string_view s)
{
    for (const char16_t c : s)
        if (c >= 0x80)
            return false;
    return true;
}

std::vector<std::u16string_view> Segments(std::u16string_view path)
{
    std::vector<std::u16string_view> out;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find(u'\\', start);
        if (end == std::u16string_view::npos)
            end = path.size();
        if (end > start)
            out.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

void FileEntry(std::vector<std::uint8_t>& v, std::u16string_view name, bool last, const LinkTargetInfo& target)
{
    const bool folder = !last || (target.attributes & 0x10);
    std::string ansi;
    const bool ansiName = IsAscii(name) && EncodeCp1252(name, ansi);
    const std::size_t start = v.size();
    Put16(v, 0); // size, set below
    v.push_back(static_cast<std::uint8_t>((folder ? 0x31 : 0x32) | (ansiName ? 0 : 0x04)));
    v.push_back(0);
    Put32(v, last && !folder ? static_cast<std::uint32_t>(target.size) : 0);
    Put32(v, last ? FileTimeToDosDateTime(target.writeTime) : 0);
    Put16(v, last ? (target.attributes & 0xFFFF) : 0x10);
    if (ansiName) {
        v.insert(v.end(), ansi.begin(), ansi.end());
        v.push_back(0);
        if ((v.size() - start) % 2)
            v.push_back(0);
    } else {
        PutUtf16(v, name);
    }
    // The extension block (version 8) with the long name, which Windows prefers.
    const std::size_t ext = v.size();
    Put16(v, 0); // size, set below
    Put16(v, 8);
    Put32(v, 0xBEEF0004);
    Put32(v, last ? FileTimeToDosDateTime(target.creationTime) : 0);
    Put32(v, last ? FileTimeToDosDateTime(target.accessTime) : 0);
    Put16(v, 0x2A);
    Put16(v, 0);
    for (int i = 0; i < 16; ++i) // NTFS file reference and a reserved field
        v.push_back(0);
    Put16(v, 0); // no localized name
    Put32(v, 0);
    PutUtf16(v, name);
    Put16(v, static_cast<std::uint32_t>(ext - start)); // where the first extension block starts
    Set16(v, ext, static_cast<std::uint32_t>(v.size() - ext));
    Set16(v, start, static_cast<std::uint32_t>(v.size() - start));
}

void RootItem(std::vector<std::uint8_t>& v, const Guid& guid, std::uint8_t sortIndex)
{
    Put16(v, 20);
    v.push_back(0x1F);
    v.push_back(sortIndex);
    v.insert(v.end(), guid.begin(), guid.end());
}

void NetworkItem(std::vector<std::uint8_t>& v, std::uint8_t type, const std::string& location)
{
    const std::size_t start = v.size();
    Put16(v, 0);
    v.push_back(type);
    v.push_back(0);
    v.push_back(0); // flags: no description, no comments
    v.insert(v.end(), location.begin(), location.end());
    v.push_back(0);
    Put16(v, 0);
    Set16(v, start, static_cast<std::uint32_t>(v.size() - start));
}

bool IsDrive(std::u16string_view p)
{
    return p.size() >= 2 && p[1] == u':' && ((p[0] >= u'A' && p[0] <= u'Z') || (p[0] >= u'a' && p[0] <= u'z')) &&
           (p.size() == 2 || p[2] == u'\\');
}

bool IsUnc(std::u16string_view p)
{
    if (p.size() < 5 || p[0] != u'\\' || p[1] != u'\\')
        return false;
    const auto segs = Segments(p.substr(2));
    return segs.size() >= 2;
}

} // namespace

std::vector<std::uint8_t> BuildIdList(std::u16string_view path, const LinkTargetInfo& target)
{
    std::vector<std::uint8_t> v;
    std::vector<std::u16string_view> rest;
    if (IsDrive(path)) {
        RootItem(v, kMyComputer, 0x50);
        std::string volume;
        volume += static_cast<char>(path[0] >= u'a' ? path[0] - u'a' + u'A' : path[0]);
        volume += ":\\";
        Put16(v, 25);
        v.push_back(0x2F);
        v.insert(v.end(), volume.begin(), volume.end());
        v.resize(v.size() + 19, 0); // NUL and the item's unused rest
        rest = Segments(path.substr(2));
    } else if (IsUnc(path)) {
        const auto segs = Segments(path.substr(2));
        std::string server = "\\\\", share;
        std::string part;
        EncodeCp1252(segs[0], part);
        server += part;
        EncodeCp1252(segs[1], part);
        share = server + "\\" + part;
        RootItem(v, kNetworkPlaces, 0x58);
        NetworkItem(v, 0x42, server);
        NetworkItem(v, 0xC3, share);
        rest.assign(segs.begin() + 2, segs.end());
    } else {
        return {};
    }
    for (std::size_t i = 0; i < rest.size(); ++i)
        FileEntry(v, rest[i], i + 1 == rest.size(), target);
    Put16(v, 0);
    return v;
}

std::vector<std::uint8_t> BuildLinkInfo(std::u16string_view path)
{
    std::u16string base, suffix;
    bool network = false;
    if (IsDrive(path)) {
        base = path.substr(0, 2);
        if (base[0] >= u'a')
            base[0] = static_cast<char16_t>(base[0] - u'a' + u'A');
        base += u'\\';
        const auto segs = Segments(path.substr(2));
        for (std::size_t i = 0; i < segs.size(); ++i) {
            if (i)
                base += u'\\';
            base += segs[i];
        }
    } else if (IsUnc(path)) {
        network = true;
        const auto segs = Segments(path.substr(2));
        base = u"\\\\";
        base += segs[0];
        base += u'\\';
        base += segs[1];
        for (std::size_t i = 2; i < segs.size(); ++i) {
            if (i > 2)
                suffix += u'\\';
            suffix += segs[i];
        }
    } else {
        return {};
    }
    // Paths beyond ASCII also get their Unicode forms: the ANSI ones would be read
    // in whatever code page the reading machine has.
    const bool unicode = !IsAscii(base) || !IsAscii(suffix);
    std::string baseAnsi, suffixAnsi;
    EncodeCp1252(base, baseAnsi);
    EncodeCp1252(suffix, suffixAnsi);
    const std::uint32_t headerSize = unicode ? 0x24 : 0x1C;

    std::vector<std::uint8_t> v(headerSize, 0);
    Set32(v, 4, headerSize);
    Set32(v, 8, network ? 0x2 : 0x1);
    if (!network) {
        Set32(v, 12, static_cast<std::uint32_t>(v.size())); // VolumeID
        Put32(v, 0x11);
        Put32(v, 3); // DRIVE_FIXED: the drive's kind on the target machine is unknown
        Put32(v, 0); // serial number
        Put32(v, 0x10);
        v.push_back(0); // empty label
        Set32(v, 16, static_cast<std::uint32_t>(v.size()));
        v.insert(v.end(), baseAnsi.begin(), baseAnsi.end());
        v.push_back(0);
    } else {
        const std::size_t net = v.size();
        Set32(v, 20, static_cast<std::uint32_t>(net));
        const std::uint32_t nameOff = unicode ? 0x1C : 0x14;
        Put32(v, 0);          // size, set below
        Put32(v, 0x2);        // ValidNetType
        Put32(v, nameOff);    // NetNameOffset
        Put32(v, 0);          // no device
        Put32(v, 0x00020000); // WNNC_NET_LANMAN
        if (unicode) {
            Put32(v, 0); // NetNameOffsetUnicode, set below
            Put32(v, 0);
        }
        v.insert(v.end(), baseAnsi.begin(), baseAnsi.end());
        v.push_back(0);
        if (unicode) {
            Set32(v, net + 0x14, static_cast<std::uint32_t>(v.size() - net));
            PutUtf16(v, base);
        }
        Set32(v, net, static_cast<std::uint32_t>(v.size() - net));
    }
    Set32(v, 24, static_cast<std::uint32_t>(v.size()));
    v.insert(v.end(), suffixAnsi.begin(), suffixAnsi.end());
    v.push_back(0);
    if (unicode) {
        if (!network) {
            Set32(v, 28, static_cast<std::uint32_t>(v.size()));
            PutUtf16(v, base);
        }
        Set32(v, 32, static_cast<std::uint32_t>(v.size()));
        PutUtf16(v, suffix);
    }
    Set32(v, 0, static_cast<std::uint32_t>(v.size()));
    return v;
}

char16_t DriveLetter(std::u16string_view p)
{
    if (p.size() < 3 || p[1] != u':' || p[2] != u'\\')
        return 0;
    const char16_t letter = p[0] >= u'a' && p[0] <= u'z' ? static_cast<char16_t>(p[0] - 0x20) : p[0];
    return letter >= u'A' && letter <= u'Z' ? letter : 0;
}

std::uint32_t FileTimeToDosDateTime(std::uint64_t fileTime)
{
    constexpr std::uint64_t kUnixEpoch = 116444736000000000ull; // 1970-01-01 in FILETIME units
    if (fileTime < kUnixEpoch)
        return 0;
    const std::time_t seconds = static_cast<std::time_t>((fileTime - kUnixEpoch) / 10000000ull);
    std::tm tm{};
    if (!gmtime_r(&seconds, &tm) || tm.tm_year < 80 || tm.tm_year > 80 + 127)
        return 0;
    const std::uint32_t date = static_cast<std::uint32_t>(((tm.tm_year - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
    const std::uint32_t time = static_cast<std::uint32_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
    return date | (time << 16);
}

bool EncodeCp1252(std::u16string_view text, std::string& out)
{
    static const char16_t kHigh[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    };
    out.clear();
    out.reserve(text.size());
    bool exact = true;
    for (const char16_t c : text) {
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out += static_cast<char>(c);
            continue;
        }
        int found = -1;
        for (int i = 0; i < 32; ++i)
            if (kHigh[i] == c)
                found = i;
        if (found >= 0) {
            out += static_cast<char>(0x80 + found);
        } else {
            out += '?';
            exact = false;
        }
    }
    return exact;
}

} // namespace platform::shelllink
