#include "platform/iconfile/FileBytes.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace platform::iconfile {

std::unique_ptr<FileBytes> FileBytes::Open(const std::string& hostPath, struct stat* st)
{
    // An icon path comes from someone else's link: a device node named there must
    // not even be opened, since opening runs its driver. So look first, open only a
    // regular file, and make sure the file opened is the one looked at.
    struct stat seen {};
    if (::fstatat(AT_FDCWD, hostPath.c_str(), &seen, 0) != 0 || !S_ISREG(seen.st_mode))
        return nullptr;
    // O_NONBLOCK: a FIFO put in the file's place meanwhile would otherwise wait for a writer.
    UniqueFd fd(::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!fd)
        return nullptr;
    struct stat own;
    struct stat& s = st ? *st : own;
    if (::fstat(fd.Get(), &s) != 0 || !S_ISREG(s.st_mode) || s.st_dev != seen.st_dev || s.st_ino != seen.st_ino)
        return nullptr;
    return std::unique_ptr<FileBytes>(new FileBytes(std::move(fd), static_cast<std::uint64_t>(s.st_size)));
}

bool FileBytes::ReadAt(std::uint64_t offset, void* out, std::size_t n) const
{
    if (offset > size_ || n > size_ - offset)
        return false;
    auto* p = static_cast<unsigned char*>(out);
    while (n > 0) {
        const ssize_t got = ::pread(fd_.Get(), p, n, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) // shrunk underneath us, or an I/O error
            return false;
        bytesRead_ += static_cast<std::uint64_t>(got);
        p += got;
        offset += static_cast<std::uint64_t>(got);
        n -= static_cast<std::size_t>(got);
    }
    return true;
}

} // namespace platform::iconfile
