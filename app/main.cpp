#include <cstdio>
#include <cstring>

#include "app/Entry.h"
#include "app/Version.h"

namespace {

const char kUsage[] =
    "Usage: quillmere [FOLDER]\n"
    "       quillmere --report [--recursive] [--test] [--format=text|csv|json]\n"
    "                 [--columns=SET] PATH...\n"
    "       quillmere --version | --help\n"
    "\n"
    "Without options, opens the main window on FOLDER (or on the folder selected at\n"
    "the last shutdown).\n"
    "\n"
    "  --report         print the shortcut list of each PATH (a folder or a shortcut\n"
    "                   file) without opening a window\n"
    "  --recursive      list the shortcut files of each folder PATH and of every\n"
    "                   folder below it, in one table with a Folder column (Source\n"
    "                   in CSV and JSON); symbolic links to folders and other file\n"
    "                   systems are not entered\n"
    "  --test           also test each shell link, as the Test command does\n"
    "  --format=FORMAT  text (default), csv or json\n"
    "  --columns=SET    the columns to print, one letter each, \"abcdefghij\" by default:\n"
    "                   a Name, b Type, c Target, d Target Path, e Arguments,\n"
    "                   f Start in Directory, g Hotkey, h Window State,\n"
    "                   i Icon Location, j Icon Index\n"
    "  --version        print the version and exit\n"
    "  --help           print this text and exit\n"
    "\n"
    "Exit status of --report: 0 when all went well, 1 when --test found a failed\n"
    "shortcut, 2 for a usage error or a PATH that does not exist or cannot be listed\n"
    "(with --recursive, any folder below it that cannot be listed).\n";

} // namespace

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
        if (std::strcmp(argv[1], "--report") == 0)
            return RunReport(argc - 2, argv + 2);
    }
    return RunMainWindow(argc, argv);
}
