#pragma once
// Descriptor-based walking and removing for the jobs. Every step below a folder goes
// through that folder's descriptor with symbolic links never followed, so a tree
// that changes under a job (a folder swapped for a link) cannot lead it outside.
#include <sys/stat.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/fileops/JobContext.h"
#include "platform/shell/FsAccess.h"

namespace platform::fileops {

using shell::fs::UniqueFd;

// A source given to a job: its folder's descriptor, its name in it and what it is.
struct SourceItem {
    std::string path; // without trailing "/"
    UniqueFd parent;  // O_PATH: for the *at calls only
    std::string name;
    struct stat st {};
};

// Opens the folder of an absolute path and looks the item up in it (not following
// it when it is a symbolic link). Stops the job with a message when the path is not
// absolute, ends in "." or "..", or no longer exists.
SourceItem OpenSource(JobContext& ctx, std::string path, std::string_view verb);

// The names in a folder, "." and ".." left out; an errno value on failure.
int ReadNames(int dirFd, std::vector<std::string>& names);

// fstatat without following links: 0 or an errno value.
int LookUp(int dirFd, const std::string& name, struct stat& st);

enum class RemoveMode {
    StopOnError, // a failure or a cancel stops the job ("Cannot VERB 'PATH': why")
    BestEffort,  // taking back what a failed job made: remove what can be, say nothing
};

// Removes dir/name and, for a folder, everything in it for which mayRemove answers
// true (folders are removed when they end up empty). Answers whether nothing of the
// entry is left.
bool RemoveEntry(JobContext& ctx, int dirFd, const std::string& name, const std::string& path,
                 std::string_view verb, RemoveMode mode, const std::function<bool(const struct stat&)>& mayRemove);

// True when `folder` (a descriptor of the destination) is `item` or lies inside it,
// judged by device and inode along its real path, so links and bind mounts count.
bool FolderIsInside(int folderFd, const struct stat& item);

} // namespace platform::fileops
