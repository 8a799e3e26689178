#pragma once
// Item ID lists: the shell's way of naming an item of its namespace.
//
// A list is a run of items, each a little-endian 16-bit byte count (which counts
// its own two bytes) followed by that many bytes less two of item data; a zero count
// ends the list. The desktop is the empty list (just the two zero bytes). A list
// relative to a folder holds the items below that folder; an absolute list is
// relative to the desktop.
//
// Every list is a block of the process's task allocator (SHGetMalloc) and goes back
// to it: IdList owns one block and gives it back when destroyed.
//
// Our item data (the bytes after an item's count), one layout per kind of item:
//
//   offset  size  field
//   0       1     type: 0x1F desktop item, 0x2F volume, 0x31 folder, 0x32 file
//
//   0x1F  desktop item (a child of the desktop that is no file of the desktop folder)
//   1       1     which: 0x01 Computer, 0x02 Home, 0x03 Trash
//
//   0x2F  volume (a child of Computer)
//   1       1     flags: 0x01 removable, 0x02 network file system, 0x04 the root "/"
//   2       n     the mount point's host path (bytes), then one zero byte
//
//   0x31  file-system folder, 0x32 file-system file (anything that is no folder)
//   1       1     flags: reserved, 0
//   2       n     the entry's name in its folder (bytes, as the file system holds
//                 it, any bytes but "/" and zero), then one zero byte
//
// A folder's identity is its name: two items of one folder are the same item when
// their names are the same bytes. Items with a count below 3, or whose text runs
// past the item without its zero byte, are not items of ours and are refused.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform::shell {

// A list that is borrowed, not owned: the bytes from the pointer up to and including
// the zero count.
using PCIdList = const std::uint8_t*;

// The task allocator (SHGetMalloc). Counting the blocks it has handed out lets tests
// check that every list was given back.
class TaskAllocator {
public:
    void* Alloc(std::size_t size); // zero-filled; nullptr when size is 0 or memory is out
    void Free(void* block);        // nullptr is fine
    long LiveBlocks() const { return live_.load(); }

private:
    std::atomic<long> live_{0};
};

TaskAllocator& GetMalloc();

// One owned block of the task allocator holding an item ID list (or nothing).
class IdList {
public:
    IdList() = default;
    explicit IdList(std::uint8_t* block) : block_(block) {} // adopts a GetMalloc() block
    ~IdList() { Reset(); }
    IdList(IdList&& other) noexcept : block_(other.Release()) {}
    IdList& operator=(IdList&& other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }
    IdList(const IdList&) = delete;
    IdList& operator=(const IdList&) = delete;

    // A zero-filled block of size bytes (an empty list when size >= 2).
    static IdList Allocate(std::size_t size);
    // A copy of the whole list at list (nothing for nullptr).
    static IdList CopyOf(PCIdList list);

    PCIdList Get() const { return block_; }
    std::uint8_t* Data() { return block_; }
    explicit operator bool() const { return block_ != nullptr; }
    std::uint8_t* Release()
    {
        std::uint8_t* b = block_;
        block_ = nullptr;
        return b;
    }
    void Reset(std::uint8_t* block = nullptr);

private:
    std::uint8_t* block_ = nullptr;
};

// Reading lists. The count of the first item (0 at the end of a list).
inline std::uint16_t ItemSize(PCIdList list)
{
    return static_cast<std::uint16_t>(list[0] | (list[1] << 8));
}
// Bytes of the whole list including the terminator (0 for nullptr).
std::size_t ListSize(PCIdList list);
// The number of items.
std::size_t ItemCount(PCIdList list);
inline bool IsEmptyList(PCIdList list) { return list && ItemSize(list) == 0; }
// The list behind the first item (the terminator when there is one item).
inline PCIdList SkipItem(PCIdList list) { return list + ItemSize(list); }
// The last item (the list itself when it has at most one).
PCIdList LastItem(PCIdList list);
// A new list of the first `count` items of list.
IdList CopyItems(PCIdList list, std::size_t count);
// A new list: first's items, then second's.
IdList JoinLists(PCIdList first, PCIdList second);

// Whether a block of `size` bytes holds a well-formed list (for lists that come from
// outside the process, for instance in drag data).
bool IsWellFormedList(const std::uint8_t* bytes, std::size_t size);

// --- our item data ---------------------------------------------------------------

enum class ItemType : std::uint8_t {
    DesktopItem = 0x1F,
    Volume = 0x2F,
    Folder = 0x31,
    File = 0x32,
};

enum class DesktopItem : std::uint8_t { Computer = 0x01, Home = 0x02, Trash = 0x03 };

enum VolumeFlags : std::uint8_t {
    kVolumeRemovable = 0x01,
    kVolumeNetwork = 0x02,
    kVolumeRoot = 0x04,
};

// The first item of a list, decoded. text is the mount point of a volume or the name
// of a file-system entry and points into the list.
struct ItemView {
    ItemType type{};
    std::uint8_t flags = 0;
    DesktopItem which{};
    std::string_view text;

    bool IsFileSystemEntry() const { return type == ItemType::Folder || type == ItemType::File; }
    // Folders, volumes and the desktop items are all folders of the namespace.
    bool IsFolder() const { return type != ItemType::File; }
};

// Decodes the first item of list; false for the end of a list and for items that
// are not ours.
bool DecodeItem(PCIdList list, ItemView& out);

// One-item lists.
IdList MakeDesktopItem(DesktopItem which);
IdList MakeVolumeItem(std::uint8_t flags, std::string_view mountPoint);
IdList MakeEntryItem(bool isFolder, std::string_view name);

} // namespace platform::shell
