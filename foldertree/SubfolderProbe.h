#pragma once
// TSubfolderProbe: looks into folders in the local pool for subfolders that their
// attributes do not tell of. On ext4, xfs and tmpfs a folder's link count counts
// its real subfolders only, so a folder whose subfolders are all symbolic links (a
// Wine prefix's dosdevices) reads as having none. Finding out means reading the
// folder and following its links, which the GUI thread must never wait for: a link
// may lead onto a network mount that does not answer.
#include <QObject>
#include <memory>
#include <string>

#include "platform/util/Tasks.h"

// Whether the folder at path holds a folder or a symbolic link to one ("." names
// only with includeHidden), among its first few thousand entries. False when it
// cannot be read. Blocks.
bool HoldsSubfolder(const std::string& path, bool includeHidden);

class TSubfolderProbe : public QObject {
    Q_OBJECT

public:
    explicit TSubfolderProbe(QObject* parent = nullptr);
    // Never waits for a look under way: it finishes on its own, and its answer is
    // dropped.
    ~TSubfolderProbe() override;
    TSubfolderProbe(const TSubfolderProbe&) = delete;
    TSubfolderProbe& operator=(const TSubfolderProbe&) = delete;

    // Queues a look into a folder; Answered follows on this object's thread. The
    // folder asked for last is looked into first: it is the one in view now.
    void Ask(quint64 ticket, const std::string& path, bool includeHidden);
    // Drops the looks not begun yet.
    void ForgetQueued();

signals:
    void Answered(quint64 ticket, bool holdsSubfolder);

private:
    struct Shared;
    platform::tasks::Inbox inbox_;
    std::shared_ptr<Shared> shared_;
};
