#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <climits>

#include "foldertree/SystemControlPack.h"
#include "tests/foldertree/DeepFolders.h"
#include "tests/support/TestSupport.h"

namespace shell = platform::shell;
using testsupport::MakeDirs;
using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

// Whatever order the tests run in, every record is freed by the end of the suite.
class RecordsFreed : public ::testing::Environment {
    void TearDown() override { EXPECT_EQ(FolderItemDataCount(), 0) << "folder records left alive"; }
};
[[maybe_unused]] const auto* const kRecordsFreed = ::testing::AddGlobalTestEnvironment(new RecordsFreed);

// A tree without widgets: nodes appended as they come.
class PlainTree : public TFolderTreeBase {
public:
    std::vector<std::unique_ptr<TFolderNode>> top;

    void Set(TRootFolder root, bool showFiles, bool showHidden, const std::string& mask = "",
             const std::string& caption = "")
    {
        rootFolder_ = root;
        showFiles_ = showFiles;
        showHiddenDirs_ = showHidden;
        fileMask_ = mask;
        ParseMaskString(mask, maskList_);
        customDirCaption_ = caption;
    }

    TFolderNode* AddNode(const ShellFolderPtr& folder, IdList& absolute, TFolderNode* parent,
                         IdList& relative) override
    {
        TFolderItemInfo info;
        if (!MakeFolderItem(*this, folder, absolute, parent, relative, info))
            return nullptr;
        auto node = std::make_unique<TFolderNode>();
        node->Parent = parent;
        node->Text = info.Name;
        node->Data = std::move(info.Data);
        node->OverlayIndex = info.Overlay;
        node->HasButton = info.HasButton;
        auto& list = parent ? parent->Children : top;
        node->Row = static_cast<int>(list.size());
        list.push_back(std::move(node));
        return list.back().get();
    }

    // The root of a path, as a tree with a custom root makes it.
    TFolderNode* AddRoot(const std::string& path)
    {
        IdList root;
        if (!GetRootIdList(*this, rfCustom, path, root))
            return nullptr;
        IdList absolute = CopyIdList(root.Get());
        return AddNode(DesktopFolder(), absolute, nullptr, root);
    }

    void Expand(TFolderNode* node)
    {
        EnumerateChildren(*this, BindItemFolder(*this, *node), node);
        node->Data->Populated = true;
        std::sort(node->Children.begin(), node->Children.end(),
                  [](const auto& a, const auto& b) { return CompareFolderItems(a.get(), b.get()) < 0; });
        node->RenumberChildren();
    }

    static std::vector<std::string> Texts(const TFolderNode* node)
    {
        std::vector<std::string> texts;
        for (const auto& c : node->Children)
            texts.push_back(c->Text);
        return texts;
    }
    static TFolderNode* Child(TFolderNode* node, const std::string& text)
    {
        for (const auto& c : node->Children)
            if (c->Text == text)
                return c.get();
        return nullptr;
    }
};

struct Home {
    TempDir dir;
    ScopedEnv home{"HOME", dir.Path()};
    ScopedEnv config{"XDG_CONFIG_HOME", dir.Path() + "/.config"};
    ScopedEnv registry{"QUILLMERE_REGISTRY_DIR", dir.Path() + "/registry"};
};

// A folder whose CompareIDs answers a fixed result, to check how it is read.
class FixedOrderFolder : public shell::ShellFolder {
public:
    explicit FixedOrderFolder(shell::HResult answer) : answer_(answer) {}
    shell::HResult ParseDisplayName(std::string_view, IdList&) override { return shell::E_NOTIMPL; }
    shell::HResult EnumObjects(std::uint32_t, std::unique_ptr<shell::EnumIdList>&) override { return shell::E_NOTIMPL; }
    shell::HResult BindToObject(PCIdList, ShellFolderPtr&) override { return shell::E_NOTIMPL; }
    shell::HResult GetAttributesOf(std::span<const PCIdList>, std::uint32_t&) override { return shell::E_NOTIMPL; }
    shell::HResult GetDisplayNameOf(PCIdList, std::uint32_t, std::string&) override { return shell::E_NOTIMPL; }
    shell::HResult CompareIDs(std::uint32_t, PCIdList, PCIdList) override { return answer_; }
    shell::HResult SetNameOf(PCIdList, std::string_view, std::uint32_t, IdList*) override { return shell::E_FAIL; }

private:
    shell::HResult answer_;
};

