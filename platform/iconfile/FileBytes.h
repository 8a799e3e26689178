#pragma once
// A regular file as a ByteSource, read with pread. It counts what it read, so that
// "only the resource section" can be checked.
#include <sys/stat.h>

#include <memory>
#include <string>

#include "platform/iconfile/ByteSource.h"
#include "platform/util/UniqueFd.h"

namespace platform::iconfile {

class FileBytes : public ByteSource {
public:
    // Opens a regular file (following symbolic links). None for anything else: a FIFO
    // or a device is never opened at all. `st`, when given, receives the file's status
    // as opened.
    static std::unique_ptr<FileBytes> Open(const std::string& hostPath, struct stat* st = nullptr);

    std::uint64_t Size() const override { return size_; }
    bool ReadAt(std::uint64_t offset, void* out, std::size_t n) const override;
    std::uint64_t BytesRead() const { return bytesRead_; }

private:
    FileBytes(UniqueFd fd, std::uint64_t size) : fd_(std::move(fd)), size_(size) {}

    UniqueFd fd_;
    std::uint64_t size_ = 0;
    mutable std::uint64_t bytesRead_ = 0;
};

} // namespace platform::iconfile
