#include "platform/util/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <memory>

#include "platform/shell/FsAccess.h"

namespace platform {
namespace {

using shell::fs::UniqueFd;

int WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t w = ::write(fd, bytes.data(), bytes.size());
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return w < 0 ? errno : EIO;
        bytes.remove_prefix(static_cast<std::size_t>(w));
    }
    return 0;
}

} // namespace

int ReadSmallFile(const std::string& path, std::size_t limit, std::string& out)
{
    out.clear();
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd)
        return errno;
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0)
        return errno;
    if (S_ISDIR(st.st_mode))
        return EISDIR;
    if (!S_ISREG(st.st_mode))
        return EINVAL;
    if (static_cast<std::size_t>(st.st_size) > limit)
        return EFBIG;
    out.resize(static_cast<std::size_t>(st.st_size) + 1);
    std::size_t got = 0;
    for (;;) {
        if (got == out.size()) {
            if (out.size() > limit)
                return EFBIG; // it grew while we read
            out.resize(std::min(out.size() * 2, limit + 1));
        }
        const ssize_t r = ::read(fd.Get(), out.data() + got, out.size() - got);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            return errno;
        if (r == 0)
            break;
        got += static_cast<std::size_t>(r);
    }
    if (got > limit)
        return EFBIG;
    out.resize(got);
    return 0;
}

int WriteFileAtomically(const std::string& path, std::string_view bytes, WriteMode mode)
{
    if (path.empty())
        return ENOENT;
    struct stat existing {};
    const bool exists = ::lstat(path.c_str(), &existing) == 0;
    if (mode == WriteMode::CreateNew && exists)
        return EEXIST;
    std::string destination = path;
    if (exists) {
        // Renaming over a symbolic link would replace the link with a copy and leave
        // the file it leads to unchanged.
        std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
        if (!real)
            return errno;
        destination = real.get();
        if (::stat(destination.c_str(), &existing) != 0)
            return errno;
        if (S_ISDIR(existing.st_mode))
            return EISDIR;
        if (!S_ISREG(existing.st_mode))
            return EINVAL;
    }
    const std::size_t slash = destination.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : destination.substr(0, slash));
    const std::string name = slash == std::string::npos ? destination : destination.substr(slash + 1);
    if (name.empty() || name == "." || name == "..")
        return EINVAL;

    static std::atomic<unsigned> counter{0};
    std::string tempName;
    UniqueFd fd;
    for (int attempt = 0; attempt < 100 && !fd; ++attempt) {
        const auto tick = std::chrono::steady_clock::now().time_since_epoch().count();
        tempName = "." + name + "." + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
                   std::to_string(static_cast<unsigned long long>(tick) % 100000) + ".tmp";
        fd = UniqueFd(::open(shell::fs::JoinPath(folder, tempName).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (!fd && errno != EEXIST)
            return errno;
    }
    if (!fd)
        return EEXIST;
    const std::string temp = shell::fs::JoinPath(folder, tempName);
    int error = 0;
    if (exists && ::fchmod(fd.Get(), existing.st_mode & 07777) != 0)
        error = errno;
    if (!error)
        error = WriteAll(fd.Get(), bytes);
    if (!error && ::fsync(fd.Get()) != 0)
        error = errno;
    if (::close(fd.Release()) != 0 && !error)
        error = errno;
    if (!error) {
        if (mode == WriteMode::CreateNew)
            error = shell::fs::RenameNoReplace(folder, tempName, name);
        else if (::rename(temp.c_str(), destination.c_str()) != 0)
            error = errno;
    }
    if (error) {
        ::unlink(temp.c_str());
        return error;
    }
    if (UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)); dir)
        ::fsync(dir.Get());
    return 0;
}

} // namespace platform
