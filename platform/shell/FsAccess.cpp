#include "platform/shell/FsAccess.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>

#include "platform/shell/NameOrder.h"

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

namespace platform::shell::fs {
namespace {

// Paths up to this length go to the kernel whole.
constexpr std::size_t kShortPath = PATH_MAX - 96;

bool IsShort(const std::string& path) { return path.size() < kShortPath; }

// Opens the folder `path` by walking its components from "/" (O_PATH descriptors).
int WalkToFolder(std::string_view path, UniqueFd& out)
{
    UniqueFd at(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!at)
        return errno;
    std::size_t pos = 0;
    for (std::string_view name = NextName(path, pos); !name.empty(); name = NextName(path, pos)) {
        const std::string part(name);
        UniqueFd next(::openat(at.Get(), part.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!next)
            return errno;
        at = std::move(next);
    }
    out = std::move(at);
    return 0;
}

// The descriptor of the parent folder and the last component, for a long path.
int ResolveLong(const std::string& path, UniqueFd& parent, std::string& name)
{
    name = std::string(BaseName(path));
    if (name.empty())
        return ENOENT;
    return WalkToFolder(ParentOf(path), parent);
}

int RenameAt2(int fromDir, const char* from, int toDir, const char* to, unsigned flags)
{
#ifdef SYS_renameat2
    if (::syscall(SYS_renameat2, fromDir, from, toDir, to, flags) == 0)
        return 0;
    return errno;
#else
    (void)fromDir, (void)from, (void)toDir, (void)to, (void)flags;
    return ENOSYS;
#endif
}

} // namespace

std::string JoinPath(std::string_view dir, std::string_view name)
{
    std::string path(dir);
    if (path.empty() || path.back() != '/')
        path += '/';
    path += name;
    return path;
}

std::string_view ParentOf(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return {};
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string_view BaseName(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view NextName(std::string_view path, std::size_t& pos)
{
    pos = std::min(path.find_first_not_of('/', pos), path.size());
    const std::size_t start = pos;
    pos = std::min(path.find('/', pos), path.size());
    return path.substr(start, pos - start);
}

int Stat(const std::string& path, struct stat& st, bool followLinks)
{
    if (IsShort(path))
        return (followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) == 0 ? 0 : errno;
    UniqueFd parent;
    std::string name;
    if (const int e = ResolveLong(path, parent, name))
        return e;
    return ::fstatat(parent.Get(), name.c_str(), &st, followLinks ? 0 : AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
}

int StatFs(const std::string& path, struct statfs& st)
{
    if (IsShort(path))
        return ::statfs(path.c_str(), &st) == 0 ? 0 : errno;
    UniqueFd folder;
    if (const int e = WalkToFolder(path, folder))
        return e;
    return ::fstatfs(folder.Get(), &st) == 0 ? 0 : errno;
}

int Access(const std::string& path, int mode)
{
    if (IsShort(path))
        return ::access(path.c_str(), mode) == 0 ? 0 : errno;
    UniqueFd parent;
    std::string name;
    if (const int e = ResolveLong(path, parent, name))
        return e;
    return ::faccessat(parent.Get(), name.c_str(), mode, 0) == 0 ? 0 : errno;
}

int OpenDirectory(const std::string& path, UniqueFd& out)
{
    if (IsShort(path)) {
        UniqueFd fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!fd)
            return errno;
        out = std::move(fd);
        return 0;
    }
    UniqueFd folder;
    if (const int e = WalkToFolder(path, folder))
        return e;
    UniqueFd fd(::openat(folder.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd)
        return errno;
    out = std::move(fd);
    return 0;
}

int RenameNoReplace(const std::string& dir, const std::string& from, const std::string& to)
{
    UniqueFd folder;
    if (IsShort(dir)) {
        folder = UniqueFd(::open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!folder)
            return errno;
    } else if (const int e = WalkToFolder(dir, folder)) {
        return e;
    }
    const int d = folder.Get();

    // A change of letter case only, on a file system that ignores case, finds the
    // "existing" new name to be the item itself: that is no replacement.
    struct stat src {}, dst {};
    if (::fstatat(d, from.c_str(), &src, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    if (::fstatat(d, to.c_str(), &dst, AT_SYMLINK_NOFOLLOW) == 0) {
        if (src.st_dev == dst.st_dev && src.st_ino == dst.st_ino && from != to &&
            LowerCaseName(from) == LowerCaseName(to))
            return ::renameat(d, from.c_str(), d, to.c_str()) == 0 ? 0 : errno;
        return EEXIST;
    }
    return RenameNoReplace(d, from, d, to);
}

int RenameNoReplace(int fromDir, const std::string& from, int toDir, const std::string& to)
{
    const int e = RenameAt2(fromDir, from.c_str(), toDir, to.c_str(), RENAME_NOREPLACE);
    if (e != EINVAL && e != ENOSYS && e != ENOTSUP)
        return e;
    // The file system does not know RENAME_NOREPLACE. A file: a hard link fails when
    // the name exists, then the old name goes. A folder cannot be linked: rename
    // after a check, which leaves only the instant between the two open.
    struct stat src {}, dst {};
    if (::fstatat(fromDir, from.c_str(), &src, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    if (!S_ISDIR(src.st_mode)) {
        if (::linkat(fromDir, from.c_str(), toDir, to.c_str(), 0) == 0) {
            if (::unlinkat(fromDir, from.c_str(), 0) != 0) {
                const int err = errno;
                ::unlinkat(toDir, to.c_str(), 0);
                return err;
            }
            return 0;
        }
        if (errno == EEXIST)
            return EEXIST;
    }
    if (::fstatat(toDir, to.c_str(), &dst, AT_SYMLINK_NOFOLLOW) == 0)
        return EEXIST;
    return ::renameat(fromDir, from.c_str(), toDir, to.c_str()) == 0 ? 0 : errno;
}

} // namespace platform::shell::fs
