// Mending a broken shortcut as a user does: its property window through the
// "properties" verb, the Shortcut page, a new target typed, OK; the shortcut test
// then passes.
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "platform/ui/PropertySheet.h"
#include "platform/ui/PropertyWindow.h"
#include "shortcuts/ItemProp.h"
#include "shortcuts/ShellVerbs.h"
#include "tests/shortcuts_gui/ListTestFolder.h"

TEST(MendLink, ABrokenShortcutPassesTheTestOnceItsTargetIsMended)
{
    testsupport::TempDir dir;
    testsupport::MakeDirs(dir / "Program/bin");
    testsupport::WriteFile(dir / "Program/bin/tool", "#!/bin/sh\n");
    const std::string link = dir / "Tool.lnk";
    listtest::WriteLink(link, dir / "Old Place/tool"); // the program moved
    ASSERT_FALSE(TestShellLink(link));

    QWidget owner;
    std::vector<std::string> saved;
    platform::PropertyCallbacks callbacks;
    callbacks.saved = [&](const std::string& path) { saved.push_back(path); };
    platform::SetPropertyCallbacks(callbacks);
    const bool shown = ShowFilesProperties(dir.Path() + "/", {"Tool.lnk"}, &owner);
    platform::SetPropertyCallbacks({});
    ASSERT_TRUE(shown);
    QPointer<platform::ui::PropertyWindow> window = owner.findChild<platform::ui::PropertyWindow*>();
    ASSERT_TRUE(window);
    auto* target = window->findChild<QLineEdit*>("target");
    ASSERT_TRUE(target);
    target->selectAll();
    QTest::keyClicks(target, QString::fromStdString(dir / "Program/bin/tool"));
    window->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window; }));

    EXPECT_TRUE(TestShellLink(link));
    EXPECT_EQ(saved, std::vector<std::string>{link});
    TwekShortcutInfo info;
    ASSERT_TRUE(ReadShortcut(link, info));
    EXPECT_EQ(info.Target, "tool");
    EXPECT_EQ(info.StartIn, ""); // only the target was edited
}
