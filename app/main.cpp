#include <QCoreApplication>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <cstdio>
#include <cstring>

#include "app/DataFiles.h"
#include "app/Entry.h"
#include "app/Version.h"

namespace {

// Said again, option for option, by the manual page (packaging/quillmere.1); a test
// checks that both name the same options and variables.
const char kUsage[] =
    "Usage: quillmere [FOLDER]\n"
    "       quillmere --report [--recursive] [--test] [--format=text|csv|json]\n"
    "                 [--columns=SET] PATH...\n"
    "       quillmere --version | --help | --help-path\n"
    "\n"
    "Without options, opens the main window on FOLDER (or on the folder selected at\n"
    "the last shutdown).\n"
    "\n"
    "  --report         print the shortcut list of each PATH (a folder or a shortcut\n"
    "                   file) without opening a window\n"
    "  --recursive      list PATH and every folder below it, never following\n"
    "                   symbolic links to folders, staying on one file system\n"
    "  --test           also test each shell link, as the Test command does\n"
    "  --format=FORMAT  text (default), csv or json\n"
    "  --columns=SET    the columns to print, one letter each (default \"abcdefghij\"):\n"
    "                   a Name, b Type, c Target, d Target Path, e Arguments,\n"
    "                   f Start in Directory, g Hotkey, h Window State,\n"
    "                   i Icon Location, j Icon Index\n"
    "  --               ends the options: every later argument is a PATH\n"
    "  --version        print the version and exit\n"
    "  -h, --help       print this text and exit\n"
    "  --help-path      print where the help book was found and exit\n"
    "\n"
    "Exit status of --report: 0 when all went well, 1 when --test found a failed\n"
    "shortcut, 2 for a usage error or a PATH that does not exist or cannot be listed.\n"
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
    }
    return RunMainWindow(argc, argv);
}
