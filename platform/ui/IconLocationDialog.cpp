#include "platform/ui/IconLocationDialog.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <climits>

#include "platform/drivemap/DriveMap.h"
#include "platform/ui/PathText.h"

namespace platform::ui {

IconLocationDialog::IconLocationDialog(const ShortcutIcon& current, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(tr("Change Icon"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    auto* row = new QHBoxLayout;
    location_ = new QLineEdit(QString::fromStdString(current.location), this);
    location_->setObjectName("iconLocation");
    location_->setMinimumWidth(320);
    auto* browse = new QPushButton(tr("&Browse..."), this);
    row->addWidget(location_, 1);
    row->addWidget(browse);
    form->addRow(tr("Look for icons in this &file:"), row);
    index_ = new QSpinBox(this);
    index_->setObjectName("iconIndex");
    // Negative indexes name an icon by its resource ID.
    index_->setRange(INT_MIN, INT_MAX);
    index_->setValue(current.index);
    form->addRow(tr("Icon &index:"), index_);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(browse, &QPushButton::clicked, this, &IconLocationDialog::Browse);
}

ShortcutIcon IconLocationDialog::Choice() const
{
    return {TextToBytes(location_->text().trimmed()), location_->text().trimmed().isEmpty() ? 0 : index_->value()};
}

void IconLocationDialog::Browse()
{
    const QString file = QFileDialog::getOpenFileName(this, tr("Change Icon"), QString(),
                                                      tr("Icon files (*.ico *.exe *.dll *.cpl *.icl);;All files (*)"));
    if (file.isEmpty())
        return;
    const std::string host = TextToBytes(file);
    const auto windows = DriveMap::Default().ToWindowsPath(host);
    location_->setText(BytesToText(windows ? *windows : host));
    index_->setValue(0);
}

} // namespace platform::ui
