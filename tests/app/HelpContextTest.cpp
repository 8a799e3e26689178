// The help book: F1 opens it at the topic of the focused pane or of the open menu,
// Help Topics at its start, Visit Home Page at "about".
#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QMenu>
#include <QStandardPaths>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>
#include <memory>

#include "app/Application.h"
#include "app/Unit1.h"
#include "foldertree/SystemTreeView.h"
#include "shortcuts/wekShortcutListView.h"
#include "tests/shortcuts_gui/ListTestFolder.h"

using listtest::WaitFor;

namespace {

// Stands in for the browser: remembers what would have been opened.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
    Q_INVOKABLE void Open(const QUrl& url) { opened << url; }
};

// The book must be there, or a message says it is missing: one is made for the test
// where the build has none, and removed again.
struct HelpBook {
    QString path;
    bool made = false;
    explicit HelpBook(const TForm1& w) : path(QCoreApplication::applicationDirPath() + "/" + w.HelpFile())
    {
        made = !QFile::exists(path);
        if (made) {
            QFile file(path);
            made = file.open(QIODevice::WriteOnly);
        }
    }
    ~HelpBook()
    {
        if (made)
            QFile::remove(path);
    }
};

TEST(HelpContextTest, F1OpensTheTopicOfTheFocusedPaneOrTheOpenMenu)
{
    listtest::PrivateEnvironment env;
    testsupport::MakeDirs(env / "start");
    TForm1 w({env / "start"});

    const HelpBook book(w);
    ASSERT_TRUE(QFile::exists(book.path));
    UrlRecorder browser;
    QDesktopServices::setUrlHandler("file", &browser, "Open");

    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    w.ShortcutList()->setFocus();
    ASSERT_TRUE(WaitFor([&] { return w.ShortcutList()->hasFocus(); }));
    QTest::keyClick(w.ShortcutList(), Qt::Key_F1);
    w.dfsTV()->setFocus();
    ASSERT_TRUE(WaitFor([&] { return w.dfsTV()->hasFocus(); }));
    QTest::keyClick(w.dfsTV(), Qt::Key_F1);
    // With a menu open the key goes to the menu, which closes for the help.
    for (QMenu* menu : {w.MainMenu1()[3], w.MainMenu1()[0]}) { // Favorites, File
        menu->popup(w.mapToGlobal(QPoint(10, 10)));
        ASSERT_TRUE(WaitFor([&] { return menu->isVisible(); }));
        QTest::keyClick(menu, Qt::Key_F1);
        EXPECT_FALSE(menu->isVisible());
    }
    w.ActionExecute(ActionId::aHelpTopics);
    w.ActionExecute(ActionId::aVisitHomePage);

    QDesktopServices::unsetUrlHandler("file");
    ASSERT_EQ(browser.opened.size(), 6);
    for (const QUrl& url : browser.opened)
        EXPECT_EQ(url.toLocalFile(), book.path);
    EXPECT_EQ(browser.opened[0].fragment(), "context-7");
    EXPECT_EQ(browser.opened[1].fragment(), "context-1");
    EXPECT_EQ(browser.opened[2].fragment(), "context-5");
    EXPECT_EQ(browser.opened[3].fragment(), "context-1");
    EXPECT_EQ(browser.opened[4].fragment(), ""); // Help Topics: the contents
    EXPECT_EQ(browser.opened[5].fragment(), "about"); // Visit Home Page: no site, the book
}

TEST(HelpContextTest, HelpThatNothingCanOpenSaysSo)
{
    if (!QStandardPaths::findExecutable("xdg-open").isEmpty())
        GTEST_SKIP() << "a desktop opener is installed here";
    listtest::PrivateEnvironment env;
    testsupport::MakeDirs(env / "start");
    auto* app = qobject_cast<TApplication*>(QCoreApplication::instance());
    QString shown;
    app->SetErrorPresenter([&](const QString& message) { shown = message; });
    const std::shared_ptr<void> restore(nullptr, [app](void*) { app->SetErrorPresenter({}); });
    TForm1 w({env / "start"});
    w.show();
    const HelpBook book(w);
    ASSERT_TRUE(QFile::exists(book.path));
    w.ActionExecute(ActionId::aHelpTopics);
    ASSERT_TRUE(WaitFor([&] { return !shown.isEmpty(); }));
    EXPECT_TRUE(shown.startsWith("No program was found to open the help file")) << shown.toStdString();
    // The same book's essentials are in the manual page.
    EXPECT_TRUE(shown.contains("man quillmere")) << shown.toStdString();
}

TEST(HelpContextTest, TheBookHasATopicForEveryContextAndAnAboutPage)
{
    const std::string book = testsupport::ReadFile(QM_SOURCE_DIR "/resources/help/quillmere.html");
    for (const int context : {kHelpWindow, kHelpOptions, kHelpFavorites, kHelpOrganizeFavorites, kHelpList})
        EXPECT_NE(book.find("id=\"context-" + std::to_string(context) + "\""), std::string::npos) << context;
    EXPECT_NE(book.find("id=\"about\""), std::string::npos);
}

} // namespace

#include "HelpContextTest.moc"
