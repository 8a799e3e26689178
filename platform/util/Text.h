#pragma once
// The platform's text helpers: conversions between the text forms it meets (host
// bytes: file names, usually UTF-8 but any bytes; UTF-16: Windows' own strings; code
// page 1252: ANSI strings inside Windows files), code points one at a time, hex
// digits and letter case as Windows compares names.
#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// UTF-8 to UTF-16. Bytes that are not valid UTF-8 are kept as lone surrogates
// U+DC80..U+DCFF (one per byte), so that Utf16ToBytes gives the same bytes back.
std::u16string BytesToUtf16(std::string_view bytes);

// UTF-16 to UTF-8. Lone surrogates U+DC80..U+DCFF become their byte again (the
// inverse of BytesToUtf16); any other unpaired surrogate becomes U+FFFD.
std::string Utf16ToBytes(std::u16string_view text);

// UTF-16 to strictly valid UTF-8: every unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// Code page 1252 as Windows decodes it: its five undefined bytes 0x81, 0x8D, 0x8F,
// 0x90 and 0x9D map to U+0081, U+008D, U+008F, U+0090 and U+009D.
std::u16string Cp1252ToUtf16(std::string_view ansi);
std::string Cp1252ToUtf8(std::string_view ansi);

bool IsValidUtf8(std::string_view bytes);

// One code point at a time, for code that walks text itself.

// Decodes the UTF-8 sequence that starts at bytes[i] (i < bytes.size()) into c and
// returns its length, 1 to 4. Returns 0 where the bytes there are no valid sequence:
// a byte that starts none, a sequence cut short, an overlong form, a surrogate or a
// code point above U+10FFFF; c then holds nothing of use. Callers decide what such
// a byte stands for.
std::size_t DecodeUtf8(std::string_view bytes, std::size_t i, char32_t& c);

// Appends the UTF-8 form of c (at most U+10FFFF). A surrogate would give three bytes
// that are not valid UTF-8, so callers map lone surrogates before. Inline: the link
// reader calls it for every character that is not ASCII.
inline void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The value of a hexadecimal digit in either case; -1 for any other character.
constexpr int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Letter case of the ASCII letters only, as the Windows file system's upper-case
// table does for the characters that matter here.
std::string AsciiUpper(std::string_view text);
std::string AsciiLower(std::string_view text);
bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b);

// The upper case of one character, for the alphabets in everyday use: ASCII,
// Latin-1, Latin Extended-A, basic Greek (U+0386..U+03CE), basic Cyrillic
// (U+0400..U+045F) and the full-width Latin letters. Every other character, and
// every letter without a single upper-case partner (the dotless i, the long s), is
// returned as it is. Registry key and value names compare by this.
char32_t UpperCaseOf(char32_t c);

// Letter case as Windows compares names of files and environment variables:
// UpperCaseOf, and also the paired letters of the rest of the Cyrillic block
// (U+0460..U+04FF). FoldCase gives the name with every such letter in upper case,
// for comparing and as a map key. Bytes that are not UTF-8 are kept, so a name that
// is not text still equals only itself.
std::string FoldCase(std::string_view name);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

} // namespace platform
