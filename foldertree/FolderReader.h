#pragma once
// TFolderReader: reads the items of folders on network mounts off the GUI thread,
// each folder on a thread of its own. A server that went away holds up only the read
// of its own folder, and nothing ever waits for that thread, not even the program's
// exit: a read given up, or outlived by its reader, is left to end (or not) alone.
#include <QObject>
#include <functional>
#include <memory>
#include <vector>

#include "foldertree/SystemControlPack.h"

class TFolderReader : public QObject {
    Q_OBJECT

public:
    using Items = std::vector<IdList>;

    explicit TFolderReader(QObject* parent = nullptr);
    // Answers still to come are dropped.
    ~TFolderReader() override;
    TFolderReader(const TFolderReader&) = delete;
    TFolderReader& operator=(const TFolderReader&) = delete;

    // Reads the items of folder (SHCONTF_ flags), a folder object nobody else uses.
    // OnRead follows on this object's thread, with no items for a folder that could
    // not be read. The caller tells its answers apart by ticket and ignores those it
    // no longer waits for.
    void Read(quint64 ticket, ShellFolderPtr folder, std::uint32_t flags);
    std::function<void(quint64 ticket, Items& items)> OnRead;

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
};
