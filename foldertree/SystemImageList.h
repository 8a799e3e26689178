#pragma once
// The shell's system icon list as an image-list component: the list and the tree
// show any file, folder or drive by its system icon index alone.
#include <QIcon>
#include <QObject>
#include <QPixmap>
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

enum TImageSize { isLarge = 0, isSmall = 1 };

// File attributes GetFileIconIndex may be given, valued as their FILE_ATTRIBUTE_ flags.
enum TFileAttribute : std::uint32_t {
    faReadOnly = 0x1,
    faHidden = 0x2,
    faSystem = 0x4,
    faDirectory = 0x10,
    faArchive = 0x20,
    faNormal = 0x80,
    faTemporary = 0x100,
    faCompressed = 0x800,
    faOffline = 0x1000,
};
using TFileAttributes = std::uint32_t; // a set of TFileAttribute flags

class TdfsSystemImageList : public QObject {
    Q_OBJECT
public:
    explicit TdfsSystemImageList(QObject* owner = nullptr);
    ~TdfsSystemImageList() override;

    QString Version() const { return QStringLiteral("TdfsSystemImageList v1.16"); }
    void SetVersion(const QString&) {} // read-only; kept for the component's interface

    TImageSize ImageSize() const { return imageSize_; }
    void SetImageSize(TImageSize size);
    bool ShareImages() const { return shareImages_; }
    void SetShareImages(bool share);
    int Width() const;
    int Height() const;
    bool HandleAllocated() const { return attached_; }

    // Attaches the system list of the current ImageSize, shared or as a private copy.
    void RefreshHandle(bool share);

    int Count() const;
    QIcon Icon(int index) const;
    QPixmap Pixmap(int index) const; // at the list's own size

    // The system icon index of a path. With no attributes and a path that exists, the
    // item itself is looked at (never on a network mount); otherwise the answer comes
    // from the name and the attributes alone (faDirectory: a folder). selected has no
    // picture of its own here.
    static int GetFileIconIndex(const std::string& path, bool selected, bool open, TFileAttributes attributes);

private:
    TImageSize imageSize_ = isLarge;
    bool shareImages_ = true;
    bool attached_ = false;
    std::vector<QPixmap> privateImages_; // the copy, when not shared
};
