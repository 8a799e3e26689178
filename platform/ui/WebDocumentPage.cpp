#include "platform/ui/WebDocumentPage.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "platform/ui/HotkeyEdit.h"
#include "platform/ui/PathText.h"

namespace platform::ui {

WebDocumentPage::WebDocumentPage(const std::string& path, QWidget* parent) : EditorPage(path, parent)
{
    auto* layout = new QVBoxLayout(this);
    note_ = new QLabel(this);
    note_->setObjectName("note");
    note_->setWordWrap(true);
    layout->addWidget(note_);
    auto* form = new QFormLayout;
    url_ = new QLineEdit(this);
    url_->setObjectName("url");
    form->addRow(tr("&URL:"), url_);
    hotkey_ = new HotkeyEdit(this);
    hotkey_->setObjectName("hotkey");
    form->addRow(tr("Shortcut &key:"), hotkey_);
    layout->addLayout(form);
    layout->addStretch(1);
    connect(url_, &QLineEdit::textEdited, this, &EditorPage::Changed);
    connect(hotkey_, &HotkeyEdit::HotkeyChanged, this, &EditorPage::Changed);
    setFocusProxy(url_);
    Start();
    if (Editor().Damaged()) {
        url_->setEnabled(false);
        hotkey_->setEnabled(false);
    }
}

void WebDocumentPage::Fill(const ShortcutValues& v)
{
    note_->setText(Note());
    note_->setVisible(!Note().isEmpty());
    url_->setText(QString::fromStdString(v.target));
    hotkey_->SetHotkey(v.hotkey);
}

ShortcutEdits WebDocumentPage::Edits() const
{
    ShortcutEdits e;
    const std::string url = TextToBytes(url_->text());
    if (url != AtStart().target)
        e.target = url;
    if (hotkey_->Hotkey() != AtStart().hotkey)
        e.hotkey = hotkey_->Hotkey();
    return e;
}

QLineEdit* WebDocumentPage::FieldEdit(EditField field) const { return field == EditField::Target ? url_ : nullptr; }

} // namespace platform::ui
