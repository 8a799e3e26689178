#pragma once
// What the verbs say when they refuse: the shell's own message, naming the items and
// the reason ("Cannot delete 'X': Permission denied."), one message for all the
// items of a call. The program that shows the items routes the messages to its own
// way of showing errors (its main window does, at start); unrouted, a warning box
// opens, owned by the caller's window.
#include <functional>
#include <string>

class QWidget;

namespace platform::verbs {

using MessageRoute = std::function<void(const std::string& message, QWidget* owner)>;

// An empty route brings the warning box back.
void SetMessageRoute(MessageRoute route);
// Tells the user, through the route.
void TellUser(const std::string& message, QWidget* owner);

} // namespace platform::verbs
