#include <QCoreApplication>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "app/DataFiles.h"
#include "app/Entry.h"
#include "app/Usage.h"
#include "app/Version.h"

namespace {

// Said again, option for option, by the manual page (packaging/quillmere.1); a test
// checks that both name the same options and variables.
const char kUsage[] =
    "Usage: quillmere [FOLDER]\n"
    "       quillmere --report [--recursive] [--test] [--format=text|csv|json]\n"
    "                 [--columns=SET] PATH...\n"
    "       quillmere --edit LINK... [FIELD OPTIONS]\n"
    "       quillmere --create LINK --target=PATH [FIELD OPTIONS]\n"
    "       quillmere --new-shortcut FOLDER\n"
    "       quillmere --version | --help | --help-path\n"
    "\n"
    "Without options, opens the main window on FOLDER (or on the folder selected at\n"
    "the last shutdown). A FOLDER whose name starts with \"-\" comes after \"--\".\n"
    "The toolkit's own options (-platform, -style, ...) are passed on to it; any\n"
    "other option is refused on one line of stderr, with exit status 2.\n"
    "\n"
    "  --report         print the shortcut list of each PATH (a folder or a shortcut\n"
    "                   file) without opening a window\n"
    "  --recursive      list the shortcut files of each folder PATH and of every\n"
    "                   folder below it, in one table with a Folder column (Source\n"
    "                   in CSV and JSON); symbolic links to folders are followed,\n"
    "                   each folder listed once, other file systems not entered;\n"
    "                   a link not followed is named on stderr\n"
    "  --test           also test each shell link, as the Test command does\n"
    "  --format=FORMAT  text (default), csv or json\n"
    "  --columns=SET    the columns to print, one letter each (default \"abcdefghij\"):\n"
    "                   a Name, b Type, c Target, d Target Path, e Arguments,\n"
    "                   f Start in Directory, g Hotkey, h Window State,\n"
    "                   i Icon Location, j Icon Index\n"
    "  --               ends the options: every later argument is a PATH (or LINK)\n"
    "  --edit           change the given fields of each shortcut file LINK (.lnk,\n"
    "                   .pif or .url) and nothing else\n"
    "  --create         write a new shortcut file LINK, never over an existing file\n"
    "  --new-shortcut   open the new-shortcut wizard, which makes a shortcut in\n"
    "                   FOLDER\n"
    "  --version        print the version and exit\n"
    "  -h, --help       print this text and exit\n"
    "  --help-path      print where the help book was found and exit\n"
    "\n"
    "Exit status of --report: 0 when all went well, 1 when --test found a failed\n"
    "shortcut, 2 for a usage error or a PATH that does not exist or cannot be listed\n"
    "(with --recursive, any folder below it that cannot be listed).\n"
    "\n"
    "Field options of --edit and --create (an empty value removes the field):\n"
    "  --target=PATH    the target: a full Windows path (C:\\..., \\\\server\\...,\n"
    "                   %VAR%\\...), kept as written, a host path (starting with /,\n"
    "                   ./ or ../) made one through the drive map, or a program's\n"
    "                   name found in C:\\windows\\system32 or C:\\windows; for a\n"
    "                   .url file, the URL\n"
    "  --args=TEXT      the arguments given to the target\n"
    "  --start-in=PATH  the folder the target starts in\n"
    "  --comment=TEXT   the comment\n"
    "  --icon=PATH,INDEX  the file holding the icon, and the icon's index in it\n"
    "  --hotkey=TEXT    the shortcut key as the Hotkey column shows it (\"Ctrl+Alt+H\")\n"
    "  --run=STATE      the window to start in: normal, minimized or maximized\n"
    "A .url file takes only --target and --hotkey.\n"
    "\n"
    "Exit status of --edit and --create: 0 when every LINK was saved, 1 when any was\n"
    "refused (one line on stderr each, naming it and why), 2 for a usage error.\n"
    "\n"
    "Environment:\n"
    "  QUILLMERE_REGISTRY_DIR  folder of the registry hive files\n"
    "                          (default $XDG_CONFIG_HOME/quillmere/registry)\n"
    "  QUILLMERE_DRIVES        drive map, e.g. \"C:=/mnt/win;D:=/media/data\";\n"
    "                          overrides the Wine prefix's drives\n"
    "  WINEPREFIX              the Wine prefix to take drives, shell folders and\n"
    "                          %VARS% from (default ~/.wine when it exists)\n"
    "  XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_DATA_DIRS, HOME, USER\n"
    "                          as usual\n"
    "\n"
    "More in the manual page (man quillmere) and the help book (Help > Help Topics).\n";

int PrintHelpPath(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString path = DataFilePath(HelpBookName());
    if (!QFileInfo(path).isFile()) {
        std::fprintf(stderr, "quillmere: the help book %s was not found beside the program or at %s\n",
                     qPrintable(HelpBookName()), qPrintable(path));
        return 1;
    }
    std::printf("%s\n", QFile::encodeName(path).constData());
    return 0;
}

// The window's icon, the one the desktop's menus show, rendered from the same
// drawing at build time. Set as soon as the window's application object exists.
void SetWindowIcon()
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return;
    QIcon icon;
    QDirIterator it(":/appicon", {"*.png"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        icon.addFile(it.next());
    QGuiApplication::setWindowIcon(icon);
}

// The toolkit's own options, which it takes off the command line itself, with one
// dash or two, and whether each takes a value ("-style fusion", "-style=fusion").
struct ToolkitOption {
    std::string_view name;
    bool value;
};
constexpr ToolkitOption kToolkitOptions[] = {
    {"platform", true},    {"platformpluginpath", true}, {"platformtheme", true}, {"plugin", true},
    {"display", true},     {"geometry", true},           {"qwindowgeometry", true}, {"qwindowicon", true},
    {"qwindowtitle", true}, {"style", true},             {"stylesheet", true},     {"session", true},
    {"reverse", false},    {"nograb", false},            {"dograb", false},        {"sync", false},
    {"widgetcount", false},
};

// The window mode takes a FOLDER (after "--" when its name begins with "-") and the
// toolkit's options. Anything else is refused here, before the toolkit is started:
// taken for a folder it would open the window, and without a display the toolkit
// would abort.
bool WindowArgumentsOk(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--")
            return true; // FOLDERs only from here on
        if (arg.size() < 2 || arg.front() != '-')
            continue;
        std::string_view name = arg.substr(arg[1] == '-' ? 2 : 1);
        const std::size_t equals = name.find('=');
        const bool valueAttached = equals != std::string_view::npos;
        name = name.substr(0, equals);
        const auto* option = std::find_if(std::begin(kToolkitOptions), std::end(kToolkitOptions),
                                          [name](const ToolkitOption& o) { return o.name == name; });
        if (option == std::end(kToolkitOptions) || (valueAttached && !option->value))
            return UsageError(UnknownOption(arg));
        if (option->value && !valueAttached && ++i == argc)
            return UsageError(OptionNeedsValue(arg, "value"));
    }
    return true;
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(SetWindowIcon)

int main(int argc, char** argv)
{
    if (argc >= 2) {
        if (std::strcmp(argv[1], "--version") == 0) {
            std::printf("%s\n", kProgramVersionText);
            return 0;
        }
        if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[1], "--help-path") == 0)
            return PrintHelpPath(argc, argv);
        if (std::strcmp(argv[1], "--report") == 0)
            return RunReport(argc - 2, argv + 2);
        if (std::strcmp(argv[1], "--edit") == 0 || std::strcmp(argv[1], "--create") == 0)
            return RunEditCommand(argc - 2, argv + 2, argv[1][2] == 'c');
        if (std::strcmp(argv[1], "--new-shortcut") == 0)
            return RunNewShortcutWizard(argc, argv);
    }
    if (!WindowArgumentsOk(argc, argv))
        return kExitUsage;
    return RunMainWindow(argc, argv);
}
