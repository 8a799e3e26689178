#pragma once
// What a file job tells the side that shows it. Every call comes on the job's worker
// thread; the GUI side hands them on to its own thread and never waits for the job.
#include <functional>

#include "platform/fileops/JobTypes.h"

namespace platform::fileops {

class JobDelegate {
public:
    virtual ~JobDelegate() = default;

    // Often (per file, and per chunk of a large one): keep it short.
    virtual void Progress(const JobProgress& progress) = 0;

    // The job waits until `reply` is called, once, from any thread. A job cancelled
    // meanwhile stops waiting and ignores a later reply, so `reply` may outlive it.
    virtual void Ask(const JobQuestion& question, std::function<void(JobReply)> reply) = 0;

    // The last call.
    virtual void Finished(const JobResult& result) = 0;
};

} // namespace platform::fileops
