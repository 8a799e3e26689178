#include "dragdrop/DropSource.h"

#include <QDrag>

#include "dragdrop/DragActions.h"

namespace {

TDropSource::DragLoop& ReplacedLoop()
{
    static TDropSource::DragLoop loop;
    return loop;
}

} // namespace

TDropSource::TDropSource() = default;

TDropSource::~TDropSource()
{
    disconnect(imagesGone_);
}

void TDropSource::AddFormat(const std::string& format, std::uint32_t aspect, std::int32_t index, std::uint32_t medium)
{
    if (formats_.size() >= kMaxFormats)
        return;
    formats_.push_back(TFormatEtc{format, aspect, index, medium});
}

HResult TDropSource::QueryGetData(const TFormatEtc& request) const
{
    for (const TFormatEtc& offered : formats_)
        if (OfferServes(offered, request))
            return platform::shell::S_OK;
    return platform::shell::E_FAIL;
}

HResult TDropSource::ProvideData(const TFormatEtc&, QByteArray& medium) const
{
    medium.clear();
    return DV_E_FORMATETC;
}

QStringList TDropSource::formats() const
{
    QStringList names;
    for (const TFormatEtc& offered : formats_) {
        const QString name = QString::fromStdString(offered.cfFormat);
        if (!names.contains(name))
            names.append(name);
    }
    return names;
}

QVariant TDropSource::retrieveData(const QString& mimeType, QMetaType) const
{
    // Qt asks for the content as one block; other kinds of request do not exist here.
    QByteArray block;
    if (platform::shell::Succeeded(ProvideData(TFormatEtc{mimeType.toStdString()}, block)))
        return block;
    return {};
}

void TDropSource::SetImages(TDragImageList* images)
{
    if (images == images_.data())
        return;
    disconnect(imagesGone_);
    images_ = images;
    imageIndex_ = 0;
    showImage_ = images != nullptr;
    if (images)
        imagesGone_ = connect(images, &QObject::destroyed, this, [this] {
            imageIndex_ = 0;
            showImage_ = false;
        });
}

void TDropSource::SetImageIndex(int index)
{
    if (index < 0 || !images_ || images_->Count() == 0) {
        imageIndex_ = 0;
        showImage_ = false;
    } else if (index < images_->Count()) {
        imageIndex_ = index;
    }
}

void TDropSource::SetDragCursor(const QPixmap& cursor, TDropEffect effect)
{
    cursors_[effect] = cursor;
}

TDragOutcome TDropSource::OutcomeOf(Qt::DropAction result, TDragTypes allowed)
{
    const TDropEffect effect = EffectsOfActions(result) & allowed;
    if (effect & DROPEFFECT_COPY)
        return dgCopied;
    if (effect & DROPEFFECT_MOVE)
        return dgMoved;
    if (effect & DROPEFFECT_LINK)
        return dgLinked;
    return dgCancelled;
}

void TDropSource::SetDragLoop(DragLoop loop)
{
    ReplacedLoop() = std::move(loop);
}

TDragOutcome TDropSource::RunDrag(QObject* dragSource)
{
    const TDragTypes allowed = dragtypes_;
    auto* drag = new QDrag(dragSource);
    if (showImage_ && images_) {
        const QPixmap image = images_->Image(imageIndex_);
        if (!image.isNull()) {
            drag->setPixmap(image);
            drag->setHotSpot(QPoint(hotSpotX_, hotSpotY_));
        }
    }
    for (const auto& [effect, cursor] : cursors_)
        if (const Qt::DropAction action = ActionOfEffect(effect, Qt::CopyAction | Qt::MoveAction | Qt::LinkAction);
            action != Qt::IgnoreAction)
            drag->setDragCursor(cursor, action);
    connect(drag, &QDrag::actionChanged, this, [this](Qt::DropAction action) {
        lastEffect_ = EffectsOfActions(action);
        if (OnFeedback)
            OnFeedback(this, lastEffect_);
    });
    drag->setMimeData(this);
    // From here the drag owns this object; it may be gone when the loop returns.
    const Qt::DropActions actions = ActionsOfEffects(allowed);
    // Copying is what a target that asks the source gets: it never takes files away.
    const Qt::DropAction proposed = (allowed & dtCopy) ? Qt::CopyAction : Qt::IgnoreAction;
    Qt::DropAction result = Qt::IgnoreAction;
    if (ReplacedLoop()) {
        result = ReplacedLoop()(*drag, actions, proposed);
        drag->deleteLater(); // as the toolkit's loop leaves it
    } else {
        result = drag->exec(actions, proposed);
    }
    return OutcomeOf(result, allowed);
}
