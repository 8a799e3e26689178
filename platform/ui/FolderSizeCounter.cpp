#include "platform/ui/FolderSizeCounter.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

namespace platform::ui {

// What the worker and the window share: the window may go at any time, so the
// worker posts only under the lock, and only while the counter is still there.
struct FolderSizeCounter::Shared {
    std::mutex mutex;
    FolderSizeCounter* receiver = nullptr;
    std::atomic<bool> cancelled{false};
};

namespace {

// Deeper than this a folder is counted but not gone into: each level holds one
// descriptor open.
constexpr int kMaxDepth = 256;

struct Totals {
    quint64 bytes = 0, files = 0, folders = 0;
};

void Post(FolderSizeCounter::Shared& shared, const Totals& t, bool done)
{
    const std::lock_guard lock(shared.mutex);
    if (FolderSizeCounter* receiver = shared.receiver)
        QMetaObject::invokeMethod(
            receiver, [receiver, t, done] { emit receiver->Progress(t.bytes, t.files, t.folders, done); },
            Qt::QueuedConnection);
}

void Count(const std::string& folder, FolderSizeCounter::Shared& shared, Totals& totals,
           std::chrono::steady_clock::time_point& lastPost)
{
    const int top = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (top < 0)
        return;
    struct stat rootSt {};
    ::fstat(top, &rootSt);
    std::vector<DIR*> stack;
    if (DIR* d = ::fdopendir(top))
        stack.push_back(d);
    else
        ::close(top);
    while (!stack.empty() && !shared.cancelled) {
        DIR* dir = stack.back();
        const dirent* entry = ::readdir(dir);
        if (!entry) {
            ::closedir(dir);
            stack.pop_back();
            continue;
        }
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        struct stat st {};
        if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            ++totals.folders;
            if (st.st_dev != rootSt.st_dev || stack.size() >= kMaxDepth)
                continue;
            const int fd = ::openat(::dirfd(dir), entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (fd < 0)
                continue;
            if (DIR* sub = ::fdopendir(fd))
                stack.push_back(sub);
            else
                ::close(fd);
        } else {
            ++totals.files;
            totals.bytes += static_cast<quint64>(st.st_size);
        }
        const auto now = std::chrono::steady_clock::now();
        if (now - lastPost > std::chrono::milliseconds(200)) {
            lastPost = now;
            Post(shared, totals, false);
        }
    }
    for (DIR* dir : stack)
        ::closedir(dir);
}

} // namespace

FolderSizeCounter::FolderSizeCounter(std::vector<std::string> folders, QObject* parent)
    : QObject(parent), folders_(std::move(folders)), shared_(std::make_shared<Shared>())
{
    shared_->receiver = this;
}

FolderSizeCounter::~FolderSizeCounter()
{
    const std::lock_guard lock(shared_->mutex);
    shared_->receiver = nullptr;
    shared_->cancelled = true;
}

void FolderSizeCounter::Start()
{
    // Detached: a folder on a file system that stopped answering must not hold up
    // the window that closes; the worker ends when the call it waits in returns.
    std::thread([shared = shared_, folders = folders_] {
        Totals totals;
        auto lastPost = std::chrono::steady_clock::now();
        for (const std::string& folder : folders)
            Count(folder, *shared, totals, lastPost);
        if (!shared->cancelled)
            Post(*shared, totals, true);
    }).detach();
}

} // namespace platform::ui
