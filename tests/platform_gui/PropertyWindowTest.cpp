// The property window as a user drives it: its pages, OK and Apply, and the saves
// it refuses with the window kept open.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include <QApplication>
#include <QMessageBox>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "platform/shelllink/ShellLink.h"
#include "platform/ui/IconPicker.h"
#include "platform/ui/PropertySheet.h"
#include "platform/ui/PropertyWindow.h"
#include "tests/support/HangingMount.h"
#include "tests/support/IconFileImages.h"
#include "tests/support/ModalAnswer.h"
#include "tests/support/TestSupport.h"

using platform::ui::PropertyWindow;
using testsupport::MakeDirs;
using testsupport::ModalAnswer;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

struct Sheet {
    QWidget owner;
    std::vector<std::string> saved;

    PropertyWindow* Open(const std::vector<std::string>& paths)
    {
        platform::PropertyCallbacks callbacks;
        callbacks.saved = [this](const std::string& path) { saved.push_back(path); };
        if (!platform::ShowProperties(paths, &owner, callbacks))
            return nullptr;
        const auto windows = owner.findChildren<PropertyWindow*>();
        return windows.empty() ? nullptr : windows.back();
    }
};

template <class T>
T* Field(QWidget* window, const char* name)
{
    T* field = window->findChild<T*>(name);
    EXPECT_TRUE(field) << name;
    return field;
}

// Types into a field as a user does: everything selected, then the new text.
void Type(QLineEdit* edit, const QString& text)
{
    edit->selectAll();
    QTest::keyClicks(edit, text);
    if (text.isEmpty())
        QTest::keyClick(edit, Qt::Key_Delete);
}

void Press(QWidget* window, QDialogButtonBox::StandardButton which)
{
    window->findChild<QDialogButtonBox*>()->button(which)->click();
}

std::string MakeLink(const std::string& file, const std::string& target)
{
    platform::ShellLink link;
    link.SetPath(target);
    link.SetDescription("old comment");
    link.SetArguments("--keep");
    EXPECT_TRUE(link.Save(file));
    return ReadFile(file);
}

} // namespace

TEST(PropertyWindow, AShortcutIsEditedOnItsShortcutPage)
{
    TempDir dir;
    Sheet sheet;
    const std::string file = dir / "tool.lnk";
    MakeLink(file, "%SystemRoot%\\tool.exe");
    EXPECT_FALSE(platform::ShowProperties({}, &sheet.owner, {}));
    EXPECT_FALSE(platform::ShowProperties({dir / "missing.lnk"}, &sheet.owner, {}));

    QPointer<PropertyWindow> window = sheet.Open({file});
    ASSERT_TRUE(window);
    EXPECT_EQ(window->Tabs()->tabText(window->Tabs()->currentIndex()), "Shortcut");
    EXPECT_EQ(window->windowTitle(), "tool.lnk Properties");
    auto* target = Field<QLineEdit>(window, "target");
    EXPECT_EQ(target->text(), "%SystemRoot%\\tool.exe"); // raw, the variable kept
    EXPECT_EQ(Field<QLineEdit>(window, "arguments")->text(), "--keep");

    Type(Field<QLineEdit>(window, "comment"), "new comment");
    QTest::keyClick(Field<QLineEdit>(window, "hotkey"), Qt::Key_T, Qt::ControlModifier | Qt::AltModifier);
    Press(window, QDialogButtonBox::Ok);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window; }));
    platform::ShellLink link;
    ASSERT_TRUE(link.Load(file));
    EXPECT_EQ(link.GetDescription(), "new comment");
    EXPECT_EQ(link.GetHotkey(), 0x0654);
    EXPECT_EQ(link.GetPath(platform::SLGP_RAWPATH), "%SystemRoot%\\tool.exe");
    EXPECT_EQ(link.GetArguments(), "--keep");
    EXPECT_EQ(sheet.saved, std::vector<std::string>{file});
}

