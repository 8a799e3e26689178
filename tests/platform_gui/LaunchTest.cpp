// Opening addresses and running command lines: what asks first, and that no shell
// ever reads a command line.
#include <sys/stat.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "platform/launch/Launch.h"
#include "platform/launch/WinExec.h"
#include "tests/support/TestSupport.h"

namespace launch = platform::launch;

namespace {

TEST(Launch, OnlyWebAndMailAddressesOpenWithoutAsking)
{
    const std::pair<const char*, bool> cases[] = {
        {"http://example.com/", true},
        {"HTTPS://example.com/a?b#c", true},
        {"ftp://ftp.example.com/pub", true},
        {"mailto:someone@example.com", true},
        {"file:///usr/bin/xterm", false},
        {"file://server/share/setup.exe", false},
        {"smb://server/share", false},
        {"steam://run/123", false},
        {"ms-settings:display", false},
        {"javascript:alert(1)", false},
        {"C:\\Windows\\system32\\calc.exe", false},
        {"/usr/bin/xterm", false},
        {"http:/usr/bin/xterm", false}, // no host: not a web address
        {"http:///etc/passwd", false},
        {"mailto:", false},
        {"", false},
        {"example.com", false},
    };
    for (const auto& [url, web] : cases)
        EXPECT_EQ(launch::IsWebOrMailUrl(url), web) << url;
}

TEST(Launch, AnAddressThatMayRunAProgramAsksAndNamesWhereItLeads)
{
    testsupport::TempDir dir;
    const std::string url = "file://" + dir.Path() + "/setup.exe";
    QString asked;
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, &asked] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            asked = box->text();
            box->button(QMessageBox::No)->click();
            poll->deleteLater();
        }
    });
    poll->start(10);
    EXPECT_FALSE(launch::OpenUrl(url, nullptr));
    EXPECT_TRUE(asked.contains(QString::fromStdString(url))) << asked.toStdString();
}

TEST(Launch, WinExecStartsTheWizardForItsLineAndRunsAnyOtherAsAProgram)
{
    std::vector<std::string> started;
    bool starts = true;
    launch::SetWizardStarter([&](const std::string& folder) {
        started.push_back(folder);
        return starts;
    });
    EXPECT_EQ(launch::WinExec("RunDLL32 AppWiz.Cpl,NewLinkHere /data/My  Links /", 1), launch::kWinExecOk);
    EXPECT_EQ(launch::WinExec("C:\\Windows\\System32\\rundll32.EXE appwiz.cpl,newlinkhere C:\\Data\\", 1),
              launch::kWinExecOk);
    starts = false;
    EXPECT_EQ(launch::WinExec("RunDLL32 AppWiz.Cpl,NewLinkHere /gone/", 1), launch::ERROR_FILE_NOT_FOUND);
    // Without a folder it is no wizard's line: a program of that name, found nowhere.
    EXPECT_EQ(launch::WinExec("RunDLL32 AppWiz.Cpl,NewLinkHere ", 1), launch::ERROR_FILE_NOT_FOUND);
    launch::SetWizardStarter(nullptr);
    EXPECT_EQ(started, (std::vector<std::string>{"/data/My  Links /", "C:\\Data\\", "/gone/"}));

    EXPECT_EQ(launch::WinExec("", 1), launch::ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(launch::WinExec("no-such-program-anywhere x", 1), launch::ERROR_FILE_NOT_FOUND);

    // A shell would split this name at ";" and run what follows.
    testsupport::TempDir dir;
    const std::string name = dir / "a;touch b $(id) \"q\"";
    EXPECT_GT(launch::WinExec("touch \"" + dir.Path() + "/a;touch b $(id) \\\"q\\\"\"", 1), 31u);
    struct stat st {};
    QTRY_VERIFY(::stat(name.c_str(), &st) == 0);
    EXPECT_NE(::stat((dir / "b").c_str(), &st), 0);
}

} // namespace
