#include "foldertree/PidlHelp.h"

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
    return IdList::CopyOf(list);
}

IdList ConcatIdLists(PCIdList first, PCIdList second)
{
    return platform::shell::JoinLists(first, second);
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
    return platform::shell::CopyItems(list, 1);
}
