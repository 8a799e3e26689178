#include "platform/ui/FileProgressWindow.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace platform {
namespace {

QString Title(fileops::JobKind kind)
{
    switch (kind) {
    case fileops::JobKind::Copy:
        return FileProgressWindow::tr("Copying");
    case fileops::JobKind::Move:
        return FileProgressWindow::tr("Moving");
    case fileops::JobKind::Link:
        return FileProgressWindow::tr("Creating Shortcuts");
    case fileops::JobKind::Trash:
        return FileProgressWindow::tr("Moving to the Trash");
    }
    return {};
}

std::string FolderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

} // namespace

QString DisplayName(const std::string& path)
{
    std::string_view name = path;
    while (name.size() > 1 && name.back() == '/')
        name.remove_suffix(1);
    const auto slash = name.rfind('/');
    if (slash != std::string_view::npos && name.size() > 1)
        name.remove_prefix(slash + 1);
    return QFile::decodeName(QByteArray(name.data(), static_cast<qsizetype>(name.size())));
}

FileProgressWindow::FileProgressWindow(fileops::JobKind kind, const std::string& destination, QWidget* owner)
    : QDialog(owner), kind_(kind), destination_(DisplayName(destination)), action_(new QLabel(this)), counts_(new QLabel(this)),
      bar_(new QProgressBar(this)), cancel_(new QPushButton(tr("Cancel"), this))
{
    setObjectName("fileProgressWindow");
    setWindowTitle(Title(kind));
    setModal(false);
    action_->setTextFormat(Qt::PlainText);
    action_->setMinimumWidth(420);
    action_->setWordWrap(true);
    counts_->setTextFormat(Qt::PlainText);
    bar_->setRange(0, 1000);
    bar_->setTextVisible(false);
    cancel_->setObjectName("cancelButton");
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(cancel_, QDialogButtonBox::RejectRole);
    connect(cancel_, &QPushButton::clicked, this, &FileProgressWindow::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(action_);
    layout->addWidget(bar_);
    layout->addWidget(counts_);
    layout->addWidget(buttons);
    Update({});
}

void FileProgressWindow::Update(const fileops::JobProgress& p)
{
    const QString name = DisplayName(p.currentPath);
    QString action = name.isEmpty() ? tr("Preparing...") : Title(kind_) + " \u201C" + name + "\u201D";
    if (!name.isEmpty() && !destination_.isEmpty())
        action += "\n" + tr("from \u201C%1\u201D to \u201C%2\u201D").arg(DisplayName(FolderOf(p.currentPath)), destination_);
    action_->setText(action);
    const QLocale locale;
    QString counts = tr("%1 of %2 files").arg(locale.toString(static_cast<qulonglong>(p.filesDone)),
                                              locale.toString(static_cast<qulonglong>(p.filesTotal)));
    if (p.bytesTotal > 0)
        counts += " \u2014 " + tr("%1 of %2").arg(locale.formattedDataSize(static_cast<qint64>(p.bytesDone)),
                                                  locale.formattedDataSize(static_cast<qint64>(p.bytesTotal)));
    counts_->setText(counts);
    // Bytes alone would leave the bar standing still through thousands of small
    // files before one large one: each file also counts as the time of copying
    // this many bytes.
    constexpr double kBytesPerFile = 64 * 1024;
    const double total = static_cast<double>(p.bytesTotal) + kBytesPerFile * static_cast<double>(p.filesTotal);
    const double done = static_cast<double>(p.bytesDone) + kBytesPerFile * static_cast<double>(p.filesDone);
    bar_->setValue(total > 0 ? static_cast<int>(std::min(done / total, 1.0) * 1000) : 0);
}

void FileProgressWindow::reject()
{
    if (!cancel_->isEnabled())
        return;
    cancel_->setEnabled(false);
    cancel_->setText(tr("Cancelling..."));
    emit CancelRequested();
}

} // namespace platform
