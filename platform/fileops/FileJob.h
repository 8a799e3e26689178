#pragma once
// A file job: paste (copy or move), shortcuts, or the trash, run on a thread
// of its own (platform/util/Tasks.h) with progress, cancel and questions handed to
// a JobDelegate.
//
// Nothing is ever overwritten without a Replace answer, a move deletes a source only
// after its copy is complete and checked, and the first error stops the job with one
// message naming the file (JobResult::error).
#include <memory>

#include "platform/fileops/JobDelegate.h"
#include "platform/fileops/JobTypes.h"

namespace platform::fileops {

class FileJob {
public:
    FileJob(JobRequest request, std::shared_ptr<JobDelegate> delegate);
    // Cancels a job still running and waits for it a short while only (time to
    // remove a partial file); a job stuck in the kernel is left to end on its own.
    ~FileJob();
    FileJob(const FileJob&) = delete;
    FileJob& operator=(const FileJob&) = delete;

    void Start();
    // Stops between files, or between chunks of a large file (whose partial copy is
    // removed), and answers a pending question with Cancel. Any thread, any time.
    void Cancel();
    bool IsCancelled() const;
    bool IsFinished() const;
    // Blocks until the job has finished (tests, benchmarks; never the GUI thread).
    JobResult Wait();

    struct Shared;

private:
    std::shared_ptr<Shared> shared_;
    bool started_ = false;
};

} // namespace platform::fileops
