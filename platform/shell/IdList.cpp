#include "platform/shell/IdList.h"

#include <cstdlib>
#include <cstring>

namespace platform::shell {

void* TaskAllocator::Alloc(std::size_t size)
{
    if (size == 0)
        return nullptr;
    void* block = std::calloc(1, size);
    if (block)
        ++live_;
    return block;
}

void TaskAllocator::Free(void* block)
{
    if (!block)
        return;
    --live_;
    std::free(block);
}

TaskAllocator& GetMalloc()
{
    static TaskAllocator allocator;
    return allocator;
}

IdList IdList::Allocate(std::size_t size)
{
    return IdList(static_cast<std::uint8_t*>(GetMalloc().Alloc(size)));
}

IdList IdList::CopyOf(PCIdList list)
{
    if (!list)
        return {};
    const std::size_t size = ListSize(list);
    IdList copy = Allocate(size);
    if (copy)
        std::memcpy(copy.Data(), list, size);
    return copy;
}

void IdList::Reset(std::uint8_t* block)
{
    if (block_ != block)
        GetMalloc().Free(block_);
    block_ = block;
}

std::size_t ListSize(PCIdList list)
{
    if (!list)
        return 0;
    std::size_t size = 2;
    for (PCIdList p = list; ItemSize(p) != 0; p = SkipItem(p))
        size += ItemSize(p);
    return size;
}

std::size_t ItemCount(PCIdList list)
{
    std::size_t n = 0;
    for (PCIdList p = list; p && ItemSize(p) != 0; p = SkipItem(p))
        ++n;
    return n;
}

PCIdList LastItem(PCIdList list)
{
    PCIdList last = list;
    for (PCIdList p = list; p && ItemSize(p) != 0; p = SkipItem(p))
        last = p;
    return last;
}

IdList CopyItems(PCIdList list, std::size_t count)
{
    std::size_t bytes = 0;
    PCIdList p = list;
    for (std::size_t i = 0; p && i < count && ItemSize(p) != 0; ++i, p = SkipItem(p))
        bytes += ItemSize(p);
    IdList copy = IdList::Allocate(bytes + 2);
    if (copy && bytes)
        std::memcpy(copy.Data(), list, bytes);
    return copy;
}

IdList JoinLists(PCIdList first, PCIdList second)
{
    const std::size_t a = first ? ListSize(first) - 2 : 0;
    const std::size_t b = second ? ListSize(second) : 2;
    IdList joined = IdList::Allocate(a + b);
    if (!joined)
        return joined;
    if (a)
        std::memcpy(joined.Data(), first, a);
    if (second)
        std::memcpy(joined.Data() + a, second, b);
    return joined;
}

bool IsWellFormedList(const std::uint8_t* bytes, std::size_t size)
{
    if (!bytes)
        return false;
    std::size_t at = 0;
    while (true) {
        if (size - at < 2)
            return false;
        const std::size_t cb = bytes[at] | (bytes[at + 1] << 8);
        if (cb == 0)
            return true;
        if (cb < 2 || cb > size - at)
            return false;
        at += cb;
    }
}

bool DecodeItem(PCIdList list, ItemView& out)
{
    if (!list)
        return false;
    const std::size_t cb = ItemSize(list);
    if (cb < 3)
        return false;
    const std::uint8_t* data = list + 2;
    const std::size_t size = cb - 2;
    out = ItemView{};
    out.type = static_cast<ItemType>(data[0]);
    switch (out.type) {
    case ItemType::DesktopItem:
        if (size < 2 || data[1] < 1 || data[1] > 3)
            return false;
        out.which = static_cast<DesktopItem>(data[1]);
        return true;
    case ItemType::Volume:
    case ItemType::Folder:
    case ItemType::File: {
        if (size < 3)
            return false;
        out.flags = data[1];
        const auto* text = reinterpret_cast<const char*>(data + 2);
        const void* zero = std::memchr(text, 0, size - 2);
        if (!zero)
            return false;
        out.text = std::string_view(text, static_cast<const char*>(zero) - text);
        if (out.text.empty())
            return false;
        if (out.IsFileSystemEntry() && out.text.find('/') != std::string_view::npos)
            return false;
        return true;
    }
    }
    return false;
}

namespace {

IdList MakeItem(std::uint8_t type, std::uint8_t second, std::string_view text, bool withText)
{
    const std::size_t data = 2 + (withText ? text.size() + 1 : 0);
    const std::size_t cb = 2 + data;
    if (cb > 0xFFFF)
        return {};
    IdList list = IdList::Allocate(cb + 2); // zero-filled: the terminator is there
    if (!list)
        return list;
    std::uint8_t* p = list.Data();
    p[0] = static_cast<std::uint8_t>(cb & 0xFF);
    p[1] = static_cast<std::uint8_t>(cb >> 8);
    p[2] = type;
    p[3] = second;
    if (withText && !text.empty())
        std::memcpy(p + 4, text.data(), text.size());
    return list;
}

} // namespace

IdList MakeDesktopItem(DesktopItem which)
{
    return MakeItem(static_cast<std::uint8_t>(ItemType::DesktopItem), static_cast<std::uint8_t>(which), {}, false);
}

IdList MakeVolumeItem(std::uint8_t flags, std::string_view mountPoint)
{
    return MakeItem(static_cast<std::uint8_t>(ItemType::Volume), flags, mountPoint, true);
}

IdList MakeEntryItem(bool isFolder, std::string_view name)
{
    return MakeItem(static_cast<std::uint8_t>(isFolder ? ItemType::Folder : ItemType::File), 0, name, true);
}

} // namespace platform::shell
