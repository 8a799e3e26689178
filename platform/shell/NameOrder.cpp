#include "platform/shell/NameOrder.h"

#include <cstdint>

#include "platform/util/Text.h"

namespace platform::shell {
namespace {

// One code point of a name, or a lone byte (marked by kRawByte) where the bytes are
// not valid UTF-8, so that no name is ever cut short.
constexpr char32_t kRawByte = 0x80000000;

std::size_t Decode(std::string_view s, std::size_t i, char32_t& c)
{
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        c = b0;
        return 1;
    }
    const std::size_t len = DecodeUtf8(s, i, c);
    if (len == 0) {
        c = kRawByte | b0;
        return 1;
    }
    return len;
}

char32_t Lower(char32_t c)
{
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    if (c & kRawByte)
        return c;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return c + 32;
    if (c >= 0x100 && c <= 0x17F) {
        // Latin Extended-A pairs upper/lower: even/odd, except the run 0x139..0x148
        // and 0x179..0x17E where the upper letter is odd.
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
            return (c % 2 == 1) ? c + 1 : c;
        if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F)
            return c;
        if (c == 0x178)
            return 0xFF;
        return (c % 2 == 0) ? c + 1 : c;
    }
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2)
        return c + 32;
    if (c >= 0x410 && c <= 0x42F)
        return c + 32;
    if (c >= 0x400 && c <= 0x40F)
        return c + 80;
    return c;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Raw bytes sort after every character, as unknown characters do in a folder view.
std::uint64_t SortKey(char32_t c)
{
    return (c & kRawByte) ? (0x110000u + (c & 0xFF)) : c;
}

} // namespace

std::string LowerCaseName(std::string_view name)
{
    std::string out;
    out.reserve(name.size());
    for (std::size_t i = 0; i < name.size();) {
        char32_t c;
        const std::size_t n = Decode(name, i, c);
        if (c < 0x80 || (c & kRawByte))
            out += static_cast<char>(name[i] >= 'A' && name[i] <= 'Z' ? name[i] + 32 : name[i]);
        else
            AppendUtf8(out, Lower(c));
        i += n;
    }
    return out;
}

int CompareNames(std::string_view a, std::string_view b)
{
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            // Digit runs: by value (leading zeros skipped: more digits, larger value).
            std::size_t ie = i, je = j;
            while (ie < a.size() && IsDigit(a[ie]))
                ++ie;
            while (je < b.size() && IsDigit(b[je]))
                ++je;
            std::size_t is = i, js = j;
            while (is + 1 < ie && a[is] == '0')
                ++is;
            while (js + 1 < je && b[js] == '0')
                ++js;
            const std::size_t la = ie - is, lb = je - js;
            if (la != lb)
                return la < lb ? -1 : 1;
            const int c = a.substr(is, la).compare(b.substr(js, lb));
            if (c != 0)
                return c < 0 ? -1 : 1;
            i = ie;
            j = je;
            continue;
        }
        char32_t ca, cb;
        const std::size_t na = Decode(a, i, ca);
        const std::size_t nb = Decode(b, j, cb);
        const std::uint64_t ka = SortKey(Lower(ca)), kb = SortKey(Lower(cb));
        if (ka != kb)
            return ka < kb ? -1 : 1;
        i += na;
        j += nb;
    }
    const bool aDone = i >= a.size(), bDone = j >= b.size();
    if (!aDone || !bDone)
        return aDone ? -1 : 1;
    // Equal to the eye: the exact bytes decide, so only the same name answers 0.
    const int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

} // namespace platform::shell
