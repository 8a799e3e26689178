#pragma once
// Shared by the entry and the tests of the file-manager suite.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace interop {
// Why the suite cannot run here (a tool missing, no X server); empty when it can.
extern std::string skipReason;

// A command in a process group of its own, ended with the whole group.
class Spawned {
public:
    explicit Spawned(std::vector<std::string> argv)
    {
        pid_ = ::fork();
        if (pid_ == 0) {
            ::setpgid(0, 0);
            std::vector<char*> args;
            for (std::string& a : argv)
                args.push_back(a.data());
            args.push_back(nullptr);
            ::execvp(args[0], args.data());
            ::_exit(127);
        }
        ::setpgid(pid_, pid_);
    }
    ~Spawned()
    {
        ::kill(-pid_, SIGTERM);
        ::usleep(300 * 1000);
        ::kill(-pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    Spawned(const Spawned&) = delete;
    Spawned& operator=(const Spawned&) = delete;

private:
    pid_t pid_ = 0;
};
} // namespace interop
