#include "platform/fileops/TreeOps.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/fileops/NewNames.h"

namespace platform::fileops {

SourceItem OpenSource(JobContext& ctx, std::string path, std::string_view verb)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    SourceItem item;
    item.name = std::string(shell::fs::BaseName(path));
    if (path.empty() || path.front() != '/' || !IsSafeName(item.name))
        ctx.FailWith(path, "Cannot " + std::string(verb) + " '" + DisplayPath(path) +
                                "': that does not name a file or folder inside a folder.");
    item.path = path;
    // A folder the user may pass through but not list still holds items to work on.
    const std::string parent(shell::fs::ParentOf(path));
    item.parent = UniqueFd(::open(parent.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!item.parent) {
        if (errno != ENAMETOOLONG)
            ctx.Fail(path, verb, errno);
        if (const int e = shell::fs::OpenDirectory(parent, item.parent))
            ctx.Fail(path, verb, e);
    }
    if (const int e = LookUp(item.parent.Get(), item.name, item.st)) {
        if (e == ENOENT)
            ctx.FailWith(path, "Cannot " + std::string(verb) + " '" + DisplayPath(path) + "': it no longer exists.");
        ctx.Fail(path, verb, e);
    }
    return item;
}

int ReadNames(int dirFd, std::vector<std::string>& names)
{
    const int fd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        const int e = errno;
        ::close(fd);
        return e;
    }
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..")
            names.emplace_back(name);
        errno = 0;
    }
    const int e = errno;
    ::closedir(dir);
    return e;
}

int LookUp(int dirFd, const std::string& name, struct stat& st)
{
    return ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
}

bool RemoveEntry(JobContext& ctx, int dirFd, const std::string& name, const std::string& path,
                 std::string_view verb, RemoveMode mode, const std::function<bool(const struct stat&)>& mayRemove)
{
    const bool stopOnError = mode == RemoveMode::StopOnError;
    const auto failed = [&](int error) {
        if (stopOnError)
            ctx.Fail(path, verb, error);
        return false;
    };
    struct stat st {};
    if (const int e = LookUp(dirFd, name, st))
        return e == ENOENT ? true : failed(e);
    if (!S_ISDIR(st.st_mode)) {
        if (!mayRemove(st))
            return false;
        if (::unlinkat(dirFd, name.c_str(), 0) != 0 && errno != ENOENT)
            return failed(errno);
        return true;
    }
    UniqueFd folder(::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder)
        return failed(errno);
    std::vector<std::string> names;
    if (const int e = ReadNames(folder.Get(), names))
        return failed(e);
    bool whole = true;
    for (const std::string& child : names) {
        if (stopOnError)
            ctx.StopIfCancelled();
        whole = RemoveEntry(ctx, folder.Get(), child, shell::fs::JoinPath(path, child), verb, mode, mayRemove) && whole;
    }
    if (!whole)
        return false;
    if (::unlinkat(dirFd, name.c_str(), AT_REMOVEDIR) != 0) {
        if (errno == ENOTEMPTY || errno == EEXIST) // something new arrived meanwhile: it stays
            return false;
        if (errno != ENOENT)
            return failed(errno);
    }
    return true;
}

bool FolderIsInside(int folderFd, const struct stat& item)
{
    struct stat root {};
    if (::stat("/", &root) != 0)
        return false;
    UniqueFd at(::openat(folderFd, ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    for (int depth = 0; at && depth < 4096; ++depth) {
        struct stat st {};
        if (::fstat(at.Get(), &st) != 0)
            return false;
        if (st.st_dev == item.st_dev && st.st_ino == item.st_ino)
            return true;
        if (st.st_dev == root.st_dev && st.st_ino == root.st_ino)
            return false;
        at = UniqueFd(::openat(at.Get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
    }
    return false;
}

} // namespace platform::fileops
