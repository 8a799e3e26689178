// The options dialog: what it shows when it opens, what OK writes, the column list's
// Name row, and the shell integration; the About box and the dialogs' actions.
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "app/About.h"
#include "app/FavOrg.h"
#include "app/QuilOpt.h"
#include "app/Unit1.h"
#include "platform/registry/Registry.h"
#include "shortcuts/wekShortcutListView.h"
#include "tests/shortcuts_gui/ListTestFolder.h"

using listtest::WaitFor;
using platform::registry::Hive;
using platform::registry::Key;
using platform::registry::Success;
using testsupport::MakeDirs;
using testsupport::ReadFile;

namespace {

// A program path that needs every kind of quoting.
const std::string kProgram = "/opt/My \"Apps\" $HOME/quillmere";

bool KeyExists(Hive hive, const std::string& path)
{
    Key key;
    return Key::Open(hive, path, key) == Success;
}

std::string DefaultValue(const std::string& path)
{
    Key key;
    std::string value;
    if (Key::Open(Hive::ClassesRoot, path, key) != Success || !key.ReadString("", value))
        return "(none)";
    return value;
}

std::string Checked(QTableWidget* list)
{
    std::string letters;
    for (int row = 0; row < list->rowCount(); ++row)
        if (list->item(row, 0)->checkState() == Qt::Checked)
            letters += static_cast<char>('a' + row);
    return letters;
}

bool FileExists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

class OptionsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MakeDirs(env / "start");
        Key key;
        ASSERT_EQ(Key::Create(Hive::CurrentUser, kSettingsKey, key), Success);
        key.WriteBool("MenuSave", false);
        key.WriteBool("MenuShow", true);
    }
    bool Bool(const char* name)
    {
        Key key;
        bool value = false;
        EXPECT_EQ(Key::Open(Hive::CurrentUser, kSettingsKey, key), Success);
        EXPECT_TRUE(key.ReadBool(name, value)) << name;
        return value;
    }
    listtest::PrivateEnvironment env;
};

TEST_F(OptionsTest, TheColumnListChecksTheColumnsShownInTheirOrder)
{
    struct Case {
        std::string columnSet, checked;
    };
    const Case cases[] = {
        {"abcdefghij", "abcdefghij"},
        {"abc", "abc"},
        {"aj", "aj"},
        {"acb", "ac"}, // out of order: only what comes in sequence
        {"ajb", "aj"},
    };
    TForm1 w({env / "start"});
    for (const Case& c : cases) {
        w.ShortcutList()->SetColumnSet(c.columnSet);
        TQuilOptBox box(w, kProgram);
        box.FormActivate();
        EXPECT_EQ(Checked(box.ColList()), c.checked) << c.columnSet;
        EXPECT_EQ(box.ColList()->item(9, 1)->text(),
                  "The index to the displayed icon within the icon location file.");
    }
}

TEST_F(OptionsTest, TheNameRowStaysCheckedAndAnyClickCountsAsAChange)
{
    TForm1 w({env / "start"});
    TQuilOptBox box(w, kProgram);
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    EXPECT_FALSE(box.Edited());
    QTableWidget* list = box.ColList();
    auto clickCheckBox = [&](int row) {
        QStyleOptionViewItem option;
        option.initFrom(list);
        option.rect = list->visualRect(list->model()->index(row, 0));
        option.features |= QStyleOptionViewItem::HasCheckIndicator;
        const QRect box = list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, box.center());
    };
    clickCheckBox(0);
    EXPECT_EQ(Checked(list), "abcdefghij");
    EXPECT_TRUE(box.Edited());
    clickCheckBox(1);
    EXPECT_EQ(Checked(list), "acdefghij");
    box.OKBtnClick();
    EXPECT_EQ(w.ShortcutList()->ColumnSet(), "acdefghij");
}

TEST_F(OptionsTest, OkWithoutAChangeWritesNothing)
{
    {
        Key key;
        ASSERT_EQ(Key::Create(Hive::CurrentUser, kSettingsKey, key), Success);
        key.WriteBool("MenuSave", true);
        ASSERT_EQ(Key::Create(Hive::ClassesRoot, "Directory\\shell\\Quillmere\\command", key), Success);
        key.WriteString("", "stale"); // the drive keys are missing: the dialog does not look
    }
    TForm1 w({env / "start"});
    w.ShortcutList()->SetColumnSet("acb");
    const std::string hkcu = ReadFile(env / "registry/HKEY_CURRENT_USER.reg");
    const std::string hkcr = ReadFile(env / "registry/HKEY_CLASSES_ROOT.reg");
    TQuilOptBox box(w, kProgram);
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    EXPECT_EQ(box.MenuGroup()->checkedId(), mcSameAsLastShutdown);
    EXPECT_EQ(box.ContextGroup()->checkedId(), ccInclude);
    EXPECT_EQ(box.DefActionGroup()->checkedId(), daProperties);
    // Coming back to the dialog (from the help browser, say) keeps what was chosen.
    box.MenuGroup()->button(mcNeverShow)->click();
    box.hide();
    box.show();
    EXPECT_EQ(box.MenuGroup()->checkedId(), mcNeverShow);
    EXPECT_TRUE(box.Edited());
    box.close();

    TQuilOptBox again(w, kProgram);
    again.show();
    QTest::mouseClick(again.OKBtn(), Qt::LeftButton);
    EXPECT_EQ(again.result(), QDialog::Accepted);
    EXPECT_EQ(ReadFile(env / "registry/HKEY_CURRENT_USER.reg"), hkcu);
    EXPECT_EQ(ReadFile(env / "registry/HKEY_CLASSES_ROOT.reg"), hkcr);
    EXPECT_EQ(w.ShortcutList()->ColumnSet(), "acb");
}

