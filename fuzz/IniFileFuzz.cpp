// The INI reader on arbitrary bytes: it must never crash or read out of bounds, and
// what it gives back must keep its promises: UTF-8 text, no line ends inside names or
// values, names trimmed and not empty, no name twice in a section.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/ini/IniFile.h"
#include "platform/util/Text.h"

namespace {

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

bool Trimmed(std::string_view s)
{
    return s.empty() || (s.front() != ' ' && s.front() != '\t' && s.back() != ' ' && s.back() != '\t');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const platform::IniFile ini = platform::IniFile::Parse(bytes);
    for (const char* section : {"InternetShortcut", "internetshortcut", "", "S"}) {
        const auto entries = ini.ReadSection(section);
        Check(entries.empty() || ini.HasSection(section));
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const auto& [key, value] = entries[i];
            Check(!key.empty() && Trimmed(key) && Trimmed(value));
            Check(platform::IsValidUtf8(key) && platform::IsValidUtf8(value));
            Check(key.find_first_of("\r\n=") == std::string::npos && value.find_first_of("\r\n") == std::string::npos);
            for (std::size_t j = 0; j < i; ++j)
                Check(!platform::EqualsIgnoreAsciiCase(entries[j].first, key));
            Check(ini.ReadString(section, key) == value);
        }
    }
    ini.ReadString("InternetShortcut", "URL", "default");
    return 0;
}