TFolderNode NodeWith(const ShellFolderPtr& folder)
{
    TFolderNode node;
    node.Data = std::make_unique<TFolderItemData>();
    node.Data->ParentFolder = folder;
    node.Data->RelativeIdList = shell::MakeEntryItem(true, "x");
    return node;
}

} // namespace

TEST(FolderItems, EnumerationShowsFoldersHiddenOnesAndFilesAsAsked)
{
    Home home;
    const std::string base = home.dir.Path() + "/tree";
    MakeDirs(base + "/b10");
    MakeDirs(base + "/b9/sub");
    MakeDirs(base + "/.hid");
    MakeDirs(base + "/Empty");
    WriteFile(base + "/z.lnk", "x");
    WriteFile(base + "/a.txt", "x");
    WriteFile(base + "/b9/only.txt", "x");

    PlainTree tree;
    tree.Set(rfCustom, false, false);
    TFolderNode* root = tree.AddRoot(base);
    ASSERT_TRUE(root);
    EXPECT_EQ(root->Text, base); // a folder reached through several levels is named by its path
    tree.Expand(root);
    EXPECT_EQ(PlainTree::Texts(root), (std::vector<std::string>{"b9", "b10", "Empty"}));
    EXPECT_TRUE(PlainTree::Child(root, "b9")->HasButton);
    EXPECT_EQ(GetItemPath(PlainTree::Child(root, "b10")->Data->AbsoluteIdList.Get()), base + "/b10");

    PlainTree withHidden;
    withHidden.Set(rfCustom, false, true, "", "Caption");
    TFolderNode* root2 = withHidden.AddRoot(base);
    EXPECT_EQ(root2->Text, "Caption");
    withHidden.Expand(root2);
    EXPECT_EQ(PlainTree::Texts(root2), (std::vector<std::string>{".hid", "b9", "b10", "Empty"}));

    // Files after folders; the mask filters files, never folders; a link gets the arrow.
    PlainTree files;
    files.Set(rfCustom, true, false, "*.LNK");
    TFolderNode* root3 = files.AddRoot(base);
    files.Expand(root3);
    EXPECT_EQ(PlainTree::Texts(root3), (std::vector<std::string>{"b9", "b10", "Empty", "z.lnk"}));
    EXPECT_EQ(PlainTree::Child(root3, "z.lnk")->OverlayIndex, 1);
    EXPECT_EQ(PlainTree::Child(root3, "b9")->OverlayIndex, -1);
    // With files shown, a folder that can be listed gets a button even when empty.
    EXPECT_TRUE(PlainTree::Child(root3, "Empty")->HasButton);
    EXPECT_FALSE(PlainTree::Child(root3, "z.lnk")->HasButton);

    // Nothing left behind but the records the nodes own.
    EXPECT_EQ(FolderItemDataCount(), 1 + 3 + 1 + 4 + 1 + 4);
}

