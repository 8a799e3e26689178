// Writes the sample folder `make run` opens: a handful of shortcut files made with
// the platform's link writer, pointing at files every Linux machine has, plus a
// broken one, one through %SystemRoot%, Internet shortcuts and a subfolder.
// Usage: qm_make_sample FOLDER   (the folder is made afresh)
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/shelllink/ShellLink.h"

namespace {

bool g_ok = true;

void Link(const std::string& path, const std::string& target, const std::string& startIn = {},
          const std::string& arguments = {}, const std::string& description = {}, std::uint16_t hotkey = 0,
          int showCmd = 1, const std::string& iconFile = {}, int iconIndex = 0)
{
    platform::ShellLink link;
    link.SetPath(target);
    if (!startIn.empty())
        link.SetWorkingDirectory(startIn);
    if (!arguments.empty())
        link.SetArguments(arguments);
    if (!description.empty())
        link.SetDescription(description);
    if (hotkey)
        link.SetHotkey(hotkey);
    if (!iconFile.empty())
        link.SetIconLocation(iconFile, iconIndex);
    link.SetShowCmd(showCmd);
    if (!link.Save(path)) {
        std::fprintf(stderr, "qm_make_sample: cannot write %s\n", path.c_str());
        g_ok = false;
    }
}

void Url(const std::string& path, const std::string& url)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << "[InternetShortcut]\r\nURL=" << url << "\r\n";
    if (!f) {
        std::fprintf(stderr, "qm_make_sample: cannot write %s\n", path.c_str());
        g_ok = false;
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: qm_make_sample FOLDER\n", stderr);
        return 2;
    }
    const std::string dir = argv[1];
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    std::filesystem::create_directories(dir + "/More Shortcuts", ec);
    if (ec) {
        std::fprintf(stderr, "qm_make_sample: cannot make %s\n", dir.c_str());
        return 1;
    }

    // Z: is the file system root on every machine.
    Link(dir + "/Shell.lnk", "Z:\\bin\\sh", "Z:\\tmp", "", "A command shell");
    Link(dir + "/User Accounts.lnk", "Z:\\etc\\passwd", "Z:\\etc", "", "The account list");
    Link(dir + "/Programs Folder.lnk", "Z:\\usr\\bin", "", "", "Where the programs live");
    Link(dir + "/Say Hello (Ctrl+Alt+H).lnk", "Z:\\bin\\sh", "Z:\\tmp", "-c \"echo Hello\"",
         "Runs a shell command", /*Ctrl+Alt+H*/ 0x0600 | 'H', /*minimized*/ 7);
    Link(dir + "/Notepad.lnk", "%SystemRoot%\\system32\\notepad.exe", "%HOMEDRIVE%%HOMEPATH%", "",
         "Only where a Wine prefix provides it", 0, 3, "%SystemRoot%\\system32\\notepad.exe", 0);
    Link(dir + "/Broken.lnk", "Z:\\nowhere\\gone\\missing.exe", "Z:\\nowhere", "/quiet",
         "Its target is gone: the test marks it");
    Url(dir + "/Debian.url", "https://www.debian.org/");
    Url(dir + "/Example Site.url", "https://example.com/");
    Link(dir + "/More Shortcuts/Root Folder.lnk", "Z:\\", "", "", "The top of the file system");
    Url(dir + "/More Shortcuts/Qt Documentation.url", "https://doc.qt.io/");
    return g_ok ? 0 : 1;
}
