#pragma once
// One hive file on disk, shared by every open key of that hive in the process.
//
// Reading takes no lock: a writer only ever replaces the file by renaming a complete
// new one over it, so a reader sees the old or the new state, never half of one. The
// parsed tree is cached and reused while the file is provably the same (see Refresh).
// A change takes an advisory lock on "<hive>.reg.lock", re-reads the newest state,
// applies the change to a copy and renames the new text into place.
#include "platform/registry/RegFile.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace platform::registry {

class FileLock;

class HiveFile {
public:
    // The object for the hive file in dir; it lives as long as the process.
    static HiveFile& For(const std::string& dir, Hive hive);

    HiveFile(std::string dir, Hive hive);
    ~HiveFile();

    // The newest complete state of the hive. An absent file is an empty hive; a file
    // that does not parse is moved aside and the hive is empty.
    Result Read(std::shared_ptr<const RegKeyNode>& root);

    // Under the lock: edit a copy of the newest state; when edit succeeds and says it
    // changed something, the copy replaces the file before Change returns.
    using Edit = std::function<Result(RegKeyNode& root, bool& changed)>;
    Result Change(const Edit& edit);

    // Batches of changes (see Batch in Registry.h): from the first change of the
    // calling thread on, the lock is held and the changes go to a pending tree that
    // EndBatch writes. Another thread's batch on this hive waits for this one.
    void BeginBatch();
    Result EndBatch();

    const std::string& Dir() const { return dir_; }
    const std::string& Path() const { return path_; }

private:
    struct FileId {
        dev_t dev = 0;
        ino_t ino = 0;
        off_t size = 0;
        std::int64_t mtimeNs = 0;
        std::int64_t ctimeNs = 0;
        bool operator==(const FileId&) const = default;
    };
    enum class Outcome { Ok, Damaged, Failed };

    static FileId IdOf(const struct stat& st);

    bool InBatchHere() const; // mutex_ held
    Result ChangeInBatch(const Edit& edit, std::unique_lock<std::mutex>& guard);
    // What a change checks before it edits the newest state: with no folder yet, a
    // dry run of edit decides whether one is made; then the file lock, and then
    // mutex_ (guard, unlocked on entry) with the newest state loaded, readable and
    // writable. Nothing when the change can go on; else the result it ends with.
    std::optional<Result> PrepareChange(const Edit& edit, FileLock& lock, std::unique_lock<std::mutex>& guard);

    // All with mutex_ held. Load brings the cache up to date and deals with a file
    // that does not parse; locked says the caller holds the file lock.
    Outcome Load(bool locked, std::unique_lock<std::mutex>& guard);
    Outcome Refresh();
    Result WriteLocked(const std::string& text, RegKeyNode&& root);
    int MoveAside(std::string& asideName);
    void SetAbsent();
    void KeepDamaged();
    void Report(const std::string& outcome);

    std::string dir_;
    Hive hive_;
    std::string path_;
    std::string lockPath_;

    std::mutex mutex_; // guards everything below; never held while waiting for the file lock
    bool known_ = false;
    bool present_ = false;
    FileId id_;
    std::string bytes_;
    std::int64_t confirmedAtNs_ = 0; // the clock before the read that last confirmed bytes_
    bool damaged_ = false;           // the file with id_ does not parse and could not be moved aside
    std::shared_ptr<const RegKeyNode> root_;

    std::recursive_mutex batchMutex_; // held by the thread whose batch runs, from begin to end
    int batchDepth_ = 0;
    std::thread::id batchThread_;
    std::unique_ptr<FileLock> batchLock_; // from the batch's first change on
    std::shared_ptr<RegKeyNode> batchRoot_;
    bool batchDirty_ = false;

    // Set by Refresh when the file does not parse.
    FileId damagedId_;
    std::string damagedBytes_;
    RegParseError damagedError_;
    std::int64_t damagedAtNs_ = 0;
};

} // namespace platform::registry
