#pragma once
// WinExec: runs a command line. The shell's command line for the new-shortcut
// wizard, "RunDLL32 AppWiz.Cpl,NewLinkHere FOLDER", starts our own wizard for the
// folder; any other command line runs as a program: split by the Windows
// command-line rules into an argument vector, the program looked up on PATH, no
// shell involved.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace platform::launch {

// Results as Windows gives them: above 31 is success.
inline constexpr std::uint32_t kWinExecOk = 33;
inline constexpr std::uint32_t ERROR_FILE_NOT_FOUND = 2;
inline constexpr std::uint32_t ERROR_BAD_FORMAT = 11;

std::uint32_t WinExec(std::string_view commandLine, int showCmd);

// What starts the wizard for a folder (its bytes as the command line holds them):
// StartNewShortcutWizard, a process of its own. A test puts a recorder in its
// place; nullptr restores it.
using WizardStarter = std::function<bool(const std::string& folder)>;
void SetWizardStarter(WizardStarter starter);

} // namespace platform::launch
