#include "platform/ini/IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/util/Text.h"
#include "platform/util/UniqueFd.h"

namespace platform {
namespace {

// An Internet shortcut is a few hundred bytes. Reading stops here so that a huge file
// with the right extension costs no more than this; whatever stands in the first MiB
// is still read.
constexpr std::size_t kMaxIniBytes = 1 << 20;

std::string_view TrimBlanks(std::string_view s)
{
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const auto last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

// The file's text as UTF-8. Windows writes these files in the ANSI code page, later
// versions sometimes in UTF-8 with a byte-order mark, and its profile functions also
// read UTF-16LE with a byte-order mark.
std::string DecodeText(std::string_view bytes)
{
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        std::u16string wide;
        wide.reserve(bytes.size() / 2);
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
            wide += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          (static_cast<unsigned char>(bytes[i + 1]) << 8));
        return Utf16ToUtf8(wide);
    }
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        bytes.remove_prefix(3);
        // Declared UTF-8: a stray invalid byte becomes U+FFFD rather than turning the
        // whole file into another encoding.
        return IsValidUtf8(bytes) ? std::string(bytes) : Utf16ToUtf8(BytesToUtf16(bytes));
    }
    // No mark: UTF-8 when it is valid UTF-8 (plain ASCII is both), else the ANSI code page.
    return IsValidUtf8(bytes) ? std::string(bytes) : Cp1252ToUtf8(bytes);
}

} // namespace

IniFile IniFile::Load(const std::string& hostPath)
{
    // O_NONBLOCK: a FIFO or device that happens to carry the name must not hang us;
    // anything but a regular file reads as empty.
    const UniqueFd file(::open(hostPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!file)
        return {};
    const int fd = file.Get();
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    std::string bytes;
    bytes.resize(st.st_size > 0 ? std::min<std::size_t>(static_cast<std::size_t>(st.st_size), kMaxIniBytes) + 1
                                : 4096);
    std::size_t got = 0;
    for (;;) {
        if (got == bytes.size()) {
            if (bytes.size() > kMaxIniBytes)
                break;
            bytes.resize(std::min(bytes.size() * 2, kMaxIniBytes + 1));
        }
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return {};
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    if (got > kMaxIniBytes) {
        // Cut at the last line end inside the limit, so no value arrives half read.
        bytes.resize(kMaxIniBytes);
        const auto end = bytes.find_last_of("\r\n");
        bytes.resize(end == std::string::npos ? 0 : end);
    }
    return Parse(bytes);
}

IniFile IniFile::Parse(std::string_view raw)
{
    const std::string text = DecodeText(raw);
    IniFile ini;
    // Lines go to the current section; a repeated section name starts a section that
    // is ignored, as only the first occurrence of a name counts, like a repeated key.
    Section* current = nullptr;
    std::string_view rest = text;
    while (!rest.empty()) {
        const auto eol = rest.find_first_of("\r\n");
        std::string_view line = rest.substr(0, eol);
        if (eol == std::string_view::npos) {
            rest = {};
        } else {
            const bool crlf = rest[eol] == '\r' && eol + 1 < rest.size() && rest[eol + 1] == '\n';
            rest.remove_prefix(eol + (crlf ? 2 : 1));
        }
        line = TrimBlanks(line);
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            line.remove_prefix(1);
            const std::string_view name = TrimBlanks(line.substr(0, line.find(']')));
            current = nullptr;
            if (!ini.HasSection(name)) {
                ini.sections_.push_back(Section{std::string(name), {}});
                current = &ini.sections_.back();
            }
            continue;
        }
        const auto eq = line.find('=');
        if (!current || eq == std::string_view::npos)
            continue;
        const std::string_view key = TrimBlanks(line.substr(0, eq));
        if (key.empty())
            continue;
        bool seen = false;
        for (const auto& entry : current->entries)
            if (EqualsIgnoreAsciiCase(entry.first, key)) {
                seen = true;
                break;
            }
        if (!seen)
            current->entries.emplace_back(std::string(key), std::string(TrimBlanks(line.substr(eq + 1))));
    }
    return ini;
}

std::vector<std::pair<std::string, std::string>> IniFile::ReadSection(std::string_view section) const
{
    for (const auto& s : sections_)
        if (EqualsIgnoreAsciiCase(s.name, section))
            return s.entries;
    return {};
}

std::string IniFile::ReadString(std::string_view section, std::string_view key, std::string_view def) const
{
    for (const auto& s : sections_) {
        if (!EqualsIgnoreAsciiCase(s.name, section))
            continue;
        for (const auto& entry : s.entries)
            if (EqualsIgnoreAsciiCase(entry.first, key))
                return entry.second;
        break;
    }
    return std::string(def);
}

bool IniFile::HasSection(std::string_view section) const
{
    for (const auto& s : sections_)
        if (EqualsIgnoreAsciiCase(s.name, section))
            return true;
    return false;
}

} // namespace platform