TEST(PropertyWindow, ChangeIconSavesThePickersChoice)
{
    TempDir dir;
    Sheet sheet;
    const auto program = testsupport::BuildPe(false, {{1, "", {{32, testsupport::MakeDib(32, 0xFF0000), 32}}},
                                                      {2, "", {{32, testsupport::MakeDib(32, 0x00FF00), 32}}},
                                                      {3, "", {{32, testsupport::MakeDib(32, 0x0000FF), 32}}}});
    WriteFile(dir / "icons.dll", std::string(program.begin(), program.end()));
    std::string location = "Z:";
    for (char c : dir / "icons.dll")
        location += c == '/' ? '\\' : c;
    const std::string file = dir / "tool.lnk";
    {
        platform::ShellLink link;
        link.SetPath("C:\\tool.exe");
        link.SetIconLocation("%SystemRoot%\\system32\\shell32.dll", 4); // kept in the icon environment block
        ASSERT_TRUE(link.Save(file));
    }
    QPointer<PropertyWindow> window = sheet.Open({file});
    ASSERT_TRUE(window);

    // The user types the library's name, reads its icons, picks the third, OK.
    QTimer user;
    bool typed = false;
    QImage chosen;
    QObject::connect(&user, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        auto* picker = qobject_cast<platform::ui::IconPicker*>(modal);
        if (auto* other = qobject_cast<QDialog*>(modal); other && !picker)
            other->reject(); // not the picker: the test fails rather than waits
        if (!picker || picker->Loading())
            return;
        if (!typed) {
            typed = true;
            auto* field = picker->findChild<QLineEdit*>();
            field->selectAll();
            QTest::keyClicks(field, QString::fromStdString(location));
            QTest::keyClick(field, Qt::Key_Return);
        } else if (picker->IconCount() == 3) {
            user.stop();
            picker->List()->setCurrentRow(2);
            chosen = picker->IconPicture().toImage();
            picker->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        }
    });
    user.start(10);
    Field<QPushButton>(window, "changeIcon")->click();
    EXPECT_FALSE(user.isActive());
    // The page shows the choice before it is saved.
    const QImage shown = Field<QLabel>(window, "icon")->pixmap().toImage();
    ASSERT_FALSE(chosen.isNull());
    EXPECT_EQ(shown.convertToFormat(QImage::Format_ARGB32), chosen.scaled(shown.size()).convertToFormat(QImage::Format_ARGB32));
    Press(window, QDialogButtonBox::Ok);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window; }));

    platform::ShellLink link;
    ASSERT_TRUE(link.Load(file));
    int index = -1;
    EXPECT_EQ(link.GetIconLocation(index), location);
    EXPECT_EQ(index, 2);
    EXPECT_FALSE(link.IconEnvironmentTarget()) << "the old location must not win over the new one";
}

