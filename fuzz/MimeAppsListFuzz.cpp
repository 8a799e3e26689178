// The association-list editor on arbitrary text: no crash, no read out of bounds; the
// text comes back byte for byte, and an edit reads back as made, from the edited list
// and from its text read again, leaving every other watched key as it was.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/shellintegration/MimeAppsList.h"

namespace {

using platform::MimeAppsList;

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

constexpr std::string_view kGroups[] = {"Default Applications", "Added Associations", "Removed Associations"};
constexpr std::string_view kKeys[] = {"inode/directory", "text/plain"};
constexpr std::size_t kWatched = std::size(kGroups) * std::size(kKeys);

std::vector<std::optional<std::string>> Watched(const MimeAppsList& list)
{
    std::vector<std::optional<std::string>> values;
    for (const std::string_view group : kGroups)
        for (const std::string_view key : kKeys)
            values.push_back(list.Get(group, key));
    return values;
}

// The values after an edit of one of them: the others unchanged, in the list and in
// its text read again.
void CheckEdit(const MimeAppsList& edited, std::vector<std::optional<std::string>> expected, std::size_t which,
               const std::optional<std::string>& value)
{
    expected[which] = value;
    Check(Watched(edited) == expected);
    Check(Watched(MimeAppsList(edited.Text())) == expected);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t which = data[0] % kWatched; // the first byte picks the key to edit
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    const MimeAppsList list(text);
    Check(list.Text() == text);
    const auto before = Watched(list);
    const std::string_view group = kGroups[which / std::size(kKeys)];
    const std::string_view key = kKeys[which % std::size(kKeys)];

    MimeAppsList edited = list;
    const std::string value = "a.desktop;quillmere-open-folder.desktop;";
    edited.Set(group, key, value);
    CheckEdit(edited, before, which, value);
    edited.Remove(group, key);
    CheckEdit(edited, before, which, std::nullopt);

    for (const auto& listed : before) {
        if (!listed)
            continue;
        const std::vector<std::string> ids = MimeAppsList::SplitIds(*listed);
        for (const std::string& id : ids)
            Check(!id.empty() && id.find(';') == std::string::npos && id.front() != ' ' && id.back() != ' ');
        Check(MimeAppsList::SplitIds(MimeAppsList::JoinIds(ids)) == ids);
    }
    return 0;
}
