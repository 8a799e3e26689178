#include "platform/util/CommandLine.h"

namespace platform {
namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// The arguments from `i` on, appended to out.
void SplitRest(std::string_view line, std::size_t i, std::vector<std::string>& out)
{
    const std::size_t n = line.size();
    while (i < n && IsBlank(line[i]))
        ++i;
    if (i >= n)
        return;
    std::string arg;
    int quotes = 0;      // 1 while inside a quoted run
    std::size_t backslashes = 0;
    while (i < n) {
        const char c = line[i];
        if (IsBlank(c) && quotes == 0) {
            out.push_back(std::move(arg));
            arg.clear();
            while (i < n && IsBlank(line[i]))
                ++i;
            if (i >= n)
                return;
            backslashes = 0;
            continue;
        }
        if (c == '\\') {
            arg += c;
            ++backslashes;
            ++i;
            continue;
        }
        if (c == '"') {
            arg.resize(arg.size() - backslashes / 2);
            if (backslashes % 2 == 0) {
                ++quotes;
            } else {
                arg.back() = '"';
            }
            backslashes = 0;
            ++i;
            // A run of quotes: every third one is a literal quote.
            while (i < n && line[i] == '"') {
                if (++quotes == 3) {
                    arg += '"';
                    quotes = 0;
                }
                ++i;
            }
            if (quotes == 2)
                quotes = 0;
            continue;
        }
        arg += c;
        backslashes = 0;
        ++i;
    }
    out.push_back(std::move(arg));
}

} // namespace

std::vector<std::string> SplitCommandLine(std::string_view line)
{
    std::vector<std::string> out;
    std::size_t i = 0;
    const std::size_t n = line.size();
    bool blank = true;
    for (char c : line)
        blank = blank && IsBlank(c);
    if (blank)
        return out;
    std::string program;
    if (line[0] == '"') {
        for (i = 1; i < n && line[i] != '"'; ++i)
            program += line[i];
        if (i < n)
            ++i;
    } else {
        for (; i < n && !IsBlank(line[i]); ++i)
            program += line[i];
    }
    out.push_back(std::move(program));
    SplitRest(line, i, out);
    return out;
}

std::vector<std::string> SplitArguments(std::string_view arguments)
{
    std::vector<std::string> out;
    SplitRest(arguments, 0, out);
    return out;
}

} // namespace platform
