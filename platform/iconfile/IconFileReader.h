#pragma once
// The icons inside Windows programs and libraries (PE files: .exe, .dll, .cpl, 32- and
// 64-bit) and icon files (.ico), read as the shell reads them for an icon location
// and index. Every offset and count in the file is checked before it is used and every
// read is bounded, so a damaged or hostile file gives no icon, never a crash, a read
// out of bounds or a long wait. Only the headers, the resource directory and the
// entries asked for are read: never the rest of an installer.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/iconfile/ByteSource.h"

namespace platform::iconfile {

enum class IconFileKind {
    NotIcons,      // neither a program nor an icon file
    IconFile,      // .ico
    Program,       // a PE file (it may still hold no icons)
    OldExecutable, // 16-bit NE, LE/LX or plain DOS: their icons are not read
};

// One picture of an icon, as its directory describes it.
struct IconImageEntry {
    int width = 0;  // 1..256 (the directory's 0 stands for 256)
    int height = 0;
    int colorCount = 0; // 0: 256 colours or more
    int bitCount = 0;   // 0 when the directory leaves it out
    std::uint32_t bytes = 0;
    // .ico: the image's file offset; a program: the RT_ICON resource ID.
    std::uint32_t where = 0;
};

// One icon: a program's RT_GROUP_ICON resource, or an icon file as a whole.
struct IconGroup {
    std::optional<std::uint16_t> resourceId; // none for a named group and for .ico
    std::vector<IconImageEntry> images;
};

class IconFileReader {
public:
    // The reader keeps a reference to `bytes`, which must outlive it.
    explicit IconFileReader(const ByteSource& bytes);

    IconFileKind Kind() const { return kind_; }
    // Icons in directory order: a program's RT_GROUP_ICON resources, named ones first
    // as the directory keeps them; an icon file holds one.
    std::size_t GroupCount() const;
    // The position of the icon a shell icon index names: 0 and above the Nth icon in
    // directory order; below 0 the icon whose resource ID is minus the index. An icon
    // file answers index 0 only.
    std::optional<std::size_t> GroupOfIconIndex(int iconIndex) const;
    std::optional<IconGroup> ReadGroup(std::size_t position) const;
    // The image's bytes as stored: PNG, or a DIB with its doubled height and AND mask.
    std::optional<std::vector<std::uint8_t>> ReadImage(const IconImageEntry& entry) const;

    // Images of a group in the order they suit a picture of size x size: the exact
    // size, else the nearest larger one, else the nearest smaller; more colours first.
    static std::vector<std::size_t> ImagesBySuitability(const IconGroup& group, int size);

private:
    struct Section {
        std::uint32_t virtualAddress, virtualSize, rawSize, rawOffset;
    };
    struct DirectoryEntry {
        std::uint32_t name; // an ID, or (high bit) a name's offset
        std::uint32_t data; // a data entry's offset, or (high bit) a subdirectory's
    };
    struct Named {
        std::optional<std::uint16_t> id;
        std::uint32_t subdirectory; // offset in the resource tree
    };

    void ReadProgramHeaders(std::uint32_t peOffset);
    std::optional<std::uint64_t> FileOffsetOf(std::uint32_t rva, std::uint32_t length) const;
    bool ReadRva(std::uint32_t rva, void* out, std::uint32_t length) const;
    std::vector<DirectoryEntry> ReadDirectory(std::uint32_t treeOffset) const;
    std::vector<Named> ReadTypeEntries(std::uint16_t type) const;
    std::optional<std::vector<std::uint8_t>> ReadResource(std::uint32_t subdirectory, std::uint32_t cap) const;
    const std::vector<Named>& Groups() const;

    const ByteSource& bytes_;
    IconFileKind kind_ = IconFileKind::NotIcons;
    // A program's sections and resource tree.
    std::vector<Section> sections_;
    std::uint32_t resourceRva_ = 0;
    // An icon file's directory.
    IconGroup iconFile_;

    mutable std::optional<std::vector<Named>> groups_;
    mutable std::optional<std::vector<Named>> icons_;
};

} // namespace platform::iconfile
