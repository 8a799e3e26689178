// The link writer. A link is edited by taking its file apart into its structures,
// replacing the ones a setter changes and putting the file together again; every
// structure it does not change goes back byte for byte. The result is parsed again
// at once, so the getters always answer for what SaveToBytes gives.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

#include "platform/shelllink/LinkEditor.h"
#include "platform/shelllink/ShellLink.h"
#include "platform/shelllink/ShellLinkData.h"
#include "platform/util/AtomicFile.h"
#include "platform/util/Text.h"
#include "platform/util/UniqueFd.h"

namespace platform {

using namespace shelllink;

namespace {

// The longest string each StringData field may hold, as the reader takes them.
constexpr std::array<std::size_t, kStringCount> kWriteCaps = {1024, 260, 260, 0xFFFF, 260};

using Bytes = std::vector<std::uint8_t>;

struct Parts {
    Header header;
    Bytes idListField; // IDListSize and items; empty: none
    Bytes linkInfo;    // empty: none
    std::array<std::optional<Bytes>, kStringCount> strings; // count and characters as stored
    std::vector<Bytes> blocks;
    Bytes tail; // the terminal block and whatever follows it
    bool blocksChanged = false;
};

void Put16(Bytes& v, std::uint32_t x)
{
    v.push_back(static_cast<std::uint8_t>(x));
    v.push_back(static_cast<std::uint8_t>(x >> 8));
}
void Put32(Bytes& v, std::uint32_t x)
{
    Put16(v, x & 0xFFFF);
    Put16(v, x >> 16);
}
void Put64(Bytes& v, std::uint64_t x)
{
    Put32(v, static_cast<std::uint32_t>(x));
    Put32(v, static_cast<std::uint32_t>(x >> 32));
}

Parts Decompose(const ShellLink::Data& d)
{
    Parts parts;
    const std::uint8_t* b = d.bytes.data();
    parts.header = d.header;
    if (d.idListField.len)
        parts.idListField.assign(b + d.idListField.off, b + d.idListField.off + d.idListField.len);
    if (d.linkInfo.len)
        parts.linkInfo.assign(b + d.linkInfo.off, b + d.linkInfo.off + d.linkInfo.len);
    for (int i = 0; i < kStringCount; ++i)
        if (d.stringFields[i].len)
            parts.strings[i] = Bytes(b + d.stringFields[i].off, b + d.stringFields[i].off + d.stringFields[i].len);
    const std::size_t n = d.bytes.size();
    std::size_t pos = d.extraOff;
    while (n - pos >= 4) {
        const std::uint32_t size = Le32(b + pos);
        if (size < 4 || size > n - pos)
            break;
        parts.blocks.emplace_back(b + pos, b + pos + size);
        pos += size;
    }
    parts.tail.assign(b + pos, b + n);
    return parts;
}

Bytes Assemble(const Parts& parts)
{
    const Header& h = parts.header;
    std::uint32_t flags = h.flags & ~(SLDF_HAS_ID_LIST | SLDF_HAS_LINK_INFO);
    if (!parts.idListField.empty())
        flags |= SLDF_HAS_ID_LIST;
    if (!parts.linkInfo.empty())
        flags |= SLDF_HAS_LINK_INFO;
    for (int i = 0; i < kStringCount; ++i) {
        flags &= ~kStringFlags[i];
        if (parts.strings[i])
            flags |= kStringFlags[i];
    }
    Bytes v;
    v.reserve(kHeaderSize + parts.idListField.size() + parts.linkInfo.size() + 1024);
    Put32(v, kHeaderSize);
    v.insert(v.end(), kLinkClsid.begin(), kLinkClsid.end());
    Put32(v, flags);
    Put32(v, h.attributes);
    Put64(v, h.creationTime);
    Put64(v, h.accessTime);
    Put64(v, h.writeTime);
    Put32(v, h.fileSize);
    Put32(v, static_cast<std::uint32_t>(h.iconIndex));
    Put32(v, h.showCommand);
    Put16(v, h.hotkey);
    Put16(v, h.reserved1);
    Put32(v, h.reserved2);
    Put32(v, h.reserved3);
    v.insert(v.end(), parts.idListField.begin(), parts.idListField.end());
    v.insert(v.end(), parts.linkInfo.begin(), parts.linkInfo.end());
    for (const auto& s : parts.strings)
        if (s)
            v.insert(v.end(), s->begin(), s->end());
    for (const Bytes& block : parts.blocks)
        v.insert(v.end(), block.begin(), block.end());
    if (parts.tail.empty() && parts.blocksChanged)
        Put32(v, 0); // the terminal block a list of blocks needs
    else
        v.insert(v.end(), parts.tail.begin(), parts.tail.end());
    return v;
}

void Commit(ShellLink::Data& d, const Parts& parts)
{
    d.bytes = Assemble(parts);
    [[maybe_unused]] const bool ok = d.Parse();
}

std::u16string CutTo(std::u16string text, std::size_t maxUnits)
{
    if (text.size() > maxUnits) {
        text.resize(maxUnits);
        if (!text.empty() && text.back() >= 0xD800 && text.back() <= 0xDBFF)
            text.pop_back();
    }
    return text;
}

Bytes StringField(std::u16string_view text, bool unicode)
{
    Bytes v;
    Put16(v, static_cast<std::uint32_t>(text.size()));
    if (unicode) {
        for (const char16_t c : text)
            Put16(v, c);
    } else {
        std::string ansi;
        EncodeCp1252(text, ansi);
        v.insert(v.end(), ansi.begin(), ansi.end());
    }
    return v;
}

// An ANSI link whose new string has no ANSI form becomes a Unicode one: each stored
// string is widened character for character, its count unchanged.
void WidenStrings(Parts& parts)
{
    for (auto& s : parts.strings) {
        if (!s)
            continue;
        Bytes wide;
        Put16(wide, Le16(s->data()));
        const std::u16string text =
            Cp1252ToUtf16(std::string_view(reinterpret_cast<const char*>(s->data() + 2), s->size() - 2));
        for (const char16_t c : text)
            Put16(wide, c);
        *s = std::move(wide);
    }
    parts.header.flags |= SLDF_UNICODE;
}

void RemoveBlocks(Parts& parts, std::uint32_t signature)
{
    std::erase_if(parts.blocks, [&](const Bytes& block) {
        const bool match = block.size() >= 8 && Le32(block.data() + 4) == signature;
        parts.blocksChanged = parts.blocksChanged || match;
        return match;
    });
}

// An environment-style block (environment variables, icon environment): the path
// in ANSI and in Unicode, each in its fixed field.
Bytes PathBlock(std::uint32_t signature, std::u16string_view path)
{
    path = path.substr(0, std::min<std::size_t>(path.size(), 259));
    Bytes v;
    Put32(v, 0x314);
    Put32(v, signature);
    std::string ansi;
    EncodeCp1252(path, ansi);
    ansi.resize(260, '\0');
    v.insert(v.end(), ansi.begin(), ansi.end());
    for (std::size_t i = 0; i < 260; ++i)
        Put16(v, i < path.size() ? path[i] : 0);
    return v;
}

// Puts the block in place of the first one with its signature (keeping the order
// of the others), or appends it. Later blocks with the same signature are dropped:
// nobody reads them, and the file should say one thing.
void SetBlock(Parts& parts, Bytes block)
{
    const std::uint32_t signature = Le32(block.data() + 4);
    parts.blocksChanged = true;
    auto same = [&](const Bytes& b) { return b.size() >= 8 && Le32(b.data() + 4) == signature; };
    std::size_t i = 0;
    while (i < parts.blocks.size() && !same(parts.blocks[i]))
        ++i;
    if (i == parts.blocks.size()) {
        parts.blocks.push_back(std::move(block));
        return;
    }
    parts.blocks[i] = std::move(block);
    for (std::size_t k = parts.blocks.size(); k-- > i + 1;)
        if (same(parts.blocks[k]))
            parts.blocks.erase(parts.blocks.begin() + static_cast<std::ptrdiff_t>(k));
}

void SetStringField(ShellLink::Data& d, int index, std::string_view text)
{
    Parts parts = Decompose(d);
    const std::u16string value = CutTo(BytesToUtf16(text), kWriteCaps[index]);
    if (value.empty()) {
        parts.strings[index].reset();
    } else {
        bool unicode = parts.header.flags & SLDF_UNICODE;
        std::string ansi;
        if (!unicode && !EncodeCp1252(value, ansi)) {
            WidenStrings(parts);
            unicode = true;
        }
        parts.strings[index] = StringField(value, unicode);
    }
    Commit(d, parts);
}

} // namespace

void ShellLink::SetDescription(std::string_view text) { SetStringField(*d_, 0, text); }
void ShellLink::SetRelativePath(std::string_view windowsPath) { SetStringField(*d_, 1, windowsPath); }
void ShellLink::SetWorkingDirectory(std::string_view windowsPath) { SetStringField(*d_, 2, windowsPath); }
void ShellLink::SetArguments(std::string_view text) { SetStringField(*d_, 3, text); }

void ShellLink::SetIconLocation(std::string_view windowsPath, int iconIndex)
{
    SetStringField(*d_, 4, windowsPath);
    Parts parts = Decompose(*d_);
    parts.header.iconIndex = iconIndex;
    const std::u16string wide = CutTo(BytesToUtf16(windowsPath), kWriteCaps[4]);
    // A location with %VARS% also goes into the icon environment block, which is
    // what Windows reads first; without, the block would contradict the string.
    if (HasEnvironmentVariable(wide)) {
        SetBlock(parts, PathBlock(kIconEnvironmentBlock, wide));
        parts.header.flags |= SLDF_HAS_EXP_ICON_SZ;
    } else {
        RemoveBlocks(parts, kIconEnvironmentBlock);
        parts.header.flags &= ~SLDF_HAS_EXP_ICON_SZ;
    }
    Commit(*d_, parts);
}

void ShellLink::SetShowCmd(int showCmd)
{
    Parts parts = Decompose(*d_);
    parts.header.showCommand = static_cast<std::uint32_t>(showCmd);
    Commit(*d_, parts);
}

void ShellLink::SetHotkey(std::uint16_t hotkey)
{
    Parts parts = Decompose(*d_);
    parts.header.hotkey = hotkey;
    Commit(*d_, parts);
}

void ShellLink::SetTargetInfo(const LinkTargetInfo& info)
{
    d_->pendingTarget = info;
    d_->hasPendingTarget = true;
    Parts parts = Decompose(*d_);
    parts.header.attributes = info.attributes;
    parts.header.fileSize = static_cast<std::uint32_t>(info.size);
    parts.header.creationTime = info.creationTime;
    parts.header.accessTime = info.accessTime;
    parts.header.writeTime = info.writeTime;
    Commit(*d_, parts);
}

void ShellLink::SetPath(std::string_view windowsPath, const WinEnvironment& env)
{
    const std::u16string raw = CutTo(BytesToUtf16(windowsPath), kMaxPath - 1);
    const bool hasVariables = HasEnvironmentVariable(raw);
    const std::u16string expanded =
        hasVariables ? BytesToUtf16(ExpandWith(env, Utf16ToBytes(raw))) : raw;
    const LinkTargetInfo target = d_->hasPendingTarget ? d_->pendingTarget : LinkTargetInfo{};

    Parts parts = Decompose(*d_);
    parts.header.attributes = target.attributes;
    parts.header.fileSize = static_cast<std::uint32_t>(target.size);
    parts.header.creationTime = target.creationTime;
    parts.header.accessTime = target.accessTime;
    parts.header.writeTime = target.writeTime;
    parts.header.flags &= ~SLDF_FORCE_NO_LINKINFO;

    // A path that still holds a variable after expansion cannot be spelled as
    // items; the environment block then carries the target alone.
    const bool spellable = !expanded.empty() && !HasEnvironmentVariable(expanded);
    parts.idListField.clear();
    parts.linkInfo.clear();
    if (spellable) {
        const Bytes items = BuildIdList(expanded, target);
        if (!items.empty() && items.size() <= 0xFFFF) {
            Put16(parts.idListField, static_cast<std::uint32_t>(items.size()));
            parts.idListField.insert(parts.idListField.end(), items.begin(), items.end());
        }
        parts.linkInfo = BuildLinkInfo(expanded);
    }
    if (hasVariables) {
        SetBlock(parts, PathBlock(kEnvironmentBlock, raw));
        parts.header.flags |= SLDF_HAS_EXP_SZ;
    } else {
        RemoveBlocks(parts, kEnvironmentBlock);
        parts.header.flags &= ~SLDF_HAS_EXP_SZ;
    }
    // These describe the old target and would lead Windows back to it.
    for (const std::uint32_t stale : {kTrackerBlock, kKnownFolderBlock, kSpecialFolderBlock, kVistaIdListBlock})
        RemoveBlocks(parts, stale);
    Commit(*d_, parts);
}

std::vector<std::uint8_t> ShellLink::SaveToBytes() const { return d_->bytes; }

bool ShellLink::Save(const std::string& linkPath) const
{
    if (linkPath.empty())
        return false;
    std::string refusal;
    const std::optional<std::string> destination = ShortcutSavePath(linkPath, refusal);
    if (!destination)
        return false;
    struct stat existing {};
    const bool exists = ::stat(destination->c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode))
        return false; // never put a file in place of a folder (or a device)
    // A read-only link stays as it is, as Windows refuses to save over one; a file
    // without any write bit counts as read-only even for root.
    if (exists &&
        (::access(destination->c_str(), W_OK) != 0 || (existing.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0))
        return false;
    const std::vector<std::uint8_t>& bytes = d_->bytes;
    return WriteFileAtomically(*destination, {reinterpret_cast<const char*>(bytes.data()), bytes.size()},
                               WriteMode::ReplaceHere) == 0;
}

std::optional<LinkTargetInfo> LinkTargetInfoOf(const std::string& hostPath)
{
    struct statx sx {};
    if (::statx(AT_FDCWD, hostPath.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0)
        return std::nullopt;
    auto fileTime = [](const struct statx_timestamp& t) -> std::uint64_t {
        if (t.tv_sec < -11644473600LL)
            return 0;
        return static_cast<std::uint64_t>(t.tv_sec + 11644473600LL) * 10000000ull + t.tv_nsec / 100;
    };
    LinkTargetInfo info;
    const bool folder = S_ISDIR(sx.stx_mode);
    info.attributes = folder ? 0x10 : 0x20;
    if (!(sx.stx_mode & 0222))
        info.attributes |= 0x01;
    std::string_view name = hostPath;
    while (name.size() > 1 && name.back() == '/')
        name.remove_suffix(1);
    if (const std::size_t slash = name.rfind('/'); slash != std::string_view::npos)
        name.remove_prefix(slash + 1);
    if (name.size() > 1 && name[0] == '.' && name != "..")
        info.attributes |= 0x02; // hidden: a leading dot
    info.size = folder ? 0 : sx.stx_size;
    info.writeTime = fileTime(sx.stx_mtime);
    info.accessTime = fileTime(sx.stx_atime);
    info.creationTime = (sx.stx_mask & STATX_BTIME) ? fileTime(sx.stx_btime) : info.writeTime;
    return info;
}

} // namespace platform
