#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <gtest/gtest.h>

#include "shortcuts/ColumnTexts.h"
#include "shortcuts/FolderContents.h"
#include "tests/shortcuts/LinkBytes.h"
#include "tests/support/TestSupport.h"

using testsupport::MakeDirs;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

std::vector<std::string> Names(const std::vector<TShortcutListItem>& items)
{
    std::vector<std::string> names;
    for (const auto& item : items)
        names.push_back(item.Name);
    return names;
}

std::string ToolLink()
{
    linkbytes::LinkFields fields;
    fields.localPath = "C:\\Tools\\tool.exe";
    fields.hotkey = 0x0641;
    return linkbytes::Build(fields);
}

} // namespace

TEST(FolderContents, FoldersFirstThenShortcutsEachSortedByName)
{
    TempDir dir;
    MakeDirs(dir / "B");
    MakeDirs(dir / "a");
    MakeDirs(dir / "_under");
    MakeDirs(dir / ".hidden");     // hidden folders are not listed
    MakeDirs(dir / "x.lnk");       // a folder with a shortcut's name is a folder, once
    MakeDirs(dir / "real");
    ASSERT_EQ(::symlink("real", (dir / "linked").c_str()), 0); // leads to a folder: a folder
    WriteFile(dir / "z.lnk", ToolLink());
    WriteFile(dir / "y.url", "[InternetShortcut]\nURL=http://y/\n");
    WriteFile(dir / "M.PIF", ToolLink());
    WriteFile(dir / ".hidden.lnk", ToolLink()); // hidden shortcut files are listed
    WriteFile(dir / "10.lnk", ToolLink());
    WriteFile(dir / "2.lnk", ToolLink());
    WriteFile(dir / "notes.txt", "not a shortcut");
    WriteFile(dir / "lnk", "no extension");
    ASSERT_EQ(::symlink("z.lnk", (dir / "alias.lnk").c_str()), 0);

    TFolderContents contents;
    ASSERT_TRUE(ReadFolderContents(dir.Path(), contents));
    // Letters compare upper-cased, so "_" (0x5F) sorts after the letters; numbers
    // compare as text.
    EXPECT_EQ(Names(contents.Items),
              (std::vector<std::string>{"a", "B", "linked", "real", "x.lnk", "_under", ".hidden.lnk", "10.lnk",
                                        "2.lnk", "alias.lnk", "M.PIF", "y.url", "z.lnk"}));
    ASSERT_EQ(contents.FolderCount, 6);
    for (int i = 0; i < 6; ++i)
        EXPECT_TRUE(contents.Items[i].IsFolder) << contents.Items[i].Name;
    for (std::size_t i = 6; i < contents.Items.size(); ++i) {
        EXPECT_FALSE(contents.Items[i].IsFolder) << contents.Items[i].Name;
        EXPECT_TRUE(contents.Items[i].ReadOk) << contents.Items[i].Name;
    }
    EXPECT_EQ(contents.Items.back().Info.HotkeyText, "Ctrl+Alt+A");
    EXPECT_EQ(contents.Items[11].Info.Target, "http://y/");

    // A trailing "/" makes no difference.
    TFolderContents again;
    ASSERT_TRUE(ReadFolderContents(dir.Path() + "/", again));
    EXPECT_EQ(Names(again.Items), Names(contents.Items));

    // The building blocks: subfolders and one kind of shortcut each.
    auto folders = ListSubfolderItems(dir.Path() + "/");
    SortItemsByName(folders.begin(), folders.end());
    EXPECT_EQ(Names(folders), (std::vector<std::string>{"a", "B", "linked", "real", "x.lnk", "_under"}));
    auto links = ListShortcutItems(dir.Path() + "/", "LNK");
    SortItemsByName(links.begin(), links.end());
    EXPECT_EQ(Names(links), (std::vector<std::string>{".hidden.lnk", "10.lnk", "2.lnk", "alias.lnk", "z.lnk"}));
    EXPECT_EQ(Names(ListShortcutItems(dir.Path(), "pif")), (std::vector<std::string>{"M.PIF"}));
    EXPECT_TRUE(ListShortcutItems(dir.Path(), "txt").empty());
}

TEST(FolderContents, NamesAreReadAsTheyStand)
{
    TempDir dir;
    // Names are bytes: not UTF-8, or with blanks around them, each reads its own file.
    WriteFile(dir / "caf\xE9.lnk", ToolLink());
    WriteFile(dir / " spaced.lnk", ToolLink());
    WriteFile(dir / "spaced.lnk", "damaged");
    TFolderContents contents;
    ASSERT_TRUE(ReadFolderContents(dir.Path(), contents));
    ASSERT_EQ(Names(contents.Items), (std::vector<std::string>{" spaced.lnk", "caf\xE9.lnk", "spaced.lnk"}));
    EXPECT_TRUE(contents.Items[0].ReadOk);
    EXPECT_TRUE(contents.Items[1].ReadOk);
    EXPECT_FALSE(contents.Items[2].ReadOk);
}

