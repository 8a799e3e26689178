#include "tests/support/TestSupport.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace testsupport {

TempDir::TempDir()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/qmtest-XXXXXX";
    if (!mkdtemp(templ.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = templ;
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Make everything writable first, so folders a test made unreadable go too.
    for (auto it = std::filesystem::recursive_directory_iterator(
             path_, std::filesystem::directory_options::skip_permission_denied, ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            ::chmod(it->path().c_str(), 0700);
    }
    ::chmod(path_.c_str(), 0700);
    std::filesystem::remove_all(path_, ec);
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name)
{
    if (const char* v = std::getenv(name)) {
        had_ = true;
        old_ = v;
    }
    setenv(name, value.c_str(), 1);
}

ScopedEnv::ScopedEnv(const char* name, std::nullptr_t) : name_(name)
{
    if (const char* v = std::getenv(name)) {
        had_ = true;
        old_ = v;
    }
    unsetenv(name);
}

ScopedEnv::~ScopedEnv()
{
    if (had_)
        setenv(name_.c_str(), old_.c_str(), 1);
    else
        unsetenv(name_.c_str());
}

void WriteFile(const std::string& path, std::string_view bytes)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    if (!f)
        throw std::runtime_error("cannot write " + path);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

void MakeDirs(const std::string& path) { std::filesystem::create_directories(path); }

std::string CorpusDir()
{
    const std::string dir = std::string(QM_SHARED_DIR) + "/corpus";
    struct stat st;
    if (::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return dir;
    return {};
}

namespace {

std::string Drain(int fd)
{
    std::string out;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0)
            out.append(buf, static_cast<size_t>(n));
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break;
    }
    return out;
}

} // namespace

RunResult RunProgram(const std::vector<std::string>& args, const std::vector<std::string>& env)
{
    return RunProgramAt(QM_BINARY, args, env);
}

RunResult RunProgramAt(const std::string& program, const std::vector<std::string>& args,
                       const std::vector<std::string>& env)
{
    TempDir scratch;
    const std::string outPath = scratch / "out", errPath = scratch / "err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);

    std::vector<std::string> argStore;
    argStore.push_back(program);
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argStore)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    std::vector<std::string> envStore;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string key = entry.substr(0, entry.find('='));
        bool overridden = false;
        for (const auto& o : env)
            if (o.substr(0, o.find('=')) == key)
                overridden = true;
        if (!overridden)
            envStore.push_back(entry);
    }
    for (const auto& o : env)
        if (o.find('=') != std::string::npos)
            envStore.push_back(o); // "NAME" alone unsets NAME
    std::vector<char*> envp;
    for (auto& e : envStore)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    RunResult result;
    pid_t pid;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return result;
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    int fd = ::open(outPath.c_str(), O_RDONLY);
    if (fd >= 0) {
        result.out = Drain(fd);
        ::close(fd);
    }
    fd = ::open(errPath.c_str(), O_RDONLY);
    if (fd >= 0) {
        result.err = Drain(fd);
        ::close(fd);
    }
    return result;
}

} // namespace testsupport
