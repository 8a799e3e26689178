#pragma once
// INI reading for Internet shortcuts: section and key names match ignoring letter
// case, a value is the text after the first "=" of its line with surrounding blanks
// removed, and for a key that occurs twice the first occurrence counts. CRLF or LF
// line ends, with or without a UTF-8 byte-order mark.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

class IniFile {
public:
    // A missing or unreadable file reads as empty: no sections.
    static IniFile Load(const std::string& hostPath);
    static IniFile Parse(std::string_view text);

    // The key and value pairs of a section in file order (first occurrence of a key only).
    std::vector<std::pair<std::string, std::string>> ReadSection(std::string_view section) const;
    // The value of a key; "" when the section or the key is missing.
    std::string ReadString(std::string_view section, std::string_view key, std::string_view def = {}) const;
    bool HasSection(std::string_view section) const;

private:
    struct Section {
        std::string name;
        std::vector<std::pair<std::string, std::string>> entries;
    };
    std::vector<Section> sections_;
};

} // namespace platform
