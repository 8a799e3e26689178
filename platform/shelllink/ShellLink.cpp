#include "platform/shelllink/ShellLink.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/shelllink/ShellLinkData.h"
#include "platform/util/Text.h"
#include "platform/util/UniqueFd.h"

namespace platform {

using namespace shelllink;

namespace {

// Windows reads the path-like strings into MAX_PATH buffers and the description into
// one of INFOTIPSIZE, and goes on reading the next structure right after what it
// took, whatever the count said; links in the wild rely on it (a working directory
// whose count also covered the arguments that follow it).
constexpr std::array<std::uint32_t, kStringCount> kStringCaps = {1024, 260, 260, 0xFFFF, 260};

// Shortest sizes of the blocks we read fields from; shorter ones count as unknown.
struct BlockShape {
    std::uint32_t signature;
    std::uint32_t minSize;
};
constexpr std::array<BlockShape, kBlockKindCount> kBlockShapes = {{
    {kEnvironmentBlock, 0x314},
    {kConsoleBlock, 0xCC},
    {kTrackerBlock, 0x60},
    {kConsoleFeBlock, 0x0C},
    {kSpecialFolderBlock, 0x10},
    {kDarwinBlock, 0x314},
    {kIconEnvironmentBlock, 0x314},
    {kShimBlock, 0x88},
    {kPropertyStoreBlock, 0x0C},
    {kKnownFolderBlock, 0x1C},
    {kVistaIdListBlock, 0x0A},
}};

// Links are small; a file beyond this is not one we read (and reading it whole
// would cost memory for nothing).
constexpr std::size_t kMaxLinkFile = 64u << 20;
constexpr std::size_t kFirstRead = 64u << 10;

// A NUL-terminated ANSI string at li[o], inside [lo, hi).
bool AnsiAt(const std::uint8_t* base, std::uint32_t absBase, std::uint32_t lo, std::uint32_t hi, std::uint32_t o,
            TextRef& out)
{
    if (o < lo || o >= hi)
        return false;
    const void* nul = std::memchr(base + o, 0, hi - o);
    if (!nul)
        return false;
    out = {true, false, absBase + o, static_cast<std::uint32_t>(static_cast<const std::uint8_t*>(nul) - (base + o))};
    return true;
}

// A NUL-terminated UTF-16LE string at li[o], inside [lo, hi).
bool UnicodeAt(const std::uint8_t* base, std::uint32_t absBase, std::uint32_t lo, std::uint32_t hi, std::uint32_t o,
               TextRef& out)
{
    if (o < lo || o >= hi)
        return false;
    for (std::uint32_t p = o; hi - p >= 2; p += 2) {
        if (base[p] == 0 && base[p + 1] == 0) {
            out = {true, true, absBase + o, (p - o) / 2};
            return true;
        }
    }
    return false;
}

// The LinkInfo at bytes[off, off + size). Only the parts its flags announce are
// read; they must be whole and inside the structure.
bool ParseLinkInfo(const std::uint8_t* li, std::uint32_t size, std::uint32_t off, LinkInfoRefs& info)
{
    if (size < 0x1C)
        return false;
    const std::uint32_t headerSize = Le32(li + 4);
    if (headerSize < 0x1C || headerSize > size)
        return false;
    info.flags = Le32(li + 8);
    const std::uint32_t volumeOff = Le32(li + 12);
    const std::uint32_t localOff = Le32(li + 16);
    const std::uint32_t networkOff = Le32(li + 20);
    const std::uint32_t suffixOff = Le32(li + 24);
    const bool hasUnicodeOffsets = headerSize >= 0x24;
    const std::uint32_t localOffU = hasUnicodeOffsets ? Le32(li + 28) : 0;
    const std::uint32_t suffixOffU = hasUnicodeOffsets ? Le32(li + 32) : 0;

    if (info.flags & 0x1) { // VolumeIDAndLocalBasePath
        if (volumeOff < headerSize || volumeOff > size || size - volumeOff < 0x10)
            return false;
        const std::uint8_t* vol = li + volumeOff;
        const std::uint32_t volumeSize = Le32(vol);
        if (volumeSize < 0x10 || volumeSize > size - volumeOff)
            return false;
        info.driveType = Le32(vol + 4);
        // The label serves nothing we do; a damaged one is ignored, not fatal.
        const std::uint32_t labelOff = Le32(vol + 12);
        TextRef label;
        if (labelOff == 0x14 && volumeSize >= 0x14) {
            if (UnicodeAt(vol, off + volumeOff, 0x14, volumeSize, Le32(vol + 16), label))
                info.volumeLabel = label;
        } else if (AnsiAt(vol, off + volumeOff, 0x10, volumeSize, labelOff, label)) {
            info.volumeLabel = label;
        }
        if (!AnsiAt(li, off, headerSize, size, localOff, info.localBasePath))
            return false;
        if (localOffU != 0) {
            TextRef wide;
            if (!UnicodeAt(li, off, headerSize, size, localOffU, wide))
                return false;
            info.localBasePath = wide;
        }
    }
    if (info.flags & 0x2) { // CommonNetworkRelativeLinkAndPathSuffix
        if (networkOff < headerSize || networkOff > size || size - networkOff < 0x14)
            return false;
        const std::uint8_t* net = li + networkOff;
        const std::uint32_t netSize = Le32(net);
        if (netSize < 0x14 || netSize > size - networkOff)
            return false;
        const std::uint32_t netFlags = Le32(net + 4);
        const std::uint32_t nameOff = Le32(net + 8);
        const std::uint32_t deviceOff = Le32(net + 12);
        const std::uint32_t absNet = off + networkOff;
        if (!AnsiAt(net, absNet, 0x14, netSize, nameOff, info.netName))
            return false;
        if (netFlags & 0x1) { // ValidDevice
            if (!AnsiAt(net, absNet, 0x14, netSize, deviceOff, info.deviceName))
                return false;
        }
        if (nameOff > 0x14) {
            if (netSize < 0x1C)
                return false;
            const std::uint32_t nameOffU = Le32(net + 0x14);
            const std::uint32_t deviceOffU = Le32(net + 0x18);
            TextRef wide;
            if (nameOffU != 0) {
                if (!UnicodeAt(net, absNet, 0x1C, netSize, nameOffU, wide))
                    return false;
                info.netName = wide;
            }
            if ((netFlags & 0x1) && deviceOffU != 0) {
                if (!UnicodeAt(net, absNet, 0x1C, netSize, deviceOffU, wide))
                    return false;
                info.deviceName = wide;
            }
        }
    }
    if (suffixOff != 0 && !AnsiAt(li, off, headerSize, size, suffixOff, info.commonPathSuffix))
        return false;
    if (suffixOffU != 0) {
        TextRef wide;
        if (!UnicodeAt(li, off, headerSize, size, suffixOffU, wide))
            return false;
        info.commonPathSuffix = wide;
    }
    info.present = true;
    return true;
}

std::u16string JoinPath(std::u16string base, std::u16string_view suffix)
{
    if (suffix.empty())
        return base;
    if (!base.empty() && base.back() != u'\\')
        base += u'\\';
    base += suffix;
    return base;
}

bool HasNonAscii(const std::uint8_t* p, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i)
        if (p[i] >= 0x80)
            return true;
    return false;
}

// The text of a fixed-size field of an ExtraData block (ANSI, then Unicode), the
// Unicode form winning when it holds anything. A field without a NUL ends with it.
std::u16string BlockText(const std::uint8_t* block, std::uint32_t ansiOff, std::uint32_t ansiLen, std::uint32_t uniOff,
                         std::uint32_t uniLen)
{
    const std::uint8_t* u = block + uniOff;
    std::uint32_t units = 0;
    while (units < uniLen / 2 && (u[2 * units] | u[2 * units + 1]) != 0)
        ++units;
    if (units > 0) {
        std::u16string out(units, u'\0');
        for (std::uint32_t i = 0; i < units; ++i)
            out[i] = static_cast<char16_t>(Le16(u + 2 * i));
        return out;
    }
    const char* a = reinterpret_cast<const char*>(block + ansiOff);
    std::size_t len = 0;
    while (len < ansiLen && a[len] != '\0')
        ++len;
    return Cp1252ToUtf16(std::string_view(a, len));
}

std::string ToUtf8(std::u16string_view text) { return Utf16ToBytes(text); }

} // namespace

