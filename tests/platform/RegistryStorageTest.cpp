// The hive files under concurrent writers, crashes, damage and missing permissions.
#include "tests/platform/RegistryTestSupport.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <random>
#include <set>
#include <thread>

using namespace registrytest;
using testsupport::ReadFile;
using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

using RegistryStorage = RegistryTest;

// A process under the address sanitizer forks slowly; fewer rounds still cover
// every path of a write there.
#ifdef __SANITIZE_ADDRESS__
constexpr int kKillRounds = 100;
#else
constexpr int kKillRounds = 250;
#endif

std::vector<std::string> FilesIn(const std::string& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

const RegKeyNode* FindPath(const RegKeyNode& root, std::initializer_list<std::string_view> names)
{
    const RegKeyNode* node = &root;
    for (const std::string_view name : names) {
        if (!(node = node->FindSubKey(FoldName(name))))
            return nullptr;
    }
    return node;
}

// A value that tells by itself whether it is whole: n repeated, of a length that
// changes with n, so a torn or mixed file can't pass for a complete one.
Value Pattern(std::uint32_t n)
{
    Value value{RegBinary, {}};
    const std::size_t words = 100 + (n % 5) * 250;
    for (std::size_t i = 0; i < words; ++i)
        for (int b = 0; b < 4; ++b)
            value.data.push_back(static_cast<std::uint8_t>(n >> (8 * b)));
    return value;
}

bool PatternNumber(const Value& value, std::uint32_t& n)
{
    if (value.type != RegBinary || value.data.size() < 4)
        return false;
    n = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) | (std::uint32_t(value.data[3]) << 24);
    return value == Pattern(n);
}

TEST_F(RegistryStorage, TwoProcessesWritingAtOnceLoseNothing)
{
    constexpr int kPerProcess = 500;
    int start[2];
    ASSERT_EQ(::pipe(start), 0);
    pid_t children[2];
    for (int id = 0; id < 2; ++id) {
        children[id] = ::fork();
        ASSERT_GE(children[id], 0);
        if (children[id] == 0) {
            char go;
            Key key;
            if (::read(start[0], &go, 1) != 1 || Key::Create(Hive::CurrentUser, "Software\\Race", key) != Success)
                ::_exit(2);
            for (int n = 0; n < kPerProcess; ++n) {
                if (!key.WriteInteger("p" + std::to_string(id) + "_" + std::to_string(n), id * 1000 + n))
                    ::_exit(3);
            }
            ::_exit(0);
        }
    }
    // Both children are waiting: let them go at the same moment.
    ASSERT_EQ(::write(start[1], "gg", 2), 2);
    for (const pid_t pid : children) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a writer failed: " << status;
    }
    ::close(start[0]);
    ::close(start[1]);

    const RegKeyNode root = ParseHive();
    const RegKeyNode* race = FindPath(root, {"Software", "Race"});
    ASSERT_NE(race, nullptr);
    EXPECT_EQ(race->values.size(), 2u * kPerProcess);
    Key key;
    ASSERT_EQ(Key::Open(Hive::CurrentUser, "Software\\Race", key), Success);
    for (int id = 0; id < 2; ++id) {
        for (int n = 0; n < kPerProcess; ++n) {
            std::int32_t number = -1;
            EXPECT_TRUE(key.ReadInteger("p" + std::to_string(id) + "_" + std::to_string(n), number));
            EXPECT_EQ(number, id * 1000 + n);
        }
    }
}

