#pragma once
// A private environment (registry, home, XDG folders) and a folder of shortcut
// files for the list and window tests.
#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <functional>
#include <string>

#include "platform/shelllink/ShellLink.h"
#include "tests/support/TestSupport.h"

namespace listtest {

class PrivateEnvironment {
public:
    PrivateEnvironment()
        : registry_("QUILLMERE_REGISTRY_DIR", dir_ / "registry"), home_("HOME", dir_ / "home"),
          config_("XDG_CONFIG_HOME", dir_ / "config"), data_("XDG_DATA_HOME", dir_ / "data"),
          cache_("XDG_CACHE_HOME", dir_ / "cache"), wine_("WINEPREFIX", dir_ / "no-wine")
    {
        testsupport::MakeDirs(dir_ / "registry");
        testsupport::MakeDirs(dir_ / "home");
    }
    std::string operator/(std::string_view name) const { return dir_ / name; }
    const std::string& Path() const { return dir_.Path(); }

private:
    testsupport::TempDir dir_;
    testsupport::ScopedEnv registry_, home_, config_, data_, cache_, wine_;
};

// A shell link to a host path, through the drive Z: that maps "/".
inline void WriteLink(const std::string& linkPath, const std::string& hostTarget)
{
    std::string windows = "Z:";
    for (char c : hostTarget)
        windows += c == '/' ? '\\' : c;
    platform::ShellLink link;
    link.SetPath(windows);
    if (!link.Save(linkPath))
        throw std::runtime_error("cannot write " + linkPath);
}

inline void WriteUrl(const std::string& path, const std::string& url)
{
    testsupport::WriteFile(path, "[InternetShortcut]\r\nURL=" + url + "\r\n");
}

// Runs the event loop until done() holds or the time is up; answers done().
inline bool WaitFor(const std::function<bool()>& done, int timeoutMs = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs)
        QTest::qWait(10);
    return done();
}

} // namespace listtest
