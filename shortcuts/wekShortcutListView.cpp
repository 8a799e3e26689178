#include "shortcuts/wekShortcutListView.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <algorithm>
#include <cerrno>
#include <numeric>

#include "dragdrop/DropFileSource.h"
#include "foldertree/SystemImageList.h"
#include "platform/launch/WinExec.h"
#include "platform/shell/NetworkMounts.h"
#include "platform/ui/SlowClickEdit.h"
#include "shortcuts/ColumnTexts.h"
#include "shortcuts/FolderContents.h"
#include "shortcuts/ItemProp.h"
#include "shortcuts/NetworkLinkTest.h"
#include "shortcuts/ReadTimer.h"
#include "shortcuts/ShortcutListDelegate.h"
#include "shortcuts/ShortcutListModel.h"
#include "shortcuts/WorkerChannel.h"

namespace {

constexpr int kStateImageSize = TShortcutListModel::kStateImageSize;
// Clicks on the first header left of this x sort by test state: the passed mark is there.
constexpr int kTestStateHeaderArea = 20;

} // namespace

TwekShortcutListView::TwekShortcutListView(QWidget* parent)
    : QTreeView(parent), model_(std::make_unique<TShortcutListModel>())
{
    setModel(model_.get());
    setItemDelegate(new TShortcutListDelegate(this));
    model_->OnNameEdited = [this](int row, const QString& text) { return RenameEdited(row, text); };
    StartCommand = [](std::string_view commandLine, int show) { return platform::launch::WinExec(commandLine, show); };
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setDragEnabled(true);
    setEditTriggers(QAbstractItemView::EditKeyPressed);
    new platform::ui::SlowClickEdit(this, [this](const QModelIndex& index) { StartEditing(index.row()); });
    setIconSize(QSize(kStateImageSize + TShortcutListModel::kIconSize, TShortcutListModel::kIconSize));
    setSortingEnabled(false);
    setTextElideMode(Qt::ElideRight);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    header()->setSectionsClickable(true);
    // The list sorts itself; the header only shows how.
    header()->setSortIndicatorShown(true);
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header()->viewport()->installEventFilter(this);
    connect(header(), &QHeaderView::sectionClicked, this,
            [this](int section) { HeaderClicked(section, lastHeaderClickX_); });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (readingSelection_)
            return;
        // The user chose something else: a command's result is no longer to be shown.
        awaited_.reset();
        emit OnSelectionChange(this);
    });
    UpdateSortIndicator();

    // Created running with 1000 ms, as the component always was: unless a request
    // comes first, it reads (usually nothing) once a second after construction.
    readTimer_ = new TReadTimer(1000, true, this);
    connect(readTimer_, &TReadTimer::Fired, this, &TwekShortcutListView::ReadTimerFired);

    LoadColumnDescriptions();
    std::vector<QPixmap> states;
    for (const char* name : {":/images/state-failed.png", ":/images/state-passed.png", ":/images/state-internet.png"})
        states.emplace_back(name);
    SetStateImages(std::move(states));
}