TEST_F(RegistryStorage, AWriterKilledAtAnyMomentLeavesTheOldOrTheNewState)
{
    // Kill within a few writes' time, however fast writes are in this build.
    std::chrono::microseconds window;
    {
        Key key;
        ASSERT_EQ(Key::Create(Hive::CurrentUser, "Crash", key), Success);
        const auto before = std::chrono::steady_clock::now();
        for (std::uint32_t n = 5; n > 0; --n)
            ASSERT_EQ(key.SetValue("Blob", Pattern(n - 1)), Success);
        const auto took = std::chrono::steady_clock::now() - before;
        window = std::max(std::chrono::microseconds(500), std::chrono::duration_cast<std::chrono::microseconds>(took));
    }
    std::mt19937 random(12345);
    std::uint32_t last = 0;
    int interrupted = 0;
    for (int round = 0; round < kKillRounds; ++round) {
        int started[2];
        ASSERT_EQ(::pipe(started), 0);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            Key key;
            Value value;
            std::uint32_t n = 0;
            if (Key::Open(Hive::CurrentUser, "Crash", key) != Success || key.QueryValue("Blob", value) != Success ||
                !PatternNumber(value, n) || ::write(started[1], "s", 1) != 1)
                ::_exit(3);
            for (;;)
                key.SetValue("Blob", Pattern(++n));
        }
        char signal;
        ASSERT_EQ(::read(started[0], &signal, 1), 1);
        ::close(started[0]);
        ::close(started[1]);
        std::this_thread::sleep_for(std::chrono::microseconds(random() % window.count()));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself in round " << round;

        const RegKeyNode root = ParseHive();
        const RegKeyNode* crash = root.FindSubKey(FoldName("Crash"));
        ASSERT_NE(crash, nullptr) << "round " << round;
        const RegValueEntry* blob = crash->FindValue(FoldName("Blob"));
        ASSERT_NE(blob, nullptr) << "round " << round;
        std::uint32_t n = 0;
        ASSERT_TRUE(PatternNumber(blob->value, n)) << "round " << round;
        ASSERT_GE(n, last) << "a completed write was lost in round " << round;
        interrupted += n > last;
        last = n;
    }
    // The kills must have landed while writes were going on, not only before them.
    EXPECT_GT(interrupted, kKillRounds / 10);
    for (const std::string& name : FilesIn(temp_.Path()))
        EXPECT_TRUE(name.starts_with("HKEY_CURRENT_USER.reg")) << name;
}

TEST_F(RegistryStorage, AReaderSeesEveryWriteAnotherProcessCompletes)
{
    using namespace std::string_literals;
    Key key;
    ASSERT_EQ(Key::Create(Hive::CurrentUser, "Fresh", key), Success);
    ASSERT_TRUE(key.WriteString("v", "0000"));
    for (int round = 1; round <= 30; ++round) {
        char expected[8];
        std::snprintf(expected, sizeof expected, "%04d", round);
        std::string text;
        ASSERT_TRUE(key.ReadString("v", text)); // fills the cache before the other process writes
        // Two writes of the same size in a row: the second file may get the inode
        // number, size and time stamp the reader saw before the first.
        const std::string report = InChild([&] {
            Key other;
            if (Key::Open(Hive::CurrentUser, "Fresh", other) != Success || !other.WriteString("v", "xxxx") ||
                !other.WriteString("v", expected))
                return std::string("write failed");
            return std::string();
        });
        ASSERT_EQ(report, "");
        ASSERT_TRUE(key.ReadString("v", text));
        ASSERT_EQ(text, expected) << "round " << round;
    }

    // Someone editing the file in place: same inode, same size, and most likely the
    // same clock tick for its time stamps as the state the reader has cached.
    for (int round = 0; round < 50; ++round) {
        char expected[8];
        std::snprintf(expected, sizeof expected, "%04d", round);
        WriteFile(HivePath(), "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Fresh]\n\"v\"=\""s +
                                  expected + "\"\n");
        std::string text;
        ASSERT_TRUE(key.ReadString("v", text));
        ASSERT_EQ(text, expected) << "edit " << round;
    }
}

