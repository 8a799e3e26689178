#include "shortcuts/wekShortcutListView.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QHash>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QStyledItemDelegate>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <numeric>

#include "foldertree/SystemImageList.h"
#include "platform/util/Text.h"
#include "shortcuts/ColumnTexts.h"
#include "shortcuts/FolderContents.h"
#include "shortcuts/ItemProp.h"

struct TShortcutListRow {
    std::string Name; // bytes as found
    bool IsFolder = false;
    int ImageIndex = 0;
    int StateIndex = -1;
    bool Cut = false;
    std::vector<std::string> SubItems; // UTF-8, one per column after the first
};

namespace {

constexpr int kStateImageSize = 16;
constexpr int kIconSize = 16;
// Clicks on the first header left of this x sort by test state: the passed mark is there.
constexpr int kTestStateHeaderArea = 20;

QString NameToText(const std::string& name)
{
    if (platform::IsValidUtf8(name))
        return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    const std::u16string u16 = platform::BytesToUtf16(name);
    return QString(reinterpret_cast<const QChar*>(u16.data()), static_cast<qsizetype>(u16.size()));
}

std::string TextToName(const QString& text)
{
    return platform::Utf16ToBytes(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                                      static_cast<size_t>(text.size())));
}

// Moves from to to, failing rather than replacing anything at to. Where the file
// system cannot refuse a replacement itself, a hard link does the same for files;
// only as the last resort is the target checked first.
bool RenameNoReplace(const std::string& from, const std::string& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    struct stat fromSt, toSt;
    if (errno == EEXIST) {
        // A case-insensitive file system (a mounted Windows disk) finds the file itself
        // under its new spelling: that is a change of letter case, not a replacement.
        if (::lstat(from.c_str(), &fromSt) == 0 && ::lstat(to.c_str(), &toSt) == 0 && fromSt.st_dev == toSt.st_dev &&
            fromSt.st_ino == toSt.st_ino)
            return ::rename(from.c_str(), to.c_str()) == 0;
        return false;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return false;
    if (::lstat(from.c_str(), &fromSt) != 0)
        return false;
    if (!S_ISDIR(fromSt.st_mode)) {
        if (::link(from.c_str(), to.c_str()) == 0) {
            if (::unlink(from.c_str()) == 0)
                return true;
            ::unlink(to.c_str());
            return false;
        }
        if (errno == EEXIST)
            return false;
    }
    if (::lstat(to.c_str(), &toSt) == 0 &&
        !(fromSt.st_dev == toSt.st_dev && fromSt.st_ino == toSt.st_ino))
        return false;
    return ::rename(from.c_str(), to.c_str()) == 0;
}

} // namespace

// The rows as a flat table; the view reads through it and the list changes it.
class TShortcutListModel : public QAbstractItemModel {
public:
    explicit TShortcutListModel(TwekShortcutListView* view) : view_(view) {}

