// What the property windows tell the main window: a save in the shown folder reads
// the list again, Open File Location selects the target's folder.
#include <gtest/gtest.h>

#include "app/Unit1.h"
#include "platform/ui/PropertySheet.h"
#include "shortcuts/wekShortcutListView.h"
#include "tests/shortcuts_gui/ListTestFolder.h"

using listtest::WaitFor;

TEST(PropertyCallbacks, ASaveInTheShownFolderReadsItAndOpenFileLocationSelectsTheFolder)
{
    listtest::PrivateEnvironment env;
    testsupport::MakeDirs(env / "shown");
    testsupport::MakeDirs(env / "Program Files/Tool");
    TForm1 w({env / "shown"});
    TwekShortcutListView* list = w.ShortcutList();
    ASSERT_TRUE(WaitFor([&] { return list->Directory() == env / "shown/" && !list->ReadPending(); }));

    const platform::PropertyCallbacks& callbacks = platform::CurrentPropertyCallbacks();
    ASSERT_TRUE(callbacks.saved && callbacks.showFolder);
    callbacks.saved(env / "Program Files/Tool/tool.lnk");
    EXPECT_FALSE(list->ReadPending()) << "not the shown folder";
    callbacks.saved(env / "shown/tool.lnk");
    EXPECT_TRUE(list->ReadPending());

    callbacks.showFolder(env / "Program Files/Tool");
    EXPECT_EQ(w.TreeSelection(), env / "Program Files/Tool");
    EXPECT_TRUE(WaitFor([&] { return list->Directory() == env / "Program Files/Tool/"; }));
}