namespace shelllink {

int StringIndex(std::uint32_t hasFlag)
{
    for (int i = 0; i < kStringCount; ++i)
        if (kStringFlags[i] == hasFlag)
            return i;
    return -1;
}

std::string Utf16LeToBytes(const std::uint8_t* p, std::size_t units, std::size_t maxUnits)
{
    if (units > maxUnits) {
        units = maxUnits;
        // Never end on the first half of a pair: the buffer's last unit would be a
        // lone surrogate that stands for nothing.
        if (units > 0) {
            const std::uint16_t last = Le16(p + 2 * (units - 1));
            if (last >= 0xD800 && last <= 0xDBFF)
                --units;
        }
    }
    std::string out;
    out.reserve(units);
    for (std::size_t i = 0; i < units; ++i) {
        char32_t c = Le16(p + 2 * i);
        if (c < 0x80) {
            out += static_cast<char>(c);
            continue;
        }
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units) {
            const std::uint16_t next = Le16(p + 2 * (i + 1));
            if (next >= 0xDC00 && next <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (next - 0xDC00);
                ++i;
            }
        }
        if (c >= 0xD800 && c <= 0xDFFF) {
            if (c >= 0xDC80 && c <= 0xDCFF) {
                out += static_cast<char>(c - 0xDC00);
                continue;
            }
            c = 0xFFFD;
        }
        AppendUtf8(out, c);
    }
    return out;
}

