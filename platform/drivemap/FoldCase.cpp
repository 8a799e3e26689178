#include "platform/drivemap/FoldCase.h"

namespace platform {
namespace {

char32_t UpperOf(char32_t c)
{
    if (c < 0x80)
        return (c >= 'a' && c <= 'z') ? c - 0x20 : c;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
        return c - 0x20;
    if (c == 0xFF)
        return 0x178;
    if (c >= 0x100 && c <= 0x17F) {
        // Latin Extended-A pairs an upper-case letter with the lower-case one after
        // it; the pairs start on even code points, except between U+0139 and U+0148
        // and from U+0179 on, where they start on odd ones.
        const bool oddPairs = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F)
            return c;
        if (oddPairs)
            return (c % 2 == 0) ? c - 1 : c;
        return (c % 2 == 1) ? c - 1 : c;
    }
    if (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2)
        return c - 0x20;
    switch (c) {
    case 0x3C2: return 0x3A3;
    case 0x3AC: return 0x386;
    case 0x3AD: return 0x388;
    case 0x3AE: return 0x389;
    case 0x3AF: return 0x38A;
    case 0x3CC: return 0x38C;
    case 0x3CD: return 0x38E;
    case 0x3CE: return 0x38F;
    default: break;
    }
    if (c >= 0x430 && c <= 0x44F)
        return c - 0x20;
    if (c >= 0x450 && c <= 0x45F)
        return c - 0x50;
    if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x4FF))
        return (c % 2 == 1) ? c - 1 : c;
    if (c >= 0xFF41 && c <= 0xFF5A)
        return c - 0x20;
    return c;
}

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        // Only code points below U+10000 change case here.
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

} // namespace

std::string FoldCase(std::string_view name)
{
    std::string out;
    out.reserve(name.size());
    for (size_t i = 0; i < name.size();) {
        const auto b0 = static_cast<unsigned char>(name[i]);
        if (b0 < 0x80) {
            out += static_cast<char>(UpperOf(b0));
            ++i;
            continue;
        }
        // Two- and three-byte sequences are the only ones holding letters that fold;
        // anything else (longer sequences, stray bytes) is copied as it stands.
        size_t len = 0;
        char32_t c = 0;
        if ((b0 & 0xE0) == 0xC0 && i + 1 < name.size() && (name[i + 1] & 0xC0) == 0x80) {
            len = 2;
            c = ((b0 & 0x1F) << 6) | (name[i + 1] & 0x3F);
            if (c < 0x80)
                len = 0;
        } else if ((b0 & 0xF0) == 0xE0 && i + 2 < name.size() && (name[i + 1] & 0xC0) == 0x80
                   && (name[i + 2] & 0xC0) == 0x80) {
            len = 3;
            c = ((b0 & 0x0F) << 12) | ((name[i + 1] & 0x3F) << 6) | (name[i + 2] & 0x3F);
            if (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))
                len = 0;
        }
        if (len == 0) {
            out += name[i];
            ++i;
            continue;
        }
        const char32_t upper = UpperOf(c);
        if (upper == c)
            out.append(name.substr(i, len));
        else
            AppendUtf8(out, upper);
        i += len;
    }
    return out;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b)
{
    if (a == b)
        return true;
    return FoldCase(a) == FoldCase(b);
}

} // namespace platform
