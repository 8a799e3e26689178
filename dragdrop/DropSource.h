#pragma once
// TDropSource starts a drag and is at the same time its data: the formats it offers
// are listed by formats(), and each request for one builds a new block through
// ProvideData; nothing is kept between requests. TDropFileSource (DropFileSource.h)
// offers a list of files.
//
// RunDrag hands the source to the drag, which owns it from then on: Qt frees it with
// the drag once the drag is over, which may be after RunDrag returns (the target can
// still be reading the data). A source that never ran a drag belongs to whoever made
// it.
//
// The toolkit runs the drag: Escape cancels it, releasing the button drops where the
// target last accepted, and a target can only accept what Dragtypes allows. There is
// no hook between the release and the drop, so a source cannot refuse a drop the
// target has accepted, and the cursors can be chosen per effect before the drag
// (SetDragCursor), not while it runs.
#include <QMimeData>
#include <QPixmap>
#include <QPointer>
#include <functional>
#include <map>
#include <vector>

#include "dragdrop/DragImageList.h"
#include "dragdrop/DropEffects.h"
#include "dragdrop/DropFormats.h"

class QDrag;

enum TDragOutcome { dgCopied, dgMoved, dgLinked, dgCancelled, dgOutOfMemory, dgUnknown };

class TDropSource : public QMimeData {
    Q_OBJECT
public:
    static constexpr int kMaxFormats = 20;

    TDropSource();
    ~TDropSource() override;

    // The effects offered to targets.
    TDragTypes Dragtypes() const { return dragtypes_; }
    void SetDragtypes(TDragTypes types) { dragtypes_ = types & kAllDragTypes; }

    // Appends an offered format; ignored once kMaxFormats are offered.
    void AddFormat(const std::string& format, std::uint32_t aspect = DVASPECT_CONTENT, std::int32_t index = -1,
                   std::uint32_t medium = TYMED_HGLOBAL);
    const std::vector<TFormatEtc>& OfferedFormats() const { return formats_; }
    // S_OK when an offered format serves the request, E_FAIL otherwise.
    HResult QueryGetData(const TFormatEtc& request) const;
    // Builds the block for one request into `medium` (emptied first): S_OK, or an
    // error code, which Qt's requests see as no data.
    virtual HResult ProvideData(const TFormatEtc& request, QByteArray& medium) const;

    // The drag image: Images[ImageIndex], its point (ImageHotSpotX, ImageHotSpotY)
    // under the pointer, shown when ShowImage. A new image list starts at index 0 and
    // shows; an index below 0, or no list, or an empty one, switches the image off; an
    // index past the list's end is ignored. The list going away switches it off.
    TDragImageList* Images() const { return images_.data(); }
    void SetImages(TDragImageList* images);
    bool ShowImage() const { return showImage_; }
    void SetShowImage(bool show) { showImage_ = show && images_; }
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int index);
    int ImageHotSpotX() const { return hotSpotX_; }
    void SetImageHotSpotX(int x) { hotSpotX_ = x; }
    int ImageHotSpotY() const { return hotSpotY_; }
    void SetImageHotSpotY(int y) { hotSpotY_ = y; }
    // The pointer over a target that answers `effect` (DROPEFFECT_COPY, ...).
    void SetDragCursor(const QPixmap& cursor, TDropEffect effect);

    // The effect the target under the pointer last answered (0 before any answer);
    // OnFeedback follows each change of it.
    TDropEffect LastEffect() const { return lastEffect_; }
    std::function<void(TDropSource* sender, TDropEffect effect)> OnFeedback;

    // Runs the drag, with dragSource (a widget) as where it comes from, and answers
    // when it is over. Hands this object to the drag (see above).
    TDragOutcome RunDrag(QObject* dragSource);
    // What a drag's result means, given the effects it allowed.
    static TDragOutcome OutcomeOf(Qt::DropAction result, TDragTypes allowed);

    // Runs the drag loop instead of the toolkit's (QDrag::exec with the actions
    // offered and the one proposed), for tests that play a drag without a pointer;
    // nullptr puts the toolkit's back.
    using DragLoop = std::function<Qt::DropAction(QDrag& drag, Qt::DropActions actions, Qt::DropAction proposed)>;
    static void SetDragLoop(DragLoop loop);

    QStringList formats() const override;

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

private:
    TDragTypes dragtypes_ = dtCopy;
    std::vector<TFormatEtc> formats_;
    QPointer<TDragImageList> images_;
    QMetaObject::Connection imagesGone_;
    bool showImage_ = false;
    int imageIndex_ = 0;
    int hotSpotX_ = 16;
    int hotSpotY_ = 16;
    std::map<TDropEffect, QPixmap> cursors_;
    TDropEffect lastEffect_ = DROPEFFECT_NONE;
};
