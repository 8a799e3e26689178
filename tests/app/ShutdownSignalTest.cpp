// The program ended by SIGTERM, SIGINT or SIGHUP (a logout, a kill, Ctrl+C in a
// terminal, the terminal it was started from closing)
// shuts down the normal way: its settings are written before it exits, the folder
// it was started on among them.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QTest>
#include <gtest/gtest.h>

#include "app/Unit1.h"
#include "platform/registry/Registry.h"
#include "tests/shortcuts_gui/ListTestFolder.h"

extern char** environ;

using platform::registry::Hive;
using platform::registry::Key;

namespace {

// Starts the program with arguments (a folder) in a private environment and in its
// folder; answers its pid.
pid_t StartProgram(const listtest::PrivateEnvironment& env, std::vector<std::string> args)
{
    std::vector<std::string> envStore;
    for (char** e = environ; *e; ++e)
        envStore.emplace_back(*e);
    envStore.push_back("QT_QPA_PLATFORM=offscreen");
    std::vector<char*> envp;
    for (auto& e : envStore)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string program = QM_BINARY;
    std::vector<char*> argv = {program.data()};
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, env.Path().c_str());
    posix_spawn_file_actions_addopen(&actions, 2, (env / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    // A runner started with nohup must not pass its ignored SIGHUP on.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGHUP);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    posix_spawn(&pid, argv[0], &actions, &attr, argv.data(), envp.data());
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

int WaitExit(pid_t pid, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    int status = 0;
    while (timer.elapsed() < timeoutMs) {
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        QTest::qWait(20);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return -1;
}

class ShutdownSignalTest : public ::testing::TestWithParam<int> {};

TEST_P(ShutdownSignalTest, SettingsAreWrittenAndTheExitIsClean)
{
    listtest::PrivateEnvironment env;
    // Named like one of the toolkit's options, which the toolkit would take off the
    // command line: after "--" it is a folder all the same.
    testsupport::MakeDirs(env / "-reverse");
    const pid_t pid = StartProgram(env, {"--", "-reverse"});
    ASSERT_GT(pid, 0);
    // The window reads its settings, creating their key, after the signals are caught:
    // from then on a signal must end the program the normal way, even mid start-up.
    ASSERT_TRUE(listtest::WaitFor(
        [&] {
            Key key;
            return Key::Open(Hive::CurrentUser, kSettingsKey, key) == platform::registry::Success;
        },
        20000));
    ASSERT_EQ(::kill(pid, GetParam()), 0);
    EXPECT_EQ(WaitExit(pid, 20000), 0) << testsupport::ReadFile(env / "stderr");
    Key key;
    ASSERT_EQ(Key::Open(Hive::CurrentUser, kSettingsKey, key), platform::registry::Success);
    std::string lastDir;
    EXPECT_TRUE(key.ReadString("LastDir", lastDir));
    EXPECT_EQ(lastDir, env / "-reverse");
    EXPECT_TRUE(key.ValueExists("WinWidth"));
    EXPECT_TRUE(key.ValueExists("MenuShow"));
}

INSTANTIATE_TEST_SUITE_P(Signals, ShutdownSignalTest, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const auto& info) {
                             return std::string(info.param == SIGTERM ? "SIGTERM" : info.param == SIGINT ? "SIGINT" : "SIGHUP");
                         });

} // namespace
