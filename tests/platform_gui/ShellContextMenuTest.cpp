// The context menus the namespace hands out: which commands each kind of item gets,
// when they are enabled, and how commands are found by verb.
#include <QClipboard>
#include <QGuiApplication>
#include <gtest/gtest.h>

#include "platform/clipboard/Clipboard.h"
#include "platform/shell/ContextMenu.h"
#include "platform/verbs/ShellContextMenu.h"
#include "platform/verbs/VerbMessages.h"
#include "tests/support/TestSupport.h"

namespace shell = platform::shell;

namespace {

constexpr std::uint32_t kFirst = 1;

class ShellContextMenuTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::verbs::InstallContextMenus();
        testsupport::MakeDirs(dir / "sub");
        testsupport::WriteFile(dir / "a.lnk", "x");
        ASSERT_TRUE(shell::Succeeded(shell::GetDesktopFolder(desktop)));
        shell::IdList folderId;
        ASSERT_TRUE(shell::Succeeded(desktop->ParseDisplayName(dir.Path(), folderId)));
        ASSERT_TRUE(shell::Succeeded(desktop->BindToObject(folderId.Get(), folder)));
        QGuiApplication::clipboard()->clear();
        platform::verbs::SetMessageRoute([](const std::string&, QWidget*) {}); // no box left open
    }
    void TearDown() override { platform::verbs::SetMessageRoute(nullptr); }

    std::unique_ptr<shell::ContextMenu> MenuOf(const shell::ShellFolderPtr& in, const std::vector<std::string>& names)
    {
        std::vector<shell::IdList> ids(names.size());
        std::vector<shell::PCIdList> items;
        for (std::size_t i = 0; i < names.size(); ++i) {
            EXPECT_TRUE(shell::Succeeded(in->ParseDisplayName(names[i], ids[i]))) << names[i];
            items.push_back(ids[i].Get());
        }
        std::unique_ptr<shell::ContextMenu> menu;
        EXPECT_TRUE(shell::Succeeded(in->GetUIObjectOf(nullptr, items, menu)));
        return menu;
    }

    // The menu as verbs: "-" a separator, "*" the default, "~" greyed. The Open With
    // submenu depends on the desktop's applications and is left out.
    static std::string Render(shell::ContextMenu& menu, std::uint32_t flags)
    {
        shell::PopupMenu popup;
        EXPECT_TRUE(shell::Succeeded(menu.QueryContextMenu(popup, 0, kFirst, 0x7FFF, flags)));
        std::string text;
        for (const shell::PopupMenuItem& item : popup.Items()) {
            if (item.submenu)
                continue;
            std::string word = "-";
            if (!item.separator) {
                EXPECT_TRUE(shell::Succeeded(menu.GetCommandString(item.id - kFirst, shell::GCS_VERB, word)));
                std::string help;
                EXPECT_TRUE(shell::Succeeded(menu.GetCommandString(item.id - kFirst, shell::GCS_HELPTEXT, help)));
                EXPECT_FALSE(help.empty()) << word;
                word = (item.enabled ? "" : "~") + word + (item.isDefault ? "*" : "");
            }
            text += (text.empty() ? "" : " ") + word;
        }
        return text;
    }

    testsupport::TempDir dir;
    shell::ShellFolderPtr desktop, folder;
};

TEST_F(ShellContextMenuTest, EachKindOfItemGetsItsCommands)
{
    const std::uint32_t explore = shell::CMF_EXPLORE | shell::CMF_CANRENAME;
    struct Case {
        const char* what;
        std::vector<std::string> names; // none: the folder's background
        bool filesOnClipboard;
        std::uint32_t flags;
        const char* menu;
    };
    const Case cases[] = {
        {"one file", {"a.lnk"}, true, explore, "open* - cut copy - link delete rename - properties"},
        {"a caller that cannot rename", {"a.lnk"}, false, shell::CMF_EXPLORE,
         "open* - cut copy - link delete - properties"},
        {"the default only", {"a.lnk"}, false, shell::CMF_DEFAULTONLY, "open*"},
        {"one folder, nothing to paste", {"sub"}, false, explore,
         "open* - cut copy ~paste ~pastelink - link delete rename - properties"},
        {"one folder, files to paste", {"sub"}, true, explore,
         "open* - cut copy paste pastelink - link delete rename - properties"},
        {"several items", {"a.lnk", "sub"}, true, explore, "open* - cut copy - link delete rename - properties"},
        {"the background", {}, true, explore, "paste pastelink - properties"},
        {"the background, nothing to paste", {}, false, explore, "~paste ~pastelink - properties"},
    };
    for (const Case& c : cases) {
        if (c.filesOnClipboard)
            platform::clipboard::WriteFiles({dir / "a.lnk"}, false);
        else
            QGuiApplication::clipboard()->clear();
        auto menu = MenuOf(folder, c.names);
        ASSERT_TRUE(menu) << c.what;
        EXPECT_EQ(Render(*menu, c.flags), c.menu) << c.what;
    }

    // Items with no path of their own have no property sheet.
    auto trash = MenuOf(desktop, {"::Trash"});
    ASSERT_TRUE(trash);
    EXPECT_EQ(Render(*trash, explore), "open*");
    auto computer = MenuOf(desktop, {"::Computer"});
    ASSERT_TRUE(computer);
    EXPECT_EQ(Render(*computer, explore), "");

    // The desktop itself, the tree's root: the empty list.
    testsupport::ScopedEnv home("HOME", dir.Path());
    testsupport::ScopedEnv xdg("XDG_CONFIG_HOME", dir / "config");
    testsupport::MakeDirs(dir / "Desktop");
    const std::uint8_t self[2] = {0, 0};
    const shell::PCIdList items[1] = {self};
    std::unique_ptr<shell::ContextMenu> root;
    ASSERT_TRUE(shell::Succeeded(desktop->GetUIObjectOf(nullptr, items, root)));
    EXPECT_EQ(Render(*root, explore), "open* - ~cut ~copy ~paste ~pastelink - ~link ~delete - properties");
}

TEST_F(ShellContextMenuTest, RenameSitsAtOffsetEighteen)
{
    auto menu = MenuOf(folder, {"a.lnk"});
    shell::PopupMenu popup;
    ASSERT_TRUE(shell::Succeeded(menu->QueryContextMenu(popup, 0, 100, 0x7FFF, shell::CMF_CANRENAME)));
    const shell::PopupMenuItem* rename = popup.FindCommand(100 + 18);
    ASSERT_NE(rename, nullptr);
    EXPECT_EQ(rename->text, "Rena&me");
    EXPECT_EQ(popup.DefaultItem(), 100);
}

TEST_F(ShellContextMenuTest, VerbsMatchIgnoringCaseAndFailWhereTheyDoNotApply)
{
    auto file = MenuOf(folder, {"a.lnk"});
    shell::InvokeCommandInfo info;
    info.verb = "COPY";
    ASSERT_TRUE(shell::Succeeded(file->InvokeCommand(info)));
    platform::clipboard::FileList held;
    ASSERT_TRUE(platform::clipboard::ReadFiles(held));
    EXPECT_EQ(held.paths, std::vector<std::string>{dir / "a.lnk"});
    EXPECT_FALSE(held.cut);

    for (const char* verb : {"paste", "PasteLink", "rename", "explore", ""}) {
        info.verb = verb;
        EXPECT_TRUE(shell::Failed(file->InvokeCommand(info))) << verb;
    }
}

} // namespace
