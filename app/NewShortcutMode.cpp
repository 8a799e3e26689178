// The new-shortcut wizard as a process of its own, as the shell starts its wizard:
// quillmere --new-shortcut FOLDER. It reads no settings and writes no registry; the
// list it was started from sees the new file when it reads its folder again.
#include <sys/stat.h>

#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <string>

#include "app/Entry.h"
#include "app/Usage.h"
#include "app/Version.h"
#include "platform/ui/NewShortcutWizard.h"
#include "platform/ui/PathText.h"

int RunNewShortcutWizard(int argc, char** argv)
{
    if (argc != 3) {
        UsageError("--new-shortcut needs one FOLDER");
        return kExitUsage;
    }
    // Taken before Qt sees the arguments: the folder's bytes exactly as given.
    const std::string folder = argv[2];
    QApplication app(argc, argv);
    QApplication::setApplicationName(kProgramName);
    QGuiApplication::setDesktopFileName("quillmere");
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        QMessageBox::critical(nullptr, QObject::tr("Create Shortcut"),
                              QObject::tr("The folder \"%1\" cannot be found.").arg(platform::ui::BytesToText(folder)));
        return 1;
    }
    platform::ui::NewShortcutWizard wizard(folder);
    return wizard.exec() == QDialog::Accepted ? 0 : 1;
}