TwekShortcutListView::~TwekShortcutListView()
{
    AbandonRead();
    networkTest_.reset();
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

void TwekShortcutListView::startDrag(Qt::DropActions)
{
    StartDragOut();
}

void TwekShortcutListView::StartDragOut()
{
    std::vector<std::string> paths = SelectedPaths();
    if (paths.empty())
        return;
    auto* source = new TDropFileSource;
    source->SetImageIndex(-1);
    const QPixmap cursor = DragCursor(static_cast<int>(paths.size())).pixmap();
    if (!cursor.isNull())
        source->SetDragCursor(cursor, DROPEFFECT_COPY);
    source->SetFiles(std::move(paths));
    source->SetDragtypes(dtCopy | dtMove);
    const QPointer<TwekShortcutListView> self(this);
    draggingRows_ = true;
    // The outcome is of no use here: the target moves or copies the files itself.
    source->RunDrag(this);
    if (self)
        draggingRows_ = false;
}

void TwekShortcutListView::SetSmallImages(TdfsSystemImageList* images) { model_->SetSmallImages(images); }

void TwekShortcutListView::SetStateImages(std::vector<QPixmap> images)
{
    model_->SetStateImages(std::move(images));
    BuildHeaderImage();
}

void TwekShortcutListView::BuildHeaderImage()
{
    QPixmap pm(kStateImageSize, kStateImageSize);
    pm.fill(palette().color(QPalette::Button));
    const std::vector<QPixmap>& states = model_->StateImages();
    if (states.size() > 1 && !states[1].isNull()) {
        QPainter p(&pm);
        p.drawPixmap(QRect(-3, 0, kStateImageSize, kStateImageSize), states[1]);
    }
    headerImage_ = pm;
    model_->SetHeaderImage(headerImage_);
}

void TwekShortcutListView::SetDirectory(const std::string& dir)
{
    // An empty folder is a tree node without a path (Computer, Trash): nothing to show.
    const std::string before = directory_;
    directory_ = dir;
    if (!directory_.empty() && directory_.back() != '/')
        directory_ += '/';
    // Choosing another folder gives up a read that waits on a network mount, and
    // the result of a command in the folder before.
    if (directory_ != before) {
        AbandonRead();
        awaited_.reset();
    }
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
    QStringList captions;
    for (const QString& description : columnDescriptions_)
        captions.append(ColumnCaption(description));
    model_->SetColumns(columnSet_, captions);
    const QFontMetrics metrics(font());
    for (int i = 0; i < static_cast<int>(columnSet_.size()); ++i) {
        const int letter = columnSet_[static_cast<size_t>(i)] - 'a';
        int width = metrics.horizontalAdvance(captions.value(letter)) + 16;
        if (i == 0)
            width += kStateImageSize; // the header image sits left of the caption
        if (columnSet_[static_cast<size_t>(i)] == 'c')
            width *= 3;
        setColumnWidth(i, width);
    }
    UpdateSortIndicator();
    // The Name column is sized to its contents once the rows are there.
    autoSizeFirstColumn_ = true;
    setUpdatesEnabled(true);
}

void TwekShortcutListView::RequestRead()
{
    // Setting the same interval, or enabling a running timer, changes nothing.
    readTimer_->SetInterval(readDelay_);
    readTimer_->SetEnabled(true);
}

bool TwekShortcutListView::ReadPending() const { return readTimer_->Running(); }

void TwekShortcutListView::ReadTimerFired()
{
    readTimer_->SetEnabled(false);
    readDeferred_ = Editing();
    if (readDeferred_)
        return;
    ReadFolder();
    if (networkRead_)
        return; // it reports when it ends
    emit OnStatusChange(this);
    // After the read's own status, so that the status bar ends on the selection the
    // rows really have.
    ReportReadSelection();
}

void TwekShortcutListView::ReportReadSelection()
{
    if (!selectionRestored_)
        return;
    selectionByRead_ = true;
    emit OnSelectionChange(this);
    selectionByRead_ = false;
}

void TwekShortcutListView::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    if (renameRefused_ && editor && hint != QAbstractItemDelegate::RevertModelCache) {
        // The name stays to be put right. Where the message took the focus, the
        // editor has it back once the message is closed.
        if (QApplication::activeModalWidget())
            QMetaObject::invokeMethod(editor, qOverload<>(&QWidget::setFocus), Qt::QueuedConnection);
        return;
    }
    renameRefused_ = false;
    QTreeView::closeEditor(editor, hint);
    // After the edit's own work (a rename) is done and the editor gone.
    if (readDeferred_ && !Editing())
        QMetaObject::invokeMethod(this, &TwekShortcutListView::RunDeferredRead, Qt::QueuedConnection);
}

void TwekShortcutListView::RunDeferredRead()
{
    if (readDeferred_)
        ReadTimerFired();
}

void TwekShortcutListView::ReadFolder()
{
    // New rows: a test still waiting on a network mount has no rows left to mark.
    CancelNetworkTest();
    AbandonRead();
    if (const auto mount = directory_.empty() ? std::nullopt : platform::shell::NetworkMountOf(directory_)) {
        StartNetworkRead(mount->MountPoint);
        return;
    }
    // The same reading as the command-line report: subfolders, then the shortcut
    // files, each block in name order. A folder that is missing or unreadable
    // leaves the list empty.
    TFolderContents contents;
    const bool listed =
        !directory_.empty() && ReadFolderContents(directory_, contents, TNetworkLinks::TakeAsFolders);
    ShowContents(listed, contents, false);
}

void TwekShortcutListView::StartNetworkRead(const std::string& mountPoint)
{
    // Another folder's rows would pass for this one's while it is read.
    if (model_->Folder() != directory_) {
        folderCount_ = 0;
        model_->SetRows(directory_, {});
    }
    networkRead_ = std::make_unique<TWorkerChannel>(this);
    networkRead_->Start(
        mountPoint,
        [this, dir = directory_](const platform::tasks::Outbox& outbox) {
            auto contents = std::make_shared<TFolderContents>();
            const bool listed = ReadFolderContents(dir, *contents);
            outbox.Post([this, listed, contents] { FinishNetworkRead(listed, *contents); });
        },
        [this, mountPoint] { NetworkReadSilent(mountPoint); });
    UpdateBusyCursor();
}

