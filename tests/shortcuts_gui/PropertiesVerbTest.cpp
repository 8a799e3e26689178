// The "properties" verb: one window for the items, owned by the owner's window, and
// nothing for items without a property sheet.
#include <QWidget>
#include <gtest/gtest.h>

#include "platform/ui/PropertyWindow.h"
#include "shortcuts/ShellVerbs.h"
#include "tests/shortcuts_gui/ListTestFolder.h"

using platform::ui::PropertyWindow;

TEST(PropertiesVerb, SeveralItemsGetOneWindowAndItemsWithoutASheetNone)
{
    testsupport::TempDir dir;
    testsupport::MakeDirs(dir / "sub");
    listtest::WriteLink(dir / "a.lnk", dir / "sub");
    testsupport::WriteFile(dir / "b.url", "[InternetShortcut]\r\nURL=https://example.com/\r\n");
    QWidget top;
    auto* owner = new QWidget(&top);

    EXPECT_TRUE(ShowFilesProperties(dir.Path() + "/", {"a.lnk", "b.url", "sub"}, owner));
    auto windows = top.findChildren<PropertyWindow*>();
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(windows.front()->windowTitle(), "Properties of 3 items");
    EXPECT_TRUE(windows.front()->isVisible());

    EXPECT_TRUE(ShowPathProperties(dir / "sub", owner)); // the tree's folder
    windows = top.findChildren<PropertyWindow*>();
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_EQ(windows.back()->windowTitle(), "sub Properties");

    for (const char* item : {"::Trash", "::Computer"})
        EXPECT_FALSE(ShowFilesProperties("", {item}, owner)) << item;
    EXPECT_EQ(top.findChildren<PropertyWindow*>().size(), 2u);
}
