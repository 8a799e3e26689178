// Test entry for drags with a real file manager: a private X server (Xvfb) for the
// whole run, the program's window in this process on it, the file manager and the
// pointer (xdotool) in processes of their own. Without the tools the tests skip.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "tests/interop/Interop.h"

namespace {

pid_t xserver = 0;

bool OnPath(const std::string& tool)
{
    const char* path = std::getenv("PATH");
    std::string rest = path ? path : "";
    while (!rest.empty()) {
        const std::size_t colon = rest.find(':');
        const std::string dir = rest.substr(0, colon);
        if (!dir.empty() && ::access((dir + "/" + tool).c_str(), X_OK) == 0)
            return true;
        rest = colon == std::string::npos ? "" : rest.substr(colon + 1);
    }
    return false;
}

// A display number whose socket and lock are free, then the server on it; false when
// it does not come up.
bool StartXServer()
{
    for (int n = 90; n < 200; ++n) {
        const std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
        if (::access(lock.c_str(), F_OK) == 0 || ::access(socket.c_str(), F_OK) == 0)
            continue;
        const std::string display = ":" + std::to_string(n);
        xserver = ::fork();
        if (xserver == 0) {
            ::execlp("Xvfb", "Xvfb", display.c_str(), "-screen", "0", "1280x800x24", "-nolisten", "tcp",
                     static_cast<char*>(nullptr));
            ::_exit(127);
        }
        for (int i = 0; i < 100; ++i) {
            if (::access(socket.c_str(), F_OK) == 0) {
                ::setenv("DISPLAY", display.c_str(), 1);
                return true;
            }
            if (::waitpid(xserver, nullptr, WNOHANG) == xserver)
                break; // that display was taken after all
            ::usleep(50 * 1000);
        }
        ::kill(xserver, SIGTERM);
        ::waitpid(xserver, nullptr, 0);
        xserver = 0;
    }
    return false;
}

} // namespace

namespace interop {
std::string skipReason;
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    bool listing = ::testing::GTEST_FLAG(list_tests);
    std::string missing;
    for (const char* tool : {"Xvfb", "thunar", "xdotool", "dbus-run-session"})
        if (!OnPath(tool))
            missing += std::string(missing.empty() ? "" : ", ") + tool;
    if (!missing.empty())
        interop::skipReason = missing + " not installed (Debian: xvfb thunar xdotool dbus-x11)";
    else if (!listing && !StartXServer())
        interop::skipReason = "Xvfb did not start";
    if (!interop::skipReason.empty() || listing)
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    else
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    int status = 0;
    {
        QApplication app(argc, argv);
        status = RUN_ALL_TESTS();
    }
    if (xserver > 0) {
        ::kill(xserver, SIGTERM);
        ::waitpid(xserver, nullptr, 0);
    }
    return status;
}
