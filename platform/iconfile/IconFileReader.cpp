#include "platform/iconfile/IconFileReader.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <tuple>

namespace platform::iconfile {

namespace {

constexpr std::uint16_t kRtIcon = 3;
constexpr std::uint16_t kRtGroupIcon = 14;
constexpr std::uint32_t kHighBit = 0x80000000u;

// Bounds that no real file comes near and that keep a hostile one cheap.
constexpr std::uint16_t kMaxSections = 96;           // the loader's own limit
constexpr std::size_t kMaxGroups = 16384;            // shell32.dll holds a few hundred
constexpr std::size_t kMaxImagesPerGroup = 512;      // real icons hold a dozen or two
constexpr std::uint32_t kMaxGroupBytes = 6 + 14 * kMaxImagesPerGroup;
constexpr std::uint32_t kMaxImageBytes = 4u << 20;   // a 256x256 DIB is 266 KiB
constexpr std::size_t kLanguagesLooked = 64;         // entries of a language level looked at

std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t Le32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

IconImageEntry ParseImageEntry(const std::uint8_t* p, std::uint32_t where, std::uint32_t bytes)
{
    IconImageEntry e;
    e.width = p[0] ? p[0] : 256;
    e.height = p[1] ? p[1] : 256;
    e.colorCount = p[2];
    e.bitCount = Le16(p + 6);
    e.bytes = bytes;
    e.where = where;
    return e;
}

} // namespace

IconFileReader::IconFileReader(const ByteSource& bytes) : bytes_(bytes)
{
    std::array<std::uint8_t, 64> head{};
    const std::uint64_t size = bytes_.Size();
    if (size < 6 || !bytes_.ReadAt(0, head.data(), static_cast<std::size_t>(std::min<std::uint64_t>(size, head.size()))))
        return;
    if (head[0] == 'M' && head[1] == 'Z') {
        kind_ = IconFileKind::OldExecutable;
        if (size < head.size())
            return;
        const std::uint32_t peOffset = Le32(head.data() + 0x3C);
        std::array<std::uint8_t, 4> signature{};
        if (!bytes_.ReadAt(peOffset, signature.data(), signature.size()))
            return;
        if (signature == std::array<std::uint8_t, 4>{'P', 'E', 0, 0}) {
            kind_ = IconFileKind::Program;
            ReadProgramHeaders(peOffset);
        }
        return; // "NE", "LE", "LX" or plain DOS: the type icon stands for them
    }
    // ICONDIR: reserved 0, type 1 (2 would be a cursor), count.
    if (Le16(head.data()) != 0 || Le16(head.data() + 2) != 1 || Le16(head.data() + 4) == 0)
        return;
    const std::uint64_t fits = (size - 6) / 16;
    const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>({Le16(head.data() + 4), fits, kMaxImagesPerGroup}));
    if (count == 0)
        return;
    std::vector<std::uint8_t> directory(count * 16);
    if (!bytes_.ReadAt(6, directory.data(), directory.size()))
        return;
    kind_ = IconFileKind::IconFile;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* p = directory.data() + i * 16;
        iconFile_.images.push_back(ParseImageEntry(p, Le32(p + 12), Le32(p + 8)));
    }
}

void IconFileReader::ReadProgramHeaders(std::uint32_t peOffset)
{
    // COFF header after the signature, then the optional header.
    std::array<std::uint8_t, 20> coff{};
    if (!bytes_.ReadAt(std::uint64_t{peOffset} + 4, coff.data(), coff.size()))
        return;
    const std::uint16_t sectionCount = std::min(Le16(coff.data() + 2), kMaxSections);
    const std::uint16_t optionalSize = Le16(coff.data() + 16);
    const std::uint64_t optionalOffset = std::uint64_t{peOffset} + 24;
    std::vector<std::uint8_t> optional(optionalSize);
    if (optionalSize < 2 || !bytes_.ReadAt(optionalOffset, optional.data(), optional.size()))
        return;
    // PE32 and PE32+ differ in the width of the image base and the stack and heap
    // sizes before the data directories.
    std::size_t countAt = 0;
    switch (Le16(optional.data())) {
    case 0x10B: countAt = 92; break;
    case 0x20B: countAt = 108; break;
    default: return;
    }
    constexpr std::uint32_t kResourceDirectory = 2;
    const std::size_t resourceAt = countAt + 4 + kResourceDirectory * 8;
    if (optional.size() < resourceAt + 8 || Le32(optional.data() + countAt) <= kResourceDirectory)
        return;
    resourceRva_ = Le32(optional.data() + resourceAt);
    if (resourceRva_ == 0)
        return;
    std::vector<std::uint8_t> table(std::size_t{sectionCount} * 40);
    if (!bytes_.ReadAt(optionalOffset + optionalSize, table.data(), table.size()))
        return;
    for (std::uint16_t i = 0; i < sectionCount; ++i) {
        const std::uint8_t* s = table.data() + std::size_t{i} * 40;
        sections_.push_back({Le32(s + 12), Le32(s + 8), Le32(s + 16), Le32(s + 20)});
    }
}

