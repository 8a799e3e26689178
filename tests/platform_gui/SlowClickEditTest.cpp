// Renaming by a slow second click: which clicks open the editor and which never do.
#include <QApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <gtest/gtest.h>

#include "platform/ui/SlowClickEdit.h"

namespace {

TEST(SlowClickEdit, OnlyASlowSecondClickInTheFocusedPaneEdits)
{
    enum Clicks { Slow, Double, Drag };
    const struct {
        const char* what;
        bool focusInList; // before the click on the selected item
        Clicks clicks;
        bool edits;
    } cases[] = {
        {"slow second click", true, Slow, true},
        {"click that brings the focus", false, Slow, false},
        // A double click's second click, or a third one soon after, is a double-click event.
        {"double click", true, Double, false},
        {"press that starts a drag", true, Drag, false},
    };
    for (const auto& c : cases) {
        QWidget window;
        auto* other = new QLineEdit(&window); // where the focus may come from
        auto* list = new QListWidget(&window);
        auto* layout = new QHBoxLayout(&window);
        layout->addWidget(other);
        layout->addWidget(list);
        (new QListWidgetItem("name", list))->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable);
        list->setEditTriggers(QAbstractItemView::EditKeyPressed);
        const auto* slow = new platform::ui::SlowClickEdit(list, [list](const QModelIndex& i) { list->edit(i); });
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window)) << c.what;
        list->setCurrentRow(0);
        QWidget* focus = c.focusInList ? static_cast<QWidget*>(list) : other;
        focus->setFocus();
        ASSERT_TRUE(QTest::qWaitFor([&] { return focus->hasFocus(); })) << c.what;

        QWidget* at = list->viewport();
        const QPoint item = list->visualItemRect(list->item(0)).center();
        const QPoint far = item + QPoint(QApplication::startDragDistance() + 2, 0);
        QTest::mousePress(at, Qt::LeftButton, {}, item);
        if (c.clicks == Drag) {
            QMouseEvent move(QEvent::MouseMove, far, at->mapToGlobal(far), Qt::NoButton, Qt::LeftButton, {});
            QApplication::sendEvent(at, &move);
        }
        QTest::mouseRelease(at, Qt::LeftButton, {}, c.clicks == Drag ? far : item);
        if (c.clicks == Double) {
            QTest::mouseDClick(at, Qt::LeftButton, {}, item);
            QTest::mouseRelease(at, Qt::LeftButton, {}, item);
        }
        auto editing = [&] { return at->findChild<QLineEdit*>() != nullptr; };
        if (c.edits) {
            EXPECT_TRUE(QTest::qWaitFor(editing)) << c.what;
            continue;
        }
        EXPECT_FALSE(slow->Pending()) << c.what;
        // Whatever else might edit (the view's own triggers) has had its time.
        QTest::qWait(2 * QApplication::doubleClickInterval());
        EXPECT_FALSE(editing()) << c.what;
    }
}

} // namespace
