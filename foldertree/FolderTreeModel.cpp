#include "foldertree/FolderTreeModel.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <algorithm>

#include "foldertree/SubfolderProbe.h"
#include "platform/icons/SystemIconList.h"

namespace shell = platform::shell;

namespace {

bool Before(const std::unique_ptr<TFolderNode>& a, const std::unique_ptr<TFolderNode>& b)
{
    return CompareFolderItems(a.get(), b.get()) < 0;
}

// Overlay 1 is the shortcut arrow, overlay 0 the sharing hand (drawn as a dot).
QPixmap WithOverlay(QPixmap pixmap, int overlay)
{
    if (overlay < 0 || pixmap.isNull())
        return pixmap;
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = pixmap.width() / pixmap.devicePixelRatio();
    const QRectF box(0, s * 0.5, s * 0.5, s * 0.5);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::white);
    p.drawRect(box.adjusted(0.5, 0.5, -0.5, -0.5));
    if (overlay == 1) {
        QPainterPath arrow;
        arrow.moveTo(box.left() + box.width() * 0.25, box.bottom() - box.height() * 0.2);
        arrow.quadTo(box.left() + box.width() * 0.3, box.top() + box.height() * 0.35,
                     box.right() - box.width() * 0.25, box.top() + box.height() * 0.3);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(Qt::black, 1.2));
        p.drawPath(arrow);
        p.drawLine(QPointF(box.right() - box.width() * 0.25, box.top() + box.height() * 0.3),
                   QPointF(box.right() - box.width() * 0.45, box.top() + box.height() * 0.15));
        p.drawLine(QPointF(box.right() - box.width() * 0.25, box.top() + box.height() * 0.3),
                   QPointF(box.right() - box.width() * 0.4, box.top() + box.height() * 0.5));
    } else {
        p.setBrush(Qt::blue);
        p.drawEllipse(box.center(), box.width() * 0.2, box.height() * 0.2);
    }
    return pixmap;
}

} // namespace

TFolderTreeModel::TFolderTreeModel(QObject* parent) : QAbstractItemModel(parent), probe_(new TSubfolderProbe(this))
{
    connect(probe_, &TSubfolderProbe::Answered, this, &TFolderTreeModel::ProbeAnswered);
}

TFolderTreeModel::~TFolderTreeModel() = default;

// --- the nodes ---------------------------------------------------------------------------

QModelIndex TFolderTreeModel::IndexOf(const TFolderNode* node) const
{
    if (!node)
        return {};
    return createIndex(node->Row, 0, const_cast<TFolderNode*>(node));
}

TFolderNode* TFolderTreeModel::NodeOf(const QModelIndex& index)
{
    return index.isValid() ? static_cast<TFolderNode*>(index.internalPointer()) : nullptr;
}

void TFolderTreeModel::InsertChildren(TFolderNode* parent, Nodes& nodes)
{
    if (nodes.empty())
        return;
    Nodes& list = ChildrenOf(parent);
    const int first = static_cast<int>(list.size());
    beginInsertRows(IndexOf(parent), first, first + static_cast<int>(nodes.size()) - 1);
    for (auto& n : nodes) {
        n->Parent = parent;
        list.push_back(std::move(n));
    }
    for (std::size_t i = first; i < list.size(); ++i)
        list[i]->Row = static_cast<int>(i);
    endInsertRows();
    nodes.clear();
}

void TFolderTreeModel::RemoveChildren(TFolderNode* parent)
{
    Nodes& list = ChildrenOf(parent);
    if (list.empty())
        return;
    dropTarget_ = nullptr;
    ForgetProbesBelow(parent);
    beginRemoveRows(IndexOf(parent), 0, static_cast<int>(list.size()) - 1);
    Nodes gone;
    gone.swap(list);
    endRemoveRows();
    // The records go with their nodes, once the views have let go of them.
}

void TFolderTreeModel::Clear()
{
    dropTarget_ = nullptr;
    probing_.clear();
    probe_->ForgetQueued();
    beginResetModel();
    Nodes gone;
    gone.swap(top_);
    endResetModel();
}