std::string CutUtf16(std::u16string_view text, std::size_t maxUnits)
{
    if (text.size() > maxUnits) {
        text = text.substr(0, maxUnits);
        if (!text.empty() && text.back() >= 0xD800 && text.back() <= 0xDBFF)
            text.remove_suffix(1);
    }
    return ToUtf8(text);
}

bool HasEnvironmentVariable(std::u16string_view path)
{
    const auto first = path.find(u'%');
    return first != std::u16string_view::npos && path.find(u'%', first + 1) != std::u16string_view::npos;
}

} // namespace shelllink

// ---------------------------------------------------------------------------------
// Parsing

void ShellLink::Data::Reset()
{
    bytes.assign(kHeaderSize + 4, 0);
    bytes[0] = static_cast<std::uint8_t>(kHeaderSize);
    std::memcpy(bytes.data() + 4, kLinkClsid.data(), kLinkClsid.size());
    bytes[0x14] = static_cast<std::uint8_t>(SLDF_UNICODE);
    bytes[0x3C] = 1; // SW_SHOWNORMAL
    Parse();
}

bool ShellLink::Data::Parse()
{
    const std::uint8_t* b = bytes.data();
    const std::size_t n = bytes.size();
    header = {};
    idList = idListField = linkInfo = {};
    info = {};
    stringFields = {};
    strings = {};
    blocks = {};
    extraOff = 0;

    if (n < kHeaderSize || n > 0xFFFFFFF0u)
        return false;
    if (Le32(b) != kHeaderSize || std::memcmp(b + 4, kLinkClsid.data(), kLinkClsid.size()) != 0)
        return false;
    header.flags = Le32(b + 0x14);
    header.attributes = Le32(b + 0x18);
    header.creationTime = Le64(b + 0x1C);
    header.accessTime = Le64(b + 0x24);
    header.writeTime = Le64(b + 0x2C);
    header.fileSize = Le32(b + 0x34);
    header.iconIndex = static_cast<std::int32_t>(Le32(b + 0x38));
    header.showCommand = Le32(b + 0x3C);
    header.hotkey = Le16(b + 0x40);
    header.reserved1 = Le16(b + 0x42);
    header.reserved2 = Le32(b + 0x44);
    header.reserved3 = Le32(b + 0x48);

    std::uint32_t pos = kHeaderSize;
    if (header.flags & SLDF_HAS_ID_LIST) {
        if (n - pos < 2)
            return false;
        const std::uint32_t size = Le16(b + pos);
        if (n - pos - 2 < size)
            return false;
        idListField = {pos, size + 2};
        idList = {pos + 2, size};
        // Every item must lie inside the list; a list that fills its size without
        // the terminating zero ends there.
        std::uint32_t p = pos + 2;
        const std::uint32_t end = pos + 2 + size;
        while (end - p >= 2) {
            const std::uint32_t itemSize = Le16(b + p);
            if (itemSize == 0)
                break;
            if (itemSize < 2 || itemSize > end - p)
                return false;
            p += itemSize;
        }
        pos = end;
    }
    if (header.flags & SLDF_HAS_LINK_INFO) {
        if (n - pos < 4)
            return false;
        const std::uint32_t size = Le32(b + pos);
        if (size < 4 || size > n - pos)
            return false;
        linkInfo = {pos, size};
        // ForceNoLinkInfo: Windows ignores the structure, so damage inside it does
        // not matter; only its size is needed to step over it.
        if (!(header.flags & SLDF_FORCE_NO_LINKINFO) && !ParseLinkInfo(b + pos, size, pos, info))
            return false;
        pos += size;
    }
    const bool unicode = header.flags & SLDF_UNICODE;
    for (int i = 0; i < kStringCount; ++i) {
        if (!(header.flags & kStringFlags[i]))
            continue;
        if (n - pos < 2)
            return false;
        const std::uint32_t count = std::min<std::uint32_t>(Le16(b + pos), kStringCaps[i]);
        const std::uint32_t byteCount = unicode ? 2 * count : count;
        if (n - pos - 2 < byteCount)
            return false;
        stringFields[i] = {pos, 2 + byteCount};
        TextRef& text = strings[i];
        text.present = true;
        text.unicode = unicode;
        text.off = pos + 2;
        // The string ends at its first NUL, as it does in the getter's buffer.
        std::uint32_t units = 0;
        if (unicode) {
            while (units < count && (b[text.off + 2 * units] | b[text.off + 2 * units + 1]) != 0)
                ++units;
        } else {
            const void* nul = std::memchr(b + text.off, 0, count);
            units = nul ? static_cast<std::uint32_t>(static_cast<const std::uint8_t*>(nul) - (b + text.off)) : count;
        }
        text.units = units;
        pos += 2 + byteCount;
    }
    extraOff = pos;
    // A block shorter than 4 bytes ends the list; one that runs past the end of the
    // file ends it too (Windows keeps the blocks before it).
    while (n - pos >= 4) {
        const std::uint32_t size = Le32(b + pos);
        if (size < 4 || size > n - pos)
            break;
        if (size >= 8) {
            const std::uint32_t signature = Le32(b + pos + 4);
            for (int k = 0; k < kBlockKindCount; ++k) {
                if (kBlockShapes[k].signature == signature) {
                    if (blocks[k] == 0 && size >= kBlockShapes[k].minSize)
                        blocks[k] = pos;
                    break;
                }
            }
        }
        pos += size;
    }
    return true;
}

