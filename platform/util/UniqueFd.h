#pragma once
// Owned file descriptors and folder streams, closed when their owner goes: nothing
// is closed by hand anywhere else, so none leaks on an early return and none is
// closed twice.
#include <dirent.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

namespace platform {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { Close(); }
    UniqueFd(UniqueFd&& o) noexcept : fd_(o.Release()) {}
    UniqueFd& operator=(UniqueFd&& o) noexcept
    {
        if (this != &o) {
            Close();
            fd_ = o.Release();
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int Release()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // 0, or the errno of a failed close: a write may report its failure only here.
    int Close()
    {
        if (fd_ < 0)
            return 0;
        const int result = ::close(Release());
        return result == 0 ? 0 : errno;
    }

private:
    int fd_ = -1;
};

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
// An open folder stream (opendir, fdopendir).
using UniqueDir = std::unique_ptr<DIR, DirCloser>;

} // namespace platform
