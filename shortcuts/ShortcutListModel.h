#pragma once
// The shortcut list's rows as a flat table: what each row shows and what marks it
// carries (test state, cut, drop highlight). It knows nothing of its view: whoever
// owns it fills the rows and tells it what to draw; a delegate draws the marks
// from the roles below.
#include <QAbstractItemModel>
#include <QHash>
#include <QPixmap>
#include <QStringList>
#include <functional>
#include <string>
#include <vector>

class TdfsSystemImageList;

struct TShortcutListRow {
    std::string Name; // bytes as found
    bool IsFolder = false;
    int ImageIndex = 0;
    int StateIndex = -1; // -1 not tested, 0 failed, 1 passed, 2 Internet shortcut
    bool Cut = false;
    std::vector<std::string> SubItems; // UTF-8, one per column after the first
};

class TShortcutListModel : public QAbstractItemModel {
    Q_OBJECT
public:
    // What a row carries beyond its texts and picture, for the delegate.
    enum Role {
        StateRole = Qt::UserRole + 1, // int: the row's StateIndex
        CutRole,                      // bool
        DropHighlightRole,            // bool: the one row a drop would land in
    };
    // The picture of a row: the state image, then the icon, side by side.
    static constexpr int kStateImageSize = 16;
    static constexpr int kIconSize = 16;

    explicit TShortcutListModel(QObject* parent = nullptr);

    // The columns, one letter each, and their captions (indexed by letter - 'a').
    // Changing them empties the rows.
    const std::string& Letters() const { return letters_; }
    void SetColumns(const std::string& letters, const QStringList& captionsByLetter);

    // The rows, and the folder they were read from (ending with "/").
    int Count() const { return static_cast<int>(rows_.size()); }
    const TShortcutListRow& Row(int row) const { return rows_[static_cast<size_t>(row)]; }
    const std::string& Folder() const { return folder_; }
    void SetRows(const std::string& folder, std::vector<TShortcutListRow> rows);
    // Puts the rows in a new order (order[i] = old position of the row now at i);
    // selection and current row stay on the same rows.
    void Reorder(const std::vector<int>& order);

    // Marks and names of single rows; each is drawn at once.
    void SetRowName(int row, std::string name);
    void SetState(int row, int state);
    void SetCut(int row, bool cut);
    // -1 for none; at most one row is highlighted.
    int DropHighlightRow() const { return dropHighlight_; }
    void SetDropHighlightRow(int row);

    // The pictures: icons by system index, the three state images, and the image
    // of the first column's header.
    void SetSmallImages(TdfsSystemImageList* images);
    void SetStateImages(std::vector<QPixmap> images);
    const std::vector<QPixmap>& StateImages() const { return stateImages_; }
    void SetHeaderImage(const QPixmap& image);

    // Called when an in-place edit of a name is accepted; answers whether the edit
    // took (the rename is the owner's business).
    std::function<bool(int row, const QString& text)> OnNameEdited;

    // A name's bytes as shown (undecodable bytes as replacement marks, which
    // TextToName turns back into the original bytes).
    static QString NameToText(const std::string& name);
    static std::string TextToName(const QString& text);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex&) const override { return {}; }
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override { return !parent.isValid(); }
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QPixmap Decoration(const TShortcutListRow& row) const;
    void RowChanged(int row);

    std::vector<TShortcutListRow> rows_;
    std::string letters_;
    QStringList captions_;
    std::string folder_;
    int dropHighlight_ = -1;
    TdfsSystemImageList* smallImages_ = nullptr;
    std::vector<QPixmap> stateImages_;
    QPixmap headerImage_;
    // One picture per combination of icon, state and cut: a folder of thousands of
    // links shows a handful of them.
    mutable QHash<quint64, QPixmap> decorations_;
};
