#pragma once
// The worker side of a file job: counters, questions, cancel and the one error that
// stops it. Used by the work of each kind of job, on the worker thread only.
#include <gio/gio.h>

#include <string>
#include <string_view>

#include "platform/fileops/DisplayPath.h"
#include "platform/fileops/JobTypes.h"

namespace platform::fileops {

class JobContext;

// Thrown to stop the work: the job was cancelled, or failed (the message is in the
// context's result already).
struct JobStopped {};

class JobContext {
public:
    virtual ~JobContext() = default;

    virtual const JobRequest& Request() const = 0;
    virtual GCancellable* Cancellable() const = 0;
    bool Cancelled() const { return g_cancellable_is_cancelled(Cancellable()); }
    void StopIfCancelled() const
    {
        if (Cancelled())
            throw JobStopped{};
    }

    // Asks and waits; a Cancel answer, or a cancel meanwhile, stops the job.
    virtual JobReply Ask(const JobQuestion& question) = 0;
    JobProgress& Progress() { return progress_; }
    virtual void ReportProgress() = 0;
    JobResult& Result() { return result_; }

    // Stops the job with "Cannot VERB 'NAME': REASON." where REASON is the system's
    // text for `error` (an errno value).
    [[noreturn]] void Fail(const std::string& path, std::string_view verb, int error);
    [[noreturn]] void FailWith(const std::string& path, std::string message);

protected:
    JobProgress progress_;
    JobResult result_;
};


// The work of each kind; each runs the whole request or throws JobStopped.
void RunTransfer(JobContext& ctx);
void RunLinks(JobContext& ctx);
void RunTrash(JobContext& ctx);

} // namespace platform::fileops
