#pragma once
// A mimeapps.list (the freedesktop association file: groups "[Default Applications]",
// "[Added Associations]", ..., lines "type=a.desktop;b.desktop;") edited line by
// line: what is not changed keeps its bytes, comments, order and blank lines, since
// the file is the user's and other programs write it too.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class MimeAppsList {
public:
    explicit MimeAppsList(std::string_view text = {});
    std::string Text() const;

    // The value of key in group, as GLib reads it: the last line of the last group
    // of that name wins; blanks around "=" do not count.
    std::optional<std::string> Get(std::string_view group, std::string_view key) const;
    // Replaces that line, or adds one at the end of the group (the group at the end
    // of the file when there is none).
    void Set(std::string_view group, std::string_view key, std::string_view value);
    // Removes every line of key in every group of that name; a group left with no
    // line at all goes too.
    void Remove(std::string_view group, std::string_view key);

    // The desktop-file IDs of a list value, in order, without empty items.
    static std::vector<std::string> SplitIds(std::string_view value);
    static std::string JoinIds(const std::vector<std::string>& ids); // "a;b;"

private:
    struct Line {
        std::string text;
        std::string group; // the group the line belongs to; the header itself belongs to its group
        bool header = false;
    };
    // The key of a line in a group, or nothing for headers, comments and blanks.
    static std::optional<std::string> KeyOf(const Line& line);
    static std::string ValueOf(const Line& line);

    std::vector<Line> lines_;
    bool finalNewline_ = true;
};

} // namespace platform
