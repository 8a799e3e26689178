#include "platform/ui/GeneralPage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCheckBox>
#include <QDateTime>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMimeDatabase>
#include <QVBoxLayout>
#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/icons/SystemIconList.h"
#include "platform/shell/EntryAttributes.h"
#include "platform/shell/FsAccess.h"
#include "platform/ui/FolderSizeCounter.h"
#include "platform/ui/PathText.h"
#include "platform/util/Text.h"

namespace platform::ui {
namespace {

struct Entry {
    bool ok = false;
    bool isFolder = false;
    bool isSymlink = false;
    struct statx sx {};
};

Entry Examine(const std::string& path)
{
    Entry e;
    struct stat lst {};
    if (::lstat(path.c_str(), &lst) != 0)
        return e;
    e.isSymlink = S_ISLNK(lst.st_mode);
    e.ok = ::statx(AT_FDCWD, path.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &e.sx) == 0;
    e.isFolder = e.ok && S_ISDIR(e.sx.stx_mode);
    return e;
}

bool IsReadOnly(const Entry& e) { return (e.sx.stx_mode & 0222) == 0; }

QString TypeText(const std::string& path, const Entry& e)
{
    if (e.isFolder)
        return GeneralPage::tr("Folder");
    const std::string name = FileNameOf(path);
    const std::size_t dot = name.rfind('.');
    const std::string ext = dot == std::string::npos ? "" : AsciiLower(name.substr(dot));
    if (ext == ".lnk")
        return GeneralPage::tr("Shortcut");
    if (ext == ".pif")
        return GeneralPage::tr("Shortcut to MS-DOS Program");
    if (ext == ".url")
        return GeneralPage::tr("Internet Shortcut");
    const QMimeType mime = QMimeDatabase().mimeTypeForFile(BytesToText(path));
    return mime.comment().isEmpty() ? GeneralPage::tr("File") : mime.comment();
}

// As the shell writes sizes: three significant digits in binary units, then the
// exact count.
QString SizeText(quint64 bytes)
{
    const QLocale locale;
    const QString exact = locale.toString(static_cast<qulonglong>(bytes));
    if (bytes < 1024)
        return GeneralPage::tr("%1 bytes").arg(exact);
    static const char* const units[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    double value = static_cast<double>(bytes);
    int unit = -1;
    while (value >= 1024 && unit < 5) {
        value /= 1024;
        ++unit;
    }
    const int decimals = value < 10 ? 2 : value < 100 ? 1 : 0;
    return GeneralPage::tr("%1 %2 (%3 bytes)").arg(locale.toString(value, 'f', decimals), units[unit], exact);
}

QString CountText(quint64 files, quint64 folders)
{
    return (files == 1 ? GeneralPage::tr("1 file") : GeneralPage::tr("%1 files").arg(files)) + ", " +
           (folders == 1 ? GeneralPage::tr("1 folder") : GeneralPage::tr("%1 folders").arg(folders));
}

QString TimeText(const struct statx_timestamp& t)
{
    const QDateTime time = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(t.tv_sec) * 1000 + t.tv_nsec / 1000000);
    return QLocale().toString(time, QLocale::LongFormat);
}

QLabel* ValueLabel(QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setWordWrap(true);
    return label;
}

QFrame* Separator(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

} // namespace

GeneralPage::GeneralPage(std::vector<std::string> paths, QWidget* parent) : QWidget(parent), paths_(std::move(paths))
{
    Build();
    Fill();
}

GeneralPage::~GeneralPage() = default;

void GeneralPage::Build()
{
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    icon_ = new QLabel(this);
    icon_->setFixedSize(SystemIconList::kLargeSize, SystemIconList::kLargeSize);
    top->addWidget(icon_);
    if (paths_.size() == 1) {
        name_ = new QLineEdit(this);
        name_->setObjectName("name");
        top->addWidget(name_, 1);
    } else {
        count_ = ValueLabel(this);
        top->addWidget(count_, 1);
    }
    layout->addLayout(top);
    layout->addWidget(Separator(this));

    auto* form = details_ = new QFormLayout;
    type_ = ValueLabel(this);
    location_ = ValueLabel(this);
    form->addRow(tr("Type:"), type_);
    form->addRow(tr("Location:"), location_);
    if (paths_.size() == 1) {
        linkTo_ = ValueLabel(this);
        linkTo_->setObjectName("linkTo");
        form->addRow(tr("Link to:"), linkTo_);
    }
    size_ = ValueLabel(this);
    size_->setObjectName("size");
    form->addRow(tr("Size:"), size_);
    contains_ = ValueLabel(this);
    contains_->setObjectName("contains");
    form->addRow(tr("Contains:"), contains_);
    layout->addLayout(form);
    if (paths_.size() == 1) {
        layout->addWidget(Separator(this));
        auto* times = new QFormLayout;
        created_ = ValueLabel(this);
        created_->setObjectName("created");
        modified_ = ValueLabel(this);
        accessed_ = ValueLabel(this);
        times->addRow(tr("Created:"), created_);
        times->addRow(tr("Modified:"), modified_);
        times->addRow(tr("Accessed:"), accessed_);
        layout->addLayout(times);
    }
    layout->addWidget(Separator(this));
    auto* attributes = new QHBoxLayout;
    attributes->addWidget(new QLabel(tr("Attributes:"), this));
    readOnly_ = new QCheckBox(tr("&Read-only"), this);
    readOnly_->setObjectName("readOnly");
    hidden_ = new QCheckBox(tr("&Hidden"), this);
    hidden_->setObjectName("hidden");
    attributes->addWidget(readOnly_);
    attributes->addWidget(hidden_);
    attributes->addStretch(1);
    layout->addLayout(attributes);
    layout->addStretch(1);

    connect(readOnly_, &QCheckBox::stateChanged, this, &GeneralPage::Changed);
    if (name_) {
        // The name and the hidden box say the same thing: the leading dot.
        connect(name_, &QLineEdit::textEdited, this, [this](const QString& text) {
            const QSignalBlocker block(hidden_);
            hidden_->setChecked(text.startsWith('.'));
            emit Changed();
        });
        connect(hidden_, &QCheckBox::clicked, this, [this](bool hide) {
            QString text = name_->text();
            if (hide && !text.startsWith('.'))
                text.prepend('.');
            while (!hide && text.startsWith('.'))
                text.remove(0, 1);
            name_->setText(text);
            emit Changed();
        });
    } else {
        hidden_->setEnabled(false); // several items are hidden by renaming each
    }
}

void GeneralPage::Fill()
{
    std::vector<Entry> entries;
    for (const std::string& path : paths_)
        entries.push_back(Examine(path));

    SystemIconList& icons = SystemIconList::Instance();
    icon_->setPixmap(icons.Pixmap(icons.IndexForPath(paths_.front()), SystemIconList::kLargeSize));

    const std::string folder = FolderOf(paths_.front());
    bool sameFolder = true, sameType = true;
    const QString firstType = TypeText(paths_.front(), entries.front());
    quint64 files = 0, fileBytes = 0, folderCount = 0;
    std::vector<std::string> folders;
    int readOnlyCount = 0, hiddenCount = 0;
    for (std::size_t i = 0; i < paths_.size(); ++i) {
        sameFolder = sameFolder && FolderOf(paths_[i]) == folder;
        sameType = sameType && TypeText(paths_[i], entries[i]) == firstType;
        if (entries[i].isFolder) {
            ++folderCount;
            folders.push_back(paths_[i]);
        } else {
            ++files;
            fileBytes += entries[i].sx.stx_size;
        }
        readOnlyCount += entries[i].ok && IsReadOnly(entries[i]);
        hiddenCount += FileNameOf(paths_[i]).starts_with('.');
    }
    auto tristate = [&](int count) {
        return count == 0 ? Qt::Unchecked
               : count == static_cast<int>(paths_.size()) ? Qt::Checked
                                                          : Qt::PartiallyChecked;
    };
    {
        const QSignalBlocker blockReadOnly(readOnly_), blockHidden(hidden_);
        readOnlyAtStart_ = tristate(readOnlyCount);
        readOnly_->setTristate(readOnlyAtStart_ == Qt::PartiallyChecked);
        readOnly_->setCheckState(static_cast<Qt::CheckState>(readOnlyAtStart_));
        hidden_->setTristate(paths_.size() > 1);
        hidden_->setCheckState(tristate(hiddenCount));
    }
    location_->setText(sameFolder ? BytesToText(folder) : tr("Various folders"));

    if (paths_.size() == 1) {
        const Entry& e = entries.front();
        name_->setText(BytesToText(FileNameOf(paths_.front())));
        type_->setText(firstType);
        if (e.isSymlink) {
            std::unique_ptr<char, decltype(&std::free)> real(::realpath(paths_.front().c_str(), nullptr), &std::free);
            linkTo_->setText(real ? BytesToText(real.get()) : tr("(a symbolic link that leads nowhere)"));
        }
        details_->setRowVisible(linkTo_, e.isSymlink);
        created_->setText(e.ok && (e.sx.stx_mask & STATX_BTIME) ? TimeText(e.sx.stx_btime) : tr("Unknown"));
        modified_->setText(e.ok ? TimeText(e.sx.stx_mtime) : tr("Unknown"));
        accessed_->setText(e.ok ? TimeText(e.sx.stx_atime) : tr("Unknown"));
    } else {
        count_->setText(CountText(files, folderCount));
        type_->setText(sameType ? tr("All of type %1").arg(firstType) : tr("Multiple types"));
    }
    details_->setRowVisible(contains_, !folders.empty());
    if (folders.empty())
        size_->setText(SizeText(fileBytes));
    else // several items count the folders chosen too; one folder only what it holds
        CountFolders(folders, fileBytes, files, paths_.size() > 1 ? folderCount : 0);
}

void GeneralPage::CountFolders(const std::vector<std::string>& folders, quint64 fileBytes, quint64 files,
                               quint64 folderCount)
{
    delete counter_;
    counter_ = new FolderSizeCounter(folders, this);
    size_->setText(tr("Counting..."));
    contains_->clear();
    connect(counter_, &FolderSizeCounter::Progress, this,
            [this, fileBytes, files, folderCount](quint64 bytes, quint64 innerFiles, quint64 innerFolders, bool done) {
                const QString size = SizeText(fileBytes + bytes);
                size_->setText(done ? size : tr("Counting: %1").arg(size));
                contains_->setText(CountText(files + innerFiles, folderCount + innerFolders));
            });
    counter_->Start();
}

bool GeneralPage::IsModified() const
{
    if (readOnly_->checkState() != readOnlyAtStart_ && readOnly_->checkState() != Qt::PartiallyChecked)
        return true;
    return name_ && NewName() != FileNameOf(paths_.front());
}

std::string GeneralPage::NewName() const
{
    std::string name = TextToBytes(name_->text());
    const std::string old = FileNameOf(paths_.front());
    // The list's rule: a shortcut keeps its extension when the new name leaves it out.
    if (shell::IsShortcutFileName(old)) {
        const std::size_t dot = old.rfind('.');
        const std::string ext = old.substr(dot);
        const std::size_t newDot = name.rfind('.');
        if (newDot == std::string::npos || newDot == 0 || !EqualsIgnoreAsciiCase(name.substr(newDot), ext))
            name += ext;
    }
    return name;
}

QString GeneralPage::ClearReadOnly()
{
    if (readOnly_->checkState() != Qt::Unchecked || readOnlyAtStart_ == Qt::Unchecked)
        return {};
    for (const std::string& path : paths_) {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 || (st.st_mode & 0222))
            continue;
        if (::chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR) != 0)
            return tr("Could not clear Read-only of \"%1\": %2").arg(BytesToText(FileNameOf(path)), std::strerror(errno));
    }
    return {};
}

