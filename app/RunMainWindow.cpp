// The window mode of the program: the application, the main window and its event loop.
#include <QSessionManager>
#include <exception>
#include <memory>
#include <string_view>

#include "app/Application.h"
#include "app/Entry.h"
#include "app/ShutdownSignals.h"
#include "app/Unit1.h"
#include "app/Version.h"
#include "foldertree/SystemControlPack.h"
#include "platform/verbs/FileOperationWork.h"

int RunMainWindow(int argc, char** argv)
{
    // What follows "--" is a FOLDER whatever its name: the toolkit, which takes its
    // own options off the command line, never sees it ("-reverse" is a folder there).
    int toolkitArgc = argc;
    std::vector<std::string> folders;
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--") {
            toolkitArgc = i;
            folders.assign(argv + i + 1, argv + argc);
            break;
        }
    }
    TApplication app(toolkitArgc, argv);
    QApplication::setApplicationName(kProgramName);
    QGuiApplication::setDesktopFileName("quillmere");

    std::vector<std::string> args(argv + 1, argv + toolkitArgc);
    args.insert(args.end(), folders.begin(), folders.end());
    // The verbs' pastes, shortcuts and deletions run as file jobs with their windows.
    platform::verbs::SetFileWork(std::make_shared<platform::verbs::FileOperationWork>());

    // Caught before the window is built: a signal during start-up closes the window
    // once the event loop runs instead of killing the program half started.
    TShutdownSignals shutdownSignals;
    std::unique_ptr<TForm1> window;
    try {
        window = std::make_unique<TForm1>(args);
    } catch (const std::exception& e) {
        app.ShowError(QString::fromUtf8(e.what()));
        return 1;
    }
    QObject::connect(&shutdownSignals, &TShutdownSignals::Received, window.get(), &QWidget::close);
    shutdownSignals.Start();
    // The session may end the process right after asking: the settings are written then.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, window.get(),
                     [&window](QSessionManager&) { window->SaveSettings(); });

    window->show();
    const int status = app.exec();
    window.reset();
    // Every folder record went with the tree; one left behind is a leak worth telling.
    try {
        CheckFolderItemDataLeaks();
    } catch (const ELeaking& e) {
        app.ShowError(QString::fromUtf8(e.what()));
    }
    return status;
}
