#include "app/Usage.h"

#include <cstdio>

namespace {

std::string Shown(std::string_view s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        // C0 controls, DEL, and the C1 controls written as UTF-8 (U+009B is CSI).
        if (b < 0x20 || b == 0x7F) {
            out += '?';
        } else if (b == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(s[i + 1]) <= 0x9F) {
            out += '?';
            ++i;
        } else {
            out += s[i];
        }
    }
    return out;
}

} // namespace

bool UsageError(const std::string& message)
{
    std::fprintf(stderr, "quillmere: %s (see quillmere --help)\n", message.c_str());
    return false;
}

std::string UnknownOption(std::string_view arg) { return "unknown option '" + Shown(arg) + "'"; }

std::string OptionNeedsValue(std::string_view arg, std::string_view value)
{
    return "option '" + Shown(arg) + "' needs a " + std::string(value);
}
