#include <QApplication>
#include <QMainWindow>

#include "app/Entry.h"
#include "app/Version.h"

int RunMainWindow(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(kProgramName);
    QMainWindow window;
    window.setWindowTitle(kProgramName);
    window.resize(500, 300);
    window.show();
    return app.exec();
}
