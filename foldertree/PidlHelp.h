#pragma once
// The item ID list toolkit of the folder tree. Lists are blocks of the shell's task
// allocator (ShellMalloc); platform::shell::IdList owns one and gives it back.
//
// Lists handed in are trusted to be well formed: they come from the namespace or
// from this toolkit.
#include <cstddef>
#include <cstdint>

#include "platform/shell/IdList.h"

using platform::shell::IdList;
using platform::shell::PCIdList;

// The shell's task allocator, the one every list comes from and returns to.
platform::shell::TaskAllocator& ShellMalloc();

// 0 for no list; else 2 plus the counts of all items.
std::size_t IdListSize(PCIdList list);
// A zero-filled block of size bytes (none for 0).
IdList AllocIdList(std::size_t size);
// Gives the list back and leaves the reference empty.
void FreeIdList(IdList& list);
// A copy of IdListSize bytes; none when the size is below 1 (no list).
IdList CopyIdList(PCIdList list);
// first (may be none) without its terminator, then second whole.
IdList ConcatIdLists(PCIdList first, PCIdList second);
// The list behind the first item; none when the list is at its end.
PCIdList NextId(PCIdList list);
// A one-item list holding a copy of the first item.
IdList CopyFirstId(PCIdList list);
