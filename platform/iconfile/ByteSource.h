#pragma once
// Where an icon reader's bytes come from: a file read piece by piece with pread, so
// that a program's icons cost the few kilobytes they take and never the whole of an
// installer, or bytes already in memory (tests, fuzzing).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace platform::iconfile {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t Size() const = 0;
    // Exactly n bytes from offset into out; false when they are not all there.
    virtual bool ReadAt(std::uint64_t offset, void* out, std::size_t n) const = 0;
};

class MemoryBytes : public ByteSource {
public:
    explicit MemoryBytes(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::uint64_t Size() const override { return bytes_.size(); }
    bool ReadAt(std::uint64_t offset, void* out, std::size_t n) const override
    {
        if (offset > bytes_.size() || n > bytes_.size() - offset)
            return false;
        if (n > 0)
            std::memcpy(out, bytes_.data() + offset, n);
        return true;
    }

private:
    std::span<const std::uint8_t> bytes_;
};

} // namespace platform::iconfile