std::u16string ShellLink::Data::Text(const TextRef& ref) const
{
    if (!ref.present)
        return {};
    const std::uint8_t* p = bytes.data() + ref.off;
    if (!ref.unicode)
        return Cp1252ToUtf16(std::string_view(reinterpret_cast<const char*>(p), ref.units));
    std::u16string out(ref.units, u'\0');
    for (std::uint32_t i = 0; i < ref.units; ++i)
        out[i] = static_cast<char16_t>(Le16(p + 2 * i));
    return out;
}

std::string ShellLink::Data::TextUtf8(const TextRef& ref, std::size_t maxUnits) const
{
    if (!ref.present)
        return {};
    const std::uint8_t* p = bytes.data() + ref.off;
    if (ref.unicode)
        return Utf16LeToBytes(p, ref.units, maxUnits);
    return Cp1252ToUtf8(std::string_view(reinterpret_cast<const char*>(p), std::min<std::size_t>(ref.units, maxUnits)));
}

std::u16string ShellLink::Data::LinkInfoPath(bool uncPriority) const
{
    if (!info.present)
        return {};
    const bool hasLocal = (info.flags & 0x1) && info.localBasePath.present;
    const bool hasNetwork = (info.flags & 0x2) && info.netName.present;
    const std::u16string suffix = Text(info.commonPathSuffix);
    if (hasNetwork && (uncPriority || !hasLocal))
        return JoinPath(Text(info.netName), suffix);
    if (hasLocal)
        return JoinPath(Text(info.localBasePath), suffix);
    return {};
}

