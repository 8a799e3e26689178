#include "platform/ui/IconPicker.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <utility>

#include "platform/drivemap/DriveMap.h"
#include "platform/icons/ProgramIcons.h"
#include "platform/shell/NetworkMounts.h"

namespace platform::ui {

namespace shell = platform::shell;

namespace {

constexpr int kIconSize = 32;
constexpr int kCell = 44;
constexpr int kRows = 4;
// Where Windows sends the user when a file holds no icons.
const char* const kFallbackFile = "%SystemRoot%\\system32\\shell32.dll";

std::string Unquoted(std::string text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.erase(text.begin());
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.pop_back();
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        text = text.substr(1, text.size() - 2);
    return text;
}

bool IsHostPath(const QString& text) { return text.trimmed().startsWith('/'); }

// With lookUp, on the reading thread: it may look names up on a network mount.
std::optional<std::string> HostPathOf(const QString& text, DriveMap::OnNetworkMounts lookUp)
{
    if (IsHostPath(text))
        return QFile::encodeName(text.trimmed()).toStdString();
    const std::string windows = WinEnvironment::Default().Expand(Unquoted(text.toStdString()));
    return DriveMap::Default().ToHostPath(windows, lookUp);
}

// Icons only, the chosen one framed in the selection colour whether or not the list
// has the focus, so the choice shows as soon as the dialog opens.
class IconCellDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const QRect cell = option.rect.adjusted(2, 2, -2, -2);
        if (option.state & QStyle::State_Selected) {
            QColor fill = option.palette.color(QPalette::Active, QPalette::Highlight);
            painter->save();
            painter->setPen(fill);
            fill.setAlpha(70);
            painter->setBrush(fill);
            painter->drawRect(cell.adjusted(0, 0, -1, -1));
            painter->restore();
        }
        const QIcon icon = index.data(Qt::DecorationRole).value<QIcon>();
        const QRect at(cell.center().x() - kIconSize / 2 + 1, cell.center().y() - kIconSize / 2 + 1, kIconSize, kIconSize);
        icon.paint(painter, at);
    }

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override { return QSize(kCell, kCell); }
};

} // namespace

struct IconPicker::Loaded {
    std::uint64_t generation = 0;
    QString text;
    std::string host;
    AllIcons icons;
    std::string silentMount; // the network mount that did not answer
};