    std::vector<TShortcutListRow> rows;
    std::string letters; // the column set the rows were built for
    std::string folder;  // the folder the rows were read from

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override
    {
        if (parent.isValid() || row < 0 || column < 0 || row >= rowCount() || column >= columnCount())
            return {};
        return createIndex(row, column);
    }
    QModelIndex parent(const QModelIndex&) const override { return {}; }
    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(rows.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(letters.size());
    }
    bool hasChildren(const QModelIndex& parent = {}) const override { return !parent.isValid(); }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid())
            return {};
        const TShortcutListRow& row = rows[static_cast<size_t>(index.row())];
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
            if (column == 0)
                return Decoration(row);
            return {};
        default:
            return {};
        }
    }

    bool setData(const QModelIndex& index, const QVariant& value, int role) override
    {
        if (!index.isValid() || index.column() != 0 || role != Qt::EditRole)
            return false;
        return view_->RenameEdited(index.row(), value.toString());
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override
    {
        if (!index.isValid())
            return Qt::NoItemFlags;
        Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
        if (index.column() == 0)
            f |= Qt::ItemIsEditable;
        return f;
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
            return {};
        if (role == Qt::DisplayRole) {
            const int letter = letters[static_cast<size_t>(section)] - 'a';
            if (letter >= 0 && letter < view_->columnDescriptions_.size())
                return TwekShortcutListView::ColumnCaption(view_->columnDescriptions_[letter]);
            return {};
        }
        if (role == Qt::DecorationRole && section == 0 && !view_->headerImage_.isNull())
            return view_->headerImage_;
        return {};
    }

    // The state image and the icon side by side, as one picture per combination.
    QPixmap Decoration(const TShortcutListRow& row) const
    {
        const quint64 key = (static_cast<quint64>(static_cast<quint32>(row.ImageIndex)) << 8) |
                            (static_cast<quint64>(row.StateIndex + 1) << 1) | (row.Cut ? 1 : 0);
        if (auto it = decorations_.constFind(key); it != decorations_.constEnd())
            return *it;
        QPixmap icon = view_->smallImages_ ? view_->smallImages_->Pixmap(row.ImageIndex) : QPixmap();
        const qreal dpr = icon.isNull() ? 1.0 : icon.devicePixelRatio();
        QPixmap pm(QSize(kStateImageSize + kIconSize, kIconSize) * dpr);
        pm.setDevicePixelRatio(dpr);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        const auto& states = view_->stateImages_;
        if (row.StateIndex >= 0 && static_cast<size_t>(row.StateIndex) < states.size())
            p.drawPixmap(QRect(0, 0, kStateImageSize, kStateImageSize), states[static_cast<size_t>(row.StateIndex)]);
        if (!icon.isNull()) {
            if (row.Cut) // a cut item is drawn ghosted until it moves
                p.setOpacity(0.45);
            p.drawPixmap(QRect(kStateImageSize, 0, kIconSize, kIconSize), icon);
        }
        p.end();
        decorations_.insert(key, pm);
        return pm;
    }
    void ForgetDecorations() { decorations_.clear(); }

    void Reset(std::vector<TShortcutListRow> newRows)
    {
        beginResetModel();
        rows = std::move(newRows);
        endResetModel();
    }
    void SetLetters(const std::string& newLetters)
    {
        beginResetModel();
        rows.clear();
        letters = newLetters;
        endResetModel();
    }
    void RowsChanged(int first, int last)
    {
        if (first <= last && !letters.empty())
            emit dataChanged(index(first, 0), index(last, columnCount() - 1));
    }

    // Puts the rows in a new order (order[i] = old position of the row now at i),
    // keeping the selection and current row on the same rows.
    void Reorder(const std::vector<int>& order)
    {
        emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
        std::vector<int> newPos(order.size());
        for (size_t i = 0; i < order.size(); ++i)
            newPos[static_cast<size_t>(order[i])] = static_cast<int>(i);
        std::vector<TShortcutListRow> sorted;
        sorted.reserve(rows.size());
        for (int old : order)
            sorted.push_back(std::move(rows[static_cast<size_t>(old)]));
        rows = std::move(sorted);
        const QModelIndexList from = persistentIndexList();
        QModelIndexList to;
        to.reserve(from.size());
        for (const QModelIndex& idx : from)
            to.append(index(newPos[static_cast<size_t>(idx.row())], idx.column()));
        changePersistentIndexList(from, to);
        emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    }

private:
    TwekShortcutListView* view_;
    mutable QHash<quint64, QPixmap> decorations_;
};

namespace {

// Failed rows in bold red, cut rows ghosted.
class TShortcutListDelegate : public QStyledItemDelegate {
public:
    TShortcutListDelegate(TShortcutListModel* model, QObject* parent) : QStyledItemDelegate(parent), model_(model) {}

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const TShortcutListRow& row = model_->rows[static_cast<size_t>(index.row())];
        if (row.StateIndex == 0) {
            option->font.setBold(true);
            option->palette.setColor(QPalette::Text, QColor(255, 0, 0));
        } else if (row.Cut) {
            option->palette.setColor(QPalette::Text, option->palette.color(QPalette::Disabled, QPalette::Text));
        }
    }

private:
    TShortcutListModel* model_;
};

} // namespace

