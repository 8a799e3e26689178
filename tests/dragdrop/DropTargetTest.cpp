// The drop target on a list view: the effect it answers for the keys held and the
// types allowed, drags it refuses, the name map, auto-scrolling and attaching.
#include <QDragEnterEvent>
#include <QListWidget>
#include <QMimeData>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include "dragdrop/DropFileTarget.h"
#include "dragdrop/DropFormats.h"
#include "platform/clipboard/Clipboard.h"

using namespace std::string_literals;

namespace {

struct Answer {
    bool accepted = false;
    Qt::DropAction action = Qt::IgnoreAction;
};

class DropTargetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QFont font = list.font();
        font.setPixelSize(11);
        list.setFont(font);
        list.setObjectName("Files");
        for (int i = 0; i < 200; ++i)
            list.addItem(QString("row %1").arg(i));
        list.resize(200, 200);
        list.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
        target.AttachTo(&list);
        target.OnEnter = [this](TDropTarget*, TShiftState, QPoint, TDropEffect&) { ++entered; };
        target.OnDragOver = [this](TDropTarget*, TShiftState, QPoint, TDropEffect&) { ++over; };
        target.OnLeave = [this](TDropTarget*) { ++left; };
        target.OnDrop = [this](TDropTarget*, TShiftState, QPoint, TDropEffect&) {
            ++dropped;
            droppedFiles = target.Files();
            droppedNames = target.MappedNames();
        };
        files.setData(CF_HDROP, platform::clipboard::MakeUriList({"/src/a.lnk", "/src/b.lnk", "/src/c.lnk"}));
    }

    Answer Send(QEvent::Type type, const QMimeData* data, QPoint at = {50, 100},
                Qt::KeyboardModifiers keys = Qt::NoModifier, Qt::DropActions allowed = kAll)
    {
        QWidget* viewport = list.viewport();
        if (type == QEvent::DragLeave) {
            QDragLeaveEvent e;
            QCoreApplication::sendEvent(viewport, &e);
            return {};
        }
        // The answer of an entry is the effect; Qt takes the one of the move after it.
        std::unique_ptr<QDropEvent> e;
        if (type == QEvent::DragEnter)
            e = std::make_unique<QDragEnterEvent>(at, allowed, data, Qt::LeftButton, keys);
        else if (type == QEvent::DragMove)
            e = std::make_unique<QDragMoveEvent>(at, allowed, data, Qt::LeftButton, keys);
        else
            e = std::make_unique<QDropEvent>(at, allowed, data, Qt::LeftButton, keys);
        QCoreApplication::sendEvent(viewport, e.get());
        return {e->isAccepted(), e->isAccepted() ? e->dropAction() : Qt::IgnoreAction};
    }

    static constexpr Qt::DropActions kAll = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
    QListWidget list;
    TDropFileTarget target;
    QMimeData files;
    int entered = 0, over = 0, left = 0, dropped = 0;
    std::vector<std::string> droppedFiles, droppedNames;
};

} // namespace

TEST_F(DropTargetTest, EffectFollowsKeysAndTypesWithoutAHandler)
{
    const auto shift = Qt::ShiftModifier, ctrl = Qt::ControlModifier;
    const struct {
        TDragTypes types;
        Qt::KeyboardModifiers keys;
        Qt::DropActions allowed;
        Qt::DropAction expected;
    } cases[] = {
        {0, {}, kAll, Qt::IgnoreAction},
        {dtCopy | dtMove, {}, kAll, Qt::CopyAction},
        {dtCopy | dtMove, shift, kAll, Qt::MoveAction},
        {dtCopy | dtMove, ctrl, kAll, Qt::CopyAction},
        {dtCopy | dtMove, shift | ctrl, kAll, Qt::CopyAction},
        {dtCopy | dtMove, {}, Qt::MoveAction, Qt::MoveAction},
        {dtLink, {}, kAll, Qt::LinkAction},
        {dtLink, shift, kAll, Qt::LinkAction},
        {dtLink, ctrl, kAll, Qt::LinkAction},
        {dtLink, {}, Qt::CopyAction | Qt::MoveAction, Qt::IgnoreAction},
        {kAllDragTypes, shift | ctrl, kAll, Qt::LinkAction},
        {kAllDragTypes, shift | ctrl, Qt::CopyAction | Qt::MoveAction, Qt::CopyAction},
    };
    for (const auto& c : cases) {
        target.SetDragtypes(c.types);
        const Answer enter = Send(QEvent::DragEnter, &files, {50, 100}, c.keys, c.allowed);
        const Answer move = Send(QEvent::DragMove, &files, {50, 100}, c.keys, c.allowed);
        EXPECT_EQ(enter.action, c.expected) << c.types << " keys " << c.keys.toInt();
        EXPECT_EQ(move.action, c.expected) << c.types << " keys " << c.keys.toInt();
        EXPECT_FALSE(target.AutoScrolling());
        Send(QEvent::DragLeave, nullptr);
    }
}

