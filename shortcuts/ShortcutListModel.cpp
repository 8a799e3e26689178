#include "shortcuts/ShortcutListModel.h"

#include <QPainter>

#include "foldertree/SystemImageList.h"
#include "platform/util/Text.h"

TShortcutListModel::TShortcutListModel(QObject* parent) : QAbstractItemModel(parent) {}

QString TShortcutListModel::NameToText(const std::string& name)
{
    if (platform::IsValidUtf8(name))
        return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    const std::u16string u16 = platform::BytesToUtf16(name);
    return QString(reinterpret_cast<const QChar*>(u16.data()), static_cast<qsizetype>(u16.size()));
}

std::string TShortcutListModel::TextToName(const QString& text)
{
    return platform::Utf16ToBytes(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                                      static_cast<size_t>(text.size())));
}

void TShortcutListModel::SetColumns(const std::string& letters, const QStringList& captionsByLetter)
{
    beginResetModel();
    rows_.clear();
    dropHighlight_ = -1;
    letters_ = letters;
    captions_ = captionsByLetter;
    endResetModel();
}

void TShortcutListModel::SetRows(const std::string& folder, std::vector<TShortcutListRow> rows)
{
    beginResetModel();
    folder_ = folder;
    rows_ = std::move(rows);
    dropHighlight_ = -1;
    endResetModel();
}

void TShortcutListModel::Reorder(const std::vector<int>& order)
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newPos(order.size());
    for (size_t i = 0; i < order.size(); ++i)
        newPos[static_cast<size_t>(order[i])] = static_cast<int>(i);
    std::vector<TShortcutListRow> sorted;
    sorted.reserve(rows_.size());
    for (int old : order)
        sorted.push_back(std::move(rows_[static_cast<size_t>(old)]));
    rows_ = std::move(sorted);
    if (dropHighlight_ >= 0)
        dropHighlight_ = newPos[static_cast<size_t>(dropHighlight_)];
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& idx : from)
        to.append(index(newPos[static_cast<size_t>(idx.row())], idx.column()));
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void TShortcutListModel::RowChanged(int row)
{
    if (row >= 0 && row < Count() && !letters_.empty())
        emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

void TShortcutListModel::SetRowName(int row, std::string name)
{
    if (row < 0 || row >= Count())
        return;
    rows_[static_cast<size_t>(row)].Name = std::move(name);
    RowChanged(row);
}

void TShortcutListModel::SetState(int row, int state)
{
    if (row < 0 || row >= Count() || rows_[static_cast<size_t>(row)].StateIndex == state)
        return;
    rows_[static_cast<size_t>(row)].StateIndex = state;
    RowChanged(row);
}

void TShortcutListModel::SetCut(int row, bool cut)
{
    if (row < 0 || row >= Count() || rows_[static_cast<size_t>(row)].Cut == cut)
        return;
    rows_[static_cast<size_t>(row)].Cut = cut;
    RowChanged(row);
}

void TShortcutListModel::SetDropHighlightRow(int row)
{
    if (row < 0 || row >= Count())
        row = -1;
    if (row == dropHighlight_)
        return;
    const int old = dropHighlight_;
    dropHighlight_ = row;
    RowChanged(old);
    RowChanged(row);
}

void TShortcutListModel::SetSmallImages(TdfsSystemImageList* images)
{
    smallImages_ = images;
    decorations_.clear();
    if (Count() > 0)
        emit dataChanged(index(0, 0), index(Count() - 1, 0), {Qt::DecorationRole});
}

void TShortcutListModel::SetStateImages(std::vector<QPixmap> images)
{
    stateImages_ = std::move(images);
    decorations_.clear();
    if (Count() > 0)
        emit dataChanged(index(0, 0), index(Count() - 1, 0), {Qt::DecorationRole});
}

void TShortcutListModel::SetHeaderImage(const QPixmap& image)
{
    headerImage_ = image;
    if (columnCount() > 0)
        emit headerDataChanged(Qt::Horizontal, 0, 0);
}

QModelIndex TShortcutListModel::index(int row, int column, const QModelIndex& parent) const
{
    if (parent.isValid() || row < 0 || column < 0 || row >= rowCount() || column >= columnCount())
        return {};
    return createIndex(row, column);
}

int TShortcutListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : Count();
}

int TShortcutListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(letters_.size());
}

QVariant TShortcutListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    const TShortcutListRow& row = rows_[static_cast<size_t>(index.row())];
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        if (column == 0)
            return NameToText(row.Name);
        if (static_cast<size_t>(column - 1) < row.SubItems.size())
            return QString::fromStdString(row.SubItems[static_cast<size_t>(column - 1)]);
        return {};
    case Qt::DecorationRole:
        return column == 0 ? QVariant(Decoration(row)) : QVariant();
    case StateRole:
        return row.StateIndex;
    case CutRole:
        return row.Cut;
    case DropHighlightRole:
        return index.row() == dropHighlight_;
    default:
        return {};
    }
}

bool TShortcutListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || index.column() != 0 || role != Qt::EditRole || !OnNameEdited)
        return false;
    return OnNameEdited(index.row(), value.toString());
}

Qt::ItemFlags TShortcutListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemNeverHasChildren;
    if (index.column() == 0)
        f |= Qt::ItemIsEditable;
    return f;
}

QVariant TShortcutListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return {};
    if (role == Qt::DisplayRole) {
        const int letter = letters_[static_cast<size_t>(section)] - 'a';
        return letter >= 0 && letter < captions_.size() ? QVariant(captions_[letter]) : QVariant();
    }
    if (role == Qt::DecorationRole && section == 0 && !headerImage_.isNull())
        return headerImage_;
    return {};
}

QPixmap TShortcutListModel::Decoration(const TShortcutListRow& row) const
{
    const quint64 key = (static_cast<quint64>(static_cast<quint32>(row.ImageIndex)) << 8) |
                        (static_cast<quint64>(row.StateIndex + 1) << 1) | (row.Cut ? 1 : 0);
    if (auto it = decorations_.constFind(key); it != decorations_.constEnd())
        return *it;
    QPixmap icon = smallImages_ ? smallImages_->Pixmap(row.ImageIndex) : QPixmap();
    const qreal dpr = icon.isNull() ? 1.0 : icon.devicePixelRatio();
    QPixmap pm(QSize(kStateImageSize + kIconSize, kIconSize) * dpr);
    pm.setDevicePixelRatio(dpr);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    if (row.StateIndex >= 0 && static_cast<size_t>(row.StateIndex) < stateImages_.size())
        p.drawPixmap(QRect(0, 0, kStateImageSize, kStateImageSize), stateImages_[static_cast<size_t>(row.StateIndex)]);
    if (!icon.isNull()) {
        if (row.Cut) // a cut item is drawn ghosted until it moves
            p.setOpacity(0.45);
        p.drawPixmap(QRect(kStateImageSize, 0, kIconSize, kIconSize), icon);
    }
    p.end();
    decorations_.insert(key, pm);
    return pm;
}
