#pragma once
// Device arrival and removal: the kernel marks the mount table (/proc/self/mountinfo)
// when it changes; the watcher reads it again and signals, on the GUI thread, when
// the set of volumes that Computer shows has changed.
#include <QObject>
#include <vector>

#include "platform/shell/Volumes.h"
#include "platform/util/UniqueFd.h"

class QSocketNotifier;

class TMountTableWatcher : public QObject {
    Q_OBJECT

public:
    // The application's watcher, made on first use and owned by the application.
    static TMountTableWatcher& Instance();

    // Reads the mount table now; signals when the volumes differ from the last read.
    void CheckNow();
    const std::vector<platform::shell::Volume>& Volumes() const { return volumes_; }

signals:
    void VolumesChanged();

private:
    explicit TMountTableWatcher(QObject* parent);
    ~TMountTableWatcher() override;

    platform::UniqueFd fd_;
    QSocketNotifier* notifier_ = nullptr;
    std::vector<platform::shell::Volume> volumes_;
};
