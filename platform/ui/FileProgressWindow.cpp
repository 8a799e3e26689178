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

FileProgressWindow::FileProgressWindow(fileops::JobKind kind, QWidget* owner)
    : QDialog(owner), kind_(kind), action_(new QLabel(this)), counts_(new QLabel(this)),
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
    action_->setText(name.isEmpty() ? tr("Preparing...") : Title(kind_) + " \u201C" + name + "\u201D");
    const QLocale locale;
    QString counts = tr("%1 of %2 files").arg(locale.toString(static_cast<qulonglong>(p.filesDone)),
                                              locale.toString(static_cast<qulonglong>(p.filesTotal)));
    if (p.bytesTotal > 0)
        counts += " \u2014 " + tr("%1 of %2").arg(locale.formattedDataSize(static_cast<qint64>(p.bytesDone)),
                                                  locale.formattedDataSize(static_cast<qint64>(p.bytesTotal)));
    counts_->setText(counts);
    // Bytes tell how far along the copy is; files where nothing is copied.
    double part = 0;
    if (p.bytesTotal > 0)
        part = static_cast<double>(p.bytesDone) / static_cast<double>(p.bytesTotal);
    else if (p.filesTotal > 0)
        part = static_cast<double>(p.filesDone) / static_cast<double>(p.filesTotal);
    bar_->setValue(static_cast<int>(std::min(part, 1.0) * 1000));
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