TEST_F(RegistryStorage, ADamagedHiveIsKeptAsideAndTheHiveStartsEmpty)
{
    using namespace std::string_literals;
    const std::string damaged =
        "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\A]\n\"x\"=dword:zz\n\xFF\x00junk"s;
    WriteFile(HivePath(), damaged);

    testing::internal::CaptureStderr();
    Key key;
    EXPECT_EQ(Key::Open(Hive::CurrentUser, "A", key), NotFound);
    EXPECT_EQ(Key::Open(Hive::CurrentUser, "A", key), NotFound); // told once, not at every read
    const std::string message = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << message;
    EXPECT_NE(message.find(HivePath()), std::string::npos) << message;
    EXPECT_NE(message.find("line 4"), std::string::npos) << message;
    EXPECT_NE(message.find("moved it aside"), std::string::npos) << message;

    const std::vector<std::string> files = FilesIn(temp_.Path());
    ASSERT_EQ(files.size(), 2u) << ::testing::PrintToString(files); // the lock file and the damaged one
    const std::string aside = files[0];
    EXPECT_TRUE(aside.starts_with("HKEY_CURRENT_USER.reg.corrupt-")) << aside;
    EXPECT_EQ(ReadFile(temp_ / aside), damaged);
    EXPECT_NE(message.find(temp_ / aside), std::string::npos) << message;

    // The hive works again; a second damage is put beside the others, not over them.
    // The names it could take in the next minutes are in use already, so it has to
    // step past one whatever second it falls in.
    ASSERT_EQ(Key::Create(Hive::CurrentUser, "A", key), Success);
    ASSERT_TRUE(key.WriteInteger("x", 1));
    std::set<std::string> taken;
    const std::time_t now = std::time(nullptr);
    for (std::time_t t = now - 1; t < now + 300; ++t) {
        char stamp[32];
        std::tm local{};
        ASSERT_TRUE(::localtime_r(&t, &local));
        std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
        const std::string name = "HKEY_CURRENT_USER.reg.corrupt-"s + stamp;
        if (name != aside && taken.insert(name).second)
            WriteFile(temp_ / name, "in use");
    }
    WriteFile(HivePath(), "not a registry file");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(key.KeyExists());
    const std::string second = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(second.begin(), second.end(), '\n'), 1) << second;
    int newAside = 0;
    for (const std::string& name : FilesIn(temp_.Path())) {
        if (name == aside) {
            EXPECT_EQ(ReadFile(temp_ / name), damaged);
        } else if (taken.count(name)) {
            EXPECT_EQ(ReadFile(temp_ / name), "in use") << name;
        } else if (name.starts_with("HKEY_CURRENT_USER.reg.corrupt-")) {
            EXPECT_EQ(ReadFile(temp_ / name), "not a registry file");
            EXPECT_NE(second.find(temp_ / name), std::string::npos) << second;
            ++newAside;
        }
    }
    EXPECT_EQ(newAside, 1);
}

TEST_F(RegistryStorage, AMissingFolderIsMadeAndTheLockFileIsNeverReplaced)
{
    const std::string dir = temp_ / "deeper/still/registry";
    ScopedEnv env("QUILLMERE_REGISTRY_DIR", dir);
    Key key;
    ASSERT_EQ(Key::Open(Hive::Users, "", key), Success);
    EXPECT_EQ(key.DeleteValue("nothing"), NotFound);
    EXPECT_FALSE(std::filesystem::exists(temp_ / "deeper")); // nothing written, nothing made
    ASSERT_EQ(Key::Create(Hive::Users, ".DEFAULT\\Software", key), Success);
    struct stat lockBefore{}, hiveBefore{}, lockAfter{}, hiveAfter{};
    ASSERT_EQ(::stat((dir + "/HKEY_USERS.reg.lock").c_str(), &lockBefore), 0);
    ASSERT_EQ(::stat((dir + "/HKEY_USERS.reg").c_str(), &hiveBefore), 0);
    ASSERT_TRUE(key.WriteInteger("n", 1));
    ASSERT_EQ(::stat((dir + "/HKEY_USERS.reg.lock").c_str(), &lockAfter), 0);
    ASSERT_EQ(::stat((dir + "/HKEY_USERS.reg").c_str(), &hiveAfter), 0);
    EXPECT_EQ(lockBefore.st_ino, lockAfter.st_ino);
    EXPECT_NE(hiveBefore.st_ino, hiveAfter.st_ino); // replaced whole, never rewritten in place
    EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"HKEY_USERS.reg", "HKEY_USERS.reg.lock"}));
}

