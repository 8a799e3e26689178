// The command line's face of the shortcut editor: --edit changes fields of existing
// shortcut files, --create writes a new one. The editing itself is the platform's
// (the same code as the property window's pages); this only reads the options. No
// application object, no display, no registry.
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

#include "app/Entry.h"
#include "app/Usage.h"
#include "platform/keynames/Hotkeys.h"
#include "platform/shelllink/LinkEditor.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitRefused = 1;

// Control characters would reach the terminal as commands.
std::string Shown(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    return out;
}

// "./x" and "../x" are host paths from the current folder; the editor takes host
// paths that start with "/".
std::string HostPathFromHere(std::string path)
{
    if (!(path == "." || path == ".." || path.starts_with("./") || path.starts_with("../")))
        return path;
    std::string cwd(4096, '\0');
    if (!::getcwd(cwd.data(), cwd.size()))
        return path;
    cwd.resize(std::strlen(cwd.c_str()));
    return (cwd == "/" ? "" : cwd) + "/" + path;
}

struct EditOptions {
    bool create = false;
    std::vector<std::string> links;
    platform::ShortcutEdits edits;
};

bool ParseIcon(std::string_view value, platform::ShortcutIcon& icon)
{
    icon = {};
    const std::size_t comma = value.rfind(',');
    if (comma != std::string_view::npos) {
        const std::string_view number = value.substr(comma + 1);
        int index = 0;
        const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), index);
        if (!number.empty() && ec == std::errc() && end == number.data() + number.size()) {
            icon.location = HostPathFromHere(std::string(value.substr(0, comma)));
            icon.index = index;
            return true;
        }
    }
    icon.location = HostPathFromHere(std::string(value));
    return true;
}

bool ParseArguments(int argc, char** argv, EditOptions& options)
{
    const char* mode = options.create ? "--create" : "--edit";
    bool optionsEnded = false;
    auto& e = options.edits;
    for (int i = 0; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&](std::string_view name) {
            return arg.starts_with(name) && arg.size() > name.size() && arg[name.size()] == '=';
        };
        auto rest = [&](std::string_view name) { return std::string(arg.substr(name.size() + 1)); };
        if (optionsEnded || arg.size() < 2 || arg.front() != '-') {
            options.links.emplace_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (value("--target")) {
            e.target = HostPathFromHere(rest("--target"));
        } else if (value("--args")) {
            e.arguments = rest("--args");
        } else if (value("--start-in")) {
            e.workingDirectory = HostPathFromHere(rest("--start-in"));
        } else if (value("--comment")) {
            e.description = rest("--comment");
        } else if (value("--icon")) {
            platform::ShortcutIcon icon;
            ParseIcon(rest("--icon"), icon);
            e.icon = icon;
        } else if (value("--hotkey")) {
            const auto hotkey = platform::ParseHotkeyText(rest("--hotkey"));
            if (!hotkey)
                return UsageError("\"" + Shown(rest("--hotkey")) + "\" is no shortcut key; write it as \"Ctrl+Alt+H\"");
            e.hotkey = *hotkey;
        } else if (value("--run")) {
            const std::string run = rest("--run");
            if (run == "normal")
                e.showCommand = 1;
            else if (run == "minimized")
                e.showCommand = 7; // SW_SHOWMINNOACTIVE, as the shell stores "Minimized"
            else if (run == "maximized")
                e.showCommand = 3;
            else
                return UsageError("unknown window state \"" + Shown(run) + "\"; use normal, minimized or maximized");
        } else {
            return UsageError(UnknownOption(arg) + " for " + mode);
        }
    }
    if (options.links.empty())
        return UsageError(std::string(mode) + " needs a LINK");
    if (options.create) {
        if (options.links.size() > 1)
            return UsageError("--create makes one LINK at a time");
        if (!e.target)
            return UsageError("--create needs --target");
    } else if (e.Empty()) {
        return UsageError("--edit needs at least one field to change, such as --target=PATH");
    }
    return true;
}

bool Refused(const std::string& link, const std::string& why)
{
    std::fprintf(stderr, "quillmere: %s: %s\n", Shown(link).c_str(), why.c_str());
    return false;
}

bool EditOne(const std::string& link, const platform::ShortcutEdits& edits, bool create)
{
    platform::LinkEditor editor(link);
    if (create) {
        editor.StartNew();
    } else if (const platform::EditResult r = editor.Load(); !r.Ok()) {
        return Refused(link, r.message + (r.status == platform::EditStatus::Damaged ? "; nothing was saved" : ""));
    }
    if (const platform::EditResult r = editor.Apply(edits); !r.Ok())
        return Refused(link, r.message);
    if (const platform::EditResult r = editor.Save(create ? platform::SaveMode::CreateNew : platform::SaveMode::Normal);
        !r.Ok())
        return Refused(link, r.message);
    return true;
}

} // namespace

int RunEditCommand(int argc, char** argv, bool create)
{
    EditOptions options;
    options.create = create;
    if (!ParseArguments(argc, argv, options))
        return kExitUsage;
    bool allSaved = true;
    for (const std::string& link : options.links)
        allSaved = EditOne(link, options.edits, create) && allSaved;
    return allSaved ? kExitOk : kExitRefused;
}
