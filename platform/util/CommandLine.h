#pragma once
// Windows command lines, split into an argument vector as the shell splits them
// (CommandLineToArgvW), so that a program started from a shortcut gets the
// arguments it would get on Windows, and no shell ever reads them.
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The whole line: the program (up to the next blank, or a quoted run with no escapes
// in it), then the arguments. Blanks are spaces and tabs. In an argument, 2n
// backslashes before a quote give n backslashes and the quote opens or closes a
// quoted run; 2n+1 backslashes before a quote give n backslashes and a literal quote;
// other backslashes are literal; inside a quoted run, two quotes give a literal quote
// and close the run. An empty or blank line gives no arguments at all.
std::vector<std::string> SplitCommandLine(std::string_view line);

// The arguments alone (a shortcut's Arguments field): every word by the argument
// rules above.
std::vector<std::string> SplitArguments(std::string_view arguments);

} // namespace platform
