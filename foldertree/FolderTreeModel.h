#pragma once
// TFolderTreeModel: the folder tree's nodes as Qt's item views see them. It owns the
// nodes (and through them their records), answers Qt's questions about them, draws
// what the tree tells it to (check marks, the drop target) and fetches each node's
// icons the first time the node is drawn.
//
// The model reads no folder by itself: when Qt asks for the children of a node not
// read yet, OnFetch reads them; an edited label goes to OnRename. One thing it finds
// out on its own, off the GUI thread: whether a folder drawn without a button holds
// subfolders after all (symbolic links to folders, which a link count misses).
#include <QAbstractItemModel>
#include <QBrush>
#include <QIcon>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "foldertree/SystemControlPack.h"

class TSubfolderProbe;

class TFolderTreeModel : public QAbstractItemModel {
    Q_OBJECT

public:
    using Nodes = std::vector<std::unique_ptr<TFolderNode>>;

    explicit TFolderTreeModel(QObject* parent = nullptr);
    ~TFolderTreeModel() override;

    // --- the nodes -----------------------------------------------------------------
    const Nodes& Top() const { return top_; }
    TFolderNode* RootNode() const { return top_.empty() ? nullptr : top_.front().get(); }
    QModelIndex IndexOf(const TFolderNode* node) const;
    static TFolderNode* NodeOf(const QModelIndex& index);

    // Appends nodes to parent's children (the top level for none); takes them all.
    void InsertChildren(TFolderNode* parent, Nodes& nodes);
    // Deletes every child of parent, and with them their records.
    void RemoveChildren(TFolderNode* parent);
    // Deletes every node.
    void Clear();
    // Orders parent's children with CompareFolderItems, keeping the views' indexes.
    void SortChildren(TFolderNode* parent);
    // A node's text, button or icon changed.
    void NodeChanged(const TFolderNode* node);

    // --- changing the nodes --------------------------------------------------------------
    // Nobody else writes a node once it is made: the views hear of every change.
    // The node of an item MakeFolderItem shows, to be inserted below parent.
    static std::unique_ptr<TFolderNode> MakeNode(TFolderNode* parent, TFolderItemInfo info);
    // Replaces parent's children (none, or "Reading...") with those read, taking them
    // all, and marks its folder read.
    void SetChildren(TFolderNode* parent, Nodes& nodes);
    // Deletes parent's children and marks its folder unread, with its button: the
    // next expansion reads it again.
    void ForgetChildren(TFolderNode* parent);
    // One disabled "Reading..." row stands for the children of a folder being read.
    void ShowReading(TFolderNode* parent);
    // The expand button a node shows before its folder is read.
    void SetHasButton(TFolderNode* node, bool on);
    // The node's item has a new name (or the root a caption): its icons are asked
    // for again.
    void SetText(TFolderNode* node, std::string text);

    // --- what to draw ---------------------------------------------------------------
    // Check marks on every node.
    void SetCheckable(bool on);
    bool Checkable() const { return checkable_; }
    // The node drawn as the target of a drag (null for none), and in what colours.
    void SetDropTarget(TFolderNode* node);
    TFolderNode* DropTarget() const { return dropTarget_; }
    void SetDropHighlight(const QBrush& background, const QBrush& text);
    // Whether a folder drawn without a button is looked into for subfolders its
    // attributes missed, and whether hidden ones count. On by default.
    void SetProbeSubfolders(bool on, bool countHidden);
    bool ProbeSubfolders() const { return probeSubfolders_; }
    // Folders looked into whose answer has not come yet.
    std::size_t ProbesPending() const { return probing_.size(); }

    // --- what the model asks of its owner ----------------------------------------------
    // Qt wants the children of a node that has a button but was not read yet.
    std::function<void(TFolderNode* node)> OnFetch;
    // A label was edited; answers whether the item took the new name.
    std::function<bool(TFolderNode* node, const QString& text)> OnRename;

    // --- QAbstractItemModel -------------------------------------------------------------
    QModelIndex index(int row, int column, const QModelIndex& parent) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent) const override;
    int columnCount(const QModelIndex& parent) const override;
    bool hasChildren(const QModelIndex& parent) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

signals:
    // A folder drawn without a button was looked into; it has one now when found.
    void SubfoldersProbed(TFolderNode* node, bool found);

private:
    Nodes& ChildrenOf(TFolderNode* parent) { return parent ? parent->Children : top_; }
    QIcon IconOf(TFolderNode* node) const;
    void ProbeWhenUnsure(TFolderNode* node) const;
    void ProbeAnswered(quint64 ticket, bool found);
    void ForgetProbesBelow(const TFolderNode* parent);

    Nodes top_;
    bool checkable_ = false;
    TFolderNode* dropTarget_ = nullptr;
    QBrush dropBackground_;
    QBrush dropText_;
    mutable std::map<std::tuple<int, int, int>, QIcon> icons_;
    bool probeSubfolders_ = true;
    bool probeHidden_ = true;
    TSubfolderProbe* probe_ = nullptr;
    mutable quint64 lastTicket_ = 0;
    mutable std::unordered_map<quint64, TFolderNode*> probing_;
};
