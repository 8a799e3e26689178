#include "shortcuts/ShortcutListDelegate.h"

#include "shortcuts/ShortcutListModel.h"

void TShortcutListDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    if (index.data(TShortcutListModel::StateRole).toInt() == 0) {
        option->font.setBold(true);
        option->palette.setColor(QPalette::Text, QColor(255, 0, 0));
    } else if (index.data(TShortcutListModel::CutRole).toBool()) {
        option->palette.setColor(QPalette::Text, option->palette.color(QPalette::Disabled, QPalette::Text));
    }
    if (index.data(TShortcutListModel::DropHighlightRole).toBool())
        option->state |= QStyle::State_Selected;
}
