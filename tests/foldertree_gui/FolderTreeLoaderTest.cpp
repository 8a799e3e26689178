// The loader fills the folder tree's nodes through its model, with no widget: a viewer
// of the test's own records which nodes are open and which one is selected. A mount
// table of the test's own calls one folder an NFS share, so that it is read off the
// GUI thread, on that share's queue.
#include <gtest/gtest.h>

#include <QTest>
#include <functional>
#include <set>

#include "foldertree/FolderTreeLoader.h"
#include "foldertree/FolderTreeModel.h"
#include "platform/shell/Volumes.h"
#include "platform/util/Tasks.h"
#include "tests/support/HeldMountQueue.h"
#include "tests/support/TestSupport.h"

using testsupport::MakeDirs;
using testsupport::ScopedEnv;
using testsupport::TempDir;

namespace {

class Sight : public TFolderTreeLoader::Viewer {
public:
    std::set<const TFolderNode*> open;
    TFolderNode* selected = nullptr;
    std::vector<TFolderNode*> populated;
    std::vector<QString> errors;

    bool IsNodeExpanded(const TFolderNode* node) const override { return open.count(node) != 0; }
    void ShowExpanded(TFolderNode* node) override { open.insert(node); }
    void CollapseNode(TFolderNode* node) override { open.erase(node); }
    void ShowSelected(TFolderNode* node) override { selected = node; }
    void NodePopulated(TFolderNode* node) override { populated.push_back(node); }
    void ShowError(const QString& message) override { errors.push_back(message); }
};

class LoaderTest : public ::testing::Test {
protected:
    TempDir dir;
    ScopedEnv home{"HOME", dir.Path()};
    ScopedEnv config{"XDG_CONFIG_HOME", dir.Path() + "/.config"};
    ScopedEnv registry{"QUILLMERE_REGISTRY_DIR", dir.Path() + "/registry"};
    std::string base = dir.Path() + "/root";
    std::string share = base + "/share";
    TFolderTreeModel model;
    Sight sight;
    std::unique_ptr<TFolderTreeLoader> loader;

    void SetUp() override
    {
        MakeDirs(share);
        testsupport::WriteFile(dir / "mountinfo", "26 1 254:0 / / rw - ext4 /dev/vda rw\n40 26 0:40 / " + share +
                                                      " rw - nfs4 server:/export rw\n");
        platform::shell::SetMountTablePath(dir / "mountinfo");
        loader = std::make_unique<TFolderTreeLoader>(model, sight);
        loader->SetRootFolder(rfCustom);
        loader->SetCustomDir(base);
    }
    void TearDown() override
    {
        loader.reset();
        model.Clear();
        platform::shell::SetMountTablePath("");
    }

    static TFolderNode* Child(TFolderNode* node, const std::string& text)
    {
        if (!node)
            return nullptr;
        for (const auto& c : node->Children)
            if (c->Text == text)
                return c.get();
        return nullptr;
    }
    static std::vector<std::string> Texts(const TFolderNode* node)
    {
        std::vector<std::string> texts;
        for (const auto& c : node->Children)
            texts.push_back(c->Text);
        return texts;
    }
    static std::string PathOf(const TFolderNode* node)
    {
        return node && node->Data ? GetItemPath(node->Data->AbsoluteIdList.Get()) : std::string();
    }
    bool HasButton(const TFolderNode* node) const { return model.hasChildren(model.IndexOf(node)); }
    // Whatever the share's queue still held has run, and its answers have come.
    void Settle()
    {
        ASSERT_TRUE(platform::tasks::CallOnMount(platform::tasks::TaskHome::Get(), share, [] { return 0; },
                                                 std::chrono::hours(1)));
        QCoreApplication::processEvents();
    }
};

} // namespace

