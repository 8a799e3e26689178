// Expansion of Windows environment variables on arbitrary definitions: the input's
// first line is the text to expand, each other line "NAME=VALUE" a variable of the
// prefix's system.reg as Wine stores it (REG_EXPAND_SZ, so values refer to each other,
// in loops too), or of user.reg when it begins with "~". No crash, no read out of
// bounds, no stack or memory running away, and text without "%" stays as it is.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/drivemap/DriveMap.h"
#include "platform/drivemap/WineRegistry.h"

namespace {

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

// A string in Wine's registry file syntax.
std::string Quoted(std::string_view text)
{
    std::string out = "\"";
    for (const char c : text) {
        if (c == '\\' || c == '"')
            out += '\\';
        if (c != '\r' && c != '\0')
            out += c;
    }
    return out + "\"";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t firstEnd = std::min(input.find('\n'), input.size());
    const std::string_view text = input.substr(0, firstEnd);

    std::string system = "WINE REGISTRY Version 2\n\n[System\\\\CurrentControlSet\\\\Control\\\\Session Manager\\\\Environment] 0\n";
    std::string user = "WINE REGISTRY Version 2\n\n[Environment] 0\n";
    for (std::size_t start = firstEnd + 1; start < input.size();) {
        const std::size_t end = std::min(input.find('\n', start), input.size());
        std::string_view line = input.substr(start, end - start);
        start = end + 1;
        const bool ofUser = line.starts_with('~');
        if (ofUser)
            line.remove_prefix(1);
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos)
            continue;
        (ofUser ? user : system) += Quoted(line.substr(0, eq)) + "=str(2):" + Quoted(line.substr(eq + 1)) + "\n";
    }
    const platform::WinEnvironment env = platform::WinEnvironment::FromWineRegistry(
        "/nonexistent", platform::WineRegistry::Parse(system, platform::WinEnvironment::SystemKeys()),
        platform::WineRegistry::Parse(user, platform::WinEnvironment::UserKeys()));
    const std::string expanded = env.Expand(text);
    if (text.find('%') == std::string_view::npos)
        Check(expanded == text);
    (void)env.ForDefaultUser().Expand(text);
    return 0;
}
