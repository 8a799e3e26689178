#include "platform/ui/EditorPage.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QLineEdit>
#include <QMessageBox>

#include "platform/ui/PathText.h"

namespace platform::ui {

EditorPage::EditorPage(const std::string& path, QWidget* parent) : QWidget(parent), opened_(path) {}

void EditorPage::Start()
{
    const EditResult r = opened_.Load();
    if (!r.Ok())
        note_ = tr("This file cannot be saved: %1.").arg(QString::fromStdString(r.message));
    else if (struct stat st {}; ::stat(opened_.Path().c_str(), &st) == 0 && ((st.st_mode & 0222) == 0 || ::access(opened_.Path().c_str(), W_OK) != 0))
        note_ = tr("This file is read-only.");
    atStart_ = opened_.Values();
    Fill(atStart_);
}

bool EditorPage::Save(QString& error)
{
    error.clear();
    refused_ = EditField::None;
    const ShortcutEdits edits = Edits();
    if (edits.Empty())
        return true;
    // Tried on a copy: a refused save keeps the file as read, and the fields as typed.
    LinkEditor work = opened_;
    EditResult r = work.Apply(edits);
    if (r.Ok())
        r = work.Save(SaveMode::Normal);
    if (r.status == EditStatus::Changed) {
        const QString name = BytesToText(FileNameOf(work.Path()));
        const auto answer = QMessageBox::warning(
            this, tr("Save"),
            tr("\"%1\" was changed by another program or window since this window opened it (%2).\n\n"
               "Save your changes over it?")
                .arg(name, QString::fromStdString(r.message)),
            QMessageBox::Save | QMessageBox::Cancel, QMessageBox::Cancel);
        if (answer != QMessageBox::Save)
            return false;
        r = work.Save(SaveMode::OverwriteChanges);
    }
    if (!r.Ok()) {
        error = QString::fromStdString(r.message);
        refused_ = r.field;
        return false;
    }
    opened_ = std::move(work);
    atStart_ = opened_.Values();
    note_.clear();
    Fill(atStart_);
    return true;
}

void EditorPage::SelectRefusedField()
{
    if (QLineEdit* edit = FieldEdit(refused_)) {
        edit->setFocus(Qt::OtherFocusReason);
        edit->selectAll();
    }
}

} // namespace platform::ui
