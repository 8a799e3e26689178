#include "platform/verbs/VerbMessages.h"

#include <QGuiApplication>
#include <QMessageBox>

namespace platform::verbs {
namespace {

MessageRoute& Route()
{
    static MessageRoute route;
    return route;
}

// Opened without a loop of its own: the verbs may be running inside a drop or a key
// press, whose events must not run again while the user reads.
void ShowBox(const std::string& message, QWidget* owner)
{
    auto* box = new QMessageBox(QMessageBox::Warning, QGuiApplication::applicationDisplayName(),
                                QString::fromStdString(message), QMessageBox::Ok, owner);
    box->setObjectName("verbMessageBox");
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(owner ? Qt::WindowModal : Qt::ApplicationModal);
    box->open();
}

} // namespace

void SetMessageRoute(MessageRoute route)
{
    Route() = std::move(route);
}

void TellUser(const std::string& message, QWidget* owner)
{
    if (Route())
        Route()(message, owner);
    else
        ShowBox(message, owner);
}

} // namespace platform::verbs
