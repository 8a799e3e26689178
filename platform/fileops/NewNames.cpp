#include "platform/fileops/NewNames.h"

#include "platform/util/Text.h"

namespace platform::fileops {
namespace {

constexpr std::size_t kNameMax = 255;

struct SplitName {
    std::string_view stem;
    std::string_view ext; // with its "."
};

SplitName Split(std::string_view name, bool isFolder)
{
    const auto dot = name.rfind('.');
    if (isFolder || dot == std::string_view::npos || dot == 0)
        return {name, {}};
    return {name.substr(0, dot), name.substr(dot)};
}

// Shortens the stem until stem + tail fits, stepping back over UTF-8 continuation
// bytes so a character is never cut in two.
std::string Fit(std::string_view stem, const std::string& tail)
{
    if (stem.size() + tail.size() <= kNameMax)
        return std::string(stem) + tail;
    std::size_t keep = tail.size() < kNameMax ? kNameMax - tail.size() : 0;
    while (keep > 0 && (static_cast<unsigned char>(stem[keep]) & 0xC0) == 0x80)
        --keep;
    return std::string(stem.substr(0, keep)) + tail;
}

std::string Numbered(int n) { return n > 1 ? " (" + std::to_string(n) + ")" : std::string(); }

} // namespace

bool IsSafeName(std::string_view name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

std::string CopyName(std::string_view name, bool isFolder, int n)
{
    const SplitName s = Split(name, isFolder);
    return Fit(s.stem, " - Copy" + Numbered(n) + std::string(s.ext));
}

std::string NumberedName(std::string_view name, bool isFolder, int n)
{
    if (n <= 1)
        return std::string(name);
    const SplitName s = Split(name, isFolder);
    return Fit(s.stem, Numbered(n) + std::string(s.ext));
}

std::string ShortcutName(std::string_view name, bool isFolder, int n)
{
    if (!isFolder && IsShortcutFile(name)) {
        const SplitName s = Split(name, false);
        return Fit(s.stem, " - Shortcut" + Numbered(n) + std::string(s.ext));
    }
    return Fit(name, " - Shortcut" + Numbered(n) + ".lnk");
}

bool IsShortcutFile(std::string_view name)
{
    const SplitName s = Split(name, false);
    return EqualsIgnoreAsciiCase(s.ext, ".lnk") || EqualsIgnoreAsciiCase(s.ext, ".pif") ||
           EqualsIgnoreAsciiCase(s.ext, ".url");
}

} // namespace platform::fileops