void TwekShortcutListView::NetworkReadSilent(const std::string& mountPoint)
{
    networkRead_.reset();
    UpdateBusyCursor();
    // The rows of another folder are gone already; the status says why none came.
    readError_ = ETIMEDOUT;
    unansweredMount_ = mountPoint;
    emit OnStatusChange(this);
    unansweredMount_.clear();
}

void TwekShortcutListView::FinishNetworkRead(bool listed, TFolderContents& contents)
{
    networkRead_.reset();
    UpdateBusyCursor();
    // An edit begun while the server answered: the rows it shows stay until it ends,
    // and the folder is read again then.
    readDeferred_ = Editing();
    if (readDeferred_)
        return;
    ShowContents(listed, contents, true);
    emit OnStatusChange(this);
    ReportReadSelection();
}

void TwekShortcutListView::AbandonRead()
{
    if (!networkRead_)
        return;
    networkRead_->Close();
    networkRead_.reset();
    UpdateBusyCursor();
}

bool TwekShortcutListView::Busy() const { return networkRead_ || networkTest_; }

void TwekShortcutListView::GiveUp()
{
    if (networkTest_)
        networkTest_->GiveUp();
    if (networkRead_) {
        AbandonRead();
        readError_ = ECANCELED;
        emit OnStatusChange(this);
    }
}

void TwekShortcutListView::UpdateBusyCursor()
{
    if (Busy())
        viewport()->setCursor(Qt::BusyCursor);
    else
        viewport()->unsetCursor();
}

void TwekShortcutListView::ShowContents(bool listed, TFolderContents& contents, bool namesOnly)
{
    setUpdatesEnabled(false);
    std::vector<int> widths;
    for (int i = 1; i < model_->columnCount(); ++i)
        widths.push_back(columnWidth(i));

    // A read of the folder already shown (F5, a rename, a change on disk) keeps the
    // rows the user selected, found again by name, and the row the keys were on.
    std::vector<std::string> keepSelected;
    std::string keepCurrent;
    if (model_->Folder() == directory_) {
        for (int row : SelectedRows())
            keepSelected.push_back(model_->Row(row).Name);
        if (const QModelIndex current = currentIndex(); current.isValid())
            keepCurrent = model_->Row(current.row()).Name;
    }

    std::vector<TShortcutListRow> rows;
    int folders = 0;
    auto byKey = [this](const TShortcutListRow& a, const TShortcutListRow& b) { return CompareRowKeys(a, b) < 0; };
    readError_ = listed ? 0 : contents.Error;
    const bool anyNetworkMount = !platform::shell::CurrentNetworkMounts()->empty();
    if (listed) {
        rows.reserve(contents.Items.size());
        for (TShortcutListItem& item : contents.Items) {
            TShortcutListRow row;
            row.IsFolder = item.IsFolder;
            // What lies on a network mount, or a link whose target does, gets its icon
            // by name: looking at it could wait.
            TFileAttributes byName = 0;
            if (namesOnly || item.OnNetwork ||
                (anyNetworkMount && !item.IsFolder && LinkTestNetworkMount(directory_ + item.Name)))
                byName = item.IsFolder ? faDirectory : faNormal;
            row.ImageIndex = TdfsSystemImageList::GetFileIconIndex(directory_ + item.Name, false, false, byName);
            row.SubItems.reserve(columnSet_.size());
            for (size_t i = 1; i < columnSet_.size(); ++i)
                row.SubItems.push_back(ShortcutColumnText(item, columnSet_[i]));
            row.Name = std::move(item.Name);
            rows.push_back(std::move(row));
        }
        // The folder block is sorted on its own, once; after that it keeps its order.
        folders = contents.FolderCount;
        std::stable_sort(rows.begin(), rows.begin() + folders, byKey);
        if (sortColumn_ < 0) {
            sortColumn_ = 0;
            UpdateSortIndicator();
        }
        std::stable_sort(rows.begin() + folders, rows.end(), byKey);
    }
    folderCount_ = folders;
    model_->SetRows(directory_, std::move(rows));
    RestoreSelection(keepSelected, keepCurrent);
    if (listed && awaited_ && awaited_->folder == directory_)
        SelectAwaited(false);

    for (int i = 1; i < model_->columnCount(); ++i)
        setColumnWidth(i, widths[static_cast<size_t>(i - 1)]);
    // Sized once per folder: a first folder of short names (a Start Menu holding only
    // "Programs") would otherwise cut every longer name for the rest of the session,
    // while a re-read of the same folder keeps the width the user gave it.
    if ((autoSizeFirstColumn_ || nameSizedFor_ != directory_) && model_->rowCount() > 0) {
        const int captionWidth = fontMetrics().horizontalAdvance(model_->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString());
        // One very long name must not push every other column out of sight: such a
        // name is cut with an ellipsis instead.
        const int fitted = std::max(std::min(sizeHintForColumn(0), width() * 2 / 3), captionWidth + 16 + kStateImageSize) + 8;
        // Another folder only widens it: names the user made room for stay readable.
        setColumnWidth(0, autoSizeFirstColumn_ ? fitted : std::max(fitted, columnWidth(0)));
        autoSizeFirstColumn_ = false;
        nameSizedFor_ = directory_;
    }
    setUpdatesEnabled(true);
}