TEST_F(LoaderTest, AReadFillsTheNodesChildrenThroughTheModelInOneGo)
{
    const struct {
        const char* folder;
        std::vector<std::string> made, shown;
    } cases[] = {
        {"sorted", {"b10", "b2", "B3"}, {"b2", "B3", "b10"}},
        {"empty", {}, {}},
    };
    for (const auto& c : cases)
        for (const std::string& name : c.made)
            MakeDirs(base + "/" + c.folder + "/" + name);
    MakeDirs(base + "/empty");
    loader->Rebuild(true);
    TFolderNode* root = model.RootNode();
    ASSERT_TRUE(root && sight.IsNodeExpanded(root));

    for (const auto& c : cases) {
        TFolderNode* node = Child(root, c.folder);
        ASSERT_TRUE(node) << c.folder;
        int insertions = 0;
        const auto counting = QObject::connect(&model, &QAbstractItemModel::rowsInserted, [&](const QModelIndex& parent) {
            insertions += parent == model.IndexOf(node);
        });
        sight.populated.clear();
        EXPECT_EQ(loader->ExpandNode(node), !c.shown.empty()) << c.folder;
        QObject::disconnect(counting);
        EXPECT_EQ(Texts(node), c.shown) << c.folder;
        EXPECT_EQ(model.rowCount(model.IndexOf(node)), static_cast<int>(c.shown.size())) << c.folder;
        EXPECT_EQ(insertions, c.shown.empty() ? 0 : 1) << c.folder;
        EXPECT_TRUE(node->Data->Populated) << c.folder;
        EXPECT_EQ(HasButton(node), !c.shown.empty()) << c.folder; // one that shows nothing loses it
        EXPECT_EQ(sight.IsNodeExpanded(node), !c.shown.empty()) << c.folder;
        EXPECT_EQ(sight.populated, c.shown.empty() ? std::vector<TFolderNode*>{} : std::vector<TFolderNode*>{node})
            << c.folder;
    }
    EXPECT_TRUE(sight.errors.empty());
}

// The share's queue is held, so the read waits in it when it is given up: it never
// runs, and nothing of it reaches the node, not even once the queue moves on.
TEST_F(LoaderTest, AGivenUpReadLeavesTheNodeAsItWas)
{
    MakeDirs(share + "/docs");
    const struct {
        const char* read;
        bool readBefore;
        std::function<void()> start;
        std::vector<std::string> kept;
    } cases[] = {
        {"opening the folder", false, [&] { loader->ExpandNode(Child(model.RootNode(), "share")); }, {}},
        {"a walk looking for a folder made since", true, [&] { loader->SelectPath(share + "/later"); }, {"docs"}},
    };
    for (const auto& c : cases) {
        loader->Rebuild(true);
        TFolderNode* node = Child(model.RootNode(), "share");
        ASSERT_TRUE(node) << c.read;
        if (c.readBefore) {
            loader->ExpandNode(node);
            ASSERT_TRUE(QTest::qWaitFor([&] { return !loader->Busy(); })) << c.read;
            MakeDirs(share + "/later");
        }
        TFolderNode* selectedBefore = sight.selected;
        {
            testsupport::HeldMountQueue held(share);
            c.start();
            ASSERT_TRUE(loader->Busy()) << c.read;
            loader->GiveUp();
            EXPECT_FALSE(loader->Busy()) << c.read;
            EXPECT_EQ(loader->WaitsFor(), nullptr) << c.read;
        }
        Settle();
        EXPECT_EQ(Child(model.RootNode(), "share"), node) << c.read;
        EXPECT_EQ(Texts(node), c.kept) << c.read;
        EXPECT_EQ(node->Data->Populated, c.readBefore) << c.read;
        EXPECT_TRUE(HasButton(node)) << c.read; // the next expansion reads again
        EXPECT_EQ(sight.IsNodeExpanded(node), c.readBefore) << c.read;
        EXPECT_EQ(sight.selected, selectedBefore) << c.read;
    }
    EXPECT_TRUE(sight.errors.empty());
}

TEST_F(LoaderTest, ThePathWalkReachesADeepPathOpeningTheWayDown)
{
    std::string local = base;
    for (int level = 1; level <= 12; ++level)
        local += "/level" + std::to_string(level);
    const std::string onShare = share + "/a/b/c";
    MakeDirs(local);
    MakeDirs(onShare);
    loader->Rebuild(true);
    for (const std::string& path : {local, onShare}) {
        loader->SelectPath(path);
        // Each folder on the share is read off the GUI thread: the walk waits for it.
        if (path == onShare) {
            EXPECT_NE(loader->WaitsFor(), nullptr);
            EXPECT_EQ(loader->WalkTarget(), path);
        }
        ASSERT_TRUE(QTest::qWaitFor([&] { return PathOf(sight.selected) == path; })) << path;
        EXPECT_FALSE(loader->Busy());
        for (const TFolderNode* above = sight.selected->Parent; above; above = above->Parent)
            EXPECT_TRUE(sight.IsNodeExpanded(above)) << PathOf(above);
    }
    EXPECT_TRUE(sight.errors.empty());
}
