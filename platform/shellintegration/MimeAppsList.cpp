#include "platform/shellintegration/MimeAppsList.h"

#include <algorithm>

namespace platform {
namespace {

constexpr std::string_view kBlanks = " \t\r";

std::string_view Trim(std::string_view s)
{
    const std::size_t first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    return s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
}

bool IsBlank(std::string_view s) { return Trim(s).empty(); }

} // namespace

MimeAppsList::MimeAppsList(std::string_view text)
{
    std::string group;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        const bool last = end == std::string_view::npos;
        if (last)
            end = text.size();
        Line line{std::string(text.substr(start, end - start)), group, false};
        const std::string_view trimmed = Trim(line.text);
        if (trimmed.starts_with('[') && trimmed.find(']') != std::string_view::npos) {
            group = std::string(trimmed.substr(1, trimmed.rfind(']') - 1));
            line.group = group;
            line.header = true;
        }
        lines_.push_back(std::move(line));
        finalNewline_ = !last;
        start = end + 1;
    }
}

std::string MimeAppsList::Text() const
{
    std::string text;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        text += lines_[i].text;
        if (i + 1 < lines_.size() || finalNewline_)
            text += '\n';
    }
    return text;
}

std::optional<std::string> MimeAppsList::KeyOf(const Line& line)
{
    if (line.header || line.group.empty())
        return std::nullopt;
    const std::string_view trimmed = Trim(line.text);
    const std::size_t eq = trimmed.find('=');
    if (trimmed.empty() || trimmed.front() == '#' || eq == std::string_view::npos)
        return std::nullopt;
    return std::string(Trim(trimmed.substr(0, eq)));
}

std::string MimeAppsList::ValueOf(const Line& line)
{
    const std::string_view text = line.text;
    return std::string(Trim(text.substr(text.find('=') + 1)));
}

std::optional<std::string> MimeAppsList::Get(std::string_view group, std::string_view key) const
{
    std::optional<std::string> value;
    for (const Line& line : lines_)
        if (line.group == group && KeyOf(line) == key)
            value = ValueOf(line);
    return value;
}

void MimeAppsList::Set(std::string_view group, std::string_view key, std::string_view value)
{
    const std::string text = std::string(key) + "=" + std::string(value);
    for (auto it = lines_.rbegin(); it != lines_.rend(); ++it) {
        if (it->group == group && KeyOf(*it) == key) {
            it->text = text;
            return;
        }
    }
    // After the last line of the group's last section that is not blank.
    std::optional<std::size_t> after;
    for (std::size_t i = 0; i < lines_.size(); ++i)
        if (lines_[i].group == group && (lines_[i].header || !IsBlank(lines_[i].text)))
            after = i;
    if (after) {
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(*after + 1), Line{text, std::string(group), false});
        if (*after + 2 == lines_.size())
            finalNewline_ = true;
        return;
    }
    if (!lines_.empty() && !IsBlank(lines_.back().text))
        lines_.push_back(Line{"", lines_.back().group, false});
    lines_.push_back(Line{"[" + std::string(group) + "]", std::string(group), true});
    lines_.push_back(Line{text, std::string(group), false});
    finalNewline_ = true;
}

void MimeAppsList::Remove(std::string_view group, std::string_view key)
{
    std::vector<bool> drop(lines_.size(), false);
    std::vector<std::size_t> touched; // headers of the sections that lose a line
    std::optional<std::size_t> header;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].header)
            header = i;
        else if (lines_[i].group == group && KeyOf(lines_[i]) == key) {
            drop[i] = true;
            if (header && (touched.empty() || touched.back() != *header))
                touched.push_back(*header);
        }
    }
    if (touched.empty())
        return;
    // A section left with nothing but blank lines goes whole.
    bool droppedLast = false;
    for (const std::size_t h : touched) {
        std::size_t end = h + 1;
        bool empty = true;
        for (; end < lines_.size() && !lines_[end].header; ++end)
            empty = empty && (drop[end] || IsBlank(lines_[end].text));
        if (!empty)
            continue;
        for (std::size_t i = h; i < end; ++i)
            drop[i] = true;
        droppedLast = droppedLast || end == lines_.size();
    }
    std::vector<Line> kept;
    for (std::size_t i = 0; i < lines_.size(); ++i)
        if (!drop[i])
            kept.push_back(std::move(lines_[i]));
    // The blank line that stood before a section that was last.
    while (droppedLast && !kept.empty() && IsBlank(kept.back().text))
        kept.pop_back();
    lines_ = std::move(kept);
    finalNewline_ = finalNewline_ || droppedLast;
}

std::vector<std::string> MimeAppsList::SplitIds(std::string_view value)
{
    std::vector<std::string> ids;
    std::size_t start = 0;
    while (start <= value.size()) {
        std::size_t end = value.find(';', start);
        if (end == std::string_view::npos)
            end = value.size();
        if (const std::string_view id = Trim(value.substr(start, end - start)); !id.empty())
            ids.emplace_back(id);
        start = end + 1;
    }
    return ids;
}

std::string MimeAppsList::JoinIds(const std::vector<std::string>& ids)
{
    std::string value;
    for (const std::string& id : ids)
        value += id + ";";
    return value;
}

} // namespace platform
