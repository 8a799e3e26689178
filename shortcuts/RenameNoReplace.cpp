#include "shortcuts/RenameNoReplace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

bool RenameNoReplace(const std::string& from, const std::string& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    struct stat fromSt, toSt;
    if (errno == EEXIST) {
        // A case-insensitive file system finds the file itself under its new
        // spelling: that is a change of letter case, not a replacement.
        if (::lstat(from.c_str(), &fromSt) == 0 && ::lstat(to.c_str(), &toSt) == 0 && fromSt.st_dev == toSt.st_dev &&
            fromSt.st_ino == toSt.st_ino)
            return ::rename(from.c_str(), to.c_str()) == 0;
        errno = EEXIST;
        return false;
    }
    // Where the file system cannot refuse a replacement itself, a hard link does the
    // same for files; only as the last resort is the target checked first.
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return false;
    if (::lstat(from.c_str(), &fromSt) != 0)
        return false;
    if (!S_ISDIR(fromSt.st_mode)) {
        if (::link(from.c_str(), to.c_str()) == 0) {
            if (::unlink(from.c_str()) == 0)
                return true;
            const int error = errno;
            ::unlink(to.c_str());
            errno = error;
            return false;
        }
        if (errno == EEXIST)
            return false;
    }
    if (::lstat(to.c_str(), &toSt) == 0 && !(fromSt.st_dev == toSt.st_dev && fromSt.st_ino == toSt.st_ino)) {
        errno = EEXIST;
        return false;
    }
    return ::rename(from.c_str(), to.c_str()) == 0;
}