void TFolderTreeModel::SortChildren(TFolderNode* parent)
{
    Nodes& list = ChildrenOf(parent);
    if (std::is_sorted(list.begin(), list.end(), Before))
        return;
    const QModelIndex parentIndex = IndexOf(parent);
    emit layoutAboutToBeChanged({QPersistentModelIndex(parentIndex)}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList persistent = persistentIndexList();
    std::vector<TFolderNode*> moved;
    moved.reserve(persistent.size());
    for (const QModelIndex& i : persistent)
        moved.push_back(NodeOf(i));
    std::stable_sort(list.begin(), list.end(), Before);
    for (std::size_t i = 0; i < list.size(); ++i)
        list[i]->Row = static_cast<int>(i);
    QModelIndexList now;
    now.reserve(persistent.size());
    for (TFolderNode* n : moved)
        now.push_back(IndexOf(n));
    changePersistentIndexList(persistent, now);
    emit layoutChanged({QPersistentModelIndex(parentIndex)}, QAbstractItemModel::VerticalSortHint);
}

void TFolderTreeModel::NodeChanged(const TFolderNode* node)
{
    const QModelIndex i = IndexOf(node);
    if (i.isValid())
        emit dataChanged(i, i);
}

// --- changing the nodes ---------------------------------------------------------------------

std::unique_ptr<TFolderNode> TFolderTreeModel::MakeNode(TFolderNode* parent, TFolderItemInfo info)
{
    auto node = std::make_unique<TFolderNode>();
    node->Parent = parent;
    node->Text = std::move(info.Name);
    node->Data = std::move(info.Data);
    node->OverlayIndex = info.Overlay;
    node->HasButton = info.HasButton;
    return node;
}

void TFolderTreeModel::SetChildren(TFolderNode* parent, Nodes& nodes)
{
    RemoveChildren(parent);
    InsertChildren(parent, nodes);
    if (parent && parent->Data)
        parent->Data->Populated = true;
}

void TFolderTreeModel::ForgetChildren(TFolderNode* parent)
{
    RemoveChildren(parent);
    if (!parent || !parent->Data)
        return;
    parent->Data->Populated = false;
    SetHasButton(parent, true);
}

void TFolderTreeModel::ShowReading(TFolderNode* parent)
{
    Nodes reading;
    reading.push_back(std::make_unique<TFolderNode>());
    reading.back()->Text = "Reading...";
    reading.back()->Placeholder = true;
    InsertChildren(parent, reading);
}

void TFolderTreeModel::SetHasButton(TFolderNode* node, bool on)
{
    node->HasButton = on;
    NodeChanged(node);
}

void TFolderTreeModel::SetText(TFolderNode* node, std::string text)
{
    node->Text = std::move(text);
    node->IconsFetched = false;
    NodeChanged(node);
}

// --- what to draw --------------------------------------------------------------------------

void TFolderTreeModel::SetCheckable(bool on)
{
    if (on == checkable_)
        return;
    checkable_ = on;
    // Every node's flags change: the views ask again.
    emit layoutAboutToBeChanged();
    emit layoutChanged();
}

void TFolderTreeModel::SetDropTarget(TFolderNode* node)
{
    if (node == dropTarget_)
        return;
    TFolderNode* old = dropTarget_;
    dropTarget_ = node;
    if (old)
        NodeChanged(old);
    if (node)
        NodeChanged(node);
}

void TFolderTreeModel::SetDropHighlight(const QBrush& background, const QBrush& text)
{
    dropBackground_ = background;
    dropText_ = text;
    if (dropTarget_)
        NodeChanged(dropTarget_);
}

void TFolderTreeModel::SetProbeSubfolders(bool on, bool countHidden)
{
    probeSubfolders_ = on;
    probeHidden_ = countHidden;
}

// --- subfolders the attributes missed ---------------------------------------------------------

void TFolderTreeModel::ProbeWhenUnsure(TFolderNode* node) const
{
    // Only folders the user sees, once each: a folder of thousands of subfolders
    // costs a look into the few rows in view, as their icons do.
    if (!probeSubfolders_ || node->Probed || node->HasButton || !node->Children.empty() || !node->Data ||
        node->Data->Populated)
        return;
    const std::uint32_t wanted = shell::SFGAO_FOLDER | shell::SFGAO_FILESYSTEM;
    if ((node->Data->Attributes & wanted) != wanted)
        return;
    node->Probed = true;
    const std::string path = GetItemPath(node->Data->AbsoluteIdList.Get());
    if (path.empty())
        return;
    probing_.emplace(++lastTicket_, node);
    probe_->Ask(lastTicket_, path, probeHidden_);
}

void TFolderTreeModel::ProbeAnswered(quint64 ticket, bool found)
{
    const auto it = probing_.find(ticket);
    if (it == probing_.end())
        return; // the node went meanwhile
    TFolderNode* node = it->second;
    probing_.erase(it);
    // Read meanwhile: the read knows better.
    if (found && !node->HasButton && node->Children.empty() && node->Data && !node->Data->Populated) {
        node->HasButton = true;
        NodeChanged(node);
    }
    emit SubfoldersProbed(node, found);
}

void TFolderTreeModel::ForgetProbesBelow(const TFolderNode* parent)
{
    for (auto it = probing_.begin(); it != probing_.end();) {
        const TFolderNode* p = it->second->Parent;
        while (p && p != parent)
            p = p->Parent;
        if (p || !parent)
            it = probing_.erase(it);
        else
            ++it;
    }
}

// --- QAbstractItemModel ------------------------------------------------------------------------

QModelIndex TFolderTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column != 0 || row < 0)
        return {};
    const Nodes& list = parent.isValid() ? NodeOf(parent)->Children : top_;
    if (row >= static_cast<int>(list.size()))
        return {};
    return createIndex(row, 0, list[row].get());
}

