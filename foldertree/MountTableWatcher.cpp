#include "foldertree/MountTableWatcher.h"

#include <fcntl.h>

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>

#include "platform/shell/EntryAttributes.h"

TMountTableWatcher& TMountTableWatcher::Instance()
{
    static QPointer<TMountTableWatcher> instance;
    if (!instance)
        instance = new TMountTableWatcher(QCoreApplication::instance());
    return *instance;
}

TMountTableWatcher::TMountTableWatcher(QObject* parent) : QObject(parent)
{
    volumes_ = platform::shell::ReadVolumes();
    fd_ = platform::UniqueFd(::open(platform::shell::MountTablePath().c_str(), O_RDONLY | O_CLOEXEC));
    if (fd_) {
        // The table signals a change as an exceptional condition (POLLPRI).
        notifier_ = new QSocketNotifier(fd_.Get(), QSocketNotifier::Exception, this);
        connect(notifier_, &QSocketNotifier::activated, this, [this] { CheckNow(); });
    }
}

TMountTableWatcher::~TMountTableWatcher()
{
    delete notifier_; // before the descriptor it watches goes
}

void TMountTableWatcher::CheckNow()
{
    // The kernel reports each change once (the poll itself takes note of it), so
    // reading the table afresh is all there is to do.
    std::vector<platform::shell::Volume> now = platform::shell::ReadVolumes();
    platform::shell::ForgetFileSystemTypes();
    if (now == volumes_)
        return;
    volumes_ = std::move(now);
    emit VolumesChanged();
}
