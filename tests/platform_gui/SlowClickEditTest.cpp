// Renaming by a slow second click: which clicks open the editor and which never do.
#include <QApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <gtest/gtest.h>
#include <string>

#include "platform/ui/SlowClickEdit.h"

namespace {

class Items : public QListWidget {
public:
    using QListWidget::state;
    bool Editing() const { return state() == QAbstractItemView::EditingState; }
};

enum class Start { FocusInList, FocusElsewhere };

struct Pane {
    QWidget window;
    QLineEdit* other = new QLineEdit(&window);
    Items* list = new Items;
    platform::ui::SlowClickEdit* edit = nullptr;

    Pane()
    {
        auto* layout = new QHBoxLayout(&window);
        layout->addWidget(other);
        layout->addWidget(list);
        for (const char* name : {"first", "second"}) {
            auto* item = new QListWidgetItem(name, list);
            item->setFlags(item->flags() | Qt::ItemIsEditable);
        }
        list->setEditTriggers(QAbstractItemView::EditKeyPressed);
        edit = new platform::ui::SlowClickEdit(list, [this](const QModelIndex& index) { list->edit(index); });
        window.show();
        window.activateWindow();
    }
    QPoint Second() const { return list->visualItemRect(list->item(1)).center(); }
};

TEST(SlowClickEdit, OnlyASlowSecondClickInTheFocusedPaneEdits)
{
    using Clicks = void (*)(Pane&);
    struct Case {
        const char* what;
        Start start;
        Clicks clicks;
        bool edits;
    };
    const Case cases[] = {
        {"slow second click", Start::FocusInList,
         [](Pane& p) { QTest::mouseClick(p.list->viewport(), Qt::LeftButton, {}, p.Second()); }, true},
        {"click that brings the focus", Start::FocusElsewhere,
         [](Pane& p) { QTest::mouseClick(p.list->viewport(), Qt::LeftButton, {}, p.Second()); }, false},
        // The second click of a double click, or a third click soon after a second
        // one, comes as a double-click event.
        {"double click", Start::FocusInList,
         [](Pane& p) {
             QTest::mouseClick(p.list->viewport(), Qt::LeftButton, {}, p.Second());
             QTest::mouseDClick(p.list->viewport(), Qt::LeftButton, {}, p.Second());
             QTest::mouseRelease(p.list->viewport(), Qt::LeftButton, {}, p.Second());
         },
         false},
        {"click with Ctrl", Start::FocusInList,
         [](Pane& p) { QTest::mouseClick(p.list->viewport(), Qt::LeftButton, Qt::ControlModifier, p.Second()); },
         false},
        {"press that starts a drag", Start::FocusInList,
         [](Pane& p) {
             const QPoint far = p.Second() + QPoint(QApplication::startDragDistance() + 2, 0);
             QTest::mousePress(p.list->viewport(), Qt::LeftButton, {}, p.Second());
             QMouseEvent move(QEvent::MouseMove, far, p.list->viewport()->mapToGlobal(far), Qt::NoButton,
                              Qt::LeftButton, Qt::NoModifier);
             QApplication::sendEvent(p.list->viewport(), &move);
             QTest::mouseRelease(p.list->viewport(), Qt::LeftButton, {}, far);
         },
         false},
    };
    for (const Case& c : cases) {
        Pane p;
        ASSERT_TRUE(QTest::qWaitForWindowActive(&p.window)) << c.what;
        p.list->setCurrentRow(1);
        (c.start == Start::FocusInList ? static_cast<QWidget*>(p.list) : p.other)->setFocus();
        ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() != nullptr; })) << c.what;
        c.clicks(p);
        if (c.edits) {
            EXPECT_TRUE(QTest::qWaitFor([&] { return p.list->Editing(); })) << c.what;
            continue;
        }
        EXPECT_FALSE(p.edit->Pending()) << c.what;
        // Whatever else might edit (the view's own triggers) has had its time.
        QTest::qWait(2 * QApplication::doubleClickInterval());
        EXPECT_FALSE(p.list->Editing()) << c.what;
    }
}

} // namespace
