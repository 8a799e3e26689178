#pragma once
// TDropTarget makes a control a drop target: it answers the drags that pass over the
// control, chooses the drop effect from what the source allows, the keys held and
// its own settings, scrolls the control while the pointer rests near an edge, and
// tells each step through its events. TDropFileTarget (DropFileTarget.h) takes file
// lists.
//
// Qt delivers drag events to the widget under the pointer that accepts drops; for
// an item view or any scroll area that is its viewport. The target watches that
// widget with an event filter and consumes the four drag events, so the control's
// own drag handling (an item view's drop indicator and auto-scrolling) never runs.
// Points are in the coordinates of that widget, the control's client area.
//
// The drag image is the source's, drawn by the toolkit: ShowImage is kept as a
// setting for the handlers that switch it around a repaint, with nothing to hide.
//
// GUI thread only. The handlers run inside the drag's nested event loop; they must
// not run one of their own (no processEvents): a highlight is repainted directly.
#include <QMimeData>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <stdexcept>

#include "dragdrop/DropEffects.h"

class QDropEvent;
class QTimer;

// A control that cannot take the target (another target already has it).
class EDropTargetError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TDropTarget : public QObject {
    Q_OBJECT
public:
    static constexpr int kScrollInterval = 100; // ms

    explicit TDropTarget(QObject* owner = nullptr);
    ~TDropTarget() override;

    // Makes `control` a drop target through this object, after detaching from the
    // control it had; attaching to the same control again does nothing, nullptr
    // only detaches. Raises EDropTargetError "Failed to Register NAME" (the
    // control's object name) when another target already has the control.
    void AttachTo(QWidget* control);
    // The control stops taking drops through this object. A control destroyed
    // meanwhile is simply forgotten.
    void Detach();
    QWidget* Control() const { return control_.data(); }

    // The effects this target may ever grant.
    TDragTypes Dragtypes() const { return dragtypes_; }
    void SetDragtypes(TDragTypes types) { dragtypes_ = types & kAllDragTypes; }
    // Read the dropped data when the drag enters, so the handlers can look at it
    // during the drag.
    bool GetDataOnEnter() const { return getDataOnEnter_; }
    void SetGetDataOnEnter(bool value) { getDataOnEnter_ = value; }
    bool ShowImage() const { return showImage_; }
    void SetShowImage(bool value) { showImage_ = value; }

    // Set when a drag enters: the control's font height in pixels.
    int ScrollMargin() const { return scrollMargin_; }
    bool AutoScrolling() const;
    // A drag whose data the target took is over the control.
    bool DragInProgress() const { return data_ != nullptr; }

    // The events. Effect may be changed by the handler; for OnEnter, OnDragOver and
    // OnDrop it is then the answer to the drag, and OnGetDropEffect settles the
    // effect before the others see it. OnLeave follows a drag that left without
    // dropping, also one whose data was refused.
    using TDropTargetEvent =
        std::function<void(TDropTarget* sender, TShiftState shift, QPoint point, TDropEffect& effect)>;
    TDropTargetEvent OnEnter;
    TDropTargetEvent OnDragOver;
    TDropTargetEvent OnDrop;
    TDropTargetEvent OnGetDropEffect;
    std::function<void(TDropTarget* sender)> OnLeave;

    // The four steps of a drag, as the event filter runs them; `allowed` is what the
    // source allows. Each answers the effect.
    TDropEffect DragEnter(const QMimeData* data, TShiftState shift, QPoint point, TDropEffect allowed);
    TDropEffect DragOver(TShiftState shift, QPoint point, TDropEffect allowed);
    void DragLeave();
    TDropEffect Drop(TShiftState shift, QPoint point, TDropEffect allowed);

    // The key state of a drag event: Shift and Ctrl and the buttons from the event,
    // Alt from the keyboard as it is now.
    static TShiftState ShiftStateOf(const QDropEvent& event);

protected:
    virtual void NotifyEnter(TShiftState shift, QPoint point, TDropEffect& effect);
    virtual void NotifyDragOver(TShiftState shift, QPoint point, TDropEffect& effect);
    virtual void NotifyDrop(TShiftState shift, QPoint point, TDropEffect& effect);
    virtual void NotifyLeave();
    virtual bool ReadDropData() { return false; }
    virtual void ResetDropData() {}
    virtual bool HasDropFormat() const { return false; }
    virtual TDropEffect ChooseDropEffect(TShiftState shift, QPoint point, TDropEffect allowed);

    // The data of the drag in progress (null when none was taken).
    const QMimeData* DataObject() const { return data_.data(); }

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The widget that receives the drag events: the viewport of a scroll area.
    QWidget* DropWidget() const;
    void ReadScrollSetup();
    void ScrollTick();

    QPointer<const QMimeData> data_;
    TDragTypes dragtypes_ = 0;
    QPointer<QWidget> control_;
    QPointer<QWidget> dropWidget_;
    bool getDataOnEnter_ = false;
    bool showImage_ = true;
    QPoint lastPoint_;
    int scrollMargin_ = 0;
    bool hasHorizontalBar_ = false;
    bool hasVerticalBar_ = false;
    QTimer* scrollTimer_ = nullptr;
};