TwekShortcutListView::TwekShortcutListView(QWidget* parent)
    : QTreeView(parent), model_(std::make_unique<TShortcutListModel>(this))
{
    setModel(model_.get());
    setItemDelegate(new TShortcutListDelegate(model_.get(), this));
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    setIconSize(QSize(kStateImageSize + kIconSize, kIconSize));
    setSortingEnabled(false);
    setTextElideMode(Qt::ElideRight);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    header()->setSectionsClickable(true);
    header()->setSortIndicatorShown(false);
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header()->viewport()->installEventFilter(this);
    connect(header(), &QHeaderView::sectionClicked, this,
            [this](int section) { HeaderClicked(section, lastHeaderClickX_); });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { emit OnSelectionChange(this); });

    // Created running with 1000 ms, as the component always was: unless a request
    // comes first, it reads (usually nothing) once a second after construction.
    readTimer_.setSingleShot(true);
    readTimer_.setTimerType(Qt::PreciseTimer);
    connect(&readTimer_, &QTimer::timeout, this, &TwekShortcutListView::ReadTimerFired);
    UpdateTimer();

    LoadColumnDescriptions();
    std::vector<QPixmap> states;
    for (const char* name : {":/images/state-failed.png", ":/images/state-passed.png", ":/images/state-internet.png"})
        states.emplace_back(name);
    SetStateImages(std::move(states));
}

TwekShortcutListView::~TwekShortcutListView()
{
    header()->viewport()->removeEventFilter(this);
    setModel(nullptr);
}