TEST_F(DropTargetTest, DataNamingNoLocalFileIsRefusedForTheWholeDrag)
{
    target.SetDragtypes(dtCopy);
    target.SetGetDataOnEnter(true);
    QMimeData text, web, empty, remote;
    text.setText("/src/a.lnk");
    web.setData(CF_HDROP, "https://example.org/a.lnk\r\n");
    empty.setData(CF_HDROP, "# nothing\r\n");
    remote.setData(CF_HDROP, "file://server/share/a.lnk\r\n");
    for (const QMimeData* data : {&text, &web, &empty, &remote}) {
        entered = over = left = dropped = 0;
        EXPECT_EQ(Send(QEvent::DragEnter, data).action, Qt::IgnoreAction);
        EXPECT_FALSE(Send(QEvent::DragMove, data).accepted);
        Send(QEvent::DragLeave, nullptr);
        EXPECT_EQ(Send(QEvent::DragEnter, data).action, Qt::IgnoreAction);
        EXPECT_FALSE(Send(QEvent::Drop, data).accepted);
        EXPECT_EQ(entered + over + dropped, 0) << data->formats().join(",").toStdString();
        EXPECT_EQ(left, 1);
        EXPECT_TRUE(target.Files().empty());
    }
}

TEST_F(DropTargetTest, FilesDraggedFromAWebPageAreRefusedForTheWholeDrag)
{
    target.SetDragtypes(dtCopy);
    target.SetGetDataOnEnter(true);
    // Browsers put these beside a page's URI list; file managers add plain text and
    // formats of their own.
    const std::pair<const char*, bool> cases[] = {
        {"text/x-moz-url", true}, {"_NETSCAPE_URL", true}, {"text/html", true}, {"text/plain", false}};
    for (const auto& [format, refused] : cases) {
        QMimeData data;
        data.setData(CF_HDROP, platform::clipboard::MakeUriList({"/home/user/.ssh/id_rsa"}));
        data.setData(format, "file:///home/user/.ssh/id_rsa");
        Send(QEvent::DragEnter, &data);
        EXPECT_EQ(Send(QEvent::Drop, &data).accepted, !refused) << format;
    }
}

