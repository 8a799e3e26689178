#include "platform/registry/HiveFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "platform/util/AtomicFile.h"
#include "platform/util/UniqueFd.h"

namespace platform::registry {
namespace {

// File time stamps may be as coarse as 2 s (FAT, some network file systems) and lag
// the clock by a tick. Until a file's mtime lies this far before the moment its bytes
// were last read, a new file could take over its inode number, size and time stamps
// (the old inode is freed at once by the rename), so its bytes are compared on every
// read; after that the identity alone tells a change.
constexpr std::int64_t kTimestampSlackNs = 3'000'000'000;

std::int64_t ToNs(const timespec& ts) { return std::int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec; }

std::int64_t NowNs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return ToNs(ts);
}

std::shared_ptr<const RegKeyNode> EmptyRoot()
{
    static const auto empty = std::make_shared<const RegKeyNode>();
    return empty;
}

std::string NotMoved(int err)
{
    return "it could not be moved aside (" + std::string(std::strerror(err)) +
           "), so the hive is read as empty and not written";
}

} // namespace

// An exclusive flock on the lock file, held until destruction. flock rather than
// fcntl locks: an fcntl lock is dropped when the process closes any descriptor of
// the file, and flock locks also exclude other threads of the same process.
class FileLock {
public:
    FileLock() = default;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // 0 or the errno of the failure.
    int Acquire(const std::string& path)
    {
        for (int attempt = 0; attempt < 100; ++attempt) {
            UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
            if (!fd && (errno == EACCES || errno == EROFS || errno == EPERM)) {
                const int createError = errno;
                // An existing lock file we may only read still locks.
                fd = UniqueFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
                if (!fd)
                    return createError;
            }
            if (!fd)
                return errno;
            while (::flock(fd.Get(), LOCK_EX) != 0) {
                if (errno != EINTR)
                    return errno;
            }
            // Someone may have removed the lock file while we waited; a lock on a file
            // that is no longer there excludes nobody.
            struct stat held{}, named{};
            if (::fstat(fd.Get(), &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
                held.st_ino == named.st_ino) {
                fd_ = std::move(fd);
                return 0;
            }
        }
        return EAGAIN;
    }

private:
    UniqueFd fd_;
};

namespace {

int MakeDirs(const std::string& dir)
{
    struct stat st{};
    if (::stat(dir.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    for (std::size_t pos = 1;;) {
        const std::size_t slash = dir.find('/', pos);
        const std::string part = dir.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return errno;
        if (slash == std::string::npos)
            break;
        pos = slash + 1;
    }
    if (::stat(dir.c_str(), &st) != 0)
        return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

void SyncFolder(const std::string& folder)
{
    if (const UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)); fd)
        ::fsync(fd.Get()); // some file systems refuse fsync on folders; the rename stands anyway
}

bool WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool ReadAll(int fd, std::string& bytes)
{
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return true;
        bytes.append(buf, static_cast<std::size_t>(n));
    }
}

} // namespace

HiveFile& HiveFile::For(const std::string& dir, Hive hive)
{
    static std::mutex mutex;
    // Never destroyed: keys may still be used while other static objects go away.
    static auto* files = new std::map<std::string, std::unique_ptr<HiveFile>>;
    std::string folder = dir;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    std::lock_guard guard(mutex);
    auto& slot = (*files)[folder + '/' + HiveName(hive)];
    if (!slot)
        slot = std::make_unique<HiveFile>(folder, hive);
    return *slot;
}

HiveFile::HiveFile(std::string dir, Hive hive)
    : dir_(std::move(dir)), hive_(hive), path_(dir_ + '/' + HiveName(hive) + ".reg"), lockPath_(path_ + ".lock"),
      root_(EmptyRoot())
{
}

HiveFile::~HiveFile() = default;

Result HiveFile::Read(std::shared_ptr<const RegKeyNode>& root)
{
    std::unique_lock guard(mutex_);
    if (InBatchHere() && batchRoot_) {
        root = batchRoot_;
        return Success;
    }
    if (Load(false, guard) == Outcome::Failed)
        return AccessDenied;
    root = root_;
    return Success;
}

Result HiveFile::Change(const Edit& edit)
{
    {
        std::unique_lock guard(mutex_);
        if (InBatchHere())
            return ChangeInBatch(edit, guard);
    }
    FileLock lock;
    std::unique_lock guard(mutex_, std::defer_lock);
    if (const std::optional<Result> end = PrepareChange(edit, lock, guard))
        return *end;
    RegKeyNode root = *root_;
    bool changed = false;
    const Result result = edit(root, changed);
    if (result != Success || !changed)
        return result;
    const std::string text = FormatRegFile(root, hive_);
    return WriteLocked(text, std::move(root));
}

void HiveFile::BeginBatch()
{
    batchMutex_.lock();
    std::lock_guard guard(mutex_);
    ++batchDepth_;
    batchThread_ = std::this_thread::get_id();
}

Result HiveFile::EndBatch()
{
    Result result = Success;
    std::unique_ptr<FileLock> lock;
    {
        std::lock_guard guard(mutex_);
        if (--batchDepth_ == 0) {
            if (batchLock_ && batchDirty_) {
                const std::string text = FormatRegFile(*batchRoot_, hive_);
                result = WriteLocked(text, std::move(*batchRoot_));
            }
            batchRoot_.reset();
            batchDirty_ = false;
            batchThread_ = std::thread::id();
            lock = std::move(batchLock_);
        }
    }
    lock.reset(); // the file lock goes only after the new file is in place
    batchMutex_.unlock();
    return result;
}

bool HiveFile::InBatchHere() const
{
    return batchDepth_ > 0 && batchThread_ == std::this_thread::get_id();
}

// Called with mutex_ held, by the thread of the batch.
Result HiveFile::ChangeInBatch(const Edit& edit, std::unique_lock<std::mutex>& guard)
{
    if (!batchLock_) {
        // The batch's first change: what a single change checks, and the lock stays.
        // Another thread's change takes the file lock first and mutex_ second, so
        // mutex_ must not be held while waiting for the file lock.
        guard.unlock();
        auto lock = std::make_unique<FileLock>();
        if (const std::optional<Result> end = PrepareChange(edit, *lock, guard))
            return *end;
        batchRoot_ = std::make_shared<RegKeyNode>(*root_);
        batchLock_ = std::move(lock);
    }
    bool changed = false;
    const Result result = edit(*batchRoot_, changed);
    batchDirty_ = batchDirty_ || changed;
    return result;
}

std::optional<Result> HiveFile::PrepareChange(const Edit& edit, FileLock& lock, std::unique_lock<std::mutex>& guard)
{
    struct stat st{};
    if (::stat(dir_.c_str(), &st) != 0) {
        // No folder yet: make it only for an edit that writes something.
        RegKeyNode empty;
        bool changed = false;
        const Result result = edit(empty, changed);
        if (result != Success || !changed)
            return result;
        if (MakeDirs(dir_) != 0)
            return AccessDenied;
    }
    if (lock.Acquire(lockPath_) != 0)
        return AccessDenied;
    guard.lock();
    if (Load(true, guard) == Outcome::Failed || damaged_)
        return AccessDenied;
    if (present_ && ::faccessat(AT_FDCWD, path_.c_str(), W_OK, AT_EACCESS) != 0)
        return AccessDenied;
    return std::nullopt;
}

HiveFile::Outcome HiveFile::Load(bool locked, std::unique_lock<std::mutex>& guard)
{
    const Outcome outcome = Refresh();
    if (outcome != Outcome::Damaged)
        return outcome;
    if (!locked) {
        // Only a lock holder may move the file: a writer could be renaming a good
        // file over it right now.
        guard.unlock();
        FileLock lock;
        const int err = lock.Acquire(lockPath_);
        guard.lock();
        if (err == 0)
            return Load(true, guard);
        const Outcome again = Refresh();
        if (again == Outcome::Damaged) {
            KeepDamaged();
            Report(NotMoved(err));
            return Outcome::Ok;
        }
        return again;
    }
    std::string aside;
    const int err = MoveAside(aside);
    if (err == 0) {
        SetAbsent();
        Report("moved it aside to \"" + aside + "\"; the hive starts empty");
    } else {
        KeepDamaged();
        Report(NotMoved(err));
    }
    return Outcome::Ok;
}

HiveFile::Outcome HiveFile::Refresh()
{
    const std::int64_t now = NowNs();
    struct stat st{};
    if (::stat(path_.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            SetAbsent();
            return Outcome::Ok;
        }
        return Outcome::Failed;
    }
    if (!S_ISREG(st.st_mode))
        return Outcome::Failed;
    if (known_ && present_ && IdOf(st) == id_ && id_.mtimeNs + kTimestampSlackNs < confirmedAtNs_)
        return Outcome::Ok;

    // O_NONBLOCK: a FIFO put in the file's place must not hang us.
    UniqueFd fd(::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd) {
        if (errno == ENOENT) {
            SetAbsent();
            return Outcome::Ok;
        }
        return Outcome::Failed;
    }
    std::string bytes;
    const bool readOk = ::fstat(fd.Get(), &st) == 0 && S_ISREG(st.st_mode) && ReadAll(fd.Get(), bytes);
    fd.Close();
    if (!readOk)
        return Outcome::Failed;
    const FileId id = IdOf(st);
    if (known_ && present_ && id == id_ && bytes == bytes_) {
        confirmedAtNs_ = now;
        return Outcome::Ok;
    }
    RegKeyNode root;
    if (!ParseRegFile(bytes, hive_, root, damagedError_)) {
        damagedId_ = id;
        damagedBytes_ = std::move(bytes);
        damagedAtNs_ = now;
        return Outcome::Damaged;
    }
    known_ = true;
    present_ = true;
    damaged_ = false;
    id_ = id;
    bytes_ = std::move(bytes);
    confirmedAtNs_ = now;
    root_ = std::make_shared<const RegKeyNode>(std::move(root));
    return Outcome::Ok;
}

Result HiveFile::WriteLocked(const std::string& text, RegKeyNode&& root)
{
    const std::int64_t now = NowNs();
    // A hive file that is a symbolic link (kept with other dotfiles, say) stays one:
    // the new file replaces the file the link leads to.
    std::string target = path_;
    struct stat st{};
    if (::lstat(path_.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(path_.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    }
    mode_t mode = 0600;
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists)
        mode = st.st_mode & 07777;
    const std::string folder = FolderOf(target);
    const std::string name = target.substr(target.rfind('/') + 1);
    const UniqueFd dir(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    // Only the lock holder writes, so the temporary name, needed where the file
    // system has no unnamed files, can be fixed; one left behind by a writer that
    // was killed is simply replaced.
    PendingFile file;
    if (!dir || file.Create(dir.Get(), name, 0600, name + ".tmp") != 0)
        return AccessDenied;
    if (mode != 0600)
        ::fchmod(file.Fd(), mode); // keep the permissions the user gave the file; no harm if we can't
    if (!WriteAll(file.Fd(), text) || ::fsync(file.Fd()) != 0)
        return AccessDenied;
    int error = exists ? file.ReplaceAs(name) : file.LinkAs(name);
    if (error == EEXIST && !exists)
        error = file.ReplaceAs(name);
    if (error != 0)
        return AccessDenied;
    SyncFolder(folder);
    const bool haveId = ::stat(target.c_str(), &st) == 0;

    known_ = haveId;
    present_ = true;
    damaged_ = false;
    id_ = IdOf(st);
    bytes_ = text;
    confirmedAtNs_ = now;
    root_ = std::make_shared<const RegKeyNode>(std::move(root));
    return Success;
}

int HiveFile::MoveAside(std::string& asideName)
{
    char stamp[32] = "";
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    if (::localtime_r(&t, &local))
        std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string base = path_ + ".corrupt-" + stamp;
    for (int n = 0; n < 1000; ++n) {
        const std::string name = n == 0 ? base : base + '-' + std::to_string(n);
        int err = 0;
        if (::renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE) == 0) {
            // moved
        } else if (errno == EEXIST) {
            continue;
        } else if (errno != EINVAL && errno != ENOSYS) {
            return errno;
        } else if (::link(path_.c_str(), name.c_str()) == 0) {
            // A file system that cannot rename without replacing: a hard link never replaces.
            ::unlink(path_.c_str());
        } else if (errno == EEXIST) {
            continue;
        } else {
            // Neither: look first. Only lock holders make these names, and we hold it.
            struct stat st{};
            if (::lstat(name.c_str(), &st) == 0)
                continue;
            if (::rename(path_.c_str(), name.c_str()) != 0)
                err = errno;
        }
        if (err != 0)
            return err;
        SyncFolder(FolderOf(path_));
        asideName = name;
        return 0;
    }
    return EEXIST;
}

void HiveFile::SetAbsent()
{
    known_ = true;
    present_ = false;
    damaged_ = false;
    id_ = FileId();
    bytes_.clear();
    root_ = EmptyRoot();
}

void HiveFile::KeepDamaged()
{
    known_ = true;
    present_ = true;
    damaged_ = true;
    id_ = damagedId_;
    bytes_ = std::move(damagedBytes_);
    confirmedAtNs_ = damagedAtNs_;
    root_ = EmptyRoot();
}

void HiveFile::Report(const std::string& outcome)
{
    std::string where;
    if (damagedError_.line > 0)
        where = "line " + std::to_string(damagedError_.line) + ": ";
    std::fprintf(stderr, "%s: the registry file \"%s\" does not parse (%s%s); %s\n", program_invocation_short_name,
                 path_.c_str(), where.c_str(), damagedError_.reason.c_str(), outcome.c_str());
    std::fflush(stderr);
}

HiveFile::FileId HiveFile::IdOf(const struct stat& st)
{
    FileId id;
    id.dev = st.st_dev;
    id.ino = st.st_ino;
    id.size = st.st_size;
    id.mtimeNs = ToNs(st.st_mtim);
    id.ctimeNs = ToNs(st.st_ctim);
    return id;
}

} // namespace platform::registry
