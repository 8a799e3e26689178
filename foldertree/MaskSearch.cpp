#include "foldertree/MaskSearch.h"

#include <algorithm>

#include "platform/shell/NameOrder.h"

void ParseMaskString(std::string_view mask, TMaskList& list)
{
    list.Patterns.clear();
    list.Sorted = false;
    if (mask.empty()) {
        list.Patterns.emplace_back("*");
        return;
    }
    std::string rest(mask);
    if (rest.back() != ';')
        rest += ';';
    std::size_t start = 0;
    for (std::size_t semi; (semi = rest.find(';', start)) != std::string::npos; start = semi + 1)
        list.Patterns.push_back(platform::shell::LowerCaseName(std::string_view(rest).substr(start, semi - start)));
    // Sorting keeps every pattern parsed; only patterns added later would be dropped
    // as duplicates, and nothing adds any.
    std::sort(list.Patterns.begin(), list.Patterns.end());
    list.Sorted = true;
}

bool MatchesMaskList(std::string_view name, const TMaskList* list)
{
    if (!list || list->Empty())
        return true;
    std::string lower = platform::shell::LowerCaseName(name);
    if (lower.find('.') == std::string::npos)
        lower += '.';
    return std::any_of(list->Patterns.begin(), list->Patterns.end(),
                       [&](const std::string& pattern) { return MatchesMask(lower, pattern); });
}

bool MatchesMask(std::string_view name, std::string_view pattern)
{
    if (pattern == "*")
        return true;
    if (pattern == "*.*" && name.find('.') != std::string_view::npos)
        return true;
    const bool wild = pattern.find_first_of("*?") != std::string_view::npos;
    if (!wild && pattern == name)
        return true;
    if (pattern.empty())
        return false;

    std::vector<std::string_view> tokens;
    for (std::size_t i = 0; i < pattern.size();) {
        if (pattern[i] == '*' || pattern[i] == '?') {
            tokens.push_back(pattern.substr(i, 1));
            ++i;
            continue;
        }
        const std::size_t end = std::min(pattern.find_first_of("*?", i), pattern.size());
        tokens.push_back(pattern.substr(i, end - i));
        i = end;
    }

    // p is a 1-based position in name; name.size() + 1 is just past its end.
    const std::size_t len = name.size();
    std::size_t p = 1;
    bool star = false;
    for (std::size_t t = 0; t < tokens.size(); ++t) {
        const std::string_view token = tokens[t];
        if (token == "?") {
            ++p;
            if (p > len + 1)
                return false;
        } else if (token == "*") {
            star = true;
        } else if (star) {
            const std::string_view rest = p <= len ? name.substr(p - 1) : std::string_view();
            if (t + 1 == tokens.size()) {
                p = len;
                if (rest.size() >= token.size() && rest.substr(rest.size() - token.size()) == token)
                    p = len + 1;
            } else {
                const std::size_t at = rest.find(token);
                if (at == std::string_view::npos)
                    return false;
                p += at + token.size();
            }
            star = false;
        } else {
            if (p > len || name.substr(p - 1, token.size()) != token)
                return false;
            p += token.size();
        }
    }
    return star || p == len + 1;
}