std::u16string ShellLink::Data::RawPath(bool uncPriority) const
{
    if ((header.flags & SLDF_HAS_EXP_SZ) && blocks[kBlockEnvironment]) {
        std::u16string target = BlockText(bytes.data() + blocks[kBlockEnvironment], 8, 260, 268, 520);
        if (!target.empty())
            return target;
    }
    std::u16string path = LinkInfoPath(uncPriority);
    if (path.empty())
        return SpellIdList({bytes.data() + idList.off, idList.len}).path;
    // An ANSI path with characters beyond ASCII was written in the code page of the
    // machine that made the link, which need not be 1252. The ID list keeps the
    // same names in Unicode; when it spells the same drive's path, it is the
    // faithful spelling.
    auto ansiBeyondAscii = [&](const TextRef& ref) {
        return ref.present && !ref.unicode && HasNonAscii(bytes.data() + ref.off, ref.units);
    };
    const char16_t drive = DriveLetter(path);
    if (drive && (ansiBeyondAscii(info.localBasePath) || ansiBeyondAscii(info.commonPathSuffix))) {
        std::u16string fromIds = SpellIdList({bytes.data() + idList.off, idList.len}).path;
        if (DriveLetter(fromIds) == drive)
            return fromIds;
    }
    return path;
}

bool ShellLink::Data::IdListIsShellObject() const
{
    const SpelledPath spelled = SpellIdList({bytes.data() + idList.off, idList.len});
    return spelled.path.empty() && spelled.hasItems;
}

// ---------------------------------------------------------------------------------
// The object

ShellLink::ShellLink() : d_(std::make_unique<Data>()) { d_->Reset(); }
ShellLink::~ShellLink() = default;
ShellLink::ShellLink(const ShellLink& other) : d_(std::make_unique<Data>(*other.d_)) {}
ShellLink& ShellLink::operator=(const ShellLink& other)
{
    if (this != &other)
        *d_ = *other.d_;
    return *this;
}

bool ShellLink::LoadFromBytes(std::span<const std::uint8_t> bytes)
{
    d_->bytes.assign(bytes.begin(), bytes.end());
    d_->hasPendingTarget = false;
    if (d_->Parse())
        return true;
    d_->Reset();
    return false;
}

bool ShellLink::Load(const std::string& hostPath)
{
    // One open and, for any real link, one read. O_NONBLOCK: opening a FIFO named
    // like a link must not hang (reading it then gives nothing, or whatever a
    // writer put there); folders fail to read, and a device that fills the buffer
    // is no regular file and fails below.
    UniqueFd file(::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!file) {
        d_->Reset();
        return false;
    }
    const int fd = file.Get();
    thread_local std::vector<std::uint8_t> buffer;
    if (buffer.size() < kFirstRead)
        buffer.resize(kFirstRead);
    std::size_t got = 0;
    bool ok = true;
    bool parsed = false;
    for (;;) {
        const ssize_t r = ::read(fd, buffer.data() + got, buffer.size() - got);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            ok = false; // EISDIR, EAGAIN, EIO ...
            break;
        }
        if (r == 0)
            break;
        got += static_cast<std::size_t>(r);
        if (got < buffer.size()) {
            // A read of a regular file stops short only at its end, so this is
            // all of it; asking again to be sure would cost a second system call
            // per link. Only when the bytes do not make a link is the end
            // confirmed, in case a (network) file system handed out part of it.
            parsed = LoadFromBytes({buffer.data(), got});
            if (parsed)
                break;
            continue;
        }
        // A large file: only a regular one of sane size is worth reading on.
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<std::size_t>(st.st_size) > kMaxLinkFile ||
            got >= kMaxLinkFile || got < kHeaderSize || Le32(buffer.data()) != kHeaderSize) {
            ok = false;
            break;
        }
        buffer.resize(std::max<std::size_t>(static_cast<std::size_t>(st.st_size) + 1, buffer.size() * 2));
    }
    file.Close();
    if (ok && !parsed)
        parsed = LoadFromBytes({buffer.data(), got});
    if (buffer.size() > kFirstRead) {
        buffer.resize(kFirstRead);
        buffer.shrink_to_fit();
    }
    if (!ok || !parsed) {
        d_->Reset();
        return false;
    }
    return true;
}

