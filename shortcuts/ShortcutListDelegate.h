#pragma once
// Draws the marks of the shortcut list's rows from the model's roles: a row that
// failed the test in bold red, a cut row ghosted, the drop-highlighted row as a
// selected one.
#include <QStyledItemDelegate>

class TShortcutListDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};
