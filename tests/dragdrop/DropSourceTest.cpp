// The drop source: what each request for its data answers, the formats it lists,
// the drag image settings, and a drag's outcome and last effect.
#include <QDrag>
#include <QUrl>
#include <QWidget>
#include <gtest/gtest.h>

#include "dragdrop/DropBlocks.h"
#include "dragdrop/DropFileSource.h"
#include "platform/clipboard/Clipboard.h"
#include "tests/support/TestSupport.h"

using platform::shell::E_FAIL;
using platform::shell::E_OUTOFMEMORY;
using platform::shell::S_OK;

namespace {

class DropSourceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::WriteFile(dir / "Mail.lnk", "x");
        testsupport::WriteFile(dir / "Web.url", "x");
        testsupport::MakeDirs(dir / "other");
        testsupport::WriteFile(dir / "other/Web.url", "x");
    }
    void TearDown() override { TDropSource::SetDragLoop(nullptr); }

    testsupport::TempDir dir;
};

} // namespace

TEST_F(DropSourceTest, EachRequestIsAnsweredByItsFormatAndShape)
{
    const std::vector<std::string> two = {dir / "Mail.lnk", dir / "Web.url"};
    const std::vector<std::string> names = {"Mail.lnk", "Web.url"};
    const TFormatEtc hdrop{CF_HDROP};
    const struct {
        const char* what;
        std::vector<std::string> files, mapped;
        TFormatEtc request;
        HResult code;
        std::size_t size; // of the block, 0 to leave unchecked
    } cases[] = {
        {"no files", {}, {}, hdrop, E_UNEXPECTED, 0},
        {"no files, any format", {}, {}, TFormatEtc{"text/plain"}, E_UNEXPECTED, 0},
        {"file list", two, {}, hdrop, S_OK, 0},
        {"file list as an icon", two, {}, TFormatEtc{CF_HDROP, DVASPECT_ICON}, DV_E_FORMATETC, 0},
        {"file list in a stream", two, {}, TFormatEtc{CF_HDROP, DVASPECT_CONTENT, -1, TYMED_ISTREAM}, DV_E_FORMATETC,
         0},
        {"file list, memory among others", two, {},
         TFormatEtc{CF_HDROP, DVASPECT_CONTENT, -1, TYMED_ISTREAM | TYMED_HGLOBAL}, S_OK, 0},
        {"name map without names", two, {}, TFormatEtc{CFSTR_FILENAMEMAP}, DV_E_FORMATETC, 0},
        {"name map, a name short", two, {"Mail.lnk"}, TFormatEtc{CFSTR_FILENAMEMAPW}, DV_E_FORMATETC, 0},
        {"name map", two, names, TFormatEtc{CFSTR_FILENAMEMAP}, S_OK, 18},
        {"wide name map", two, names, TFormatEtc{CFSTR_FILENAMEMAPW}, S_OK, 36},
        {"preferred effect", two, {}, TFormatEtc{CFSTR_PREFERREDDROPEFFECT}, S_OK, 4},
        {"ID-list array", two, {}, TFormatEtc{CFSTR_SHELLIDLIST}, S_OK, 0},
        {"ID-list array, two folders", {dir / "Mail.lnk", dir / "other/Web.url"}, {}, TFormatEtc{CFSTR_SHELLIDLIST},
         E_OUTOFMEMORY, 0},
        {"ID-list array, folder gone", {dir / "gone/Mail.lnk"}, {}, TFormatEtc{CFSTR_SHELLIDLIST}, E_OUTOFMEMORY, 0},
        {"a format not offered", two, {}, TFormatEtc{"application/x-other"}, DV_E_FORMATETC, 0},
    };
    for (const auto& c : cases) {
        TDropFileSource source;
        source.SetFiles(c.files);
        source.SetMappedNames(c.mapped);
        QByteArray block("stale");
        EXPECT_EQ(source.ProvideData(c.request, block), c.code) << c.what;
        EXPECT_EQ(block.isEmpty(), c.code != S_OK) << c.what;
        if (c.size != 0) {
            EXPECT_EQ(static_cast<std::size_t>(block.size()), c.size) << c.what;
        }
        // Qt's requests see a failure as no data.
        if (c.request.dwAspect == DVASPECT_CONTENT && c.request.tymed == TYMED_HGLOBAL) {
            EXPECT_EQ(source.data(QString::fromStdString(c.request.cfFormat)), block) << c.what;
        }
    }

    TDropFileSource source;
    source.SetFiles({dir / "a b\xE9.lnk", "/x"});
    std::vector<std::string> back;
    EXPECT_TRUE(platform::clipboard::ReadUriList(source.data(CF_HDROP), back));
    EXPECT_EQ(back, source.Files());
    EXPECT_EQ(source.urls().size(), 2);
}

