#include "dragdrop/DropTarget.h"

#include <QAbstractScrollArea>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFontInfo>
#include <QGuiApplication>
#include <QScrollBar>
#include <QTimer>
#include <QWidget>
#include <cstdlib>

#include "dragdrop/DragActions.h"

namespace {

// Marks the widget a target watches, so that a second target cannot take it too.
constexpr const char* kTargetProperty = "qm_dropTarget";

void Answer(QDropEvent* event, TDropEffect effect)
{
    const Qt::DropAction action = ActionOfEffect(effect, event->possibleActions());
    event->setDropAction(action);
    if (action == Qt::IgnoreAction)
        event->ignore();
    else
        event->accept();
}

} // namespace

TDropTarget::TDropTarget(QObject* owner) : QObject(owner)
{
    scrollTimer_ = new QTimer(this);
    scrollTimer_->setInterval(kScrollInterval);
    connect(scrollTimer_, &QTimer::timeout, this, &TDropTarget::ScrollTick);
}

TDropTarget::~TDropTarget()
{
    Detach();
}

QWidget* TDropTarget::DropWidget() const
{
    return dropWidget_.data();
}

void TDropTarget::AttachTo(QWidget* control)
{
    if (control && control == control_.data())
        return;
    Detach();
    if (!control)
        return;
    QWidget* receiver = control;
    if (auto* area = qobject_cast<QAbstractScrollArea*>(control))
        receiver = area->viewport();
    const auto holder = receiver->property(kTargetProperty).value<QPointer<QObject>>();
    if (holder && holder != this)
        throw EDropTargetError("Failed to Register " + control->objectName().toStdString());
    control_ = control;
    dropWidget_ = receiver;
    control->setAcceptDrops(true);
    receiver->setAcceptDrops(true);
    receiver->setProperty(kTargetProperty, QVariant::fromValue(QPointer<QObject>(this)));
    receiver->installEventFilter(this);
}

void TDropTarget::Detach()
{
    scrollTimer_->stop();
    if (data_) {
        ResetDropData();
        data_ = nullptr;
    }
    if (dropWidget_) {
        dropWidget_->removeEventFilter(this);
        dropWidget_->setProperty(kTargetProperty, QVariant());
        dropWidget_->setAcceptDrops(false);
    }
    if (control_)
        control_->setAcceptDrops(false);
    control_ = nullptr;
    dropWidget_ = nullptr;
}

bool TDropTarget::AutoScrolling() const
{
    return scrollTimer_->isActive();
}

TShiftState TDropTarget::ShiftStateOf(const QDropEvent& event)
{
    TShiftState shift = 0;
    const Qt::KeyboardModifiers keys = event.modifiers();
    if (keys & Qt::ShiftModifier)
        shift |= ssShift;
    if (keys & Qt::ControlModifier)
        shift |= ssCtrl;
    if (QGuiApplication::queryKeyboardModifiers() & Qt::AltModifier)
        shift |= ssAlt;
    const Qt::MouseButtons buttons = event.buttons();
    if (buttons & Qt::LeftButton)
        shift |= ssLeft;
    if (buttons & Qt::RightButton)
        shift |= ssRight;
    if (buttons & Qt::MiddleButton)
        shift |= ssMiddle;
    return shift;
}

bool TDropTarget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != dropWidget_.data())
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::DragEnter: {
        auto* e = static_cast<QDragEnterEvent*>(event);
        Answer(e, DragEnter(e->mimeData(), ShiftStateOf(*e), e->position().toPoint(),
                            EffectsOfActions(e->possibleActions())));
        // Qt sends the rest of a drag only to a widget that accepted its entry; the
        // answer that counts is that of the move that always follows the entry.
        e->accept();
        return true;
    }
    case QEvent::DragMove: {
        auto* e = static_cast<QDragMoveEvent*>(event);
        Answer(e, DragOver(ShiftStateOf(*e), e->position().toPoint(), EffectsOfActions(e->possibleActions())));
        return true;
    }
    case QEvent::DragLeave:
        DragLeave();
        event->accept();
        return true;
    case QEvent::Drop: {
        auto* e = static_cast<QDropEvent*>(event);
        Answer(e, Drop(ShiftStateOf(*e), e->position().toPoint(), EffectsOfActions(e->possibleActions())));
        return true;
    }
    default:
        return QObject::eventFilter(watched, event);
    }
}

TDropEffect TDropTarget::DragEnter(const QMimeData* data, TShiftState shift, QPoint point, TDropEffect allowed)
{
    ResetDropData();
    data_ = data;
    lastPoint_ = point;
    if (!data_ || !HasDropFormat()) {
        data_ = nullptr;
        return DROPEFFECT_NONE;
    }
    ReadScrollSetup();
    // Data read at entry that names nothing to drop is refused for the whole drag,
    // as data without the format is: a drop of it would have nothing to work on.
    if (getDataOnEnter_ && !ReadDropData()) {
        ResetDropData();
        data_ = nullptr;
        return DROPEFFECT_NONE;
    }
    TDropEffect effect = ChooseDropEffect(shift, point, allowed);
    NotifyEnter(shift, point, effect);
    return effect;
}

