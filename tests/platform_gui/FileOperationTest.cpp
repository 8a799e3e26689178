// The file jobs' windows: the conflict dialog answered by its buttons, the delete
// confirmation's words, the progress window's Cancel and the one message of a
// failure. The work itself is tested in tests/platform.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

#include "platform/ui/ConflictDialog.h"
#include "platform/ui/FileOperation.h"
#include "platform/ui/FileProgressWindow.h"
#include "tests/support/TestSupport.h"

using namespace platform;
using testsupport::MakeDirs;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

// A shown window of type T owned by `owner` (questions and messages belong to it).
template <class T>
T* WaitForWindow(QWidget& owner, const QString& name = {})
{
    T* found = nullptr;
    (void)QTest::qWaitFor(
        [&] {
            for (T* w : owner.findChildren<T*>(name))
                if (w->isVisible())
                    found = w;
            return found != nullptr;
        },
        10000);
    return found;
}

fileops::JobResult WaitForEnd(QSignalSpy& finished)
{
    if (finished.isEmpty() && !finished.wait(20000))
        return {};
    return finished.first().first().value<fileops::JobResult>();
}

struct Conflicted {
    TempDir tmp;
    Conflicted()
    {
        MakeDirs(tmp / "src");
        MakeDirs(tmp / "dest");
        WriteFile(tmp / "src/a.txt", "new");
        WriteFile(tmp / "dest/a.txt", "old");
    }
};

} // namespace

TEST(FileOperationWindows, TheConflictDialogAnswersByItsButtons)
{
    struct Case {
        const char* button;
        std::string kept, numbered;
    } cases[] = {
        {"replaceButton", "new", ""},
        {"skipButton", "old", ""},
        {"keepBothButton", "old", "new"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button);
        Conflicted files;
        QWidget owner;
        FileOperation* op = FileOperation::Paste({files.tmp / "src/a.txt"}, false, files.tmp / "dest", &owner);
        QSignalSpy finished(op, &FileOperation::Finished);
        auto* dialog = WaitForWindow<ConflictDialog>(owner);
        ASSERT_TRUE(dialog);
        EXPECT_EQ(dialog->findChild<QLabel*>("conflictText")->text().section('\n', 0, 0),
                  QString::fromUtf8("The destination already has a file named \u201Ca.txt\u201D."));
        EXPECT_TRUE(dialog->SkipButton()->isDefault()); // Enter never replaces
        dialog->findChild<QPushButton*>(c.button)->click();
        EXPECT_TRUE(WaitForEnd(finished).Succeeded());
        EXPECT_EQ(ReadFile(files.tmp / "dest/a.txt"), c.kept);
        EXPECT_EQ(ReadFile(files.tmp / "dest/a (2).txt"), c.numbered);
    }
}

TEST(FileOperationWindows, DeleteAsksInTheShellsWords)
{
    TempDir tmp;
    for (const char* name : {"a.txt", "b.txt", "c.txt"})
        WriteFile(tmp / name, "x");
    struct Case {
        std::vector<std::string> items;
        QString text;
    } cases[] = {
        {{tmp / "a.txt"}, "Are you sure you want to move 'a.txt' to the Trash?"},
        {{tmp / "a.txt", tmp / "b.txt", tmp / "c.txt"}, "Are you sure you want to move these 3 items to the Trash?"},
    };
    for (const Case& c : cases) {
        QWidget owner;
        FileOperation* op = FileOperation::Delete(c.items, &owner);
        QSignalSpy finished(op, &FileOperation::Finished);
        auto* box = WaitForWindow<QMessageBox>(owner, "confirmTrashBox");
        ASSERT_TRUE(box);
        EXPECT_EQ(box->text(), c.text);
        box->button(QMessageBox::No)->click();
        EXPECT_TRUE(WaitForEnd(finished).cancelled);
        for (const std::string& item : c.items)
            EXPECT_EQ(ReadFile(item), "x");
    }
}

TEST(FileOperationWindows, CancelInTheProgressWindowEndsAJobWaitingOnAQuestion)
{
    Conflicted files;
    QWidget owner;
    FileOperation* op = FileOperation::Paste({files.tmp / "src/a.txt"}, true, files.tmp / "dest", &owner);
    op->SetProgressDelay(0);
    QSignalSpy finished(op, &FileOperation::Finished);
    QPointer<ConflictDialog> dialog = WaitForWindow<ConflictDialog>(owner);
    auto* progress = WaitForWindow<FileProgressWindow>(owner, "fileProgressWindow");
    ASSERT_TRUE(progress && dialog);
    EXPECT_EQ(progress->windowTitle(), "Moving");
    progress->CancelButton()->click();
    EXPECT_TRUE(WaitForEnd(finished).cancelled);
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.isNull(); }, 5000));
    EXPECT_EQ(ReadFile(files.tmp / "dest/a.txt"), "old");
    EXPECT_EQ(ReadFile(files.tmp / "src/a.txt"), "new");
}

TEST(FileOperationWindows, AFailureShowsOneMessage)
{
    TempDir tmp;
    MakeDirs(tmp / "F/sub");
    QWidget owner;
    FileOperation* op = FileOperation::Paste({tmp / "F"}, false, tmp / "F/sub", &owner);
    QPointer<FileOperation> alive = op;
    QSignalSpy finished(op, &FileOperation::Finished);
    auto* box = WaitForWindow<QMessageBox>(owner, "fileErrorBox");
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text().toStdString(),
              "Cannot copy '" + tmp / "F" + "' into itself: the destination is that folder or one of its subfolders.");
    EXPECT_EQ(WaitForEnd(finished).error, box->text().toStdString());
    box->button(QMessageBox::Ok)->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return alive.isNull(); }, 5000)); // gone once the message is read
}
