#include "platform/ini/IniEdit.h"

#include "platform/util/Text.h"

namespace platform {
namespace {

enum class Encoding { Ansi, Utf8, Utf8Bom, Utf16 };

// Lines of the text in its own code units, each with its line end.
template <class Str>
struct Line {
    Str text;
    Str end;
};

template <class Str>
std::vector<Line<Str>> SplitLines(const Str& text)
{
    using Char = typename Str::value_type;
    std::vector<Line<Str>> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t eol = pos;
        while (eol < text.size() && text[eol] != Char('\r') && text[eol] != Char('\n'))
            ++eol;
        std::size_t next = eol;
        if (next < text.size()) {
            ++next;
            if (text[eol] == Char('\r') && next < text.size() && text[next] == Char('\n'))
                ++next;
        }
        lines.push_back({text.substr(pos, eol - pos), text.substr(eol, next - eol)});
        pos = next;
    }
    return lines;
}

// Code page 1252 for a value: false when a character has no byte there.
bool EncodeAnsi(std::u16string_view text, std::string& out)
{
    out.clear();
    for (const char16_t c : text) {
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out += static_cast<char>(c);
            continue;
        }
        char found = 0;
        for (int b = 0x80; b < 0xA0 && !found; ++b)
            if (Cp1252ToUtf16(std::string(1, static_cast<char>(b)))[0] == c)
                found = static_cast<char>(b);
        if (!found)
            return false;
        out += found;
    }
    return true;
}

std::string ToUtf8(const std::string& s, Encoding e) { return e == Encoding::Ansi ? Cp1252ToUtf8(s) : s; }
std::string ToUtf8(const std::u16string& s, Encoding) { return Utf16ToBytes(s); }

bool FromUtf8(std::string_view value, Encoding e, std::string& out)
{
    if (e != Encoding::Ansi) {
        out = std::string(value);
        return true;
    }
    return EncodeAnsi(BytesToUtf16(value), out);
}
bool FromUtf8(std::string_view value, Encoding, std::u16string& out)
{
    out = BytesToUtf16(value);
    return true;
}

std::string_view Trim(std::string_view s)
{
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// The section a line opens ("[name]"), if it opens one.
std::optional<std::string> SectionOf(const std::string& line)
{
    const std::string_view t = Trim(line);
    if (t.empty() || t.front() != '[')
        return std::nullopt;
    return std::string(Trim(t.substr(1, t.find(']') == std::string_view::npos ? t.npos : t.find(']') - 1)));
}

template <class Str>
bool Apply(std::vector<Line<Str>>& lines, const IniChange& change, Encoding enc, const Str& newline)
{
    using Char = typename Str::value_type;
    Str value;
    if (change.value && !FromUtf8(*change.value, enc, value))
        return false;
    auto widen = [](std::string_view ascii) {
        Str s;
        for (const char c : ascii)
            s += static_cast<Char>(c);
        return s;
    };
    // Find the first section of that name and, in it, the key's first line.
    std::size_t sectionLine = lines.size(), lastInSection = lines.size(), keyLine = lines.size();
    bool inSection = false, seenSection = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string text = ToUtf8(lines[i].text, enc);
        if (const auto name = SectionOf(text)) {
            inSection = !seenSection && EqualsIgnoreAsciiCase(*name, change.section);
            if (inSection) {
                seenSection = true;
                sectionLine = lastInSection = i;
            }
            continue;
        }
        if (!inSection)
            continue;
        const std::string_view t = Trim(text);
        if (t.empty())
            continue;
        lastInSection = i;
        const auto eq = t.find('=');
        if (t.front() != ';' && eq != std::string_view::npos && EqualsIgnoreAsciiCase(Trim(t.substr(0, eq)), change.key)) {
            keyLine = i;
            break;
        }
    }
    if (keyLine < lines.size()) {
        if (!change.value) {
            lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(keyLine));
            return true;
        }
        Str& text = lines[keyLine].text;
        std::size_t cut = text.find(Char('=')) + 1;
        while (cut < text.size() && (text[cut] == Char(' ') || text[cut] == Char('\t')))
            ++cut;
        text = text.substr(0, cut) + value;
        return true;
    }
    if (!change.value)
        return true;
    Line<Str> added{widen(change.key) + Char('=') + value, newline};
    if (sectionLine == lines.size()) {
        if (!lines.empty() && lines.back().end.empty() && !lines.back().text.empty())
            lines.back().end = newline;
        lines.push_back({Char('[') + widen(change.section) + Char(']'), newline});
        lines.push_back(std::move(added));
        return true;
    }
    if (lines[lastInSection].end.empty())
        lines[lastInSection].end = newline;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(lastInSection) + 1, std::move(added));
    return true;
}

template <class Str>
bool EditLines(Str& text, const std::vector<IniChange>& changes, Encoding enc)
{
    using Char = typename Str::value_type;
    std::vector<Line<Str>> lines = SplitLines(text);
    Str newline{Char('\r'), Char('\n')};
    for (const auto& line : lines)
        if (!line.end.empty()) {
            newline = line.end;
            break;
        }
    for (const IniChange& change : changes)
        if (!Apply(lines, change, enc, newline))
            return false;
    text.clear();
    for (const auto& line : lines)
        text += line.text + line.end;
    return true;
}

} // namespace

std::string EditIniText(std::string_view bytes, const std::vector<IniChange>& changes)
{
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
        std::u16string units;
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
            units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                           (static_cast<unsigned char>(bytes[i + 1]) << 8));
        EditLines(units, changes, Encoding::Utf16);
        std::string out = "\xFF\xFE";
        for (const char16_t u : units) {
            out += static_cast<char>(u & 0xFF);
            out += static_cast<char>(u >> 8);
        }
        if (bytes.size() % 2)
            out += bytes.back(); // a stray last byte stays where it was
        return out;
    }
    const bool bom = bytes.starts_with("\xEF\xBB\xBF");
    std::string text(bom ? bytes.substr(3) : bytes);
    const Encoding enc = bom ? Encoding::Utf8Bom : IsValidUtf8(text) ? Encoding::Utf8 : Encoding::Ansi;
    if (enc == Encoding::Ansi) {
        std::string edited = text;
        if (EditLines(edited, changes, enc))
            return edited;
        // A character code page 1252 has no byte for: the file becomes UTF-8, marked.
        text = Cp1252ToUtf8(text);
        EditLines(text, changes, Encoding::Utf8Bom);
        return "\xEF\xBB\xBF" + text;
    }
    EditLines(text, changes, enc);
    return bom ? "\xEF\xBB\xBF" + text : text;
}

std::string EncodeUtf7(std::string_view utf8)
{
    static const char* b64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const std::u16string units = BytesToUtf16(utf8);
    std::string out;
    std::size_t i = 0;
    auto direct = [](char16_t c) { return c >= 0x20 && c < 0x7F && c != u'+' && c != u'\\' && c != u'~'; };
    while (i < units.size()) {
        const char16_t c = units[i];
        if (direct(c)) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        if (c == u'+') {
            out += "+-";
            ++i;
            continue;
        }
        out += '+';
        std::uint32_t bits = 0;
        int count = 0;
        while (i < units.size() && !direct(units[i]) && units[i] != u'+') {
            bits = (bits << 16) | units[i++];
            count += 16;
            while (count >= 6) {
                count -= 6;
                out += b64[(bits >> count) & 0x3F];
            }
        }
        if (count > 0)
            out += b64[(bits << (6 - count)) & 0x3F];
        // A "-" ends the run; it is needed where the next character could be read
        // as part of it, and harmless elsewhere.
        out += '-';
    }
    return out;
}

} // namespace platform
