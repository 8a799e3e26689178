#include "dragdrop/DragImageList.h"

int TDragImageList::Add(const QPixmap& image)
{
    images_.push_back(image);
    return Count() - 1;
}

QPixmap TDragImageList::Image(int index) const
{
    return index >= 0 && index < Count() ? images_[static_cast<std::size_t>(index)] : QPixmap();
}
