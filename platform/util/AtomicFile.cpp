#include "platform/util/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>

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

PendingFile::~PendingFile()
{
    fd_.Close();
    if (!temp_.empty())
        ::unlinkat(dir_, temp_.c_str(), 0);
}

int PendingFile::Create(int dirFd, std::string_view name, mode_t mode, std::string_view fixedTemp)
{
    dir_ = dirFd;
    fixedTemp_ = fixedTemp;
    // An unnamed file is named through /proc: linkat's AT_EMPTY_PATH would need a
    // privilege the user does not have.
    static const bool haveProc = ::access("/proc/self/fd", F_OK) == 0;
    if (haveProc) {
        fd_ = UniqueFd(::openat(dirFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
        if (fd_)
            return 0;
        // The file system (or, with EISDIR, the kernel) has no unnamed files.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            return errno;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string temp = TempName(name);
        fd_ = UniqueFd(::openat(dirFd, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
        if (fd_) {
            temp_ = temp;
            return 0;
        }
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

std::string PendingFile::TempName(std::string_view name) const
{
    if (!fixedTemp_.empty()) {
        ::unlinkat(dir_, fixedTemp_.c_str(), 0); // left by a writer that was killed
        return fixedTemp_;
    }
    thread_local std::mt19937 random{std::random_device{}()};
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%08x.tmp", static_cast<unsigned>(random()));
    // Short enough for any file system, and still telling whose it is.
    return "." + std::string(name.substr(0, 200)) + suffix;
}

int PendingFile::LinkUnder(const std::string& name)
{
    if (!fd_)
        return EBADF;
    char self[40];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd_.Get());
    return ::linkat(AT_FDCWD, self, dir_, name.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
}

int PendingFile::LinkAs(const std::string& name)
{
    if (!temp_.empty()) {
        if (const int e = fd_.Close())
            return e;
        if (const int e = shell::fs::RenameNoReplace(dir_, temp_, dir_, name))
            return e;
        temp_.clear();
        return 0;
    }
    if (const int e = LinkUnder(name))
        return e;
    struct stat linked {};
    const bool known = ::fstat(fd_.Get(), &linked) == 0;
    const int e = fd_.Close();
    if (e != 0) { // the file may be incomplete: the name goes again, if it is still ours
        struct stat named {};
        if (known && ::fstatat(dir_, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            named.st_dev == linked.st_dev && named.st_ino == linked.st_ino)
            ::unlinkat(dir_, name.c_str(), 0);
    }
    return e;
}

int PendingFile::ReplaceAs(const std::string& name)
{
    for (int attempt = 0; temp_.empty(); ++attempt) {
        const std::string temp = TempName(name);
        const int e = LinkUnder(temp);
        if (e == 0)
            temp_ = temp;
        else if (e != EEXIST || attempt == 100)
            return e;
    }
    if (const int e = fd_.Close())
        return e;
    if (::renameat(dir_, temp_.c_str(), dir_, name.c_str()) != 0)
        return errno;
    temp_.clear();
    return 0;
}

int WriteFileAtomically(const std::string& path, std::string_view bytes, WriteMode mode, mode_t newFileMode)
{
    if (path.empty())
        return ENOENT;
    struct stat existing {};
    const bool exists = ::lstat(path.c_str(), &existing) == 0;
    if (mode == WriteMode::CreateNew && exists)
        return EEXIST;
    std::string destination = path;
    if (exists && S_ISLNK(existing.st_mode)) {
        if (mode == WriteMode::ReplaceHere)
            return ELOOP;
        // Renaming over a symbolic link would replace the link with a copy and leave
        // the file it leads to unchanged.
        std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
        if (!real)
            return errno;
        destination = real.get();
        if (::stat(destination.c_str(), &existing) != 0)
            return errno;
    }
    if (exists && S_ISDIR(existing.st_mode))
        return EISDIR;
    if (exists && !S_ISREG(existing.st_mode))
        return EINVAL;
    const std::size_t slash = destination.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : destination.substr(0, slash));
    const std::string name = slash == std::string::npos ? destination : destination.substr(slash + 1);
    if (name.empty() || name == "." || name == "..")
        return EINVAL;

    // O_PATH: a folder the user may write and pass through but not list still takes the file.
    UniqueFd dir(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!dir)
        return errno;
    PendingFile file;
    if (const int e = file.Create(dir.Get(), name, newFileMode))
        return e;
    int error = 0;
    if (exists && ::fchmod(file.Fd(), existing.st_mode & 07777) != 0)
        error = errno;
    if (!error)
        error = WriteAll(file.Fd(), bytes);
    if (!error && ::fsync(file.Fd()) != 0)
        error = errno;
    if (!error && exists) {
        error = file.ReplaceAs(name);
    } else if (!error) {
        error = file.LinkAs(name);
        if (error == EEXIST && mode != WriteMode::CreateNew) // made meanwhile: replacing is what was asked
            error = file.ReplaceAs(name);
    }
    if (error)
        return error;
    if (const UniqueFd sync(::openat(dir.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)); sync)
        ::fsync(sync.Get());
    return 0;
}

} // namespace platform
