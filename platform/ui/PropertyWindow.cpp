#include "platform/ui/PropertyWindow.h"

#include <sys/stat.h>

#include <QDialogButtonBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "platform/shell/EntryAttributes.h"
#include "platform/shelllink/LinkEditor.h"
#include "platform/ui/GeneralPage.h"
#include "platform/ui/PathText.h"
#include "platform/ui/PathWithin.h"
#include "platform/ui/ShortcutPage.h"
#include "platform/ui/WebDocumentPage.h"

namespace platform::ui {

PropertyWindow::PropertyWindow(std::vector<std::string> paths, PropertyCallbacks callbacks, QWidget* owner)
    : QDialog(owner ? owner->window() : nullptr, Qt::Window), callbacks_(std::move(callbacks))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(paths.size() == 1 ? tr("%1 Properties").arg(BytesToText(FileNameOf(paths.front())))
                                     : tr("Properties of %1 items").arg(paths.size()));
    auto* layout = new QVBoxLayout(this);
    tabs_ = new QTabWidget(this);
    layout->addWidget(tabs_);
    general_ = new GeneralPage(paths, tabs_);
    tabs_->addTab(general_, tr("General"));
    struct stat st {};
    const std::string& path = paths.front();
    if (paths.size() == 1 && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        shell::IsShortcutFileName(FileNameOf(path))) {
        if (ShortcutKindOf(path) == ShortcutKind::InternetShortcut) {
            editor_ = new WebDocumentPage(path, tabs_);
            tabs_->addTab(editor_, tr("Web Document"));
        } else {
            editor_ = new ShortcutPage(path, callbacks_.showFolder, tabs_);
            tabs_->addTab(editor_, tr("Shortcut"));
        }
        // Where a shortcut is looked at, it is mostly to be mended.
        tabs_->setCurrentWidget(editor_);
        editor_->setFocus();
        connect(editor_, &EditorPage::Changed, this, &PropertyWindow::UpdateApply);
    }
    connect(general_, &GeneralPage::Changed, this, &PropertyWindow::UpdateApply);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, this);
    apply_ = buttons->button(QDialogButtonBox::Apply);
    apply_->setEnabled(false);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(apply_, &QPushButton::clicked, this, &PropertyWindow::ApplyChanges);
    resize(420, 500);
}

void PropertyWindow::UpdateApply()
{
    apply_->setEnabled(general_->IsModified() || (editor_ && editor_->IsModified()));
}

bool PropertyWindow::ApplyChanges()
{
    const bool generalChanged = general_->IsModified();
    const bool editorChanged = editor_ && editor_->IsModified();
    auto refuse = [this](const QString& message) {
        if (!message.isEmpty())
            QMessageBox::warning(this, windowTitle(), message);
        UpdateApply();
        return false;
    };
    // A share that stopped answering since the window opened would hold the window
    // in the writes below: it is asked first, and a silent one refuses the save.
    if (generalChanged || editorChanged)
        for (const std::string& path : general_->Paths())
            if (const PathLookUp item = LookUpWithin(path, false); !item.answered)
                return refuse(tr("%1 does not answer.").arg(BytesToText(item.mountPoint)));
    if (QString error = general_->ClearReadOnly(); !error.isEmpty())
        return refuse(error);
    if (editor_) {
        QString error;
        if (!editor_->Save(error)) {
            refuse(error.isEmpty() ? error
                                   : tr("Could not save \"%1\": %2.")
                                         .arg(BytesToText(FileNameOf(editor_->Editor().Path())), error));
            if (editor_->RefusedField() != EditField::None) {
                tabs_->setCurrentWidget(editor_);
                editor_->SelectRefusedField();
            }
            return false;
        }
    }
    if (QString error = general_->SetReadOnly(); !error.isEmpty())
        return refuse(error);
    if (QString error = general_->Rename(); !error.isEmpty())
        return refuse(error);
    if (editor_)
        editor_->MovedTo(general_->Paths().front());
    general_->Reload();
    if (general_->Paths().size() == 1)
        setWindowTitle(tr("%1 Properties").arg(BytesToText(FileNameOf(general_->Paths().front()))));
    if ((generalChanged || editorChanged) && callbacks_.saved)
        for (const std::string& path : general_->Paths())
            callbacks_.saved(path);
    UpdateApply();
    return true;
}

void PropertyWindow::accept()
{
    if (ApplyChanges())
        QDialog::accept();
}

} // namespace platform::ui