TEST_F(DropSourceTest, OffersItsFormatsInOrderUpToTwenty)
{
    TDropFileSource source;
    EXPECT_EQ(source.formats(), (QStringList{CF_HDROP, CFSTR_SHELLIDLIST, CFSTR_PREFERREDDROPEFFECT,
                                             CFSTR_FILENAMEMAP, CFSTR_FILENAMEMAPW}));
    EXPECT_TRUE(source.hasUrls());
    const struct {
        TFormatEtc request;
        HResult code;
    } queries[] = {
        {TFormatEtc{CFSTR_FILENAMEMAP}, S_OK}, // listed, although only given with names
        {TFormatEtc{CF_HDROP, DVASPECT_ICON}, E_FAIL},
        {TFormatEtc{CF_HDROP, DVASPECT_CONTENT, -1, TYMED_FILE}, E_FAIL},
        {TFormatEtc{"text/plain"}, E_FAIL},
    };
    for (const auto& q : queries)
        EXPECT_EQ(source.QueryGetData(q.request), q.code) << q.request.cfFormat;
    for (int i = 0; i < 20; ++i)
        source.AddFormat("application/x-test-" + std::to_string(i));
    EXPECT_EQ(source.OfferedFormats().size(), 20u);
    EXPECT_EQ(source.OfferedFormats().back().cfFormat, "application/x-test-14");
}

TEST_F(DropSourceTest, TheDragImageFollowsItsList)
{
    TDropFileSource source;
    source.SetShowImage(true);
    EXPECT_FALSE(source.ShowImage()); // nothing to show
    auto* images = new TDragImageList;
    images->Add(QPixmap(8, 8));
    images->Add(QPixmap(8, 8));
    source.SetImages(images);
    EXPECT_TRUE(source.ShowImage());
    source.SetImageIndex(1);
    source.SetImageIndex(2); // past the end: ignored
    EXPECT_EQ(source.ImageIndex(), 1);
    source.SetImageIndex(-1);
    EXPECT_EQ(source.ImageIndex(), 0);
    EXPECT_FALSE(source.ShowImage());
    source.SetShowImage(true);
    delete images;
    EXPECT_EQ(source.Images(), nullptr);
    EXPECT_FALSE(source.ShowImage());
}

TEST_F(DropSourceTest, ADragOffersItsTypesAndReportsWhatTheTargetDid)
{
    const struct {
        Qt::DropAction result;
        TDragTypes allowed;
        TDragOutcome outcome;
    } outcomes[] = {
        {Qt::IgnoreAction, dtCopy | dtMove, dgCancelled}, {Qt::CopyAction, dtCopy | dtMove, dgCopied},
        {Qt::MoveAction, dtCopy | dtMove, dgMoved},       {Qt::TargetMoveAction, dtCopy | dtMove, dgMoved},
        {Qt::LinkAction, dtCopy | dtMove, dgCancelled},   {Qt::LinkAction, kAllDragTypes, dgLinked},
    };
    for (const auto& o : outcomes)
        EXPECT_EQ(TDropSource::OutcomeOf(o.result, o.allowed), o.outcome) << o.result;

    QWidget from;
    struct Seen {
        Qt::DropActions actions;
        bool image = false;
        QPoint hotSpot;
        QByteArray effectBefore, effectAfter;
    } seen;
    TDropSource::SetDragLoop([&seen](QDrag& drag, Qt::DropActions actions, Qt::DropAction) {
        seen.actions = actions;
        seen.image = !drag.pixmap().isNull();
        seen.hotSpot = drag.hotSpot();
        seen.effectBefore = drag.mimeData()->data(CFSTR_PREFERREDDROPEFFECT);
        emit drag.actionChanged(Qt::MoveAction);
        seen.effectAfter = drag.mimeData()->data(CFSTR_PREFERREDDROPEFFECT);
        return Qt::MoveAction;
    });
    TDragImageList images;
    images.Add(QPixmap(8, 8));
    for (bool withImage : {false, true}) {
        auto* source = new TDropFileSource; // the drag takes it
        source->SetFiles({dir / "Mail.lnk"});
        source->SetDragtypes(dtCopy | dtMove);
        if (withImage)
            source->SetImages(&images);
        EXPECT_EQ(source->RunDrag(&from), dgMoved);
        EXPECT_EQ(seen.actions, Qt::CopyAction | Qt::MoveAction);
        EXPECT_EQ(seen.image, withImage);
        if (withImage) {
            EXPECT_EQ(seen.hotSpot, QPoint(16, 16));
        }
        EXPECT_EQ(ReadPreferredEffectBlock(seen.effectBefore.toStdString()), DROPEFFECT_NONE);
        EXPECT_EQ(ReadPreferredEffectBlock(seen.effectAfter.toStdString()), DROPEFFECT_MOVE);
    }
}
