#include "foldertree/FolderReader.h"

namespace shell = platform::shell;
namespace tasks = platform::tasks;

TFolderReader::TFolderReader(QObject* parent)
    : QObject(parent),
      inbox_([this](std::function<void()> fn) { QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection); })
{
}

TFolderReader::~TFolderReader()
{
    for (const auto& [ticket, token] : reads_)
        token.Cancel();
}

void TFolderReader::Read(quint64 ticket, ShellFolderPtr folder, std::uint32_t flags, const std::string& mountPoint)
{
    tasks::MountTask task;
    reads_[ticket] = task.Token;
    // Runs on this object's thread, for a read still wanted.
    const auto answer = [this, outbox = inbox_.Address(), ticket](std::function<void()> fn) {
        outbox.Post([this, ticket, fn = std::move(fn)] {
            if (reads_.erase(ticket))
                fn();
        });
    };
    task.Run = [this, answer, ticket, folder = std::move(folder), flags, token = task.Token] {
        auto items = std::make_shared<Items>();
        std::unique_ptr<shell::EnumIdList> entries;
        if (folder && shell::Succeeded(folder->EnumObjects(flags, entries)) && entries)
            for (IdList item; !token.IsCancelled() && entries->Next(item) == shell::S_OK;)
                items->push_back(std::move(item));
        answer([this, ticket, items] {
            if (OnRead)
                OnRead(ticket, *items);
        });
    };
    task.NotAnswering = [this, answer, ticket, mountPoint] {
        answer([this, ticket, mountPoint] {
            if (OnSilent)
                OnSilent(ticket, mountPoint);
        });
    };
    tasks::TaskHome& home = tasks::TaskHome::Get();
    if (mountPoint.empty()) {
        if (home.RunLocal(task.Run))
            return;
    } else {
        switch (home.RunOnMount(mountPoint, task)) {
        case tasks::MountAnswer::Queued:
            return;
        case tasks::MountAnswer::NotAnswering:
            task.NotAnswering();
            return;
        case tasks::MountAnswer::NoThread:
            break;
        }
    }
    // Without a thread the folder counts as unreadable, as a failed read would.
    answer([this, ticket] {
        Items none;
        if (OnRead)
            OnRead(ticket, none);
    });
}

void TFolderReader::Drop(quint64 ticket)
{
    if (const auto it = reads_.find(ticket); it != reads_.end()) {
        it->second.Cancel();
        reads_.erase(it);
    }
}