void TwekShortcutListView::LoadColumnDescriptions()
{
    columnDescriptions_.clear();
    for (std::string_view text : kColumnDescriptions)
        columnDescriptions_.append(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

std::string TwekShortcutListView::AllColumns() { return std::string(kAllColumns); }

QString TwekShortcutListView::ColumnCaption(const QString& description)
{
    const qsizetype eq = description.indexOf('=');
    return eq < 0 ? description : description.left(eq);
}

QCursor TwekShortcutListView::DragCursor(int fileCount)
{
    const QPixmap pm(fileCount <= 1 ? ":/cursors/scopy.png" : ":/cursors/mcopy.png");
    if (pm.isNull())
        return QCursor(Qt::DragCopyCursor);
    return QCursor(pm, 0, 0);
}

void TwekShortcutListView::SetSmallImages(TdfsSystemImageList* images)
{
    smallImages_ = images;
    model_->ForgetDecorations();
    viewport()->update();
}

void TwekShortcutListView::SetStateImages(std::vector<QPixmap> images)
{
    stateImages_ = std::move(images);
    model_->ForgetDecorations();
    BuildHeaderImage();
    viewport()->update();
}

void TwekShortcutListView::BuildHeaderImage()
{
    QPixmap pm(kStateImageSize, kStateImageSize);
    pm.fill(palette().color(QPalette::Button));
    if (stateImages_.size() > 1 && !stateImages_[1].isNull()) {
        QPainter p(&pm);
        p.drawPixmap(QRect(-3, 0, kStateImageSize, kStateImageSize), stateImages_[1]);
    }
    headerImage_ = pm;
    if (model_->columnCount() > 0)
        emit model_->headerDataChanged(Qt::Horizontal, 0, 0);
}

void TwekShortcutListView::SetDirectory(const std::string& dir)
{
    // An empty folder is a tree node without a path (Computer, Trash): nothing to show.
    directory_ = dir;
    if (!directory_.empty() && directory_.back() != '/')
        directory_ += '/';
    RequestRead();
}

void TwekShortcutListView::SetColumnSet(std::string_view set)
{
    const size_t first = set.find_first_not_of(" \t\r\n");
    const size_t last = set.find_last_not_of(" \t\r\n");
    std::string trimmed = first == std::string_view::npos ? std::string() : std::string(set.substr(first, last - first + 1));
    // A value edited by hand may hold anything: keep the known letters once each, Name first.
    std::string repaired = "a";
    for (char c : trimmed)
        if (c >= 'a' && c <= 'j' && repaired.find(c) == std::string::npos)
            repaired += c;
    columnSet_ = repaired;
    BuildColumns();
}

void TwekShortcutListView::BuildColumns()
{
    setUpdatesEnabled(false);
    model_->SetLetters(columnSet_);
    const QFontMetrics metrics(font());
    for (int i = 0; i < static_cast<int>(columnSet_.size()); ++i) {
        const int letter = columnSet_[static_cast<size_t>(i)] - 'a';
        int width = metrics.horizontalAdvance(ColumnCaption(columnDescriptions_.value(letter))) + 16;
        if (i == 0)
            width += kStateImageSize; // the header image sits left of the caption
        if (columnSet_[static_cast<size_t>(i)] == 'c')
            width *= 3;
        setColumnWidth(i, width);
    }
    // The Name column is sized to its contents once the rows are there.
    autoSizeFirstColumn_ = true;
    setUpdatesEnabled(true);
}

void TwekShortcutListView::UpdateTimer()
{
    if (timerEnabled_ && timerInterval_ > 0)
        readTimer_.start(timerInterval_);
    else
        readTimer_.stop();
}

void TwekShortcutListView::RequestRead()
{
    bool changed = false;
    if (timerInterval_ != readDelay_) {
        timerInterval_ = readDelay_;
        changed = true;
    }
    if (!timerEnabled_) {
        timerEnabled_ = true;
        changed = true;
    }
    if (changed)
        UpdateTimer();
}

void TwekShortcutListView::ReadTimerFired()
{
    timerEnabled_ = false;
    UpdateTimer();
    ReadFolder();
    emit OnStatusChange(this);
}

void TwekShortcutListView::ReadFolder()
{
    setUpdatesEnabled(false);
    std::vector<int> widths;
    for (int i = 1; i < model_->columnCount(); ++i)
        widths.push_back(columnWidth(i));

    // A read of the folder already shown (F5, a rename, a change on disk) keeps the
    // rows the user selected, found again by name, and the row the keys were on.
    std::vector<std::string> keepSelected;
    std::string keepCurrent;
    if (model_->folder == directory_) {
        for (const QModelIndex& index : selectionModel()->selectedRows())
            keepSelected.push_back(model_->rows[static_cast<size_t>(index.row())].Name);
        if (const QModelIndex current = currentIndex(); current.isValid())
            keepCurrent = model_->rows[static_cast<size_t>(current.row())].Name;
        std::sort(keepSelected.begin(), keepSelected.end());
    }

    std::vector<TShortcutListRow> rows;
    int folders = 0;
    auto byKey = [this](const TShortcutListRow& a, const TShortcutListRow& b) { return CompareRowKeys(a, b) < 0; };
    // The same reading as the command-line report: subfolders, then the shortcut
    // files, each block in name order. A folder that is missing or unreadable
    // leaves the list empty.
    TFolderContents contents;
    const bool listed = !directory_.empty() && ReadFolderContents(directory_, contents);
    readError_ = listed ? 0 : contents.Error;
    if (listed) {
        rows.reserve(contents.Items.size());
        for (TShortcutListItem& item : contents.Items) {
            TShortcutListRow row;
            row.IsFolder = item.IsFolder;
            row.ImageIndex = TdfsSystemImageList::GetFileIconIndex(directory_ + item.Name, false, false, 0);
            row.SubItems.reserve(columnSet_.size());
            for (size_t i = 1; i < columnSet_.size(); ++i)
                row.SubItems.push_back(ShortcutColumnText(item, columnSet_[i]));
            row.Name = std::move(item.Name);
            rows.push_back(std::move(row));
        }
        // The folder block is sorted on its own, once; after that it keeps its order.
        folders = contents.FolderCount;
        std::stable_sort(rows.begin(), rows.begin() + folders, byKey);
        if (sortColumn_ < 0)
            sortColumn_ = 0;
        std::stable_sort(rows.begin() + folders, rows.end(), byKey);
    }
    folderCount_ = folders;
    model_->folder = directory_;
    model_->Reset(std::move(rows));
    if (!keepSelected.empty() || !keepCurrent.empty()) {
        QItemSelection selection;
        const int lastColumn = model_->columnCount() - 1;
        for (int i = 0; i < ItemCount(); ++i) {
            const std::string& name = model_->rows[static_cast<size_t>(i)].Name;
            if (name == keepCurrent)
                selectionModel()->setCurrentIndex(model_->index(i, 0), QItemSelectionModel::NoUpdate);
            if (std::binary_search(keepSelected.begin(), keepSelected.end(), name))
                selection.select(model_->index(i, 0), model_->index(i, lastColumn));
        }
        selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
        if (currentIndex().isValid())
            scrollTo(currentIndex());
    }

    for (int i = 1; i < model_->columnCount(); ++i)
        setColumnWidth(i, widths[static_cast<size_t>(i - 1)]);
    // Sized once per folder: a first folder of short names (a Start Menu holding only
    // "Programs") would otherwise cut every longer name for the rest of the session,
    // while a re-read of the same folder keeps the width the user gave it.
    if ((autoSizeFirstColumn_ || nameSizedFor_ != directory_) && model_->rowCount() > 0) {
        autoSizeFirstColumn_ = false;
        nameSizedFor_ = directory_;
        const int captionWidth = fontMetrics().horizontalAdvance(model_->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString());
        // One very long name must not push every other column out of sight: such a
        // name is cut with an ellipsis instead.
        const int contents = std::min(sizeHintForColumn(0), width() * 2 / 3);
        setColumnWidth(0, std::max(contents, captionWidth + 16 + kStateImageSize) + 8);
    }
    setUpdatesEnabled(true);
}

int TwekShortcutListView::CompareItems(int row1, int row2) const
{
    if (row1 < folderCount_ || row2 < folderCount_)
        return 0;
    return CompareRowKeys(model_->rows[static_cast<size_t>(row1)], model_->rows[static_cast<size_t>(row2)]);
}

int TwekShortcutListView::CompareRowKeys(const TShortcutListRow& a, const TShortcutListRow& b) const
{
    int result = 0;
    if (sortColumn_ == -2) {
        result = a.StateIndex < b.StateIndex ? -1 : (a.StateIndex > b.StateIndex ? 1 : 0);
    } else if (sortColumn_ == 0) {
        result = CompareListText(a.Name, b.Name);
    } else if (sortColumn_ > 0) {
        const size_t k = static_cast<size_t>(sortColumn_ - 1);
        const std::string_view ta = k < a.SubItems.size() ? std::string_view(a.SubItems[k]) : std::string_view();
        const std::string_view tb = k < b.SubItems.size() ? std::string_view(b.SubItems[k]) : std::string_view();
        result = CompareListText(ta, tb);
    }
    return sortDescending_ ? -result : result;
}

void TwekShortcutListView::SortItems()
{
    const int count = model_->rowCount();
    const int first = std::clamp(folderCount_, 0, count);
    if (count - first < 2)
        return;
    // Folder rows compare equal to everything, so only the shortcut rows are sorted,
    // and stably: rows that compare equal keep their order.
    std::vector<int> order(static_cast<size_t>(count));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin() + first, order.end(), [this](int a, int b) { return CompareItems(a, b) < 0; });
    bool moved = false;
    for (int i = 0; i < count && !moved; ++i)
        moved = order[static_cast<size_t>(i)] != i;
    if (moved)
        model_->Reorder(order);
}

void TwekShortcutListView::SetSort(int column, bool descending)
{
    sortColumn_ = column;
    sortDescending_ = descending;
    SortItems();
}

void TwekShortcutListView::HeaderClicked(int position, int clientX)
{
    int column = position;
    if (position == 0 && clientX < kTestStateHeaderArea)
        column = -2;
    if (column == sortColumn_)
        sortDescending_ = !sortDescending_;
    else
        sortDescending_ = false;
    sortColumn_ = column;
    SortItems();
}

bool TwekShortcutListView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == header()->viewport() &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease)) {
        // Header and list share their left edge, so the header's x is the list's.
        lastHeaderClickX_ = static_cast<QMouseEvent*>(event)->position().toPoint().x();
    }
    return QTreeView::eventFilter(watched, event);
}

