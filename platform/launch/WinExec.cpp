#include "platform/launch/GioHandles.h"

#include "platform/launch/WinExec.h"

#include <string>
#include <vector>

#include "platform/shelllink/NewShortcut.h"
#include "platform/util/CommandLine.h"

namespace platform::launch {
namespace {

WizardStarter& Starter()
{
    static WizardStarter starter = StartNewShortcutWizard;
    return starter;
}

} // namespace

void SetWizardStarter(WizardStarter starter)
{
    Starter() = starter ? std::move(starter) : WizardStarter(StartNewShortcutWizard);
}

std::uint32_t WinExec(std::string_view commandLine, int)
{
    if (std::string folder; ParseNewLinkHereCommand(commandLine, folder))
        return Starter()(folder) ? kWinExecOk : ERROR_FILE_NOT_FOUND;
    while (!commandLine.empty() && (commandLine.front() == ' ' || commandLine.front() == '\t'))
        commandLine.remove_prefix(1);
    const std::vector<std::string> words = SplitCommandLine(commandLine);
    if (words.empty() || words.front().empty())
        return ERROR_FILE_NOT_FOUND;
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
