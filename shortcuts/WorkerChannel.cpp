#include "shortcuts/WorkerChannel.h"

namespace tasks = platform::tasks;

TWorkerChannel::TWorkerChannel(QObject* receiver)
    : inbox_([receiver](std::function<void()> fn) {
          QMetaObject::invokeMethod(receiver, std::move(fn), Qt::QueuedConnection);
      })
{
}

TWorkerChannel::~TWorkerChannel() { Close(); }

void TWorkerChannel::Start(const std::string& mountPoint, std::function<void(const tasks::Outbox&)> work,
                           std::function<void()> onSilent)
{
    mount_ = mountPoint;
    tasks::MountTask task;
    task.Token = token_;
    task.Run = [outbox = inbox_.Address(), work = std::move(work)] { work(outbox); };
    task.NotAnswering = [outbox = inbox_.Address(), onSilent] { outbox.Post(onSilent); };
    if (tasks::TaskHome::Get().RunOnMount(mountPoint, task) != tasks::MountAnswer::Queued)
        task.NotAnswering();
}

void TWorkerChannel::Close()
{
    token_.Cancel();
    inbox_.Close();
}

void TWorkerChannel::GiveUp()
{
    Close();
    if (!mount_.empty())
        tasks::TaskHome::Get().GiveUp(mount_, token_);
}

bool TWorkerChannel::IsClosed() const { return inbox_.IsClosed(); }
