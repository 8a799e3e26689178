// An error that escapes an event handler reaches the user and the program goes on.
#include <QCoreApplication>
#include <QEvent>
#include <QStringList>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>

#include "app/Application.h"
#include "tests/shortcuts_gui/ListTestFolder.h"

// The window tests run under the program's own application object.
std::unique_ptr<QApplication> MakeTestApplication(int& argc, char** argv)
{
    return std::make_unique<TApplication>(argc, argv);
}

namespace {

class ThrowingObject : public QObject {
public:
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::User)
            throw std::runtime_error("The disk is full.");
        return QObject::event(e);
    }
};

TEST(ApplicationTest, AnErrorEscapingAHandlerIsShownAfterItAndTheLoopGoesOn)
{
    auto* app = qobject_cast<TApplication*>(QCoreApplication::instance());
    ASSERT_TRUE(app);
    QStringList shown;
    app->SetErrorPresenter([&](const QString& message) { shown << message; });

    ThrowingObject target;
    QEvent sent(QEvent::User);
    EXPECT_FALSE(QCoreApplication::sendEvent(&target, &sent));
    // Not from inside the failed handler: once the loop runs again.
    EXPECT_TRUE(shown.isEmpty());
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    QTimer::singleShot(0, app, [] { throw 42; });
    bool later = false;
    QTimer::singleShot(0, app, [&] { later = true; });
    EXPECT_TRUE(listtest::WaitFor([&] { return later && shown.size() == 3; }));
    EXPECT_EQ(shown, QStringList({"The disk is full.", "The disk is full.", "An unexpected error occurred."}));
    app->SetErrorPresenter({});
}

} // namespace