TEST(FolderItems, FileSystemRootsHideWhatHasNoPath)
{
    Home home;
    PlainTree tree;
    tree.Set(rfDesktop, false, true);
    IdList root;
    ASSERT_TRUE(GetRootIdList(tree, rfDesktop, "", root));
    EXPECT_EQ(IdListSize(root.Get()), 2u);
    IdList absolute = CopyIdList(root.Get());
    TFolderNode* desktop = tree.AddNode(tree.DesktopFolder(), absolute, nullptr, root);
    ASSERT_TRUE(desktop);
    EXPECT_EQ(desktop->Text, "Desktop");
    tree.Expand(desktop);
    EXPECT_EQ(PlainTree::Texts(desktop), (std::vector<std::string>{"Computer", "Home", "Trash"}));
    EXPECT_TRUE(PlainTree::Child(desktop, "Computer")->HasButton);

    // Computer below the desktop holds "/" first.
    TFolderNode* computer = PlainTree::Child(desktop, "Computer");
    tree.Expand(computer);
    ASSERT_FALSE(computer->Children.empty());
    EXPECT_EQ(computer->Children[0]->Text, "/");
    EXPECT_EQ(GetItemPath(computer->Children[0]->Data->AbsoluteIdList.Get()), "/");
    EXPECT_EQ(GetItemPath(computer->Data->AbsoluteIdList.Get()), "");

    // rfFileSystem roots at Computer and keeps only file-system items: Trash is none.
    PlainTree fsTree;
    fsTree.Set(rfFileSystem, false, true);
    IdList fsRoot;
    ASSERT_TRUE(GetRootIdList(fsTree, rfFileSystem, "", fsRoot));
    IdList fsAbsolute = CopyIdList(fsRoot.Get());
    TFolderNode* fsComputer = fsTree.AddNode(fsTree.DesktopFolder(), fsAbsolute, nullptr, fsRoot);
    ASSERT_TRUE(fsComputer);
    EXPECT_EQ(fsComputer->Text, "Computer");
    fsTree.Expand(fsComputer);
    EXPECT_EQ(fsComputer->Children.at(0)->Text, "/");
    for (const char* name : {"::Trash", "::Home"}) {
        IdList item, absolute;
        ASSERT_EQ(fsTree.DesktopFolder()->ParseDisplayName(name, item), shell::S_OK);
        absolute = CopyIdList(item.Get());
        TFolderItemInfo info;
        EXPECT_EQ(MakeFolderItem(fsTree, fsTree.DesktopFolder(), absolute, nullptr, item, info),
                  std::string(name) == "::Home")
            << name;
    }

    // Roots without a counterpart leave the tree empty.
    IdList none;
    EXPECT_FALSE(GetRootIdList(tree, rfControlPanel, "", none));
    EXPECT_FALSE(GetRootIdList(tree, rfPrinters, "", none));
    EXPECT_FALSE(GetRootIdList(tree, rfCustom, home.dir.Path() + "/missing", none));
    EXPECT_TRUE(GetRootIdList(tree, rfRecycleBin, "", none));
    EXPECT_EQ(RootFolderCsidl(rfFileSystem), shell::CSIDL_DRIVES);
    EXPECT_EQ(RootFolderCsidl(rfTemplates), shell::CSIDL_TEMPLATES);
    EXPECT_EQ(RootFolderCsidl(rfCustom), -1);
}

TEST(FolderItems, SiblingOrderReadsTheLowBitsOfTheComparison)
{
    TFolderNode less = NodeWith(std::make_shared<FixedOrderFolder>(0xFFFF));
    TFolderNode more = NodeWith(std::make_shared<FixedOrderFolder>(1));
    TFolderNode same = NodeWith(std::make_shared<FixedOrderFolder>(0));
    TFolderNode bare;
    EXPECT_EQ(CompareFolderItems(&less, &more), -1);
    EXPECT_EQ(CompareFolderItems(&more, &less), 1);
    EXPECT_EQ(CompareFolderItems(&same, &more), 0);
    EXPECT_EQ(CompareFolderItems(&less, &less), 0);
    EXPECT_EQ(CompareFolderItems(nullptr, &less), -1);
    EXPECT_EQ(CompareFolderItems(&less, nullptr), 1);
    EXPECT_EQ(CompareFolderItems(&bare, &less), 0);
}

TEST(FolderItems, SiblingsOrderByNameAndNeverTakeOneForAnother)
{
    Home home;
    const std::string base = home.dir.Path() + "/order";
    for (const char* name : {"links", "Links", "file10", "file2", "File3", "\xC3\xA9t\xC3\xA9", "\xFF"})
        MakeDirs(base + "/" + name);
    PlainTree tree;
    tree.Set(rfCustom, false, true);
    TFolderNode* root = tree.AddRoot(base);
    tree.Expand(root);
    const auto texts = PlainTree::Texts(root);
    ASSERT_EQ(texts.size(), 7u);
    EXPECT_EQ(std::vector<std::string>(texts.begin(), texts.begin() + 3),
              (std::vector<std::string>{"file2", "File3", "file10"}));
    TFolderNode* lower = PlainTree::Child(root, "links");
    TFolderNode* upper = PlainTree::Child(root, "Links");
    EXPECT_NE(CompareFolderItems(lower, upper), 0);
    EXPECT_EQ(CompareFolderItems(lower, upper), -CompareFolderItems(upper, lower));
    EXPECT_EQ(texts.back(), "\xFF");
}