TEST_F(RegistryStorage, WhatCannotBeWrittenGivesAccessDeniedAndChangesNothing)
{
    // A folder that can't be made.
    WriteFile(temp_ / "file", "");
    {
        ScopedEnv env("QUILLMERE_REGISTRY_DIR", temp_ / "file/registry");
        Key key;
        EXPECT_EQ(Key::Create(Hive::CurrentUser, "A", key), AccessDenied);
        ASSERT_EQ(Key::Open(Hive::CurrentUser, "", key), Success);
        EXPECT_EQ(key.SetValue("v", Value::Dword(1)), AccessDenied);
    }
    // A hive "file" that is a folder.
    std::filesystem::create_directory(temp_ / "HKEY_CLASSES_ROOT.reg");
    Key key;
    EXPECT_EQ(Key::Create(Hive::ClassesRoot, "A", key), AccessDenied);
    EXPECT_EQ(Key::Open(Hive::ClassesRoot, "", key), AccessDenied);

    // A folder and a hive file the user may not write.
    const std::string dir = temp_ / "readonly";
    std::filesystem::create_directory(dir);
    ASSERT_EQ(Key::Create(Hive::CurrentUser, "A", key), Success);
    ASSERT_TRUE(key.WriteInteger("v", 1));
    std::filesystem::copy_file(HivePath(), dir + "/HKEY_CURRENT_USER.reg");
    WriteFile(dir + "/HKEY_LOCAL_MACHINE.reg", "damaged");
    const std::string before = ReadFile(dir + "/HKEY_CURRENT_USER.reg");
    ::chmod(temp_.Path().c_str(), 0755);
    ::chmod((dir + "/HKEY_CURRENT_USER.reg").c_str(), 0444);
    ::chmod((dir + "/HKEY_LOCAL_MACHINE.reg").c_str(), 0444);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(dir.c_str(), 65534, 65534), 0);
    }
    const std::string report = InChild(
        [&] {
            ::chmod(dir.c_str(), 0555);
            ScopedEnv env("QUILLMERE_REGISTRY_DIR", dir);
            Key child;
            std::int32_t v = 0;
            if (Key::Open(Hive::CurrentUser, "A", child) != Success || !child.ReadInteger("v", v) || v != 1)
                return std::string("cannot read a read-only hive");
            if (child.SetValue("v", Value::Dword(2)) != AccessDenied)
                return std::string("a change to a read-only hive did not fail");
            if (Key::Create(Hive::Users, "B", child) != AccessDenied)
                return std::string("a new hive appeared in a read-only folder");
            testing::internal::CaptureStderr();
            const Result damaged = Key::Open(Hive::LocalMachine, "", child);
            const std::string message = testing::internal::GetCapturedStderr();
            if (damaged != Success || message.find("could not be moved aside") == std::string::npos)
                return "a damaged hive that can't be moved aside: " + message;
            if (child.SetValue("v", Value::Dword(2)) != AccessDenied)
                return std::string("a damaged hive that can't be moved aside was overwritten");
            return std::string();
        },
        true);
    EXPECT_EQ(report, "");
    EXPECT_EQ(ReadFile(dir + "/HKEY_CURRENT_USER.reg"), before);
    EXPECT_EQ(ReadFile(dir + "/HKEY_LOCAL_MACHINE.reg"), "damaged");
    EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"HKEY_CURRENT_USER.reg", "HKEY_LOCAL_MACHINE.reg"}));
}

