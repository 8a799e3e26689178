#include "platform/verbs/MenuTracking.h"

#include <QIcon>
#include <QMenu>
#include <QPointer>

#include "platform/shell/ContextMenu.h"
#include "platform/ui/ArrowCursor.h"

namespace platform::verbs {
namespace {

QIcon IconFor(const std::string& name)
{
    if (name.empty())
        return {};
    const QString text = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    return name[0] == '/' ? QIcon(text) : QIcon::fromTheme(text);
}

void Fill(QMenu& target, const shell::PopupMenu& source, const MenuSelectHandler& onSelect)
{
    QObject::connect(&target, &QMenu::hovered, &target, [onSelect](QAction* action) {
        const std::uint32_t id = action->data().toUInt();
        if (onSelect && id != 0)
            onSelect(id, false);
    });
    for (const shell::PopupMenuItem& item : source.Items()) {
        const QString text = QString::fromUtf8(item.text.data(), static_cast<qsizetype>(item.text.size()));
        if (item.separator) {
            target.addSeparator();
        } else if (item.submenu) {
            QMenu* sub = target.addMenu(IconFor(item.iconName), text);
            sub->setEnabled(item.enabled);
            Fill(*sub, *item.submenu, onSelect);
        } else {
            QAction* action = target.addAction(IconFor(item.iconName), text);
            action->setData(item.id);
            action->setEnabled(item.enabled);
            if (item.isDefault) {
                QFont bold = action->font();
                bold.setBold(true);
                action->setFont(bold);
                target.setDefaultAction(action);
            }
        }
    }
}

} // namespace

std::uint32_t TrackPopupMenu(const shell::PopupMenu& menu, const QPoint& screenPoint, QWidget* owner,
                             const MenuSelectHandler& onSelect)
{
    // Items with no commands (Computer) get no empty box on the screen.
    if (menu.Items().empty())
        return 0;
    // On the heap, owned by the owner: should the owner go while the menu is up, the
    // menu goes with it and exec() returns nothing.
    QPointer<QMenu> popup = new QMenu(owner);
    Fill(*popup, menu, onSelect);
    QObject::connect(popup.data(), &QMenu::aboutToHide, popup.data(), [onSelect] {
        if (onSelect)
            onSelect(0, true);
    });
    const ui::ArrowCursor arrow;
    QAction* chosen = popup->exec(screenPoint);
    const std::uint32_t id = popup && chosen ? chosen->data().toUInt() : 0;
    delete popup.data();
    return id;
}

} // namespace platform::verbs
