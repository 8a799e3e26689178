#pragma once
// Driving a pop-up menu that runs its own event loop: the test says what to do once
// the menu is up, then calls what shows it.
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <functional>

namespace testsupport {

// Runs `act` on the next pop-up menu that shows.
inline void WhenMenuShows(std::function<void(QMenu&)> act)
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, act = std::move(act)] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            poll->deleteLater();
            act(*menu);
        }
    });
    poll->start(5);
}

inline QAction* MenuAction(QMenu& menu, const QString& text)
{
    for (QAction* a : menu.actions())
        if (a->text() == text)
            return a;
    return nullptr;
}

// Highlights the entry and presses Enter, as a user picks it; Escape when the menu
// has no such entry, so that nothing is left waiting.
inline bool PickFromMenu(QMenu& menu, const QString& text)
{
    QAction* action = MenuAction(menu, text);
    if (!action) {
        QTest::keyClick(&menu, Qt::Key_Escape);
        return false;
    }
    menu.setActiveAction(action);
    QTest::keyClick(&menu, Qt::Key_Return);
    return true;
}

} // namespace testsupport
