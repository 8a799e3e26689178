#include "foldertree/SystemImageList.h"

#include <QApplication>
#include <QCursor>

#include "platform/icons/SystemIconList.h"

using platform::SystemIconList;

TdfsSystemImageList::TdfsSystemImageList(QObject* owner) : QObject(owner)
{
    RefreshHandle(shareImages_);
}

TdfsSystemImageList::~TdfsSystemImageList() = default; // the shared list is the process's: left alone

void TdfsSystemImageList::SetImageSize(TImageSize size)
{
    if (size == imageSize_)
        return;
    imageSize_ = size;
    if (attached_)
        RefreshHandle(shareImages_);
}

void TdfsSystemImageList::SetShareImages(bool share)
{
    if (attached_)
        RefreshHandle(share);
    shareImages_ = share;
}

int TdfsSystemImageList::Width() const
{
    return imageSize_ == isSmall ? SystemIconList::kSmallSize : SystemIconList::kLargeSize;
}

int TdfsSystemImageList::Height() const { return Width(); }

void TdfsSystemImageList::RefreshHandle(bool share)
{
    privateImages_.clear();
    attached_ = false;
    SystemIconList& system = SystemIconList::Instance();
    if (!share) {
        const bool showWait = qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
        if (showWait)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        const int count = system.Count();
        privateImages_.reserve(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i)
            privateImages_.push_back(system.Pixmap(i, Width()));
        if (showWait)
            QApplication::restoreOverrideCursor();
    }
    attached_ = true;
}

int TdfsSystemImageList::Count() const
{
    return shareImages_ ? SystemIconList::Instance().Count() : static_cast<int>(privateImages_.size());
}

QIcon TdfsSystemImageList::Icon(int index) const
{
    if (shareImages_)
        return SystemIconList::Instance().Icon(index);
    return QIcon(Pixmap(index));
}

QPixmap TdfsSystemImageList::Pixmap(int index) const
{
    if (!shareImages_ && index >= 0 && index < static_cast<int>(privateImages_.size()))
        return privateImages_[static_cast<size_t>(index)];
    // A private copy holds what existed when it was made; newer icons come from the system list.
    return SystemIconList::Instance().Pixmap(index, Width());
}

int TdfsSystemImageList::GetFileIconIndex(const std::string& path, bool selected, bool open, TFileAttributes attributes)
{
    (void)selected;
    SystemIconList& system = SystemIconList::Instance();
    // The system list asks the disk itself, and answers a path that is not there
    // (or lies on a network mount) from its name.
    if (attributes == 0)
        return system.IndexForPath(path, open);
    return system.IndexForName(path, (attributes & faDirectory) != 0, open);
}
