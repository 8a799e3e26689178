#include "platform/fileops/FileJob.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>

#include "platform/fileops/GioHandles.h"
#include "platform/fileops/JobContext.h"
#include "platform/util/Tasks.h"
#include "platform/util/Text.h"

namespace platform::fileops {

namespace {

// Long enough to remove a partial file after a cancel; a job stuck in a system call
// on a dead network mount is not waited for.
constexpr auto kCancelGrace = std::chrono::seconds(2);

} // namespace

struct FileJob::Shared {
    JobRequest request;
    std::shared_ptr<JobDelegate> delegate;
    GObjectPtr<GCancellable> cancellable{g_cancellable_new()};

    std::mutex lock;
    std::condition_variable changed;
    unsigned questionSerial = 0; // the question a reply belongs to
    bool answered = false;
    JobReply answer;
    bool finished = false;
    JobResult result;

    void Cancel()
    {
        g_cancellable_cancel(cancellable.get());
        std::lock_guard<std::mutex> hold(lock);
        changed.notify_all();
    }
};

namespace {

class Worker final : public JobContext {
public:
    explicit Worker(std::shared_ptr<FileJob::Shared> shared) : shared_(std::move(shared)) {}

    const JobRequest& Request() const override { return shared_->request; }
    GCancellable* Cancellable() const override { return shared_->cancellable.get(); }

    JobReply Ask(const JobQuestion& question) override
    {
        StopIfCancelled();
        unsigned serial;
        {
            std::lock_guard<std::mutex> hold(shared_->lock);
            serial = ++shared_->questionSerial;
            shared_->answered = false;
        }
        std::weak_ptr<FileJob::Shared> weak = shared_;
        shared_->delegate->Ask(question, [weak, serial](JobReply reply) {
            if (auto shared = weak.lock()) {
                std::lock_guard<std::mutex> hold(shared->lock);
                if (shared->questionSerial == serial && !shared->answered) {
                    shared->answered = true;
                    shared->answer = reply;
                    shared->changed.notify_all();
                }
            }
        });
        JobReply reply;
        {
            std::unique_lock<std::mutex> hold(shared_->lock);
            shared_->changed.wait(hold, [&] { return shared_->answered || Cancelled(); });
            reply = shared_->answered ? shared_->answer : JobReply{};
            ++shared_->questionSerial; // a reply arriving now is for nobody
        }
        if (reply.choice == Choice::Cancel) {
            g_cancellable_cancel(Cancellable());
            throw JobStopped{};
        }
        StopIfCancelled();
        return reply;
    }

    void ReportProgress() override { shared_->delegate->Progress(progress_); }

    void Run()
    {
        try {
            switch (Request().kind) {
            case JobKind::Copy:
            case JobKind::Move:
                RunTransfer(*this);
                break;
            case JobKind::Link:
                RunLinks(*this);
                break;
            case JobKind::Trash:
                RunTrash(*this);
                break;
            }
        } catch (const JobStopped&) {
        } catch (const std::exception& e) {
            if (result_.error.empty())
                result_.error = e.what();
        }
        if (result_.error.empty() && Cancelled())
            result_.cancelled = true;
        ReportProgress();
        shared_->delegate->Finished(result_);
        std::lock_guard<std::mutex> hold(shared_->lock);
        shared_->result = result_;
        shared_->finished = true;
        shared_->changed.notify_all();
    }

private:
    std::shared_ptr<FileJob::Shared> shared_;
};

} // namespace

JobRequest JobRequest::Paste(std::vector<std::string> sources, bool cut, std::string destination)
{
    JobRequest r;
    r.kind = cut ? JobKind::Move : JobKind::Copy;
    r.sources = std::move(sources);
    r.destination = std::move(destination);
    return r;
}

JobRequest JobRequest::PasteShortcut(std::vector<std::string> sources, std::string destination)
{
    JobRequest r;
    r.kind = JobKind::Link;
    r.sources = std::move(sources);
    r.destination = std::move(destination);
    return r;
}

JobRequest JobRequest::CreateShortcut(std::vector<std::string> sources)
{
    return PasteShortcut(std::move(sources), {});
}

JobRequest JobRequest::Delete(std::vector<std::string> sources)
{
    JobRequest r;
    r.kind = JobKind::Trash;
    r.sources = std::move(sources);
    return r;
}

void JobContext::Fail(const std::string& path, std::string_view verb, int error)
{
    FailWith(path, "Cannot " + std::string(verb) + " '" + DisplayPath(path) + "': " + std::strerror(error) + ".");
}

void JobContext::FailWith(const std::string& path, std::string message)
{
    result_.error = std::move(message);
    result_.errorPath = path;
    throw JobStopped{};
}

std::string DisplayPath(std::string_view path)
{
    static const char* const kHex = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < path.size();) {
        char32_t c;
        const std::size_t len = DecodeUtf8(path, i, c);
        if (len > 0 && c >= 0x20 && c != 0x7F) {
            out.append(path.substr(i, len));
            i += len;
        } else {
            const auto b = static_cast<unsigned char>(path[i++]);
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 0xF];
        }
    }
    return out;
}

FileJob::FileJob(JobRequest request, std::shared_ptr<JobDelegate> delegate) : shared_(std::make_shared<Shared>())
{
    shared_->request = std::move(request);
    shared_->delegate = std::move(delegate);
}

FileJob::~FileJob()
{
    if (!started_)
        return;
    shared_->Cancel();
    // A job stuck in the kernel is not waited for: it holds its own reference to the
    // shared state, and ends on its own.
    std::unique_lock<std::mutex> hold(shared_->lock);
    shared_->changed.wait_for(hold, kCancelGrace, [&] { return shared_->finished; });
}

void FileJob::Start()
{
    if (started_)
        return;
    started_ = true;
    // A job lasts as long as its files take: a thread of its own, never one of the
    // pool's.
    if (!tasks::TaskHome::Get().RunLong([shared = shared_] { Worker(shared).Run(); })) {
        JobResult result;
        result.error = "Cannot start the job: " + std::string(std::strerror(EAGAIN)) + ".";
        shared_->delegate->Finished(result);
        std::lock_guard<std::mutex> hold(shared_->lock);
        shared_->result = result;
        shared_->finished = true;
        shared_->changed.notify_all();
    }
}

void FileJob::Cancel() { shared_->Cancel(); }

bool FileJob::IsCancelled() const { return g_cancellable_is_cancelled(shared_->cancellable.get()); }

bool FileJob::IsFinished() const
{
    std::lock_guard<std::mutex> hold(shared_->lock);
    return shared_->finished;
}

JobResult FileJob::Wait()
{
    Start();
    std::unique_lock<std::mutex> hold(shared_->lock);
    shared_->changed.wait(hold, [&] { return shared_->finished; });
    return shared_->result;
}

} // namespace platform::fileops
