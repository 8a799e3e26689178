#include "platform/ui/SlowClickEdit.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFocusEvent>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <utility>

namespace platform::ui {

SlowClickEdit::SlowClickEdit(QAbstractItemView* view, std::function<void(const QModelIndex&)> startEdit)
    : QObject(view), view_(view), startEdit_(std::move(startEdit))
{
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &SlowClickEdit::Fire);
    view_->installEventFilter(this);
    view_->viewport()->installEventFilter(this);
}

void SlowClickEdit::Drop()
{
    timer_.stop();
    target_ = QPersistentModelIndex();
}

void SlowClickEdit::Fire()
{
    const QModelIndex target = std::exchange(target_, QPersistentModelIndex());
    // A read may have replaced the items meanwhile. An open editor has the focus.
    if (target.isValid() && view_->hasFocus() && view_->selectionModel()->isSelected(target))
        startEdit_(target);
}

bool SlowClickEdit::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == view_) {
        switch (event->type()) {
        case QEvent::FocusIn:
            // The application gives the focus to the view just before it hands it the
            // press that asked for it; once that press is handled the click is over.
            switch (static_cast<QFocusEvent*>(event)->reason()) {
            case Qt::MouseFocusReason:
                focusByMouse_ = true;
                QTimer::singleShot(0, this, [this] { focusByMouse_ = false; });
                break;
            case Qt::ActiveWindowFocusReason:
                // The click that raised the window may arrive after the focus did.
                focusByWindow_ = true;
                break;
            default:
                break;
            }
            break;
        case QEvent::FocusOut:
            Drop();
            pressed_ = QPersistentModelIndex();
            break;
        case QEvent::KeyPress:
            Drop();
            focusByWindow_ = false;
            break;
        default:
            break;
        }
        return false;
    }
    if (watched != view_->viewport())
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        // Any further click gives a waiting edit up: it was a third click.
        Drop();
        auto* mouse = static_cast<QMouseEvent*>(event);
        const bool bringsFocus = std::exchange(focusByMouse_, false) | std::exchange(focusByWindow_, false);
        pressed_ = QPersistentModelIndex();
        if (bringsFocus || mouse->button() != Qt::LeftButton || mouse->modifiers() != Qt::NoModifier)
            break;
        // Seen before the view handles the press: the selection is still the one the
        // click was made on.
        // A tree's expand button is beside the item, not on it.
        const QPoint at = mouse->position().toPoint();
        const QModelIndex index = view_->indexAt(at);
        if (index.isValid() && view_->visualRect(index).contains(at) && view_->selectionModel()->isSelected(index)) {
            pressed_ = index;
            pressedAt_ = at;
        }
        break;
    }
    case QEvent::MouseMove: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (pressed_.isValid() &&
            (mouse->position().toPoint() - pressedAt_).manhattanLength() >= QApplication::startDragDistance())
            pressed_ = QPersistentModelIndex(); // a drag began
        break;
    }
    case QEvent::MouseButtonRelease: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const QPersistentModelIndex pressed = std::exchange(pressed_, QPersistentModelIndex());
        if (mouse->button() == Qt::LeftButton && pressed.isValid() &&
            view_->indexAt(mouse->position().toPoint()) == pressed) {
            target_ = pressed;
            timer_.start(QApplication::doubleClickInterval());
        }
        break;
    }
    case QEvent::MouseButtonDblClick:
        Drop();
        pressed_ = QPersistentModelIndex();
        break;
    default:
        break;
    }
    return false;
}

} // namespace platform::ui