std::optional<std::uint64_t> IconFileReader::FileOffsetOf(std::uint32_t rva, std::uint32_t length) const
{
    for (const Section& s : sections_) {
        const std::uint32_t span = std::max(s.virtualSize, s.rawSize);
        if (rva < s.virtualAddress || rva - s.virtualAddress >= span)
            continue;
        const std::uint64_t within = rva - s.virtualAddress;
        // Only what the file holds: the rest of a section is zeros made at load time.
        if (within + length > s.rawSize)
            return std::nullopt;
        return std::uint64_t{s.rawOffset} + within;
    }
    return std::nullopt;
}

bool IconFileReader::ReadRva(std::uint32_t rva, void* out, std::uint32_t length) const
{
    const auto offset = FileOffsetOf(rva, length);
    return offset && bytes_.ReadAt(*offset, out, length);
}

std::vector<IconFileReader::DirectoryEntry> IconFileReader::ReadDirectory(std::uint32_t treeOffset) const
{
    std::vector<DirectoryEntry> entries;
    if (treeOffset > UINT32_MAX - resourceRva_)
        return entries;
    const std::uint32_t rva = resourceRva_ + treeOffset;
    std::array<std::uint8_t, 16> head{};
    if (!ReadRva(rva, head.data(), head.size()))
        return entries;
    const std::uint32_t count = std::uint32_t{Le16(head.data() + 12)} + Le16(head.data() + 14);
    if (count == 0 || rva > UINT32_MAX - 16)
        return entries;
    std::vector<std::uint8_t> raw(std::size_t{count} * 8);
    // A table cut short by the end of the section keeps what is there.
    std::uint32_t readable = count;
    while (readable > 0 && !ReadRva(rva + 16, raw.data(), readable * 8))
        readable = readable > 64 ? readable / 2 : readable - 1;
    entries.reserve(readable);
    for (std::uint32_t i = 0; i < readable; ++i)
        entries.push_back({Le32(raw.data() + i * 8), Le32(raw.data() + i * 8 + 4)});
    return entries;
}

std::vector<IconFileReader::Named> IconFileReader::ReadTypeEntries(std::uint16_t type) const
{
    std::vector<Named> out;
    if (kind_ != IconFileKind::Program || resourceRva_ == 0)
        return out;
    for (const DirectoryEntry& t : ReadDirectory(0)) {
        if (t.name != type || !(t.data & kHighBit))
            continue;
        for (const DirectoryEntry& e : ReadDirectory(t.data & ~kHighBit)) {
            if (!(e.data & kHighBit))
                continue; // a name level pointing straight at data: not an icon
            Named n;
            if (!(e.name & kHighBit) && e.name <= 0xFFFF)
                n.id = static_cast<std::uint16_t>(e.name);
            n.subdirectory = e.data & ~kHighBit;
            out.push_back(n);
            if (out.size() == kMaxGroups)
                break;
        }
        break;
    }
    return out;
}

std::optional<std::vector<std::uint8_t>> IconFileReader::ReadResource(std::uint32_t subdirectory, std::uint32_t cap) const
{
    // The language level: the first entry that is data. A tree whose entries lead back
    // to a directory is not followed further, so a loop costs nothing.
    std::vector<DirectoryEntry> languages = ReadDirectory(subdirectory);
    if (languages.size() > kLanguagesLooked)
        languages.resize(kLanguagesLooked);
    for (const DirectoryEntry& l : languages) {
        if (l.data & kHighBit || l.data > UINT32_MAX - resourceRva_)
            continue;
        std::array<std::uint8_t, 16> dataEntry{};
        if (!ReadRva(resourceRva_ + l.data, dataEntry.data(), dataEntry.size()))
            continue;
        // Unlike the tree's own offsets, the data's place is an RVA.
        const std::uint32_t rva = Le32(dataEntry.data());
        const std::uint32_t size = Le32(dataEntry.data() + 4);
        if (size == 0 || size > cap)
            return std::nullopt;
        std::vector<std::uint8_t> data(size);
        if (!ReadRva(rva, data.data(), size))
            return std::nullopt;
        return data;
    }
    return std::nullopt;
}