void TwekShortcutListView::RestoreSelection(const std::vector<std::string>& names, const std::string& current)
{
    selectionRestored_ = false;
    if (names.empty() && current.empty())
        return;
    std::vector<std::string> wanted = names;
    std::sort(wanted.begin(), wanted.end());
    // One range per run of neighbouring rows: thousands of single-row ranges make
    // every later question to the selection model cost thousands of steps.
    QItemSelection selection;
    const int count = ItemCount();
    const int lastColumn = model_->columnCount() - 1;
    int runStart = -1;
    for (int row = 0; row <= count; ++row) {
        const std::string* name = row < count ? &model_->Row(row).Name : nullptr;
        if (name && *name == current)
            selectionModel()->setCurrentIndex(model_->index(row, 0), QItemSelectionModel::NoUpdate);
        const bool selected = name && std::binary_search(wanted.begin(), wanted.end(), *name);
        if (selected && runStart < 0) {
            runStart = row;
        } else if (!selected && runStart >= 0) {
            selection.append(QItemSelectionRange(model_->index(runStart, 0), model_->index(row - 1, lastColumn)));
            runStart = -1;
        }
    }
    readingSelection_ = true;
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    readingSelection_ = false;
    selectionRestored_ = !selection.isEmpty();
    if (currentIndex().isValid())
        scrollTo(currentIndex());
}

void TwekShortcutListView::SelectWhenShown(std::vector<std::string> names, bool edit)
{
    if (directory_.empty() || names.empty())
        return;
    awaited_ = TAwaitedRows{directory_, std::move(names), edit, false, {}};
    // A read may have shown them all already, before the command was over.
    if (model_->Folder() == directory_ && !ReadPending() && SelectAwaited(true)) {
        emit OnSelectionChange(this);
        return;
    }
    RequestRead();
}

bool TwekShortcutListView::SelectAwaited(bool allOrNothing)
{
    std::vector<std::string> wanted = awaited_->names;
    std::sort(wanted.begin(), wanted.end());
    std::vector<int> rows;
    for (int row = 0; row < ItemCount(); ++row) {
        const std::string& name = model_->Row(row).Name;
        if (awaited_->newShortcuts ? row >= folderCount_ && !std::binary_search(awaited_->known.begin(),
                                                                                 awaited_->known.end(), name)
                                   : std::binary_search(wanted.begin(), wanted.end(), name))
            rows.push_back(row);
    }
    if (rows.empty() || (allOrNothing && rows.size() < wanted.size()))
        return false;
    const bool edit = awaited_->edit;
    awaited_.reset();
    QItemSelection selection;
    for (int row : rows)
        selection.append(QItemSelectionRange(model_->index(row, 0), model_->index(row, model_->columnCount() - 1)));
    readingSelection_ = true;
    selectionModel()->setCurrentIndex(model_->index(rows.front(), 0), QItemSelectionModel::NoUpdate);
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    readingSelection_ = false;
    selectionRestored_ = true;
    scrollTo(currentIndex());
    if (edit) {
        // Once the read that showed it is over (an editor open during a read would
        // hold the next one back).
        QMetaObject::invokeMethod(
            this,
            [this, name = model_->Row(rows.front()).Name] {
                for (int row = 0; row < ItemCount(); ++row)
                    if (model_->Row(row).Name == name)
                        return StartEditing(row);
            },
            Qt::QueuedConnection);
    }
    return true;
}

