// Runs the folder-handler code and GIO's answers in a process of its own: GLib reads
// the XDG folders once per process, and each test has folders of its own.
//
//   qm_gio_probe default               the desktop's default application for folders
//   qm_gio_probe add PROGRAM           offers PROGRAM for folders
//   qm_gio_probe remove                takes the offer back
//   qm_gio_probe launch ENTRY FOLDER   starts ENTRY on FOLDER, as a file manager does
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include <cstdio>
#include <string_view>

#include "platform/shellintegration/FolderHandler.h"

int main(int argc, char** argv)
{
    const std::string_view command = argc > 1 ? argv[1] : "";
    if (command == "default" && argc == 2) {
        std::printf("%s\n", platform::DefaultFolderHandler().value_or("").c_str());
        return 0;
    }
    if (command == "add" && argc == 3)
        return platform::AddFolderHandler(argv[2]) ? 0 : 1;
    if (command == "remove" && argc == 2)
        return platform::RemoveFolderHandler() ? 0 : 1;
    if (command == "launch" && argc == 4) {
        GDesktopAppInfo* info = g_desktop_app_info_new_from_filename(argv[2]);
        if (!info) {
            std::fprintf(stderr, "not a desktop entry: %s\n", argv[2]);
            return 1;
        }
        GList* files = g_list_append(nullptr, g_file_new_for_path(argv[3]));
        GError* error = nullptr;
        const bool launched = g_app_info_launch(G_APP_INFO(info), files, nullptr, &error);
        if (!launched)
            std::fprintf(stderr, "%s\n", error ? error->message : "launch failed");
        g_clear_error(&error);
        g_list_free_full(files, g_object_unref);
        g_object_unref(info);
        return launched ? 0 : 1;
    }
    std::fprintf(stderr, "usage: qm_gio_probe default | add PROGRAM | remove | launch ENTRY FOLDER\n");
    return 2;
}