TEST(FolderItems, RenameUpdatesBothListsAndFailureChangesNothing)
{
    Home home;
    const std::string base = home.dir.Path() + "/ren";
    MakeDirs(base + "/old");
    MakeDirs(base + "/taken");
    PlainTree tree;
    tree.Set(rfCustom, false, true);
    TFolderNode* root = tree.AddRoot(base);
    tree.Expand(root);
    TFolderNode* old = PlainTree::Child(root, "old");
    ASSERT_TRUE(old);
    EXPECT_TRUE(old->Data->Attributes & shell::SFGAO_CANRENAME);

    std::string why;
    EXPECT_FALSE(RenameItem(old->Data.get(), "", root->Data.get()));
    EXPECT_FALSE(RenameItem(nullptr, "x", root->Data.get()));
    EXPECT_FALSE(RenameItem(old->Data.get(), "taken", root->Data.get(), &why));
    EXPECT_FALSE(why.empty());
    EXPECT_EQ(GetItemPath(old->Data->AbsoluteIdList.Get()), base + "/old");
    EXPECT_EQ(::access((base + "/old").c_str(), F_OK), 0);

    ASSERT_TRUE(RenameItem(old->Data.get(), "new", root->Data.get()));
    EXPECT_EQ(GetItemPath(old->Data->AbsoluteIdList.Get()), base + "/new");
    EXPECT_EQ(GetItemDisplayName(old->Data->ParentFolder, old->Data->RelativeIdList.Get(), gdnNormal), "new");
    EXPECT_EQ(::access((base + "/new").c_str(), F_OK), 0);

    // The root has no parent: its whole list is renamed.
    ASSERT_TRUE(RenameItem(root->Data.get(), "ren2", nullptr));
    EXPECT_EQ(GetItemPath(root->Data->AbsoluteIdList.Get()), home.dir.Path() + "/ren2");
}

TEST(FolderItems, RecordsAreCountedAndALeakIsRaised)
{
    // The tests before this one freed every record they made (the rest are checked
    // at the end of the suite).
    ASSERT_EQ(FolderItemDataCount(), 0);
    EXPECT_NO_THROW(CheckFolderItemDataLeaks());
    {
        TFolderItemData a, b;
        EXPECT_EQ(FolderItemDataCount(), 2);
    }
    EXPECT_EQ(FolderItemDataCount(), 0);
    EXPECT_NO_THROW(CheckFolderItemDataLeaks());
    auto leaked = std::make_unique<TFolderItemData>();
    try {
        CheckFolderItemDataLeaks();
        ADD_FAILURE() << "no error for a record left alive";
    } catch (const ELeaking& e) {
        EXPECT_STREQ(e.what(), "Memory Leak Detected.  Not all folder data was freed.");
    }
}

TEST(FolderItems, PathsParseWithoutALengthLimitAndBindingAFileFails)
{
    Home home;
    struct Cleanup {
        std::string base;
        ~Cleanup() { testsupport::RemoveDeepFolder(base, "deep"); }
    } cleanup{home.dir.Path()};
    MakeDirs(home.dir.Path() + "/deep");
    const std::string bottom = testsupport::MakeDeepFolder(home.dir.Path() + "/deep", std::string(100, 'x'),
                                                           PATH_MAX * 2, "end");
    PlainTree tree;
    tree.Set(rfDesktop, false, true);
    IdList list;
    ASSERT_TRUE(ParsePath(tree.DesktopFolder(), bottom + "/end", list));
    EXPECT_EQ(GetItemPath(list.Get()), bottom + "/end");
    EXPECT_FALSE(ParsePath(tree.DesktopFolder(), bottom + "/nope", list));
    EXPECT_FALSE(list);
    EXPECT_FALSE(ParsePath(nullptr, "/", list));

    WriteFile(home.dir.Path() + "/file", "x");
    PlainTree files;
    files.Set(rfCustom, true, true);
    TFolderNode* root = files.AddRoot(home.dir.Path());
    files.Expand(root);
    TFolderNode* file = PlainTree::Child(root, "file");
    ASSERT_TRUE(file);
    EXPECT_THROW(BindItemFolder(files, *file), EFolderBind);
}