TEST(PropertyWindow, ARefusedSaveKeepsTheWindowAndTheEdits)
{
    TempDir dir;
    Sheet sheet;
    const std::string file = dir / "tool.lnk";
    const std::string original = MakeLink(file, "C:\\tool.exe");

    // Read-only: said so, nothing written; clearing Read-only lets it save.
    ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
    QPointer<PropertyWindow> window = sheet.Open({file});
    ASSERT_TRUE(window);
    Type(Field<QLineEdit>(window, "comment"), "edited");
    {
        ModalAnswer answer(QMessageBox::Ok);
        Press(window, QDialogButtonBox::Ok);
        EXPECT_TRUE(answer.Text().contains("read-only")) << answer.Text().toStdString();
    }
    ASSERT_TRUE(window);
    EXPECT_EQ(Field<QLineEdit>(window, "comment")->text(), "edited");
    EXPECT_EQ(ReadFile(file), original);
    Field<QCheckBox>(window, "readOnly")->click();
    Press(window, QDialogButtonBox::Apply);
    platform::ShellLink link;
    ASSERT_TRUE(link.Load(file));
    EXPECT_EQ(link.GetDescription(), "edited");
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IWUSR);

    // Invalid input: a target a Windows path cannot hold, or one that names no place
    // (which would be saved as a link to nothing). The user is put back in the field.
    for (const auto& [typed, why] : {std::pair<QString, QString>{"C:\\a|b.exe", "cannot hold"},
                                     {"C:relative.exe", "type a full path"}}) {
        auto* target = Field<QLineEdit>(window, "target");
        Type(target, typed);
        window->Tabs()->setCurrentIndex(0);
        {
            ModalAnswer answer(QMessageBox::Ok);
            Press(window, QDialogButtonBox::Ok);
            EXPECT_TRUE(answer.Text().contains(why)) << answer.Text().toStdString();
        }
        ASSERT_TRUE(window);
        EXPECT_EQ(window->Tabs()->currentWidget()->focusWidget(), target);
        EXPECT_EQ(target->selectedText(), typed);
        ASSERT_TRUE(link.Load(file));
        EXPECT_EQ(link.GetPath(platform::SLGP_RAWPATH), "C:\\tool.exe");
    }

    // Another window saved meanwhile: asked before saving over it.
    Type(Field<QLineEdit>(window, "target"), "C:\\tool.exe");
    QPointer<PropertyWindow> other = sheet.Open({file});
    Type(Field<QLineEdit>(other, "arguments"), "--other");
    Press(other, QDialogButtonBox::Ok);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !other; }));
    Type(Field<QLineEdit>(window, "comment"), "mine");
    {
        ModalAnswer answer(QMessageBox::Cancel);
        Press(window, QDialogButtonBox::Ok);
        EXPECT_TRUE(answer.Text().contains("changed")) << answer.Text().toStdString();
    }
    ASSERT_TRUE(window);
    ASSERT_TRUE(link.Load(file));
    EXPECT_EQ(link.GetArguments(), "--other");
    EXPECT_EQ(link.GetDescription(), "edited");
    {
        ModalAnswer answer(QMessageBox::Save);
        Press(window, QDialogButtonBox::Ok);
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window; }));
    ASSERT_TRUE(link.Load(file));
    EXPECT_EQ(link.GetDescription(), "mine");
}

TEST(PropertyWindow, TheGeneralPageRenamesAndHidesButNeverReplaces)
{
    TempDir dir;
    Sheet sheet;
    const std::string file = dir / "tool.lnk";
    MakeLink(file, "C:\\tool.exe");
    WriteFile(dir / "taken.lnk", "x");
    ASSERT_EQ(::symlink(file.c_str(), (dir / "alias.lnk").c_str()), 0);

    QPointer<PropertyWindow> window = sheet.Open({file});
    window->Tabs()->setCurrentIndex(0);
    auto* name = Field<QLineEdit>(window, "name");
    EXPECT_EQ(name->text(), "tool.lnk");
    Type(name, "taken"); // the extension is kept, as the list's rename keeps it
    {
        ModalAnswer answer(QMessageBox::Ok);
        Press(window, QDialogButtonBox::Apply);
        EXPECT_TRUE(answer.Text().contains("exists already")) << answer.Text().toStdString();
    }
    EXPECT_EQ(ReadFile(dir / "taken.lnk"), "x");
    Type(name, "renamed");
    Field<QCheckBox>(window, "hidden")->click();
    EXPECT_EQ(name->text(), ".renamed");
    Press(window, QDialogButtonBox::Ok);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window; }));
    EXPECT_EQ(::access(file.c_str(), F_OK), -1);
    EXPECT_EQ(::access((dir / ".renamed.lnk").c_str(), F_OK), 0);
    EXPECT_EQ(sheet.saved, std::vector<std::string>{dir / ".renamed.lnk"});

    // A symbolic link shows where it leads.
    MakeLink(file, "C:\\tool.exe");
    window = sheet.Open({dir / "alias.lnk"});
    EXPECT_EQ(Field<QLabel>(window, "linkTo")->text().toStdString(), file);
    window->close();
}

TEST(PropertyWindow, SeveralItemsShareOneGeneralPage)
{
    TempDir dir;
    Sheet sheet;
    WriteFile(dir / "a.txt", "12345");
    testsupport::MakeDirs(dir / "sub/deeper");
    WriteFile(dir / "sub/b.bin", std::string(1000, 'b'));
    WriteFile(dir / "sub/deeper/c.bin", std::string(24, 'c'));

    QPointer<PropertyWindow> window = sheet.Open({dir / "a.txt", dir / "sub/"});
    ASSERT_TRUE(window);
    EXPECT_EQ(window->Tabs()->count(), 1);
    EXPECT_EQ(window->findChild<QLineEdit*>("name"), nullptr);
    auto* size = Field<QLabel>(window, "size");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !size->text().startsWith("Count"); }));
    EXPECT_EQ(size->text().toStdString(), "1.00 KB (1,029 bytes)");
    EXPECT_EQ(Field<QLabel>(window, "contains")->text().toStdString(), "3 files, 2 folders");
    window->close();
}