QModelIndex TFolderTreeModel::parent(const QModelIndex& child) const
{
    const TFolderNode* node = NodeOf(child);
    return node ? IndexOf(node->Parent) : QModelIndex();
}

int TFolderTreeModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    return static_cast<int>(parent.isValid() ? NodeOf(parent)->Children.size() : top_.size());
}

int TFolderTreeModel::columnCount(const QModelIndex&) const
{
    return 1;
}

bool TFolderTreeModel::hasChildren(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return !top_.empty();
    const TFolderNode* node = NodeOf(parent);
    if (!node->Children.empty())
        return true;
    // Before the first expansion the button is what the item's attributes said.
    return node->HasButton && (!node->Data || !node->Data->Populated);
}

bool TFolderTreeModel::canFetchMore(const QModelIndex& parent) const
{
    const TFolderNode* node = NodeOf(parent);
    // A folder being read shows "Reading..." until its answer comes: nothing more to ask.
    return node && node->Data && !node->Data->Populated && node->HasButton && node->Children.empty();
}

void TFolderTreeModel::fetchMore(const QModelIndex& parent)
{
    if (TFolderNode* node = NodeOf(parent); node && OnFetch)
        OnFetch(node);
}

Qt::ItemFlags TFolderTreeModel::flags(const QModelIndex& index) const
{
    const TFolderNode* node = NodeOf(index);
    // "Reading..." is drawn disabled, and neither chosen nor stepped on by the keys.
    if (!node || node->Placeholder)
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (node->Data && (node->Data->Attributes & shell::SFGAO_CANRENAME))
        f |= Qt::ItemIsEditable;
    if (checkable_)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

QVariant TFolderTreeModel::data(const QModelIndex& index, int role) const
{
    TFolderNode* node = NodeOf(index);
    if (!node)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return QString::fromUtf8(node->Text.data(), static_cast<qsizetype>(node->Text.size()));
    case Qt::DecorationRole:
        ProbeWhenUnsure(node);
        return IconOf(node);
    case Qt::CheckStateRole:
        if (checkable_)
            return node->Checked ? Qt::Checked : Qt::Unchecked;
        return {};
    case Qt::BackgroundRole:
        if (node == dropTarget_)
            return dropBackground_;
        return {};
    case Qt::ForegroundRole:
        if (node == dropTarget_)
            return dropText_;
        return {};
    default:
        return {};
    }
}

bool TFolderTreeModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    TFolderNode* node = NodeOf(index);
    if (!node)
        return false;
    if (role == Qt::CheckStateRole) {
        node->Checked = value.toInt() == Qt::Checked;
        emit dataChanged(index, index, {Qt::CheckStateRole});
        return true;
    }
    if (role == Qt::EditRole)
        return OnRename && OnRename(node, value.toString());
    return false;
}

QIcon TFolderTreeModel::IconOf(TFolderNode* node) const
{
    if (!node->Data)
        return {};
    if (!node->IconsFetched) {
        // Asked once, when the node is first drawn; kept from then on.
        const auto [normal, open] = GetItemIcons(node->Data->AbsoluteIdList.Get());
        node->ImageIndex = (node->Data->Attributes & shell::SFGAO_FOLDER) ? normal : open;
        node->SelectedIndex = open;
        node->IconsFetched = true;
    }
    const auto key = std::make_tuple(node->ImageIndex, node->SelectedIndex, node->OverlayIndex);
    auto it = icons_.find(key);
    if (it != icons_.end())
        return it->second;
    auto& list = platform::SystemIconList::Instance();
    const int size = platform::SystemIconList::kSmallSize;
    QIcon icon;
    icon.addPixmap(WithOverlay(list.Pixmap(node->ImageIndex, size), node->OverlayIndex), QIcon::Normal);
    icon.addPixmap(WithOverlay(list.Pixmap(node->SelectedIndex, size), node->OverlayIndex), QIcon::Selected);
    icons_.emplace(key, icon);
    return icon;
}