int TwekShortcutListView::CompareItems(int row1, int row2) const
{
    if (row1 < folderCount_ || row2 < folderCount_)
        return 0;
    return CompareRowKeys(model_->Row(row1), model_->Row(row2));
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
    UpdateSortIndicator();
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
    UpdateSortIndicator();
    SortItems();
}

void TwekShortcutListView::UpdateSortIndicator()
{
    // The test-state sort belongs to the mark on the first header.
    header()->setSortIndicator(sortColumn_ < 0 ? 0 : sortColumn_,
                               sortDescending_ ? Qt::DescendingOrder : Qt::AscendingOrder);
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

int TwekShortcutListView::ItemCount() const { return model_->Count(); }

int TwekShortcutListView::SelectedCount() const { return static_cast<int>(SelectedRows().size()); }

std::vector<int> TwekShortcutListView::SelectedRows() const
{
    const int count = ItemCount();
    const int lastColumn = model_->columnCount() - 1;
    std::vector<char> selected(static_cast<size_t>(count), 0);
    for (const QItemSelectionRange& range : selectionModel()->selection()) {
        const int top = std::max(range.top(), 0), bottom = std::min(range.bottom(), count - 1);
        const bool wholeRows = range.left() <= 0 && range.right() >= lastColumn;
        for (int row = top; row <= bottom; ++row)
            if (!selected[static_cast<size_t>(row)] && (wholeRows || selectionModel()->isRowSelected(row, {})))
                selected[static_cast<size_t>(row)] = 1;
    }
    std::vector<int> rows;
    for (int row = 0; row < count; ++row)
        if (selected[static_cast<size_t>(row)])
            rows.push_back(row);
    return rows;
}

int TwekShortcutListView::FirstSelectedRow() const
{
    const std::vector<int> rows = SelectedRows();
    return rows.empty() ? -1 : rows.front();
}

std::string TwekShortcutListView::ItemName(int row) const
{
    return row >= 0 && row < ItemCount() ? model_->Row(row).Name : std::string();
}

QString TwekShortcutListView::ItemText(int row, int column) const
{
    return model_->data(model_->index(row, column), Qt::DisplayRole).toString();
}

int TwekShortcutListView::ItemImageIndex(int row) const
{
    return row >= 0 && row < ItemCount() ? model_->Row(row).ImageIndex : -1;
}

int TwekShortcutListView::ItemStateIndex(int row) const
{
    return row >= 0 && row < ItemCount() ? model_->Row(row).StateIndex : -1;
}

bool TwekShortcutListView::ItemCut(int row) const { return row >= 0 && row < ItemCount() && model_->Row(row).Cut; }

void TwekShortcutListView::SetItemCut(int row, bool cut) { model_->SetCut(row, cut); }

int TwekShortcutListView::DropHighlightRow() const { return model_->DropHighlightRow(); }

void TwekShortcutListView::SetDropHighlightRow(int row)
{
    model_->SetDropHighlightRow(row >= 0 && row < folderCount_ ? row : -1);
}

std::vector<std::string> TwekShortcutListView::SelectedNames() const
{
    std::vector<std::string> names;
    for (int row : SelectedRows())
        names.push_back(model_->Row(row).Name);
    return names;
}

std::vector<std::string> TwekShortcutListView::SelectedPaths() const
{
    std::vector<std::string> paths = SelectedNames();
    // The rows' files are in the folder they were read from, which is not Directory
    // while another folder's read is pending.
    for (std::string& path : paths)
        path = model_->Folder() + path;
    return paths;
}

void TwekShortcutListView::keyPressEvent(QKeyEvent* event)
{
    // The item view would copy the current row's text; Ctrl+C belongs to the
    // window's Copy command alone, which takes the key before the list when enabled.
    if (event->matches(QKeySequence::Copy)) {
        event->ignore();
        return;
    }
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
    case Qt::Key_Escape:
        if (!editing && Busy()) {
            GiveUp();
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
    case Qt::Key_F10:
        // The context-menu key of keyboards without one.
        if (!editing && event->modifiers() == Qt::ShiftModifier) {
            ShowContextMenu(KeyboardMenuPoint());
            event->accept();
            return;
        }
        break;
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
    // A click beside the rows asks for the folder's own menu: the selection goes, as
    // in a list view of the shell.
    if (!indexAt(viewport()->mapFromGlobal(event->globalPos())).isValid())
        clearSelection();
    ShowContextMenu(event->globalPos());
}

void TwekShortcutListView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        event->accept();
        OpenSelected();
        return;
    }
    QTreeView::mouseDoubleClickEvent(event);
}