TEST(PropertyWindow, AnInternetShortcutKeepsItsOtherLines)
{
    TempDir dir;
    Sheet sheet;
    const std::string file = dir / "site.url";
    WriteFile(file, "[InternetShortcut]\nURL=http://old.example/\nIconIndex=2\n[Other]\nKey=value\n");
    QPointer<PropertyWindow> window = sheet.Open({file});
    ASSERT_TRUE(window);
    EXPECT_EQ(window->Tabs()->tabText(window->Tabs()->currentIndex()), "Web Document");
    auto* url = Field<QLineEdit>(window, "url");
    EXPECT_EQ(url->text(), "http://old.example/");
    Type(url, "not a url");
    {
        ModalAnswer answer(QMessageBox::Ok);
        Press(window, QDialogButtonBox::Ok);
        EXPECT_TRUE(answer.Text().contains("is not a URL")) << answer.Text().toStdString();
    }
    Type(url, "https://new.example/");
    QTest::keyClick(Field<QLineEdit>(window, "hotkey"), Qt::Key_W);
    Press(window, QDialogButtonBox::Ok);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window; }));
    EXPECT_EQ(ReadFile(file), "[InternetShortcut]\nURL=https://new.example/\nIconIndex=2\nHotkey=1623\n[Other]\nKey=value\n");
}

TEST(PropertyWindow, AMountThatDoesNotAnswerGetsAMessageInsteadOfAWait)
{
    std::string whyNot;
    const auto volume = testsupport::HangingVolume::Create(whyNot);
    if (!volume)
        GTEST_SKIP() << whyNot;
    const QString silent = QString::fromStdString(volume->Path()) + " does not answer.";
    TempDir dir;
    Sheet sheet;
    {
        ModalAnswer answer(QMessageBox::Ok);
        EXPECT_FALSE(platform::ShowProperties({volume->Path() + "/tool.lnk"}, &sheet.owner, {}));
        EXPECT_EQ(answer.Text(), silent);
    }
    EXPECT_TRUE(sheet.owner.findChildren<PropertyWindow*>().empty());

    // A shortcut here to a program there opens; Open File Location names the mount.
    std::string target = "Z:" + volume->Path() + "/tool.exe";
    std::replace(target.begin(), target.end(), '/', '\\');
    MakeLink(dir / "remote.lnk", target);
    QPointer<PropertyWindow> window = sheet.Open({dir / "remote.lnk"});
    ASSERT_TRUE(window);
    ModalAnswer answer(QMessageBox::Ok);
    Field<QPushButton>(window, "openLocation")->click();
    EXPECT_EQ(answer.Text(), silent);
    delete window;
}

TEST(PropertyWindow, ASaveToAShareThatStoppedAnsweringIsRefusedWithTheEditsKept)
{
    TempDir dir;
    Sheet sheet;
    MakeDirs(dir / "share");
    const std::string file = dir / "share/tool.lnk";
    MakeLink(file, "C:\\tool.exe");
    QPointer<PropertyWindow> window = sheet.Open({file});
    ASSERT_TRUE(window);
    Type(Field<QLineEdit>(window, "comment"), "new comment");

    std::string whyNot;
    const auto mount = testsupport::HangingMount::Create(dir / "share", whyNot);
    if (!mount)
        GTEST_SKIP() << whyNot;
    ModalAnswer answer(QMessageBox::Ok);
    Press(window, QDialogButtonBox::Ok);
    EXPECT_EQ(answer.Text(), QString::fromStdString(dir / "share") + " does not answer.");
    ASSERT_TRUE(window) << "the window closed";
    EXPECT_EQ(Field<QLineEdit>(window, "comment")->text(), "new comment");
    EXPECT_TRUE(sheet.saved.empty());
    delete window;
}
