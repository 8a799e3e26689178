// The new-shortcut wizard as a user goes through it.
#include <unistd.h>

#include <QAbstractButton>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include "platform/drivemap/DriveMap.h"
#include "platform/shelllink/ShellLink.h"
#include "platform/ui/NewShortcutWizard.h"
#include "tests/support/ModalAnswer.h"
#include "tests/support/TestSupport.h"

using platform::ui::NewShortcutWizard;
using testsupport::ModalAnswer;
using testsupport::TempDir;

TEST(NewShortcutWizard, LocationThenNameThenTheFile)
{
    TempDir dir;
    testsupport::WriteFile(dir / "tool.sh", "#!/bin/sh\n");
    struct Case {
        std::string typed;
        QString suggested;
        std::string file;
    };
    const Case cases[] = {
        {dir / "tool.sh", "tool", "tool.lnk"},
        {"https://example.com/x", "example.com", "example.com.url"},
        {dir / "tool.sh", "tool (2)", "tool (2).lnk"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        NewShortcutWizard wizard(dir.Path() + "/");
        wizard.show();
        QTest::keyClicks(wizard.findChild<QLineEdit*>("location"), QString::fromStdString(c.typed));
        wizard.next();
        auto* name = wizard.findChild<QLineEdit*>("name");
        ASSERT_TRUE(name->isVisible());
        EXPECT_EQ(name->text(), c.suggested);
        // The folder named as the user names it, without its closing "/".
        EXPECT_EQ(wizard.currentPage()->subTitle(), QString::fromStdString("The shortcut is made in " + dir.Path() + "."));
        wizard.button(QWizard::FinishButton)->click();
        EXPECT_EQ(wizard.result(), QDialog::Accepted);
        EXPECT_EQ(wizard.Created(), dir / c.file);
    }
    platform::ShellLink link;
    ASSERT_TRUE(link.Load(dir / "tool.lnk"));
    EXPECT_TRUE(link.GetPath(platform::SLGP_RAWPATH).ends_with("\\tool.sh"));
    EXPECT_TRUE(link.Resolve(dir / "tool.lnk", platform::DriveMap::Default(), platform::WinEnvironment::Default()));

    // A location that is not there is refused on the first page.
    NewShortcutWizard wizard(dir.Path());
    wizard.show();
    QTest::keyClicks(wizard.findChild<QLineEdit*>("location"), QString::fromStdString(dir / "missing"));
    {
        ModalAnswer answer(QMessageBox::Ok);
        wizard.next();
        EXPECT_TRUE(answer.Text().contains("cannot be found")) << answer.Text().toStdString();
    }
    EXPECT_FALSE(wizard.findChild<QLineEdit*>("name")->isVisible());

    // The name taken meanwhile: a numbered one is offered, and nothing replaced.
    NewShortcutWizard again(dir.Path());
    again.show();
    QTest::keyClicks(again.findChild<QLineEdit*>("location"), QString::fromStdString(dir / "tool.sh"));
    again.next();
    testsupport::WriteFile(dir / "tool (3).lnk", "taken");
    {
        ModalAnswer answer(QMessageBox::Yes);
        again.button(QWizard::FinishButton)->click();
        EXPECT_TRUE(answer.Text().contains("tool (4).lnk")) << answer.Text().toStdString();
    }
    EXPECT_EQ(again.Created(), dir / "tool (4).lnk");
    EXPECT_EQ(testsupport::ReadFile(dir / "tool (3).lnk"), "taken");
}