TEST_F(RegistryStorage, ABatchHoldsTheLockAndWritesAllItsChangesOnce)
{
    Key key, favorites;
    ASSERT_EQ(Key::Create(Hive::CurrentUser, "Software\\Tarnwick\\Quillmere\\Favorites", favorites), Success);
    ASSERT_TRUE(favorites.WriteString("old", "/old"));
    ASSERT_EQ(Key::Open(Hive::CurrentUser, "Software\\Tarnwick\\Quillmere", key), Success);
    const std::string before = ReadFile(HivePath());
    auto lockIsFree = [&] {
        const int fd = ::open((HivePath() + ".lock").c_str(), O_RDONLY);
        const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        ::close(fd);
        return free;
    };
    {
        Batch batch(Hive::CurrentUser);
        EXPECT_TRUE(lockIsFree()); // reading takes no lock, and nothing changed yet
        std::int32_t number = 0;
        EXPECT_FALSE(key.ReadInteger("WinTop", number));
        for (const char* name : {"WinTop", "WinLeft", "WinHeight", "WinWidth", "TreeWidth"})
            EXPECT_TRUE(key.WriteInteger(name, 7));
        EXPECT_EQ(key.DeleteSubKey("Favorites"), Success);
        ASSERT_EQ(key.CreateSubKey("Favorites", favorites), Success);
        EXPECT_TRUE(favorites.WriteString("new", "/new"));
        EXPECT_EQ(key.DeleteValue("missing"), NotFound);
        {
            Batch nested(Hive::CurrentUser);
            EXPECT_TRUE(key.WriteBool("MenuShow", true));
        }
        // This thread sees its changes; the file, and so every other process, not yet.
        EXPECT_TRUE(key.ReadInteger("WinTop", number));
        EXPECT_EQ(number, 7);
        EXPECT_FALSE(favorites.ValueExists("old"));
        EXPECT_EQ(ReadFile(HivePath()), before);
        EXPECT_FALSE(lockIsFree());
        EXPECT_EQ(batch.Commit(), Success);
        EXPECT_TRUE(lockIsFree());
    }
    const RegKeyNode root = ParseHive();
    const RegKeyNode* settings = FindPath(root, {"Software", "Tarnwick", "Quillmere"});
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(settings->values.size(), 6u);
    ASSERT_EQ(settings->subkeys.size(), 1u);
    ASSERT_EQ(settings->subkeys[0].values.size(), 1u);
    EXPECT_EQ(settings->subkeys[0].values[0].name, "new");

    // A batch on one thread, and single changes on another thread and in another
    // process, wait for each other in turn, and nothing is lost.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        Key mine;
        if (Key::Open(Hive::CurrentUser, "Software\\Tarnwick\\Quillmere", mine) != Success)
            ::_exit(2);
        for (int i = 0; i < 200; ++i) {
            if (!mine.WriteInteger("process" + std::to_string(i), i))
                ::_exit(3);
        }
        ::_exit(0);
    }
    std::thread single([&] {
        Key mine;
        ASSERT_EQ(Key::Open(Hive::CurrentUser, "Software\\Tarnwick\\Quillmere", mine), Success);
        for (int i = 0; i < 200; ++i)
            ASSERT_TRUE(mine.WriteInteger("single" + std::to_string(i), i));
    });
    for (int i = 0; i < 100; ++i) {
        Batch batch(Hive::CurrentUser);
        ASSERT_TRUE(key.WriteInteger("batch" + std::to_string(i), i));
        ASSERT_TRUE(key.WriteInteger("batch" + std::to_string(i) + "b", i));
    }
    single.join();
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const RegKeyNode after = ParseHive();
    settings = FindPath(after, {"Software", "Tarnwick", "Quillmere"});
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(settings->values.size(), 6u + 200 + 200 + 200);

    // Where the hive can't be written, the batch's first change says so.
    WriteFile(temp_ / "file", "");
    ScopedEnv env("QUILLMERE_REGISTRY_DIR", temp_ / "file/registry");
    Batch batch(Hive::CurrentUser);
    ASSERT_EQ(Key::Open(Hive::CurrentUser, "", key), Success);
    EXPECT_EQ(key.SetValue("v", Value::Dword(1)), AccessDenied);
    EXPECT_EQ(batch.Commit(), Success);
}

TEST(RegistryPlaces, TheFolderFollowsTheEnvironment)
{
    ScopedEnv home("HOME", "/home/someone");
    ScopedEnv config("XDG_CONFIG_HOME", "/cfg");
    {
        ScopedEnv dir("QUILLMERE_REGISTRY_DIR", "/explicit/dir");
        EXPECT_EQ(RegistryDir(), "/explicit/dir");
    }
    ScopedEnv dir("QUILLMERE_REGISTRY_DIR", nullptr);
    EXPECT_EQ(RegistryDir(), "/cfg/quillmere/registry");
    ScopedEnv relative("XDG_CONFIG_HOME", "relative");
    EXPECT_EQ(RegistryDir(), "/home/someone/.config/quillmere/registry");
    ScopedEnv unset("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(RegistryDir(), "/home/someone/.config/quillmere/registry");
}

} // namespace
