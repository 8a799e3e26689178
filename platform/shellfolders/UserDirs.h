#pragma once
// The XDG user directories: user-dirs.dirs as xdg-user-dirs writes it, lines of
// XDG_NAME_DIR="$HOME/Folder" or an absolute path, in shell quoting.
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

// The assignments of the user's file, in file order: the name ("XDG_DESKTOP_DIR")
// and the folder, an absolute path without a trailing "/". A leading $HOME or
// ${HOME} stands for home; values that are no absolute path after that, unterminated
// quotes and lines that assign nothing are passed over. The file is
// $XDG_CONFIG_HOME/user-dirs.dirs when that is an absolute path, else
// home/.config/user-dirs.dirs; with neither there is nothing.
std::vector<std::pair<std::string, std::string>> ReadUserDirs(const std::string& home);

// The folder of one name ("XDG_DOCUMENTS_DIR"): its last assignment, as when a shell
// reads the file; nothing when it has none.
std::optional<std::string> UserDir(std::string_view name, const std::string& home);

} // namespace platform
