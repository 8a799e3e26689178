#include "shortcuts/ReadTimer.h"

TReadTimer::TReadTimer(int interval, bool enabled, QObject* parent)
    : QObject(parent), interval_(interval), enabled_(enabled)
{
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &TReadTimer::Fired);
    Update();
}

void TReadTimer::SetInterval(int ms)
{
    if (ms == interval_)
        return;
    interval_ = ms;
    Update();
}

void TReadTimer::SetEnabled(bool enabled)
{
    if (enabled == enabled_)
        return;
    enabled_ = enabled;
    Update();
}

void TReadTimer::Update()
{
    if (!enabled_ || interval_ <= 0) {
        timer_.stop();
        return;
    }
    timer_.start(interval_);
    emit Started();
}
