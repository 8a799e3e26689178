#pragma once
// The pictures a drag source can show under the pointer, by index.
#include <QObject>
#include <QPixmap>
#include <vector>

class TDragImageList : public QObject {
    Q_OBJECT
public:
    explicit TDragImageList(QObject* owner = nullptr) : QObject(owner) {}

    int Add(const QPixmap& image);
    int Count() const { return static_cast<int>(images_.size()); }
    // A null pixmap for an index outside the list.
    QPixmap Image(int index) const;

private:
    std::vector<QPixmap> images_;
};
