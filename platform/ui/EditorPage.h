#pragma once
// What the Shortcut and Web Document pages share: the shortcut file as the window
// read it, and saving the fields the user changed through the platform's editor.
// A refused save leaves the fields as the user left them.
#include <QWidget>
#include <string>

#include "platform/shelllink/LinkEditor.h"

class QLineEdit;

namespace platform::ui {

class EditorPage : public QWidget {
    Q_OBJECT
public:
    explicit EditorPage(const std::string& path, QWidget* parent = nullptr);

    const LinkEditor& Editor() const { return opened_; }
    bool IsModified() const { return !Edits().Empty(); }
    // Saves the changed fields. Asks before saving over changes another program (or
    // window) made since the page read the file. False with the reason, or with an
    // empty reason when the user chose not to save.
    bool Save(QString& error);
    // After a refused save: puts the user in the field the refusal is about, its text
    // selected, so that typing replaces it.
    void SelectRefusedField();
    EditField RefusedField() const { return refused_; }
    // The file was renamed on the General page.
    void MovedTo(const std::string& path) { opened_.MovedTo(path); }

signals:
    void Changed();

protected:
    // The edits the fields hold against what was read.
    virtual ShortcutEdits Edits() const = 0;
    // Shows these values as the page's starting point.
    virtual void Fill(const ShortcutValues& values) = 0;
    // The page's editor for a field; none when it has no text field for it.
    virtual QLineEdit* FieldEdit(EditField field) const = 0;
    void Start(); // reads the file and fills the page
    // A note above the fields: why the file cannot be saved, or that it is read-only.
    QString Note() const { return note_; }
    const ShortcutValues& AtStart() const { return atStart_; }

private:
    LinkEditor opened_;
    ShortcutValues atStart_;
    QString note_;
    EditField refused_ = EditField::None;
};

} // namespace platform::ui
