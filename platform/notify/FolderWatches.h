#pragma once
// The folders a subtree watch watches: one inotify watch per folder, each known by
// its watch descriptor and the folder's path. Folders are added by walking the tree
// breadth first, so when the cap is reached the levels nearest the top are the ones
// watched. A walk stays on the top folder's file system: it never enters a folder
// that something is mounted on (a network share, a pseudo file system, another
// disk), which it learns from the mount table without touching the mount. Symbolic
// links are never followed. Worker thread only.
#include <atomic>
#include <cstdint>
#include <string>
#include <unordered_map>

namespace platform::notify {

class FolderWatches {
public:
    // `inotifyFd` is the watch's descriptor; a walk stops as soon as `stop` is set.
    FolderWatches(int inotifyFd, std::uint32_t mask, std::uint32_t kinds, const std::atomic<bool>& stop);

    // Records a watch added by someone else (the top folder's).
    void Add(int wd, std::string path) { paths_[wd] = std::move(path); }
    // Watches `top` and the folders below it. With `countContents` (a folder just
    // made), answers whether it already holds entries of the kinds asked for:
    // they were made before its watch existed, and no event tells of them.
    bool Walk(const std::string& top, bool countContents);
    // Removes the watches of `path` and of the folders below it (moved away).
    void RemoveTree(const std::string& path);
    // Walks the whole tree from `top` again after events were lost: folders not
    // watched yet are added, watches of folders no longer in the tree removed.
    void Rescan(const std::string& top);
    // The path of a watch, or null for a watch no longer kept.
    const std::string* PathOf(int wd) const;
    // Forgets a watch the kernel removed (IN_IGNORED).
    void Forget(int wd) { paths_.erase(wd); }
    void Clear() { paths_.clear(); }
    std::size_t Count() const { return paths_.size(); }
    // The errno of the first failure to add a watch that the user can act on (the
    // watch limit), once; 0 when none.
    int TakeError();

private:
    int AddWatch(const std::string& path);

    int fd_;
    std::uint32_t mask_;
    std::uint32_t kinds_;
    const std::atomic<bool>& stop_;
    std::unordered_map<int, std::string> paths_;
    int error_ = 0;
    bool errorTaken_ = false;
};

} // namespace platform::notify
