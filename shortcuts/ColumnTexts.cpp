#include "shortcuts/ColumnTexts.h"

namespace {

std::string_view ColumnText(char letter)
{
    if (letter < 'a' || letter > 'j')
        return {};
    return kColumnDescriptions[static_cast<std::size_t>(letter - 'a')];
}

} // namespace

std::string_view ColumnCaption(char letter)
{
    const std::string_view text = ColumnText(letter);
    return text.substr(0, text.find('='));
}

std::string_view ColumnDescription(char letter)
{
    const std::string_view text = ColumnText(letter);
    const auto eq = text.find('=');
    return eq == std::string_view::npos ? std::string_view{} : text.substr(eq + 1);
}

bool IsValidColumnSet(std::string_view columnSet)
{
    if (columnSet.empty() || columnSet.front() != 'a')
        return false;
    bool seen[10] = {};
    for (const char c : columnSet.substr(1)) {
        if (c < 'b' || c > 'j' || seen[c - 'a'])
            return false;
        seen[c - 'a'] = true;
    }
    return true;
}
