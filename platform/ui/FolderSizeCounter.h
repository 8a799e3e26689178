#pragma once
// Counts what folders hold (bytes, files, folders) on a thread of its own, for the
// General page: a folder on a slow or hung file system never stops the window.
// Destroying the counter (closing the window) gives the count up.
#include <QObject>
#include <memory>
#include <string>
#include <vector>

#include "platform/util/Tasks.h"

namespace platform::ui {

class FolderSizeCounter : public QObject {
    Q_OBJECT
public:
    explicit FolderSizeCounter(std::vector<std::string> folders, QObject* parent = nullptr);
    ~FolderSizeCounter() override;

    void Start();

    struct Shared;

signals:
    // A few times a second while counting, and once with done set. The folders
    // themselves are not counted; a subfolder on another file system is counted as
    // a folder without going in.
    void Progress(quint64 bytes, quint64 files, quint64 folders, bool done);

private:
    std::vector<std::string> folders_;
    tasks::Inbox inbox_;
    std::shared_ptr<Shared> shared_;
};

} // namespace platform::ui
