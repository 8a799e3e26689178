#pragma once
// TFolderReader: reads the items of folders on network mounts off the GUI thread, on
// the queue of the folder's mount (platform/util/Tasks.h). A server that went away
// holds up only the reads of its own mount, and nothing ever waits for them, not even
// the program's exit: a read given up, or outlived by its reader, is left to end (or
// not) alone.
#include <QObject>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "foldertree/SystemControlPack.h"
#include "platform/util/Tasks.h"

class TFolderReader : public QObject {
    Q_OBJECT

public:
    using Items = std::vector<IdList>;

    explicit TFolderReader(QObject* parent = nullptr);
    // Answers still to come are dropped.
    ~TFolderReader() override;
    TFolderReader(const TFolderReader&) = delete;
    TFolderReader& operator=(const TFolderReader&) = delete;

    // Reads the items of folder (SHCONTF_ flags), a folder object nobody else uses,
    // on the queue of the network mount at mountPoint (in the local pool when it is
    // empty). OnRead follows on this object's thread, with no items for a folder that
    // could not be read, or OnSilent when the mount does not answer. The caller tells
    // its answers apart by ticket.
    void Read(quint64 ticket, ShellFolderPtr folder, std::uint32_t flags, const std::string& mountPoint);
    // The read is no longer wanted: one not begun never begins, and nothing of it
    // comes back.
    void Drop(quint64 ticket);
    std::function<void(quint64 ticket, Items& items)> OnRead;
    std::function<void(quint64 ticket, const std::string& mountPoint)> OnSilent;

private:
    platform::tasks::Inbox inbox_;
    std::map<quint64, platform::tasks::CancelToken> reads_;
};