TEST_F(OptionsTest, OkWritesTheChoicesAndTheShellIntegration)
{
    {
        Key key;
        ASSERT_EQ(Key::Create(Hive::CurrentUser, kSettingsKey, key), Success);
        key.DeleteValue("MenuShow"); // written at once when the dialog opens
    }
    TForm1 w({env / "start"});
    const std::string entry = env / "data/applications/quillmere-open-folder.desktop";
    struct Case {
        TContextChoice context;
        TDefActionChoice defAction;
        TMenuChoice menu;
        bool menuSave, menuShow; // as stored afterwards
    };
    const Case cases[] = {
        {ccInclude, daSystemDefault, mcNeverShow, false, false},
        {ccInclude, daProperties, mcSameAsLastShutdown, true, false}, // MenuShow left as it was
        {ccDoNotInclude, daSystemDefault, mcAlwaysShow, false, true},
        {ccDoNotInclude, daProperties, mcSameAsLastShutdown, true, true},
    };
    bool first = true;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.context * 100 + c.defAction * 10 + c.menu);
        TQuilOptBox box(w, kProgram);
        box.FormActivate();
        if (first) {
            EXPECT_EQ(box.MenuGroup()->checkedId(), mcAlwaysShow);
            EXPECT_TRUE(Bool("MenuShow"));
            EXPECT_FALSE(Bool("MenuSave"));
            first = false;
        }
        box.ContextGroup()->button(c.context)->click();
        box.DefActionGroup()->button(c.defAction)->click();
        box.MenuGroup()->button(c.menu)->click();
        box.OKBtnClick();
        EXPECT_EQ(Bool("MenuSave"), c.menuSave);
        EXPECT_EQ(Bool("MenuShow"), c.menuShow);
        EXPECT_EQ(w.ShortcutList()->OpenRunsDefaultAction(), c.defAction == daSystemDefault);

        const bool included = c.context == ccInclude;
        for (const std::string base : {"Directory\\shell\\Quillmere", "Drive\\shell\\Quillmere"}) {
            EXPECT_EQ(KeyExists(Hive::ClassesRoot, base), included) << base;
            EXPECT_EQ(DefaultValue(base), included ? "&Quillmere" : "(none)");
            EXPECT_EQ(DefaultValue(base + "\\command"), included ? "\"" + kProgram + "\" \"%1\"" : "(none)");
        }
        EXPECT_EQ(FileExists(entry), included);
        EXPECT_EQ(FileExists(env / "config/mimeapps.list"), included);
    }
    // A program path that no desktop entry can hold gets no command either.
    TQuilOptBox box(w, "/opt/line\nbreak/quillmere");
    box.FormActivate();
    box.ContextGroup()->button(ccInclude)->click();
    box.OKBtnClick();
    EXPECT_FALSE(KeyExists(Hive::ClassesRoot, "Directory\\shell\\Quillmere"));
    EXPECT_FALSE(FileExists(entry));
}

// Stands in for the browser.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
    Q_INVOKABLE void Open(const QUrl& url) { opened << url; }
};

TEST_F(OptionsTest, TheDialogsOpenFromTheirActions)
{
    TForm1 w({env / "start"});
    // The link opens the help book, which must be there (or a message says so).
    const QString book = QCoreApplication::applicationDirPath() + "/" + w.HelpFile();
    const bool madeBook = !QFile::exists(book) && QFile(book).open(QIODevice::WriteOnly);
    UrlRecorder browser;
    QDesktopServices::setUrlHandler("file", &browser, "Open");
    struct Case {
        ActionId action;
        QString title;
    };
    const Case cases[] = {
        {ActionId::aOptions, "Configure Quillmere"},
        {ActionId::aOrganizeFavorites, "Organize Favorites - Quillmere"},
        {ActionId::aAbout, "About Quillmere"},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(w.Action(c.action)->isEnabled());
        QString shown;
        QTimer::singleShot(0, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            if (!dialog)
                return;
            shown = dialog->windowTitle();
            if (auto* about = qobject_cast<TAboutBox*>(dialog)) {
                about->WebLink()->linkActivated("about");
                QTest::mouseClick(about->OKButton(), Qt::LeftButton);
            } else {
                dialog->close();
            }
        });
        w.ActionExecute(c.action);
        EXPECT_EQ(shown, c.title);
    }
    QDesktopServices::unsetUrlHandler("file");
    if (madeBook)
        QFile::remove(book);
    ASSERT_EQ(browser.opened.size(), 1);
    EXPECT_EQ(browser.opened[0].fragment(), "about");
}

} // namespace

#include "OptionsTest.moc"