int TwekShortcutListView::ItemCount() const { return model_->rowCount(); }

int TwekShortcutListView::SelectedCount() const
{
    return static_cast<int>(selectionModel()->selectedRows().size());
}

std::string TwekShortcutListView::ItemName(int row) const
{
    return row >= 0 && row < ItemCount() ? model_->rows[static_cast<size_t>(row)].Name : std::string();
}

QString TwekShortcutListView::ItemText(int row, int column) const
{
    return model_->data(model_->index(row, column), Qt::DisplayRole).toString();
}

int TwekShortcutListView::ItemImageIndex(int row) const
{
    return row >= 0 && row < ItemCount() ? model_->rows[static_cast<size_t>(row)].ImageIndex : -1;
}

int TwekShortcutListView::ItemStateIndex(int row) const
{
    return row >= 0 && row < ItemCount() ? model_->rows[static_cast<size_t>(row)].StateIndex : -1;
}

bool TwekShortcutListView::ItemCut(int row) const
{
    return row >= 0 && row < ItemCount() && model_->rows[static_cast<size_t>(row)].Cut;
}

void TwekShortcutListView::SetItemCut(int row, bool cut)
{
    if (row < 0 || row >= ItemCount())
        return;
    model_->rows[static_cast<size_t>(row)].Cut = cut;
    RefreshItems(row, row);
}

