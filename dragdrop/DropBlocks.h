#pragma once
// The data blocks of a drag in the layouts Windows programs read and write, byte for
// byte, integers little-endian. Blocks are bytes in a std::string.
//
// File-drop block (DROPFILES, as built):
//   0   u32  offset of the name list (20)      12  u32  fNC (0)
//   4   i32  x (0)                             16  u32  fWide: names are UTF-16 (0)
//   8   i32  y (0)                             20  the full paths, each ending in a
//   zero byte (a zero unit when wide), then one more zero ending the list.
// Name maps ("FileNameMap", "FileNameMapW"): the name each dropped file is to carry,
//   in file order, each ending in a zero byte (a zero unit), then one more zero. The
//   wide map is 2 + the sum of (2 x narrow length + 2) bytes, zero behind its end.
// Preferred effect ("Preferred DropEffect"): one u32 drop effect.
// Shell ID-list array ("Shell IDList Array", CIDA) for n items of one folder:
//   0   u32  n
//   4   u32 x (n + 1)  offsets from the block's start: [0] the folder's absolute
//                      ID list, [i] item i's ID list relative to that folder
//   4(n + 2)           those n + 1 lists, packed in that order
//
// Names are host bytes. Wide names are their UTF-16 form; bytes that are not UTF-8
// travel as lone surrogates U+DC80..U+DCFF, which read back as the same bytes.
//
// The readers take blocks from any program: a block too short for its header, a list
// that starts outside the block, or a name that runs to the end of the block without
// its terminator gives no names at all, never a name cut short. A list may end with
// the block instead of an empty name.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dragdrop/DropEffects.h"

inline constexpr std::size_t kDropFilesHeaderSize = 20;

// Builders: nullopt when memory runs out (and, for the ID-list array, when the folder
// or an item does not resolve).
std::optional<std::string> MakeFileDropBlock(const std::vector<std::string>& paths);
std::optional<std::string> MakeNameMap(const std::vector<std::string>& names);
std::optional<std::string> MakeWideNameMap(const std::vector<std::string>& names);
std::optional<std::string> MakePreferredEffectBlock(TDropEffect effect);
// `folder` is a folder path (a trailing "/" is fine), names are entries of it. The
// folder must be a folder of the namespace and every name must resolve in it.
std::optional<std::string> MakeShellIdListArray(const std::string& folder, const std::vector<std::string>& names);

// Readers. ReadFileDropBlock answers whether at least one name was read; `files` is
// emptied first.
bool ReadFileDropBlock(std::string_view block, std::vector<std::string>& files);
std::vector<std::string> ReadNameMap(std::string_view block);
std::vector<std::string> ReadWideNameMap(std::string_view block);
// The effect of a preferred-effect block; nullopt for a block shorter than 4 bytes.
std::optional<TDropEffect> ReadPreferredEffectBlock(std::string_view block);
