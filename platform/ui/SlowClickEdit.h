#pragma once
// Renaming by a slow second click, as the desktop's file views do it: a click on the
// item that was already selected, in a view that already had the keyboard focus,
// opens the item's editor once the double-click time has passed with no further
// click. A click that brings the focus into the view (from another pane or another
// window), a double click, a click with a modifier key, and a press that turned into
// a drag never do: the user was choosing or opening, not renaming, and the keys
// typed next (Ctrl+V) would otherwise land in a name.
//
// Qt's own SelectedClicked trigger also edits after the click that only moved the
// focus; a view using this keeps EditKeyPressed (F2) as its only edit trigger.
#include <QObject>
#include <QPersistentModelIndex>
#include <QPoint>
#include <QTimer>
#include <functional>

class QAbstractItemView;

namespace platform::ui {

class SlowClickEdit : public QObject {
    Q_OBJECT
public:
    // startEdit opens the editor of the clicked item by the view's own rules (which
    // items may be renamed, which column holds the name).
    SlowClickEdit(QAbstractItemView* view, std::function<void(const QModelIndex&)> startEdit);

    // A second click was made: its edit waits for the double-click time to pass.
    bool Pending() const { return timer_.isActive(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Drop();
    void Fire();

    QAbstractItemView* view_;
    std::function<void(const QModelIndex&)> startEdit_;
    QTimer timer_;
    QPersistentModelIndex pressed_; // an item selected before the press, while the button is down
    QPoint pressedAt_;
    QPersistentModelIndex target_;  // the item whose edit waits
    bool focusByMouse_ = false;     // this very click brought the focus
    bool focusByWindow_ = false;    // the focus came with the window; no click since
};

} // namespace platform::ui