std::string ShellLink::GetPath(std::uint32_t flags, std::size_t cch) const
{
    const std::size_t maxUnits = cch == 0 ? 0 : cch - 1;
    std::u16string path = d_->RawPath(flags & SLGP_UNCPRIORITY);
    if (!(flags & SLGP_RAWPATH) && HasEnvironmentVariable(path))
        path = BytesToUtf16(ExpandWithDefaultEnvironment(Utf16ToBytes(path)));
    return CutUtf16(path, maxUnits);
}

std::string ShellLink::GetDescription(std::size_t cch) const
{
    return d_->TextUtf8(d_->strings[0], cch == 0 ? 0 : cch - 1);
}

std::string ShellLink::GetRelativePath(std::size_t cch) const
{
    return d_->TextUtf8(d_->strings[1], cch == 0 ? 0 : cch - 1);
}

std::string ShellLink::GetWorkingDirectory(std::size_t cch) const
{
    return d_->TextUtf8(d_->strings[2], cch == 0 ? 0 : cch - 1);
}

std::string ShellLink::GetArguments(std::size_t cch) const
{
    return d_->TextUtf8(d_->strings[3], cch == 0 ? 0 : cch - 1);
}

std::string ShellLink::GetIconLocation(int& iconIndex, std::size_t cch) const
{
    iconIndex = d_->header.iconIndex;
    const std::size_t maxUnits = cch == 0 ? 0 : cch - 1;
    if ((d_->header.flags & SLDF_HAS_EXP_ICON_SZ) && d_->blocks[kBlockIconEnvironment]) {
        const std::u16string path = BlockText(d_->bytes.data() + d_->blocks[kBlockIconEnvironment], 8, 260, 268, 520);
        if (!path.empty())
            return CutUtf16(path, maxUnits);
    }
    return d_->TextUtf8(d_->strings[4], maxUnits);
}

int ShellLink::GetShowCmd() const { return static_cast<int>(d_->header.showCommand); }
std::uint16_t ShellLink::GetHotkey() const { return d_->header.hotkey; }

bool ShellLink::TargetIsShellObject() const { return d_->RawPath(false).empty() && d_->IdListIsShellObject(); }

// ---------------------------------------------------------------------------------
// Stored fields

std::uint32_t ShellLink::LinkFlags() const { return d_->header.flags; }
std::uint32_t ShellLink::FileAttributes() const { return d_->header.attributes; }

LinkTargetInfo ShellLink::TargetInfo() const
{
    const Header& h = d_->header;
    return {h.attributes, h.fileSize, h.creationTime, h.accessTime, h.writeTime};
}

std::optional<std::string> ShellLink::StringData(std::uint32_t hasFlag) const
{
    const int i = StringIndex(hasFlag);
    if (i < 0 || !d_->strings[i].present)
        return std::nullopt;
    return d_->TextUtf8(d_->strings[i], SIZE_MAX);
}

namespace {
std::optional<std::string> Optional(const ShellLink::Data& d, const TextRef& ref)
{
    if (!ref.present)
        return std::nullopt;
    return d.TextUtf8(ref, SIZE_MAX);
}
} // namespace

std::optional<std::string> ShellLink::LocalBasePath() const
{
    return (d_->info.flags & 0x1) ? Optional(*d_, d_->info.localBasePath) : std::nullopt;
}
std::optional<std::string> ShellLink::CommonPathSuffix() const
{
    if (!d_->info.present)
        return std::nullopt;
    return d_->info.commonPathSuffix.present ? d_->TextUtf8(d_->info.commonPathSuffix, SIZE_MAX) : std::string();
}
std::optional<std::string> ShellLink::NetworkShareName() const
{
    return (d_->info.flags & 0x2) ? Optional(*d_, d_->info.netName) : std::nullopt;
}
std::optional<std::string> ShellLink::NetworkDeviceName() const
{
    return (d_->info.flags & 0x2) ? Optional(*d_, d_->info.deviceName) : std::nullopt;
}
std::optional<std::string> ShellLink::VolumeLabel() const
{
    return (d_->info.flags & 0x1) ? Optional(*d_, d_->info.volumeLabel) : std::nullopt;
}
std::optional<std::uint32_t> ShellLink::DriveType() const
{
    if (!d_->info.present || !(d_->info.flags & 0x1))
        return std::nullopt;
    return d_->info.driveType;
}