const std::vector<IconFileReader::Named>& IconFileReader::Groups() const
{
    if (!groups_)
        groups_ = ReadTypeEntries(kRtGroupIcon);
    return *groups_;
}

std::size_t IconFileReader::GroupCount() const
{
    switch (kind_) {
    case IconFileKind::IconFile: return 1;
    case IconFileKind::Program: return Groups().size();
    default: return 0;
    }
}

std::optional<std::size_t> IconFileReader::GroupOfIconIndex(int iconIndex) const
{
    if (kind_ == IconFileKind::IconFile)
        return iconIndex == 0 ? std::optional<std::size_t>(0) : std::nullopt;
    if (kind_ != IconFileKind::Program)
        return std::nullopt;
    const std::vector<Named>& groups = Groups();
    if (iconIndex >= 0) {
        if (static_cast<std::size_t>(iconIndex) < groups.size())
            return static_cast<std::size_t>(iconIndex);
        return std::nullopt;
    }
    const long long id = -static_cast<long long>(iconIndex);
    for (std::size_t i = 0; i < groups.size(); ++i)
        if (groups[i].id && *groups[i].id == id)
            return i;
    return std::nullopt;
}

std::optional<IconGroup> IconFileReader::ReadGroup(std::size_t position) const
{
    if (kind_ == IconFileKind::IconFile)
        return position == 0 ? std::optional<IconGroup>(iconFile_) : std::nullopt;
    if (kind_ != IconFileKind::Program || position >= Groups().size())
        return std::nullopt;
    const Named& named = Groups()[position];
    const auto data = ReadResource(named.subdirectory, kMaxGroupBytes + 1024);
    // GRPICONDIR: reserved, type 1, count; then 14-byte entries naming RT_ICON IDs.
    if (!data || data->size() < 6 || Le16(data->data() + 2) != 1)
        return std::nullopt;
    IconGroup group;
    group.resourceId = named.id;
    const std::size_t count = std::min<std::size_t>({Le16(data->data() + 4), (data->size() - 6) / 14, kMaxImagesPerGroup});
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* p = data->data() + 6 + i * 14;
        group.images.push_back(ParseImageEntry(p, Le16(p + 12), Le32(p + 8)));
    }
    if (group.images.empty())
        return std::nullopt;
    return group;
}

std::optional<std::vector<std::uint8_t>> IconFileReader::ReadImage(const IconImageEntry& entry) const
{
    if (kind_ == IconFileKind::IconFile) {
        if (entry.bytes == 0 || entry.bytes > kMaxImageBytes)
            return std::nullopt;
        std::vector<std::uint8_t> data(entry.bytes);
        if (!bytes_.ReadAt(entry.where, data.data(), data.size()))
            return std::nullopt;
        return data;
    }
    if (kind_ != IconFileKind::Program || entry.where > 0xFFFF)
        return std::nullopt;
    if (!icons_) {
        icons_ = ReadTypeEntries(kRtIcon);
        std::stable_sort(icons_->begin(), icons_->end(),
                         [](const Named& a, const Named& b) { return a.id.value_or(0) < b.id.value_or(0); });
    }
    const auto id = static_cast<std::uint16_t>(entry.where);
    const auto it = std::lower_bound(icons_->begin(), icons_->end(), id,
                                     [](const Named& n, std::uint16_t v) { return n.id.value_or(0) < v; });
    if (it == icons_->end() || !it->id || *it->id != id)
        return std::nullopt;
    return ReadResource(it->subdirectory, kMaxImageBytes);
}

std::vector<std::size_t> IconFileReader::ImagesBySuitability(const IconGroup& group, int size)
{
    auto bits = [](const IconImageEntry& e) {
        if (e.bitCount)
            return e.bitCount;
        if (e.colorCount == 0)
            return 8; // 256 colours or more, depth unknown
        int b = 1;
        while ((1 << b) < e.colorCount && b < 8)
            ++b;
        return b;
    };
    // Rank 0: the exact size; 1: larger, nearest first; 2: smaller, nearest first.
    auto key = [&](const IconImageEntry& e) {
        const int rank = e.width == size ? 0 : e.width > size ? 1 : 2;
        return std::make_tuple(rank, std::abs(e.width - size), -bits(e));
    };
    std::vector<std::size_t> order(group.images.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return key(group.images[a]) < key(group.images[b]); });
    return order;
}

} // namespace platform::iconfile
