#pragma once
// The shortcut list's read timer. It keeps an interval and an enabled flag of its
// own, as the list's component timer always did: setting the same interval or
// enabling it again changes nothing, so a read request while a read is pending does
// not restart the delay; a new interval restarts it; an interval of 0 keeps it
// stopped. While enabled it fires once per interval; the list disables it when it
// fires.
#include <QObject>
#include <QTimer>

class TReadTimer : public QObject {
    Q_OBJECT
public:
    TReadTimer(int interval, bool enabled, QObject* parent = nullptr);

    int Interval() const { return interval_; }
    void SetInterval(int ms);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    // A fire is coming.
    bool Running() const { return timer_.isActive(); }

signals:
    // The delay started from its beginning.
    void Started();
    void Fired();

private:
    void Update();

    QTimer timer_;
    int interval_;
    bool enabled_;
};
