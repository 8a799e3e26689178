#include "dragdrop/DropBlocks.h"

#include <cstdint>
#include <new>

#include "platform/shell/IdList.h"
#include "platform/shell/ShellFolder.h"
#include "platform/util/Text.h"

namespace shell = platform::shell;

namespace {

void PutU32(std::string& block, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        block[at + static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint32_t GetU32(std::string_view block, std::size_t at)
{
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(block[at + static_cast<std::size_t>(i)]);
    return value;
}

// Names and their terminators, then the zero that ends the list, from `at` on; the
// block was made zero-filled and large enough.
void PutNarrowNames(std::string& block, std::size_t at, const std::vector<std::string>& names)
{
    for (const std::string& name : names) {
        block.replace(at, name.size(), name);
        at += name.size() + 1;
    }
}

// Zero-terminated names from `at` to the first empty name or the end of the block.
// A name that reaches the end without its terminator spoils the whole list.
bool ReadNarrowNames(std::string_view block, std::size_t at, std::vector<std::string>& out)
{
    while (at < block.size()) {
        const std::size_t end = block.find('\0', at);
        if (end == std::string_view::npos) {
            out.clear();
            return false;
        }
        if (end == at)
            break;
        out.emplace_back(block.substr(at, end - at));
        at = end + 1;
    }
    return true;
}

bool ReadWideNames(std::string_view block, std::size_t at, std::vector<std::string>& out)
{
    std::u16string name;
    while (at < block.size()) {
        if (at + 1 == block.size()) {
            // Half a unit: tolerable only as a stray zero byte where a name would start.
            if (name.empty() && block[at] == '\0')
                break;
            out.clear();
            return false;
        }
        const auto unit = static_cast<char16_t>(static_cast<unsigned char>(block[at]) |
                                                (static_cast<unsigned char>(block[at + 1]) << 8));
        at += 2;
        if (unit != 0) {
            name += unit;
            continue;
        }
        if (name.empty())
            return true;
        out.push_back(platform::Utf16ToBytes(name));
        name.clear();
    }
    if (!name.empty()) {
        out.clear();
        return false;
    }
    return true;
}

} // namespace

std::optional<std::string> MakeFileDropBlock(const std::vector<std::string>& paths)
{
    try {
        std::size_t names = 0;
        for (const std::string& path : paths)
            names += path.size() + 1;
        std::string block(kDropFilesHeaderSize + names + 1, '\0');
        PutU32(block, 0, kDropFilesHeaderSize);
        PutU32(block, 16, 0);
        PutNarrowNames(block, kDropFilesHeaderSize, paths);
        return block;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

std::optional<std::string> MakeNameMap(const std::vector<std::string>& names)
{
    try {
        std::size_t size = 1;
        for (const std::string& name : names)
            size += name.size() + 1;
        std::string block(size, '\0');
        PutNarrowNames(block, 0, names);
        return block;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

std::optional<std::string> MakeWideNameMap(const std::vector<std::string>& names)
{
    try {
        // Sized as Windows sizes it from the narrow names; UTF-16 never needs more
        // units than UTF-8 has bytes, so the rest stays zero.
        std::size_t size = 2;
        for (const std::string& name : names)
            size += 2 * name.size() + 2;
        std::string block(size, '\0');
        std::size_t at = 0;
        for (const std::string& name : names) {
            for (const char16_t unit : platform::BytesToUtf16(name)) {
                block[at++] = static_cast<char>(unit & 0xFF);
                block[at++] = static_cast<char>(unit >> 8);
            }
            at += 2;
        }
        return block;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

std::optional<std::string> MakePreferredEffectBlock(TDropEffect effect)
{
    std::string block(4, '\0');
    PutU32(block, 0, effect);
    return block;
}

std::optional<std::string> MakeShellIdListArray(const std::string& folder, const std::vector<std::string>& names)
{
    try {
        shell::ShellFolderPtr desktop;
        if (shell::Failed(shell::GetDesktopFolder(desktop)) || !desktop)
            return std::nullopt;
        shell::IdList folderId;
        if (shell::Failed(desktop->ParseDisplayName(folder, folderId)) || !folderId)
            return std::nullopt;
        const shell::PCIdList one[1] = {folderId.Get()};
        std::uint32_t attributes = shell::SFGAO_FOLDER;
        shell::ShellFolderPtr bound;
        if (shell::Failed(desktop->GetAttributesOf(one, attributes)) || !(attributes & shell::SFGAO_FOLDER) ||
            shell::Failed(desktop->BindToObject(folderId.Get(), bound)) || !bound)
            return std::nullopt;

        // Every item resolved once, kept until the block is filled: no entry may be
        // missing, and a name must not resolve to something else the second time.
        std::vector<shell::IdList> items;
        const std::size_t n = names.size();
        std::size_t size = 4 * (n + 2) + shell::ListSize(folderId.Get());
        for (const std::string& name : names) {
            shell::IdList item;
            if (name.empty() || shell::Failed(bound->ParseDisplayName(name, item)) || !item)
                return std::nullopt;
            size += shell::ListSize(item.Get());
            items.push_back(std::move(item));
        }

        std::string block(size, '\0');
        PutU32(block, 0, static_cast<std::uint32_t>(n));
        std::size_t offset = 4 * (n + 2);
        auto place = [&](std::size_t index, shell::PCIdList list) {
            const std::size_t listSize = shell::ListSize(list);
            PutU32(block, 4 + 4 * index, static_cast<std::uint32_t>(offset));
            block.replace(offset, listSize, reinterpret_cast<const char*>(list), listSize);
            offset += listSize;
        };
        place(0, folderId.Get());
        for (std::size_t i = 0; i < n; ++i)
            place(i + 1, items[i].Get());
        return block;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

bool ReadFileDropBlock(std::string_view block, std::vector<std::string>& files)
{
    files.clear();
    if (block.size() < kDropFilesHeaderSize)
        return false;
    const std::uint32_t list = GetU32(block, 0);
    if (list < kDropFilesHeaderSize || list > block.size())
        return false;
    const bool wide = GetU32(block, 16) != 0;
    const bool read = wide ? ReadWideNames(block, list, files) : ReadNarrowNames(block, list, files);
    return read && !files.empty();
}

std::vector<std::string> ReadNameMap(std::string_view block)
{
    std::vector<std::string> names;
    ReadNarrowNames(block, 0, names);
    return names;
}

std::vector<std::string> ReadWideNameMap(std::string_view block)
{
    std::vector<std::string> names;
    ReadWideNames(block, 0, names);
    return names;
}

std::optional<TDropEffect> ReadPreferredEffectBlock(std::string_view block)
{
    if (block.size() < 4)
        return std::nullopt;
    return GetU32(block, 0);
}
