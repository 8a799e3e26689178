// Command-line splitting on arbitrary bytes: no crash, no read out of bounds, never
// more bytes out than in, and the words come back unchanged from a line built by the
// usual quoting for this splitting (each word quoted only when it must be).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/util/CommandLine.h"

namespace {

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

std::string QuoteArgument(const std::string& arg)
{
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos)
        return arg;
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (const char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are doubled, and the quote escaped.
        quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        quoted += c;
        backslashes = 0;
    }
    quoted.append(2 * backslashes, '\\'); // before the closing quote
    return quoted + "\"";
}

std::size_t TotalSize(const std::vector<std::string>& words)
{
    std::size_t total = 0;
    for (const std::string& word : words)
        total += word.size();
    return total;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view line(reinterpret_cast<const char*>(data), size);

    const std::vector<std::string> args = platform::SplitArguments(line);
    Check(TotalSize(args) <= line.size());
    std::string joined;
    for (const std::string& arg : args)
        joined += (joined.empty() ? "" : " ") + QuoteArgument(arg);
    Check(platform::SplitArguments(joined) == args);

    const std::vector<std::string> words = platform::SplitCommandLine(line);
    Check(words.empty() == (line.find_first_not_of(" \t") == std::string_view::npos));
    Check(TotalSize(words) <= line.size());
    // The program is a quoted run without escapes: one holding a quote can't be written.
    if (!words.empty() && words[0].find('"') == std::string::npos) {
        std::string rebuilt = "\"" + words[0] + "\"";
        for (std::size_t i = 1; i < words.size(); ++i)
            rebuilt += " " + QuoteArgument(words[i]);
        Check(platform::SplitCommandLine(rebuilt) == words);
    }
    return 0;
}
