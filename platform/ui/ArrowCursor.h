#pragma once
// The arrow cursor over a menu or a message the user must answer, in front of an
// hourglass the caller shows while it works; the hourglass comes back after.
#include <QCursor>
#include <QGuiApplication>

namespace platform::ui {

class ArrowCursor {
public:
    ArrowCursor() : pushed_(QGuiApplication::overrideCursor() != nullptr)
    {
        if (pushed_)
            QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    }
    ~ArrowCursor()
    {
        if (pushed_)
            QGuiApplication::restoreOverrideCursor();
    }
    ArrowCursor(const ArrowCursor&) = delete;
    ArrowCursor& operator=(const ArrowCursor&) = delete;

private:
    bool pushed_;
};

} // namespace platform::ui
