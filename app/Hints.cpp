#include "app/Hints.h"

#include <QApplication>
#include <QHelpEvent>
#include <QToolTip>
#include <QWidget>

THints::THints()
{
    if (QCoreApplication* app = QCoreApplication::instance())
        app->installEventFilter(this);
}

THints& THints::Instance()
{
    static THints* hints = new THints; // lives as long as the application's event filter list
    return *hints;
}

bool THints::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget)
        return false;
    if (!enabled_)
        return true;
    if (widget->toolTip().isEmpty())
        return false; // item views and others answer tool tips of their own
    auto* help = static_cast<QHelpEvent*>(event);
    QToolTip::showText(help->globalPos(), widget->toolTip(), widget, {}, hidePause_);
    return true;
}
