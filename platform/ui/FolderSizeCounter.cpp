#include "platform/ui/FolderSizeCounter.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>

namespace platform::ui {

// What the worker holds: the window may go at any time.
struct FolderSizeCounter::Shared {
    FolderSizeCounter* receiver = nullptr; // used only by what the outbox posts
    tasks::Outbox outbox;
    tasks::CancelToken cancel;
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
    shared.outbox.Post([receiver = shared.receiver, t, done] {
        emit receiver->Progress(t.bytes, t.files, t.folders, done);
    });
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
    while (!stack.empty() && !shared.cancel.IsCancelled()) {
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
    : QObject(parent),
      folders_(std::move(folders)),
      inbox_([this](std::function<void()> fn) { QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection); }),
      shared_(std::make_shared<Shared>())
{
    shared_->receiver = this;
    shared_->outbox = inbox_.Address();
}

FolderSizeCounter::~FolderSizeCounter()
{
    shared_->cancel.Cancel();
    inbox_.Close();
}

void FolderSizeCounter::Start()
{
    // A count may last long, so it has a thread of its own, which nothing waits for:
    // a folder on a file system that stopped answering must not hold up the window
    // that closes; the count ends when the call it waits in returns.
    tasks::TaskHome::Get().RunLong([shared = shared_, folders = folders_] {
        Totals totals;
        auto lastPost = std::chrono::steady_clock::now();
        for (const std::string& folder : folders)
            Count(folder, *shared, totals, lastPost);
        if (!shared->cancel.IsCancelled())
            Post(*shared, totals, true);
    });
}

} // namespace platform::ui