QString GeneralPage::SetReadOnly()
{
    if (readOnly_->checkState() != Qt::Checked || readOnlyAtStart_ == Qt::Checked)
        return {};
    for (const std::string& path : paths_) {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0)
            return tr("Could not set Read-only of \"%1\": %2").arg(BytesToText(FileNameOf(path)), std::strerror(errno));
        if (::chmod(path.c_str(), st.st_mode & 07777 & ~0222u) != 0)
            return tr("Could not set Read-only of \"%1\": %2").arg(BytesToText(FileNameOf(path)), std::strerror(errno));
    }
    return {};
}

QString GeneralPage::Rename()
{
    if (!name_)
        return {};
    const std::string old = FileNameOf(paths_.front());
    const std::string name = NewName();
    if (name == old)
        return {};
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
        name.find('\0') != std::string::npos)
        return tr("\"%1\" cannot be a file's name.").arg(BytesToText(name));
    const std::string folder = FolderOf(paths_.front());
    if (const int error = shell::fs::RenameNoReplace(folder, old, name)) {
        if (error == EEXIST)
            return tr("Could not rename \"%1\": a file named \"%2\" exists already.")
                .arg(BytesToText(old), BytesToText(name));
        return tr("Could not rename \"%1\": %2").arg(BytesToText(old), std::strerror(error));
    }
    paths_.front() = shell::fs::JoinPath(folder, name);
    return {};
}

void GeneralPage::Reload() { Fill(); }

} // namespace platform::ui
