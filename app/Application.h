#pragma once
// The application object of the window mode. Qt is not exception-safe, so no error
// may leave an event handler through the event loop: notify() catches what escapes a
// handler and has its message shown once the handler has returned. The program goes
// on; whatever the handler was doing stays as far as it got.
#include <QApplication>
#include <QString>
#include <QStringList>
#include <functional>

class TApplication : public QApplication {
    Q_OBJECT
public:
    // Shows an error's message to the user; the default opens a message box.
    using ErrorPresenter = std::function<void(const QString& message)>;

    TApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Replaces how errors are shown (tests record them instead of opening a box);
    // an empty function brings the message box back.
    void SetErrorPresenter(ErrorPresenter presenter);
    // Shows a message through the presenter now.
    void ShowError(const QString& message);

    // Shows a message through the presenter once the handler running now has
    // returned: for errors a handler catches itself and the user must see.
    void QueueError(const QString& message);

    // The message box of the default presenter.
    static void ShowErrorBox(const QString& message);

private:
    void ShowQueuedErrors();

    ErrorPresenter presenter_;
    QStringList queued_;
    bool showing_ = false;
};