void TwekShortcutListView::RefreshItems(int first, int last) { model_->RowsChanged(first, last); }

std::vector<std::string> TwekShortcutListView::SelectedNames() const
{
    std::vector<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    std::vector<std::string> names;
    names.reserve(rows.size());
    for (int row : rows)
        names.push_back(model_->rows[static_cast<size_t>(row)].Name);
    return names;
}

std::vector<std::string> TwekShortcutListView::SelectedPaths() const
{
    std::vector<std::string> paths = SelectedNames();
    // The rows' files are in the folder they were read from, which is not Directory
    // while another folder's read is pending.
    for (std::string& path : paths)
        path = model_->folder + path;
    return paths;
}

void TwekShortcutListView::OpenSelected()
{
    const QModelIndexList selected = selectionModel()->selectedRows();
    if (selected.isEmpty()) {
        DoVerb("NewShortcut");
        return;
    }
    int first = selected.front().row();
    for (const QModelIndex& index : selected)
        first = std::min(first, index.row());
    if (first < folderCount_) {
        SetDirectory(model_->folder + model_->rows[static_cast<size_t>(first)].Name);
        emit OnDirChange(this);
        return;
    }
    DoVerb(openRunsDefaultAction_ ? "DefaultAction" : "Properties");
}

void TwekShortcutListView::GoUp()
{
    // Drop the trailing "/" and the last character of the last name, then keep
    // everything up to the "/" before it.
    std::string dir = directory_.size() >= 2 ? directory_.substr(0, directory_.size() - 2) : std::string();
    const auto slash = dir.find_last_of('/');
    dir = slash == std::string::npos ? std::string() : dir.substr(0, slash + 1);
    if (dir.empty())
        return; // at the root, or in no folder: nowhere further up
    SetDirectory(dir);
    emit OnDirChange(this);
}

void TwekShortcutListView::StartEditing(int row)
{
    if (row < 0 || row >= ItemCount())
        return;
    const QModelIndex index = model_->index(row, 0);
    setCurrentIndex(index);
    scrollTo(index);
    edit(index);
}

void TwekShortcutListView::DoVerb(std::string_view verb)
{
    if (directory_.empty())
        return; // no folder: no command has anything to work on
    if (verb == "NewFolder") {
        // An existing "New Folder" is left as it is; no numbered name is tried.
        const std::string path = directory_ + "New Folder";
        ::mkdir(path.c_str(), 0777);
        RequestRead();
    } else if (verb == "Rename") {
        const QModelIndexList selected = selectionModel()->selectedRows();
        if (selected.isEmpty())
            return;
        int first = selected.front().row();
        for (const QModelIndex& index : selected)
            first = std::min(first, index.row());
        StartEditing(first);
    } else if (verb == "SelectAll" || verb == "InvertSelection") {
        if (ItemCount() > 0) {
            const QItemSelection all(model_->index(0, 0), model_->index(ItemCount() - 1, model_->columnCount() - 1));
            selectionModel()->select(all, (verb == "SelectAll" ? QItemSelectionModel::Select : QItemSelectionModel::Toggle) |
                                              QItemSelectionModel::Rows);
        }
        setFocus();
    } else if (verb == "Test") {
        TestShortcuts();
    }
    // "DefaultAction", "NewShortcut", "Delete", "Properties", "Cut", "Copy", "Paste" and
    // "PasteShortcut" hand the work to the shell's verbs; unknown names do nothing.
}

