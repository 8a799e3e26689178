#include "platform/launch/GioHandles.h"

#include "platform/launch/WinExec.h"

#include <string>
#include <vector>

#include "platform/util/CommandLine.h"
#include "platform/util/Text.h"

namespace platform::launch {
namespace {

// The program part of a command line, without its folders and ".exe".
std::string ProgramName(const std::string& program)
{
    const std::size_t cut = program.find_last_of("\\/");
    std::string name = AsciiLower(cut == std::string::npos ? program : program.substr(cut + 1));
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".exe") == 0)
        name.resize(name.size() - 4);
    return name;
}

} // namespace

std::uint32_t WinExec(std::string_view commandLine, int)
{
    while (!commandLine.empty() && (commandLine.front() == ' ' || commandLine.front() == '\t'))
        commandLine.remove_prefix(1);
    const std::vector<std::string> words = SplitCommandLine(commandLine);
    if (words.empty() || words.front().empty())
        return ERROR_FILE_NOT_FOUND;
    if (ProgramName(words.front()) == "rundll32")
        return ERROR_FILE_NOT_FOUND; // no platform command is provided yet
    std::vector<char*> argv;
    for (const std::string& w : words) {
        if (w.find('\0') != std::string::npos)
            return ERROR_BAD_FORMAT;
        argv.push_back(const_cast<char*>(w.c_str()));
    }
    argv.push_back(nullptr);
    GError* raw = nullptr;
    if (g_spawn_async(nullptr, argv.data(), nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, nullptr, &raw))
        return kWinExecOk;
    GErrorPtr error(raw);
    return raw->domain == G_SPAWN_ERROR && raw->code == G_SPAWN_ERROR_NOEXEC ? ERROR_BAD_FORMAT : ERROR_FILE_NOT_FOUND;
}

} // namespace platform::launch
