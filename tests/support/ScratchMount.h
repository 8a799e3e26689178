#pragma once
// A small tmpfs mounted for one test: another file system (moves across it) that
// fills up after a few bytes (a full disk) and that GIO keeps no trash on. Only in
// the private mount namespace the test programs enter as root; elsewhere Create
// fails and the test skips.
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace testsupport {

class ScratchMount {
public:
    // Mounts a tmpfs of `bytes` at `dir` (an existing folder). On failure answers
    // null and says why.
    static std::unique_ptr<ScratchMount> Create(const std::string& dir, std::size_t bytes, std::string& whyNot);
    ~ScratchMount();
    ScratchMount(const ScratchMount&) = delete;
    ScratchMount& operator=(const ScratchMount&) = delete;

    const std::string& Path() const { return dir_; }

private:
    explicit ScratchMount(std::string dir) : dir_(std::move(dir)) {}
    std::string dir_;
};

// A folder (made at `dir`, filled by `fill`) that refuses every change of its entries,
// to root too: as root a read-only tmpfs, otherwise no write permission. Null, and
// why not, where neither can be had.
class LockedFolder {
public:
    static std::unique_ptr<LockedFolder> Create(const std::string& dir, const std::function<void()>& fill,
                                                std::string& whyNot);
    ~LockedFolder(); // writable again, to be removed

private:
    LockedFolder() = default;
    std::string dir_;
    std::unique_ptr<ScratchMount> mount_;
};

} // namespace testsupport