void TwekShortcutListView::TestShortcuts()
{
    failedCount_ = 0;
    const bool anySelected = selectionModel()->hasSelection();
    const int count = ItemCount();
    for (int row = std::max(folderCount_, 0); row < count; ++row) {
        if (anySelected && !selectionModel()->isRowSelected(row, {}))
            continue;
        TShortcutListRow& item = model_->rows[static_cast<size_t>(row)];
        if (platform::EqualsIgnoreAsciiCase(NameExtension(item.Name), ".url")) {
            item.StateIndex = 2;
            continue;
        }
        if (TestShellLink(model_->folder + item.Name)) {
            item.StateIndex = 1;
        } else {
            item.StateIndex = 0;
            ++failedCount_;
        }
    }
    RefreshItems(0, count - 1);
    emit OnStatusChange(this);
    failedCount_ = 0;
}

bool TwekShortcutListView::RenameEdited(int row, const QString& text)
{
    if (row < 0 || row >= ItemCount())
        return false;
    TShortcutListRow& item = model_->rows[static_cast<size_t>(row)];
    std::string newName = TextToName(text);
    const std::string_view oldExt = NameExtension(item.Name);
    if (!platform::EqualsIgnoreAsciiCase(oldExt, NameExtension(newName)))
        newName += oldExt;
    if (newName == item.Name)
        return false;
    // The list shows the changes of its folder by reading it again.
    RequestRead();
    // A "/" would move the file into another folder; "." and ".." name folders.
    if (newName.empty() || newName == "." || newName == ".." || newName.find('/') != std::string::npos ||
        newName.find('\0') != std::string::npos)
        return false;
    // The row's file is in the folder the rows were read from. Directory may already
    // name another folder whose read is still pending, where the same name would be
    // someone else's file.
    const std::string& folder = model_->folder;
    if (!RenameNoReplace(folder + item.Name, folder + newName))
        return false;
    item.Name = std::move(newName);
    RefreshItems(row, row);
    return true;
}

QPoint TwekShortcutListView::KeyboardMenuPoint() const
{
    const QModelIndexList selected = selectionModel()->selectedRows();
    if (!selected.isEmpty()) {
        int first = selected.front().row();
        for (const QModelIndex& index : selected)
            first = std::min(first, index.row());
        const QPoint topLeft = viewport()->mapTo(this, visualRect(model_->index(first, 0)).topLeft());
        return mapToGlobal(topLeft + QPoint(30, 10));
    }
    return mapToGlobal(QPoint(width() / 3, height() / 3));
}

void TwekShortcutListView::ShowContextMenu(const QPoint& screenPoint)
{
    if (!selectionModel()->hasSelection()) {
        if (popupMenu_)
            popupMenu_->popup(screenPoint);
        return;
    }
    // The shell's menu for the selected files joins here.
}

void TwekShortcutListView::keyPressEvent(QKeyEvent* event)
{
    const bool editing = state() == QAbstractItemView::EditingState;
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // The keypad's Enter comes with the keypad modifier; it is the same key.
        if (!editing && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            OpenSelected();
            event->accept();
            return;
        }
        break;
    case Qt::Key_Backspace:
        if (!editing) {
            GoUp();
            event->accept();
            return;
        }
        break;
    case Qt::Key_Delete:
        if (!editing) {
            DoVerb("Delete");
            event->accept();
            return;
        }
        break;
    case Qt::Key_Menu:
        // Qt may follow the key with a context-menu event of its own: one menu only.
        menuKeySeen_ = true;
        ShowContextMenu(KeyboardMenuPoint());
        event->accept();
        return;
    default:
        break;
    }
    QTreeView::keyPressEvent(event);
}

void TwekShortcutListView::contextMenuEvent(QContextMenuEvent* event)
{
    event->accept();
    if (event->reason() == QContextMenuEvent::Keyboard) {
        if (menuKeySeen_) {
            menuKeySeen_ = false;
            return;
        }
        ShowContextMenu(KeyboardMenuPoint());
        return;
    }
    menuKeySeen_ = false;
    ShowContextMenu(event->globalPos());
}

void TwekShortcutListView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        event->accept();
        // The first click of the pair, on a row already selected, has scheduled an
        // in-place edit; telling the view this was a double click drops it, so
        // opening a row never also starts renaming it.
        if (const QModelIndex index = indexAt(event->position().toPoint()); index.isValid())
            edit(index, QAbstractItemView::DoubleClicked, event);
        OpenSelected();
        return;
    }
    QTreeView::mouseDoubleClickEvent(event);
}
