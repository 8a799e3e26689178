#include "foldertree/FolderReader.h"

#include <mutex>
#include <system_error>
#include <thread>

namespace shell = platform::shell;

struct TFolderReader::Shared {
    std::mutex mutex;
    // Cleared when the reader goes. A worker posts under the mutex, so the reader is
    // alive whenever something is posted to it; what is posted then goes with it.
    TFolderReader* owner = nullptr;

    void Answer(quint64 ticket, std::shared_ptr<Items> items)
    {
        std::lock_guard lock(mutex);
        if (!owner)
            return;
        TFolderReader* reader = owner;
        QMetaObject::invokeMethod(
            reader,
            [reader, ticket, items] {
                if (reader->OnRead)
                    reader->OnRead(ticket, *items);
            },
            Qt::QueuedConnection);
    }
};

TFolderReader::TFolderReader(QObject* parent) : QObject(parent), shared_(std::make_shared<Shared>())
{
    shared_->owner = this;
}

TFolderReader::~TFolderReader()
{
    std::lock_guard lock(shared_->mutex);
    shared_->owner = nullptr;
}

void TFolderReader::Read(quint64 ticket, ShellFolderPtr folder, std::uint32_t flags)
{
    auto work = [shared = shared_, ticket, folder = std::move(folder), flags] {
        auto items = std::make_shared<Items>();
        std::unique_ptr<shell::EnumIdList> entries;
        if (folder && shell::Succeeded(folder->EnumObjects(flags, entries)) && entries)
            for (IdList item; entries->Next(item) == shell::S_OK;)
                items->push_back(std::move(item));
        shared->Answer(ticket, std::move(items));
    };
    try {
        std::thread(std::move(work)).detach();
    } catch (const std::system_error&) {
        // Without a thread the folder counts as unreadable, as a failed read would.
        shared_->Answer(ticket, std::make_shared<Items>());
    }
}