TDropEffect TDropTarget::DragOver(TShiftState shift, QPoint point, TDropEffect allowed)
{
    TDropEffect effect = DROPEFFECT_NONE;
    if (data_) {
        effect = ChooseDropEffect(shift, point, allowed);
        NotifyDragOver(shift, point, effect);
        const bool scrolling = (hasHorizontalBar_ || hasVerticalBar_) && (effect & DROPEFFECT_SCROLL);
        if (scrolling)
            scrollTimer_->start();
        else
            scrollTimer_->stop();
    }
    lastPoint_ = point;
    return effect;
}

void TDropTarget::DragLeave()
{
    ResetDropData();
    scrollTimer_->stop();
    data_ = nullptr;
    NotifyLeave();
}

TDropEffect TDropTarget::Drop(TShiftState shift, QPoint point, TDropEffect allowed)
{
    if (!data_)
        return DROPEFFECT_NONE;
    scrollTimer_->stop();
    lastPoint_ = point;
    TDropEffect effect = ChooseDropEffect(shift, point, allowed);
    if (getDataOnEnter_ || ReadDropData())
        NotifyDrop(shift, point, effect);
    else
        effect = DROPEFFECT_NONE;
    ResetDropData();
    data_ = nullptr;
    return effect;
}

void TDropTarget::NotifyEnter(TShiftState shift, QPoint point, TDropEffect& effect)
{
    if (OnEnter)
        OnEnter(this, shift, point, effect);
}

void TDropTarget::NotifyDragOver(TShiftState shift, QPoint point, TDropEffect& effect)
{
    if (OnDragOver)
        OnDragOver(this, shift, point, effect);
}

void TDropTarget::NotifyDrop(TShiftState shift, QPoint point, TDropEffect& effect)
{
    if (OnDrop)
        OnDrop(this, shift, point, effect);
}

void TDropTarget::NotifyLeave()
{
    if (OnLeave)
        OnLeave(this);
}

TDropEffect TDropTarget::ChooseDropEffect(TShiftState shift, QPoint point, TDropEffect allowed)
{
    TDropEffect effect = allowed & ~(kAllDragTypes & ~dragtypes_);
    if (OnGetDropEffect) {
        OnGetDropEffect(this, shift, point, effect);
        return effect;
    }
    const bool withShift = shift & ssShift;
    const bool withCtrl = shift & ssCtrl;
    TDropEffect chosen = DROPEFFECT_NONE;
    if (withShift && withCtrl && (effect & DROPEFFECT_LINK))
        chosen = DROPEFFECT_LINK;
    else if (withShift && !withCtrl && (effect & DROPEFFECT_MOVE))
        chosen = DROPEFFECT_MOVE;
    else if (effect & DROPEFFECT_COPY)
        chosen = DROPEFFECT_COPY;
    else if (effect & DROPEFFECT_MOVE)
        chosen = DROPEFFECT_MOVE;
    else if (effect & DROPEFFECT_LINK)
        chosen = DROPEFFECT_LINK;

    if (const QWidget* client = DropWidget()) {
        const int m = scrollMargin_;
        if (hasHorizontalBar_ && (point.x() < m || point.x() > client->width() - m))
            chosen |= DROPEFFECT_SCROLL;
        else if (hasVerticalBar_ && (point.y() < m || point.y() > client->height() - m))
            chosen |= DROPEFFECT_SCROLL;
    }
    return chosen;
}

void TDropTarget::ReadScrollSetup()
{
    hasHorizontalBar_ = hasVerticalBar_ = false;
    scrollMargin_ = control_ ? std::abs(QFontInfo(control_->font()).pixelSize()) : 0;
    if (auto* area = qobject_cast<QAbstractScrollArea*>(control_.data())) {
        hasHorizontalBar_ = area->horizontalScrollBar()->isVisibleTo(area);
        hasVerticalBar_ = area->verticalScrollBar()->isVisibleTo(area);
    }
}

void TDropTarget::ScrollTick()
{
    auto* area = qobject_cast<QAbstractScrollArea*>(control_.data());
    const QWidget* client = DropWidget();
    if (!area || !client)
        return;
    const int m = scrollMargin_;
    if (lastPoint_.y() < m)
        area->verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (lastPoint_.y() > client->height() - m)
        area->verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    if (lastPoint_.x() < m)
        area->horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (lastPoint_.x() > client->width() - m)
        area->horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
}
