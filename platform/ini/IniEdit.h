#pragma once
// Writing single values into INI text (an Internet shortcut) and leaving the rest of
// the file as it was: other keys, other sections, comments, blank lines, line ends
// and the file's encoding (ANSI, UTF-8 with or without a byte-order mark, UTF-16LE)
// stay byte for byte. Keys and sections are found as IniFile reads them: names
// ignore letter case, the first section of a name and the first occurrence of a key
// in it count.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct IniChange {
    std::string section;
    std::string key;
    std::optional<std::string> value; // UTF-8; none removes the key
};

// The file's bytes with the changes made. A key that is there gets its value
// replaced in its own line (the text up to the "=" and the blanks after it kept); a
// missing one is added after the last line of its section, or in a new section at
// the end. New lines end as the file's first line does (CRLF in a file without
// any). A value is written in the file's encoding; in an ANSI file, one that code
// page 1252 cannot hold turns the whole file into UTF-8 with a byte-order mark, so
// no character is lost.
std::string EditIniText(std::string_view bytes, const std::vector<IniChange>& changes);

// UTF-7 (RFC 2152), as Windows writes the Unicode copy of an Internet shortcut's
// values in its "InternetShortcut.W" section.
std::string EncodeUtf7(std::string_view utf8);

} // namespace platform