TEST_F(DropTargetTest, ANameMapIsKeptOnlyWithAPlainNameForEveryFile)
{
    const std::vector<std::string> three = {"A.lnk", "B.lnk", "C.lnk"};
    const struct {
        const char* what;
        const char* format;
        std::string map;
        std::vector<std::string> names;
    } cases[] = {
        {"two names for three files", CFSTR_FILENAMEMAP, "A.lnk\0B.lnk\0\0"s, {}},
        {"three names", CFSTR_FILENAMEMAP, "A.lnk\0B.lnk\0C.lnk\0\0"s, three},
        {"three wide names", CFSTR_FILENAMEMAPW, "A\0.\0l\0n\0k\0\0\0B\0.\0l\0n\0k\0\0\0C\0.\0l\0n\0k\0\0\0\0\0"s, three},
        {"a name leading up", CFSTR_FILENAMEMAP, "A.lnk\0../B.lnk\0C.lnk\0\0"s, {}},
        {"an absolute name", CFSTR_FILENAMEMAP, "A.lnk\0/etc/B.lnk\0C.lnk\0\0"s, {}},
        {"a name with a folder", CFSTR_FILENAMEMAP, "A.lnk\0x/B.lnk\0C.lnk\0\0"s, {}},
        {"a dot", CFSTR_FILENAMEMAP, "A.lnk\0.\0C.lnk\0\0"s, {}},
        {"no map", "text/plain", "x", {}},
    };
    target.SetDragtypes(dtCopy);
    for (const auto& c : cases) {
        for (bool onEnter : {true, false}) {
            target.SetGetDataOnEnter(onEnter);
            QMimeData data;
            data.setData(CF_HDROP, files.data(CF_HDROP));
            data.setData(c.format, QByteArray::fromStdString(c.map));
            dropped = left = 0;
            ASSERT_TRUE(Send(QEvent::DragEnter, &data).accepted) << c.what;
            EXPECT_EQ(Send(QEvent::Drop, &data).action, Qt::CopyAction) << c.what;
            ASSERT_EQ(dropped, 1) << c.what;
            EXPECT_EQ(droppedFiles, (std::vector<std::string>{"/src/a.lnk", "/src/b.lnk", "/src/c.lnk"}));
            EXPECT_EQ(droppedNames, c.names) << c.what;
            // The lists live until the drop is over; no leave follows a drop.
            EXPECT_TRUE(target.Files().empty());
            EXPECT_EQ(left, 0);
        }
    }
}

TEST_F(DropTargetTest, RestingNearAnEdgeScrollsALineEveryTick)
{
    target.SetDragtypes(dtCopy);
    QScrollBar* bar = list.verticalScrollBar();
    ASSERT_TRUE(bar->isVisible());
    bar->setValue(50);
    ASSERT_TRUE(Send(QEvent::DragEnter, &files).accepted);
    EXPECT_EQ(target.ScrollMargin(), 11);

    QSignalSpy scrolled(bar, &QScrollBar::valueChanged);
    EXPECT_TRUE(Send(QEvent::DragMove, &files, {50, 5}).accepted);
    EXPECT_TRUE(target.AutoScrolling());
    ASSERT_TRUE(scrolled.wait(2000));
    EXPECT_EQ(bar->value(), 50 - bar->singleStep());

    // At the margin itself, and with a handler that settles the effect, no scrolling.
    Send(QEvent::DragMove, &files, {50, 11});
    EXPECT_FALSE(target.AutoScrolling());
    target.OnGetDropEffect = [](TDropTarget*, TShiftState, QPoint, TDropEffect&) {};
    Send(QEvent::DragMove, &files, {50, 5});
    EXPECT_FALSE(target.AutoScrolling());
    target.OnGetDropEffect = nullptr;
    Send(QEvent::DragMove, &files, {50, 195});
    EXPECT_TRUE(target.AutoScrolling());
    Send(QEvent::DragLeave, nullptr);
    EXPECT_FALSE(target.AutoScrolling());
}

TEST_F(DropTargetTest, AControlTakesOneTargetAtATime)
{
    EXPECT_TRUE(list.viewport()->acceptDrops());
    target.AttachTo(&list); // again: nothing changes
    TDropFileTarget other;
    try {
        other.AttachTo(&list);
        ADD_FAILURE() << "a second target took the control";
    } catch (const EDropTargetError& e) {
        EXPECT_STREQ(e.what(), "Failed to Register Files");
    }
    target.Detach();
    EXPECT_FALSE(list.viewport()->acceptDrops());
    EXPECT_EQ(target.Control(), nullptr);
    other.AttachTo(&list);
    target.SetDragtypes(dtCopy);
    other.SetDragtypes(dtCopy);
    EXPECT_TRUE(Send(QEvent::DragEnter, &files).accepted);
    EXPECT_EQ(entered, 0); // the first target no longer sees the drags
    Send(QEvent::DragLeave, nullptr);
}
