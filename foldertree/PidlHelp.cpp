#include "foldertree/PidlHelp.h"

#include <cstring>

platform::shell::TaskAllocator& ShellMalloc()
{
    return platform::shell::GetMalloc();
}

std::size_t IdListSize(PCIdList list)
{
    return platform::shell::ListSize(list);
}

IdList AllocIdList(std::size_t size)
{
    return IdList::Allocate(size);
}

void FreeIdList(IdList& list)
{
    list.Reset();
}

IdList CopyIdList(PCIdList list)
{
    const std::size_t size = IdListSize(list);
    if (size < 1)
        return {};
    IdList copy = AllocIdList(size);
    if (copy)
        std::memcpy(copy.Data(), list, size);
    return copy;
}

IdList ConcatIdLists(PCIdList first, PCIdList second)
{
    const std::size_t a = first ? IdListSize(first) - 2 : 0;
    // No second list joins as the empty list: the result always ends in a terminator.
    const std::size_t b = second ? IdListSize(second) : 2;
    IdList joined = AllocIdList(a + b);
    if (!joined)
        return joined;
    if (a)
        std::memcpy(joined.Data(), first, a);
    if (second)
        std::memcpy(joined.Data() + a, second, b);
    return joined;
}

PCIdList NextId(PCIdList list)
{
    if (!list)
        return nullptr;
    const std::uint16_t cb = platform::shell::ItemSize(list);
    if (cb == 0)
        return nullptr;
    return list + cb;
}

IdList CopyFirstId(PCIdList list)
{
    const std::uint16_t cb = list ? platform::shell::ItemSize(list) : 0;
    IdList one = AllocIdList(static_cast<std::size_t>(cb) + 2);
    if (one && cb)
        std::memcpy(one.Data(), list, cb);
    return one;
}
