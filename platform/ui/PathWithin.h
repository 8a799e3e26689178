#pragma once
// Looking up a path the user points a window at, which may lie on a network mount
// whose server went away: a local path is asked at once; on a network mount the
// question goes to a thread of its own and is given up after a bounded wait, so that
// the GUI thread never waits for the server itself.
#include <sys/stat.h>

#include <chrono>
#include <string>

namespace platform::ui {

struct PathLookUp {
    bool answered = true;   // false: the mount did not answer in time
    bool exists = false;
    struct stat st {};
    std::string mountPoint; // of the network mount that did not answer
};

// lstat (or stat, following links) of `path`.
PathLookUp LookUpWithin(const std::string& path, bool followLinks,
                        std::chrono::milliseconds limit = std::chrono::seconds(2));

} // namespace platform::ui
