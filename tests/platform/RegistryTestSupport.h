#pragma once
// Shared by the registry tests: a fixture whose hives live in a fresh folder, and a
// way to run part of a test in another process.
#include <gtest/gtest.h>

#include "platform/registry/RegFile.h"
#include "platform/registry/Registry.h"
#include "tests/support/TestSupport.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>

namespace registrytest {

using namespace platform::registry;

// Every write syncs the hive file and its folder, which on a busy disk makes the tests
// that write hundreds of times crawl. They test the lock and rename protocol, which
// is the same on every file system, so their hives live on tmpfs when there is one.
inline std::string FastTempRoot()
{
    struct stat st{};
    if (::stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) && ::access("/dev/shm", W_OK | X_OK) == 0)
        return "/dev/shm";
    const char* tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

class RegistryTest : public ::testing::Test {
protected:
    std::string HivePath(Hive hive = Hive::CurrentUser) const { return temp_ / (HiveName(hive) + ".reg"); }

    // The hive as the file holds it, read without the process's cache.
    RegKeyNode ParseHive(Hive hive = Hive::CurrentUser) const
    {
        RegKeyNode root;
        RegParseError error;
        EXPECT_TRUE(ParseRegFile(testsupport::ReadFile(HivePath(hive)), hive, root, error))
            << "line " << error.line << ": " << error.reason;
        return root;
    }

    testsupport::ScopedEnv tempRoot_{"TMPDIR", FastTempRoot()};
    testsupport::TempDir temp_;
    testsupport::ScopedEnv registryDir_{"QUILLMERE_REGISTRY_DIR", temp_.Path()};
};

// Runs body in a child process and returns what it reported: "" when all went well.
// With asNobody, a child running as root first becomes the user "nobody", so that
// file permissions hold for it.
inline std::string InChild(const std::function<std::string()>& body, bool asNobody = false)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return "pipe failed";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        std::string report;
        if (asNobody && ::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            report = "could not become nobody";
        if (report.empty())
            report = body();
        if (!report.empty() && ::write(fds[1], report.data(), report.size()) < 0)
            ::_exit(2);
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string report;
    char buf[512];
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;)
        report.append(buf, static_cast<std::size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        report += " (the child process failed)";
    return report;
}

inline Value MakeValue(std::uint32_t type, std::string_view bytes)
{
    return Value{type, std::vector<std::uint8_t>(bytes.begin(), bytes.end())};
}

} // namespace registrytest
