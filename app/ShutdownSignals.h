#pragma once
// SIGTERM, SIGINT and SIGHUP end the program the normal way (window closed, settings
// written) instead of killing it: the handler only writes a byte to a pipe, and the
// event loop turns it into Received(). The signals are caught from construction on,
// and reported once Start() has been called, so one that comes while the window is
// being built is not lost. SIGHUP stays ignored when it was at start (nohup). One
// instance at a time; the dispositions found at start come back when it goes.
#include <QObject>
#include <memory>

class QSocketNotifier;

class TShutdownSignals : public QObject {
    Q_OBJECT
public:
    explicit TShutdownSignals(QObject* parent = nullptr);
    ~TShutdownSignals() override;

    void Start();

signals:
    void Received();

private:
    std::unique_ptr<QSocketNotifier> notifier_;
};