std::optional<std::string> ShellLink::IdListPath() const
{
    const SpelledPath spelled = SpellIdList({d_->bytes.data() + d_->idList.off, d_->idList.len});
    if (spelled.path.empty())
        return std::nullopt;
    return ToUtf8(spelled.path);
}

std::optional<std::string> ShellLink::EnvironmentTarget() const
{
    const std::uint32_t off = d_->blocks[kBlockEnvironment];
    if (!off)
        return std::nullopt;
    return ToUtf8(BlockText(d_->bytes.data() + off, 8, 260, 268, 520));
}

std::optional<std::string> ShellLink::IconEnvironmentTarget() const
{
    const std::uint32_t off = d_->blocks[kBlockIconEnvironment];
    if (!off)
        return std::nullopt;
    return ToUtf8(BlockText(d_->bytes.data() + off, 8, 260, 268, 520));
}

std::optional<std::string> ShellLink::DarwinId() const
{
    const std::uint32_t off = d_->blocks[kBlockDarwin];
    if (!off)
        return std::nullopt;
    return ToUtf8(BlockText(d_->bytes.data() + off, 8, 260, 268, 520));
}

std::optional<std::string> ShellLink::KnownFolderId() const
{
    const std::uint32_t off = d_->blocks[kBlockKnownFolder];
    if (!off)
        return std::nullopt;
    const std::uint8_t* g = d_->bytes.data() + off + 8;
    static const char* hex = "0123456789ABCDEF";
    std::string out = "{";
    auto put = [&](std::uint8_t byte) {
        out += hex[byte >> 4];
        out += hex[byte & 15];
    };
    for (int i = 3; i >= 0; --i)
        put(g[i]);
    out += '-';
    put(g[5]);
    put(g[4]);
    out += '-';
    put(g[7]);
    put(g[6]);
    out += '-';
    put(g[8]);
    put(g[9]);
    out += '-';
    for (int i = 10; i < 16; ++i)
        put(g[i]);
    out += '}';
    return out;
}

std::optional<std::uint32_t> ShellLink::SpecialFolderId() const
{
    const std::uint32_t off = d_->blocks[kBlockSpecialFolder];
    if (!off)
        return std::nullopt;
    return Le32(d_->bytes.data() + off + 8);
}

std::optional<std::string> ShellLink::TrackerMachineId() const
{
    const std::uint32_t off = d_->blocks[kBlockTracker];
    if (!off)
        return std::nullopt;
    const char* id = reinterpret_cast<const char*>(d_->bytes.data() + off + 16);
    std::size_t len = 0;
    while (len < 16 && id[len] != '\0')
        ++len;
    return Cp1252ToUtf8(std::string_view(id, len));
}

std::optional<std::uint32_t> ShellLink::ConsoleCodePage() const
{
    const std::uint32_t off = d_->blocks[kBlockConsoleFe];
    if (!off)
        return std::nullopt;
    return Le32(d_->bytes.data() + off + 8);
}

std::optional<std::string> ShellLink::ShimLayerName() const
{
    const std::uint32_t off = d_->blocks[kBlockShim];
    if (!off)
        return std::nullopt;
    const std::uint8_t* block = d_->bytes.data() + off;
    const std::uint32_t units = (Le32(block) - 8) / 2;
    std::uint32_t len = 0;
    while (len < units && (block[8 + 2 * len] | block[9 + 2 * len]) != 0)
        ++len;
    return Utf16LeToBytes(block + 8, len, SIZE_MAX);
}

std::optional<std::vector<std::uint8_t>> ShellLink::ExtraDataBlock(std::uint32_t signature) const
{
    const std::uint8_t* b = d_->bytes.data();
    const std::size_t n = d_->bytes.size();
    std::size_t pos = d_->extraOff;
    while (n - pos >= 8) {
        const std::uint32_t size = Le32(b + pos);
        if (size < 4 || size > n - pos)
            break;
        if (size >= 8 && Le32(b + pos + 4) == signature)
            return std::vector<std::uint8_t>(b + pos, b + pos + size);
        pos += size;
    }
    return std::nullopt;
}

} // namespace platform
