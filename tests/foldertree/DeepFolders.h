#pragma once
// Folders deeper than PATH_MAX, made and removed through descriptors (the plain
// calls and std::filesystem refuse such paths).
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace testsupport {

// Makes base/segment/segment/... until the path is at least minLength long, and
// the folder leaf at the bottom when one is named.
inline std::string MakeDeepFolder(const std::string& base, const std::string& segment, std::size_t minLength,
                                  const std::string& leaf = "")
{
    int fd = ::open(base.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    std::string path = base;
    while (fd >= 0 && path.size() < minLength) {
        ::mkdirat(fd, segment.c_str(), 0700);
        const int next = ::openat(fd, segment.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
        path += "/" + segment;
    }
    if (fd >= 0) {
        if (!leaf.empty())
            ::mkdirat(fd, leaf.c_str(), 0700);
        ::close(fd);
    }
    return path;
}

// Removes dirfd/name with everything below it, however deep.
inline void RemoveTreeAt(int dirfd, const char* name)
{
    const int fd = ::openat(dirfd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        ::unlinkat(dirfd, name, 0);
        return;
    }
    if (DIR* dir = ::fdopendir(fd)) {
        while (const dirent* e = ::readdir(dir)) {
            const std::string entry = e->d_name;
            if (entry == "." || entry == "..")
                continue;
            struct stat st {};
            if (::fstatat(fd, entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode))
                RemoveTreeAt(fd, entry.c_str());
            else
                ::unlinkat(fd, entry.c_str(), 0);
        }
        ::closedir(dir);
    } else {
        ::close(fd);
    }
    ::unlinkat(dirfd, name, AT_REMOVEDIR);
}

inline void RemoveDeepFolder(const std::string& parent, const std::string& name)
{
    const int fd = ::open(parent.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        RemoveTreeAt(fd, name.c_str());
        ::close(fd);
    }
}

} // namespace testsupport
