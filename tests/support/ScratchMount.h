#pragma once
// A small tmpfs mounted for one test: another file system (moves across it) that
// fills up after a few bytes (a full disk) and that GIO keeps no trash on. Only in
// the private mount namespace the test programs enter as root; elsewhere Create
// fails and the test skips.
#include <cstddef>
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

} // namespace testsupport