TEST(FolderContents, AFolderThatCannotBeListed)
{
    TempDir dir;
    TFolderContents contents;
    contents.Items.resize(3);
    EXPECT_FALSE(ReadFolderContents(dir / "missing", contents));
    EXPECT_EQ(contents.Error, ENOENT);
    EXPECT_TRUE(contents.Items.empty());
    EXPECT_EQ(contents.FolderCount, 0);

    WriteFile(dir / "file", "x");
    EXPECT_FALSE(ReadFolderContents(dir / "file", contents));
    EXPECT_EQ(contents.Error, ENOTDIR);
    EXPECT_TRUE(ListSubfolderItems(dir / "missing").empty());
    EXPECT_TRUE(ListShortcutItems(dir / "missing", "lnk").empty());
}

TEST(FolderContents, ColumnTextsAsTheListShowsThem)
{
    TShortcutListItem folder;
    folder.Name = "Sub";
    folder.IsFolder = true;
    EXPECT_EQ(ShortcutColumnText(folder, 'a'), "Sub");
    EXPECT_EQ(ShortcutColumnText(folder, 'b'), "Dir");
    for (const char letter : std::string("cdefghij"))
        EXPECT_EQ(ShortcutColumnText(folder, letter), "") << letter;

    TShortcutListItem failed;
    failed.Name = "broken.LNK";
    ClearShortcutInfo(failed.Info);
    failed.Info.WindowState = "Normal";
    failed.ReadOk = false;
    EXPECT_EQ(ShortcutColumnText(failed, 'b'), ".LNK");
    EXPECT_EQ(ShortcutColumnText(failed, 'c'), "(special)");
    EXPECT_EQ(ShortcutColumnText(failed, 'h'), "Normal");
    EXPECT_EQ(ShortcutColumnText(failed, 'j'), "0");

    TShortcutListItem ok;
    ok.Name = "a.b.url";
    ok.Info.Target = "http://x/";
    ok.Info.TargetPath = "tp";
    ok.Info.Arguments = "args";
    ok.Info.StartIn = "start";
    ok.Info.HotkeyText = "Ctrl+A";
    ok.Info.WindowState = "Maximized";
    ok.Info.IconLocation = "icon";
    ok.Info.IconIndex = -7;
    const char* expected[] = {"a.b.url", ".url", "http://x/", "tp", "args", "start", "Ctrl+A", "Maximized", "icon", "-7"};
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(ShortcutColumnText(ok, static_cast<char>('a' + i)), expected[i]);

    EXPECT_EQ(ColumnCaption('a'), "Name");
    EXPECT_EQ(ColumnCaption('f'), "Start in Directory");
    EXPECT_EQ(ColumnDescription('j'), "The index to the displayed icon within the icon location file.");
    EXPECT_EQ(ColumnCaption('k'), "");
}

TEST(FolderContents, ListComparisonAndExtensions)
{
    EXPECT_EQ(CompareListText("a", "B"), -1);
    EXPECT_EQ(CompareListText("abc", "ABC"), 0);
    EXPECT_EQ(CompareListText("a", "_"), -1); // upper-cased first: "A" before "_"
    EXPECT_EQ(CompareListText("10", "2"), -1);
    EXPECT_EQ(CompareListText("ab", "abc"), -1);
    EXPECT_EQ(CompareListText("abc", "ab"), 1);
    EXPECT_EQ(CompareListText("", ""), 0);
    EXPECT_EQ(CompareListText("\xC3\xA9", "z"), 1); // bytes compare unsigned
    EXPECT_EQ(CompareListText("\xC3\xA9", "\xC3\x89"), 1); // only a to z change case

    EXPECT_EQ(NameExtension("a.b.LNK"), ".LNK");
    EXPECT_EQ(NameExtension("noext"), "");
    EXPECT_EQ(NameExtension(".lnk"), ".lnk");
    EXPECT_EQ(NameExtension("trailing."), ".");
}

TEST(FolderContents, ColumnSets)
{
    for (const char* good : {"a", "abcdefghij", "ajb", "ag"})
        EXPECT_TRUE(IsValidColumnSet(good)) << good;
    for (const char* bad : {"", "b", "ba", "abb", "aa", "abk", "aB", "abcdefghija", "a b"})
        EXPECT_FALSE(IsValidColumnSet(bad)) << bad;
}
