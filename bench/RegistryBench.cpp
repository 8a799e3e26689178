// What the registry costs the program: reading the settings at start-up and writing
// them at shutdown, on a hive of the program's own size and on a large one. Each
// figure is a median over repeated runs, with its ratio to a baseline measured in
// the same run: the file's bytes read alone, and an atomic replace of the file done
// with bare system calls.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "platform/registry/RegFile.h"
#include "platform/registry/Registry.h"

namespace reg = platform::registry;

using bench::MedianMs;
using bench::ReportFigure;

namespace {

const char* const kSettings[] = {"DefAct", "WinTop", "WinLeft", "WinHeight", "WinWidth",
                                 "ColShow", "TreeWidth", "LastDir", "MenuShow", "MenuSave"};

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

// The settings key, its favorites and, for the large hive, many other keys; written
// as one file, as another instance would have left it.
void FillHive(const std::string& dir, int extraKeys)
{
    reg::RegKeyNode root;
    reg::RegKeyNode& settings = root.AddSubKey("Software").AddSubKey("Tarnwick").AddSubKey("Quillmere");
    for (const char* name : kSettings)
        settings.SetValue(name, name == std::string("ColShow") || name == std::string("LastDir")
                                    ? reg::Value::String("abcdefghij")
                                    : reg::Value::Dword(100));
    reg::RegKeyNode& favorites = settings.AddSubKey("Favorites");
    for (int i = 0; i < 20; ++i)
        favorites.SetValue("Fav" + std::to_string(i),
                           reg::Value::String("/home/me/.wine/drive_c/users/me/Favorites/" + std::to_string(i)));
    for (int i = 0; i < extraKeys; ++i)
        root.AddSubKey("Software")
            .AddSubKey("Vendor" + std::to_string(i % 50))
            .AddSubKey("Tool" + std::to_string(i))
            .SetValue("Path", reg::Value::String("C:\\Program Files\\Vendor\\Tool" + std::to_string(i)));
    std::filesystem::create_directories(dir);
    std::FILE* f = std::fopen((dir + "/HKEY_CURRENT_USER.reg").c_str(), "wb");
    const std::string text = reg::FormatRegFile(root, reg::Hive::CurrentUser);
    Check(f && std::fwrite(text.data(), 1, text.size(), f) == text.size() && std::fclose(f) == 0);
}

bool IsString(const char* name) { return name == std::string("ColShow") || name == std::string("LastDir"); }

void WriteSetting(reg::Key& key, const char* name, int n)
{
    Check(IsString(name) ? key.WriteString(name, std::to_string(n)) : key.WriteInteger(name, n));
}

void ReadSettings()
{
    reg::Key key;
    Check(reg::Key::Create(reg::Hive::CurrentUser, "Software\\Tarnwick\\Quillmere", key) == reg::Success);
    std::int32_t number;
    std::string text;
    for (const char* name : kSettings)
        Check(name == std::string("ColShow") || name == std::string("LastDir") ? key.ReadString(name, text)
                                                                               : key.ReadInteger(name, number));
}

void Measure(const std::string& dir, int extraKeys)
{
    setenv("QUILLMERE_REGISTRY_DIR", dir.c_str(), 1);
    FillHive(dir, extraKeys);
    const std::string path = dir + "/HKEY_CURRENT_USER.reg";
    const auto size = std::filesystem::file_size(path);
    std::printf("Hive of %.1f KB\n", static_cast<double>(size) / 1e3);
    std::string bytes(size, '\0');

    const int runs = 31;
    const double readMs = MedianMs(runs, [&] {
        const int fd = ::open(path.c_str(), O_RDONLY);
        Check(fd >= 0 && ::read(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()));
        ::close(fd);
    });
    const double parseMs = MedianMs(runs, [&] {
        reg::RegKeyNode root;
        reg::RegParseError error;
        Check(reg::ParseRegFile(bytes, reg::Hive::CurrentUser, root, error));
    });
    // Just written: the time stamps can't yet tell a change, so each read compares bytes.
    const double recentMs = MedianMs(runs, ReadSettings);
    // Older than the time stamps' slack: a stat per read is enough.
    const timespec old[2] = {{std::time(nullptr) - 60, 0}, {std::time(nullptr) - 60, 0}};
    Check(::utimensat(AT_FDCWD, path.c_str(), old, 0) == 0);
    ReadSettings(); // confirms the bytes once more with the old time stamp
    const double settledMs = MedianMs(runs, ReadSettings);
    std::printf(" Start-up: open the key and read its 10 values (baseline: read the file's bytes once)\n");
    ReportFigure("read the bytes", readMs, readMs);
    ReportFigure("parse the file", parseMs, readMs);
    ReportFigure("read the settings, file just written", recentMs, readMs);
    ReportFigure("read the settings, file older than 3 s", settledMs, readMs);

    // The floor of one durable change: write a temporary file, sync, rename, sync the folder.
    const std::string temp = dir + "/bare.tmp", target = dir + "/bare.reg";
    const double bareMs = MedianMs(runs, [&] {
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        Check(fd >= 0 && ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) &&
              ::fsync(fd) == 0 && ::rename(temp.c_str(), target.c_str()) == 0);
        ::close(fd);
        const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
        ::fsync(dfd);
        ::close(dfd);
    });
    reg::Key key;
    Check(reg::Key::Open(reg::Hive::CurrentUser, "Software\\Tarnwick\\Quillmere", key) == reg::Success);
    int n = 0;
    const double setMs = MedianMs(runs, [&] { Check(key.WriteInteger("WinTop", ++n)); });
    const double sameMs = MedianMs(runs, [&] { Check(key.WriteInteger("WinTop", n)); });
    const double shutdownMs = MedianMs(9, [&] {
        ++n;
        for (const char* name : kSettings)
            WriteSetting(key, name, n);
    });
    const double batchMs = MedianMs(9, [&] {
        ++n;
        reg::Batch batch(reg::Hive::CurrentUser);
        for (const char* name : kSettings)
            WriteSetting(key, name, n);
        Check(batch.Commit() == reg::Success);
    });
    std::printf(" Changes (baseline: replace the file atomically with bare system calls)\n");
    ReportFigure("bare atomic replace", bareMs, bareMs);
    ReportFigure("set one value", setMs, bareMs);
    ReportFigure("set one value to what it holds (nothing written)", sameMs, bareMs);
    ReportFigure("shutdown: set the 10 settings", shutdownMs, bareMs);
    ReportFigure("shutdown: set the 10 settings in one batch", batchMs, bareMs);
}

} // namespace

int main()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/qmbench-XXXXXX";
    if (!::mkdtemp(templ.data()))
        return 1;
    const std::string dir = templ;
    Measure(dir + "/small", 0);
    Measure(dir + "/large", 2000);
    std::filesystem::remove_all(dir);
    return 0;
}
