#include "app/Application.h"

#include <QMessageBox>
#include <QMetaObject>
#include <exception>

#include "app/Version.h"

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        QueueError(QString::fromUtf8(e.what()));
    } catch (...) {
        QueueError(QStringLiteral("An unexpected error occurred."));
    }
    return false;
}

void TApplication::SetErrorPresenter(ErrorPresenter presenter) { presenter_ = std::move(presenter); }

void TApplication::ShowError(const QString& message)
{
    if (presenter_)
        presenter_(message);
    else
        ShowErrorBox(message);
}

void TApplication::ShowErrorBox(const QString& message)
{
    QMessageBox::critical(QApplication::activeWindow(), kProgramName, message);
}

void TApplication::QueueError(const QString& message)
{
    // The box waits until the failed handler is left: a modal loop opened in the
    // middle of a paint or a key press would run the events that handler interrupted.
    queued_.append(message);
    if (queued_.size() == 1 && !showing_)
        QMetaObject::invokeMethod(this, &TApplication::ShowQueuedErrors, Qt::QueuedConnection);
}

void TApplication::ShowQueuedErrors()
{
    // One box at a time: errors raised while one is up follow when it closes.
    if (showing_)
        return;
    struct Showing {
        bool& flag;
        explicit Showing(bool& f) : flag(f) { flag = true; }
        ~Showing() { flag = false; }
    } showing(showing_);
    while (!queued_.isEmpty())
        ShowError(queued_.takeFirst());
}