IconPicker::IconPicker(QWidget* owner, const std::string& iconLocation, int index)
    : QDialog(owner),
      inbox_([this](std::function<void()> fn) { QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection); }),
      givenLocation_(iconLocation),
      givenIndex_(index)
{
    // Built here, on the GUI thread, before any reading thread uses them.
    WinEnvironment::Default();
    DriveMap::Default();

    setWindowTitle(tr("Change Icon"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Look for icons in this file:"), this));
    auto* fileRow = new QHBoxLayout;
    file_ = new QLineEdit(this);
    auto* browse = new QPushButton(tr("&Browse..."), this);
    browse->setAutoDefault(false);
    fileRow->addWidget(file_, 1);
    fileRow->addWidget(browse);
    layout->addLayout(fileRow);
    layout->addWidget(new QLabel(tr("Select an icon from the list below:"), this));

    list_ = new QListWidget(this);
    list_->setViewMode(QListView::IconMode);
    list_->setFlow(QListView::TopToBottom);
    list_->setWrapping(true);
    list_->setMovement(QListView::Static);
    list_->setResizeMode(QListView::Adjust);
    list_->setUniformItemSizes(true);
    list_->setIconSize(QSize(kIconSize, kIconSize));
    list_->setGridSize(QSize(kCell, kCell));
    list_->setItemDelegate(new IconCellDelegate(list_));
    list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    list_->setFixedHeight(kCell * kRows + list_->horizontalScrollBar()->sizeHint().height() + 2 * list_->frameWidth() + 4);
    list_->setMinimumWidth(kCell * 9);
    layout->addWidget(list_);

    note_ = new QLabel(this);
    note_->setWordWrap(true);
    note_->hide();
    layout->addWidget(note_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ok_ = buttons->button(QDialogButtonBox::Ok);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &IconPicker::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &IconPicker::reject);
    connect(browse, &QPushButton::clicked, this, &IconPicker::Browse);
    connect(list_, &QListWidget::currentItemChanged, this, &IconPicker::UpdateOk);
    connect(list_, &QListWidget::itemActivated, this, &IconPicker::accept);
    connect(file_, &QLineEdit::textEdited, this, &IconPicker::UpdateOk);

    const QString start = QString::fromStdString(iconLocation.empty() ? std::string(kFallbackFile) : iconLocation);
    file_->setText(start);
    ShowFile(start);
}

IconPicker::~IconPicker()
{
    cancel_.Cancel();
    inbox_.Close();
}

void IconPicker::ShowFile(const QString& text)
{
    const std::uint64_t generation = ++generation_;
    loading_ = true;
    list_->clear();
    list_->viewport()->setCursor(Qt::BusyCursor);
    UpdateOk();

    cancel_.Cancel(); // the file asked for before is no longer wanted
    cancel_ = tasks::CancelToken();
    const int iconIndex = text == QString::fromStdString(givenLocation_) ? givenIndex_ : 0;
    const tasks::Outbox outbox = inbox_.Address();
    const auto show = [this, outbox](std::shared_ptr<Loaded> loaded) {
        outbox.Post([this, loaded] { Show(*loaded); });
    };
    tasks::MountTask task;
    task.Token = cancel_;
    task.Run = [show, cancel = cancel_, generation, text, iconIndex] {
        auto loaded = std::make_shared<Loaded>();
        loaded->generation = generation;
        loaded->text = text;
        if (const auto host = HostPathOf(text, DriveMap::OnNetworkMounts::LookUp)) {
            loaded->host = *host;
            loaded->icons = ReadAllIcons(*host, kIconSize, iconIndex, cancel.Flag());
        }
        show(std::move(loaded));
    };
    // A file on a network mount is read in the mount's queue, any other in the pool.
    const std::optional<std::string> written = HostPathOf(text, DriveMap::OnNetworkMounts::KeepAsWritten);
    const auto mount = written ? shell::NetworkMountOf(*written) : std::nullopt;
    task.NotAnswering = [show, generation, text, silent = mount ? mount->MountPoint : std::string()] {
        auto loaded = std::make_shared<Loaded>();
        loaded->generation = generation;
        loaded->text = text;
        loaded->silentMount = silent;
        show(std::move(loaded));
    };
    tasks::TaskHome& home = tasks::TaskHome::Get();
    if (mount ? home.RunOnMount(mount->MountPoint, task) != tasks::MountAnswer::Queued : !home.RunLocal(task.Run))
        task.NotAnswering();
}

void IconPicker::Show(const Loaded& loaded)
{
    if (loaded.generation != generation_)
        return;
    loading_ = false;
    list_->viewport()->unsetCursor();
    const std::vector<QImage>& pictures = loaded.icons.pictures;
    const bool any = std::any_of(pictures.begin(), pictures.end(), [](const QImage& i) { return !i.isNull(); });
    const bool firstFile = std::exchange(firstFile_, false);
    if (!any) {
        const QString message =
            !loaded.silentMount.empty() ? tr("%1 does not answer.").arg(QFile::decodeName(QByteArray::fromStdString(loaded.silentMount)))
            : loaded.icons.opened       ? tr("The file %1 contains no icons.").arg(loaded.text)
                                        : tr("Cannot find the file %1.").arg(loaded.text);
        const QString fallback = QString::fromLatin1(kFallbackFile);
        shownHost_.clear();
        // The file the link named: the shell's own icons are offered instead.
        if (firstFile && loaded.text != fallback) {
            shownText_.clear();
            note_->setText(message + " " + tr("Choose an icon from the list or specify a different file."));
            note_->show();
            file_->setText(fallback);
            ShowFile(fallback);
            return;
        }
        // A file the user named stays in the field, to be put right; OK waits for that.
        shownText_ = loaded.text;
        if (note_->isHidden()) {
            note_->setText(message);
            note_->show();
        }
        UpdateOk();
        emit IconsShown();
        return;
    }
    shownText_ = loaded.text;
    shownHost_ = loaded.host;
    int select = 0;
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        if (pictures[i].isNull())
            continue; // its index stays its own: the others keep their places
        auto* item = new QListWidgetItem(QIcon(QPixmap::fromImage(pictures[i])), QString(), list_);
        item->setData(Qt::UserRole, static_cast<int>(i));
        item->setToolTip(tr("Icon %1").arg(i));
        if (loaded.icons.named && *loaded.icons.named == i)
            select = list_->count() - 1;
    }
    list_->setCurrentRow(select);
    if (loaded.text == QString::fromStdString(givenLocation_) && givenRow_ < 0)
        givenRow_ = loaded.icons.named ? select : -1;
    list_->scrollToItem(list_->currentItem());
    UpdateOk();
    emit IconsShown();
}

void IconPicker::Browse()
{
    QString folder;
    if (!shownHost_.empty())
        folder = QFileInfo(QFile::decodeName(QByteArray::fromStdString(shownHost_))).absolutePath();
    const QString chosen = QFileDialog::getOpenFileName(
        this, tr("Change Icon"), folder,
        tr("Icon files (*.ico *.exe *.dll *.cpl *.scr);;Programs (*.exe);;Libraries (*.dll);;Icons (*.ico);;All files (*)"));
    if (chosen.isEmpty())
        return;
    const QByteArray host = QFile::encodeName(chosen);
    const auto windows = DriveMap::Default().ToWindowsPath(host.toStdString());
    if (!windows) {
        note_->setText(tr("%1 lies outside every drive: a shortcut cannot name it.").arg(chosen));
        note_->show();
        return;
    }
    note_->hide();
    firstFile_ = false;
    file_->setText(QString::fromStdString(*windows));
    ShowFile(file_->text());
}

std::string IconPicker::IconLocation() const
{
    if (shownText_ == QString::fromStdString(givenLocation_))
        return givenLocation_;
    if (IsHostPath(shownText_))
        return DriveMap::Default().ToWindowsPath(QFile::encodeName(shownText_.trimmed()).toStdString()).value_or(std::string());
    return Unquoted(shownText_.toStdString());
}

int IconPicker::IconIndex() const
{
    const QListWidgetItem* item = list_->currentItem();
    if (!item)
        return 0;
    if (shownText_ == QString::fromStdString(givenLocation_) && list_->currentRow() == givenRow_)
        return givenIndex_;
    return item->data(Qt::UserRole).toInt();
}

int IconPicker::IconCount() const { return list_->count(); }

QPixmap IconPicker::IconPicture() const
{
    const QListWidgetItem* item = list_->currentItem();
    return item ? item->icon().pixmap(kIconSize, kIconSize) : QPixmap();
}

QString IconPicker::Note() const { return note_->isHidden() ? QString() : note_->text(); }

void IconPicker::UpdateOk()
{
    const bool typedAnother = file_->text() != shownText_;
    // A changed file name is read when OK is pressed; otherwise an icon must be chosen.
    ok_->setEnabled(typedAnother ? !file_->text().trimmed().isEmpty()
                                 : !loading_ && list_->currentItem() && !IconLocation().empty());
}

void IconPicker::accept()
{
    if (file_->text() != shownText_ && !file_->text().trimmed().isEmpty()) {
        note_->hide();
        firstFile_ = false;
        ShowFile(file_->text());
        return;
    }
    if (loading_ || !list_->currentItem() || IconLocation().empty())
        return;
    QDialog::accept();
}

bool PickIcon(QWidget* owner, std::string& iconLocation, int& index, QPixmap* picture)
{
    IconPicker picker(owner, iconLocation, index);
    if (picker.exec() != QDialog::Accepted)
        return false;
    iconLocation = picker.IconLocation();
    index = picker.IconIndex();
    if (picture)
        *picture = picker.IconPicture();
    return true;
}

} // namespace platform::ui
