#include "platform/ui/ConflictDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "platform/ui/FileProgressWindow.h"

namespace platform {
namespace {

QString Facts(const fileops::ItemFacts& facts)
{
    const QLocale locale;
    const QString when =
        locale.toString(QDateTime::fromSecsSinceEpoch(facts.modified), QLocale::ShortFormat);
    if (facts.isFolder)
        return ConflictDialog::tr("Folder, modified %1").arg(when);
    return ConflictDialog::tr("%1, modified %2").arg(locale.formattedDataSize(static_cast<qint64>(facts.size)), when);
}

QLabel* PlainLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

} // namespace

ConflictDialog::ConflictDialog(const fileops::JobQuestion& q, QWidget* owner)
    : QDialog(owner), replace_(new QPushButton(this)), skip_(new QPushButton(tr("&Skip"), this)),
      keepBoth_(new QPushButton(tr("&Keep Both"), this)), applyToAll_(new QCheckBox(tr("&Do this for all conflicts"), this))
{
    setObjectName("conflictDialog");
    const bool folders = q.sourceFacts.isFolder && q.existingFacts.isFolder;
    setWindowTitle(folders ? tr("Merge Folders") : tr("Replace or Skip"));
    const QString name = DisplayName(q.existing);

    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    auto* icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
    top->addWidget(icon, 0, Qt::AlignTop);
    QString text = q.existingFacts.isFolder ? tr("The destination already has a folder named \u201C%1\u201D.").arg(name)
                                            : tr("The destination already has a file named \u201C%1\u201D.").arg(name);
    if (folders)
        text += "\n" + tr("Merge the folders? Files with the same names inside will be asked about one by one.");
    else if (!q.canReplace)
        text += "\n" + tr("A file and a folder cannot replace each other; skip it or keep both.");
    auto* message = PlainLabel(text, this);
    message->setObjectName("conflictText");
    message->setMinimumWidth(440);
    top->addWidget(message, 1);
    layout->addLayout(top);

    auto* grid = new QGridLayout;
    grid->addWidget(PlainLabel(tr("Existing:"), this), 0, 0);
    grid->addWidget(PlainLabel(Facts(q.existingFacts), this), 0, 1);
    grid->addWidget(PlainLabel(tr("New:"), this), 1, 0);
    grid->addWidget(PlainLabel(Facts(q.sourceFacts), this), 1, 1);
    grid->setColumnStretch(1, 1);
    layout->addLayout(grid);
    layout->addWidget(applyToAll_);

    replace_->setText(folders ? tr("&Merge") : tr("&Replace"));
    replace_->setVisible(q.canReplace);
    replace_->setObjectName("replaceButton");
    skip_->setObjectName("skipButton");
    keepBoth_->setObjectName("keepBothButton");
    applyToAll_->setObjectName("applyToAllBox");
    auto* cancel = new QPushButton(tr("Cancel"), this);
    cancel->setObjectName("cancelButton");
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(replace_, QDialogButtonBox::AcceptRole);
    buttons->addButton(skip_, QDialogButtonBox::AcceptRole);
    buttons->addButton(keepBoth_, QDialogButtonBox::AcceptRole);
    buttons->addButton(cancel, QDialogButtonBox::RejectRole);
    layout->addWidget(buttons);
    // Nothing is replaced by pressing Enter without looking.
    skip_->setDefault(true);
    skip_->setFocus();

    connect(replace_, &QPushButton::clicked, this, [this] { Answer(fileops::Choice::Replace); });
    connect(skip_, &QPushButton::clicked, this, [this] { Answer(fileops::Choice::Skip); });
    connect(keepBoth_, &QPushButton::clicked, this, [this] { Answer(fileops::Choice::KeepBoth); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void ConflictDialog::Answer(fileops::Choice choice)
{
    reply_ = {choice, applyToAll_->isChecked()};
    accept();
}

} // namespace platform
