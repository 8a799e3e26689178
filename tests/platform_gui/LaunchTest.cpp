// Opening addresses, shortcuts and command lines: what asks first, that what starts
// is what the question named, and that no shell ever reads a command line.
// GIO first: a member of its headers is named like a word Qt defines.
#include <gio/gio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

#include "platform/launch/Launch.h"
#include "platform/launch/LaunchTrust.h"
#include "platform/launch/WinExec.h"
#include "platform/registry/Registry.h"
#include "platform/shelllink/ShellLink.h"
#include "tests/support/ModalAnswer.h"
#include "tests/support/ScratchMount.h"
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

TEST(Launch, AWebAddressWithNoBrowserSaysHowToChooseOne)
{
    if (GAppInfo* browser = g_app_info_get_default_for_uri_scheme("https")) {
        g_object_unref(browser);
        GTEST_SKIP() << "a web browser is set up here";
    }
    const testsupport::ModalAnswer answer(QMessageBox::Ok);
    EXPECT_FALSE(launch::OpenUrl("https://example.com/", nullptr));
    EXPECT_TRUE(answer.Text().contains("no program is set up to open web addresses")) << answer.Text().toStdString();
    EXPECT_TRUE(answer.Text().contains("xdg-settings set default-web-browser")) << answer.Text().toStdString();
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

using testsupport::ModalAnswer;
using testsupport::ScopedEnv;
using testsupport::TempDir;

void MakeExecutable(const std::string& path, std::string_view text)
{
    testsupport::WriteFile(path, text);
    ::chmod(path.c_str(), 0755);
}

std::string MakeLink(const std::string& path, std::string_view target, std::string_view relative = {},
                     std::string_view arguments = {}, std::string_view startIn = {})
{
    platform::ShellLink link;
    link.SetPath(target);
    link.SetRelativePath(relative);
    link.SetArguments(arguments);
    link.SetWorkingDirectory(startIn);
    EXPECT_TRUE(link.Save(path)) << path;
    return path;
}

std::string WindowsPath(std::string host)
{
    std::replace(host.begin(), host.end(), '/', '\\');
    return "Z:" + host;
}

// Answers every message box: ticks the check boxes named, then clicks the button.
class Answers {
public:
    explicit Answers(QMessageBox::StandardButton button, QStringList tick = {})
    {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this, button, tick] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || box == last_)
                return;
            last_ = box;
            texts.push_back(box->text());
            for (QCheckBox* check : box->findChildren<QCheckBox*>()) {
                if (tick.contains(check->text())) {
                    EXPECT_TRUE(check->isVisibleTo(box)) << check->text().toStdString();
                    check->setChecked(true);
                }
            }
            box->button(button)->click();
        });
        timer_.start();
    }
    QStringList texts;

private:
    QTimer timer_;
    QPointer<QMessageBox> last_;
};

struct Started {
    std::vector<std::string> argv;
    launch::EnvVars env;
    bool operator==(const Started&) const = default;
};

// A stick with a Wine prefix of a stranger's on it and a fake `wine` on PATH; what
// would start is recorded, never run.
class ShortcutLaunchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::MakeDirs(dir / "home");
        testsupport::MakeDirs(dir / "bin");
        MakeExecutable(wine, "#!/bin/sh\necho \"$WINEPREFIX $*\" > \"$0.ran\"\n");
        testsupport::MakeDirs(pfx + "/dosdevices");
        testsupport::MakeDirs(pfx + "/drive_c/Games");
        testsupport::WriteFile(pfx + "/system.reg", "");
        ASSERT_EQ(::symlink("../drive_c", (pfx + "/dosdevices/c:").c_str()), 0);
        testsupport::WriteFile(solitaire, "MZ");
        testsupport::MakeDirs(dir / "stick/.cache");
        MakeExecutable(script, "#!/bin/sh\ntouch \"$0.ran\"\n");
        launch::SetProgramStarter([this](const std::vector<std::string>& argv, const std::string&,
                                         const launch::EnvVars& env) {
            started.push_back({argv, env});
            return true;
        });
    }
    void TearDown() override { launch::SetProgramStarter(nullptr); }

    TempDir dir;
    ScopedEnv registry{"QUILLMERE_REGISTRY_DIR", dir / "registry"};
    ScopedEnv home{"HOME", dir / "home"};
    ScopedEnv ownPrefix{"WINEPREFIX", nullptr};
    ScopedEnv path{"PATH", dir / "bin:" + std::string(std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin")};
    const std::string wine = dir / "bin/wine";
    const std::string pfx = dir / "pfx";
    const std::string solitaire = pfx + "/drive_c/Games/solitaire.exe";
    const std::string script = dir / "stick/.cache/run";
    std::vector<Started> started;
};

TEST_F(ShortcutLaunchTest, AProgramStartsOnlyAfterAQuestionNamingWhatRunsUnlessItIsTrusted)
{
    const std::string stick = dir / "stick";
    testsupport::WriteFile(stick + "/setup.exe", "MZ");
    std::string up; // from the stick to "/"
    for (char c : stick)
        up += c == '/' ? "..\\" : "";
    const Started inPrefix{{wine, "start", "/unix", solitaire}, {{"WINEPREFIX", pfx}}};
    struct Case {
        const char* what;
        std::string link;
        bool ownPrefix; // $WINEPREFIX is the prefix
        QMessageBox::StandardButton answer;
        QStringList asks; // empty: no question
        std::vector<Started> runs;
    };
    const Case cases[] = {
        {"relative-path fallback",
         MakeLink(stick + "/Holiday photos.lnk", "C:\\Users\\Public\\Pictures\\Holiday", ".\\.cache\\run", "--all x"),
         false, QMessageBox::Cancel,
         {QString::fromStdString("This shortcut shows “C:\\Users\\Public\\Pictures\\Holiday” but would start “" +
                                 script + "”."),
          "with the arguments “--all x”"},
         {}},
        {"stranger's prefix", MakeLink(pfx + "/Solitaire.lnk", "C:\\Games\\solitaire.exe"), false, QMessageBox::Ok,
         {QString::fromStdString("in the Wine prefix “" + pfx + "”")}, {inPrefix}},
        {"prefix of $WINEPREFIX", pfx + "/Solitaire.lnk", true, QMessageBox::Cancel, {}, {inPrefix}},
        {"system program", MakeLink(stick + "/env.lnk", "Z:\\usr\\bin\\env"), false, QMessageBox::Cancel, {},
         {{{"/usr/bin/env"}, {}}}},
        {"system program found by the relative path",
         MakeLink(stick + "/env2.lnk", "C:\\gone\\env", up + "usr\\bin\\env"), false, QMessageBox::Cancel,
         {"but would start"}, {}},
        {"program outside the trusted prefix", MakeLink(pfx + "/Setup.lnk", WindowsPath(stick + "/setup.exe")), true,
         QMessageBox::Cancel, {QString::fromStdString("in the Wine prefix “" + pfx + "”")}, {}},
        {"system program with arguments", MakeLink(stick + "/sh.lnk", "Z:\\bin\\sh", {}, "-c \"touch x\""), false,
         QMessageBox::Cancel, {"with the arguments “-c \"touch x\"”"}, {}},
        {"system program in the stick's folder",
         MakeLink(stick + "/make.lnk", "Z:\\usr\\bin\\env", {}, {}, WindowsPath(stick)), false, QMessageBox::Cancel,
         {"Run “/usr/bin/env”?"}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::optional<ScopedEnv> env;
        if (c.ownPrefix)
            env.emplace("WINEPREFIX", pfx);
        started.clear();
        const ModalAnswer answer(c.answer);
        EXPECT_EQ(launch::OpenPath(c.link, nullptr), c.answer == QMessageBox::Ok || c.asks.empty());
        for (const QString& part : c.asks)
            EXPECT_TRUE(answer.Text().contains(part)) << answer.Text().toStdString() << "\nlacks "
                                                      << part.toStdString();
        if (c.asks.empty()) {
            EXPECT_EQ(answer.Text(), QString());
        }
        EXPECT_EQ(started, c.runs);
    }
}

TEST_F(ShortcutLaunchTest, TheCheckBoxesRememberAShortcutUntilItsBytesChangeAndAPrefixForGood)
{
    // How many questions one Open asks.
    auto questions = [](const std::string& link, QMessageBox::StandardButton button, QStringList tick = {}) {
        Answers answers(button, std::move(tick));
        launch::OpenPath(link, nullptr);
        return answers.texts.size();
    };
    const std::string link = MakeLink(dir / "stick/Tool.lnk", WindowsPath(script));
    EXPECT_EQ(questions(link, QMessageBox::Ok, {"Do not ask again for this shortcut"}), 1);
    EXPECT_EQ(questions(link, QMessageBox::Cancel), 0);
    platform::ShellLink edited;
    ASSERT_TRUE(edited.Load(link));
    edited.SetDescription("the same target, other bytes");
    ASSERT_TRUE(edited.Save(link));
    EXPECT_EQ(questions(link, QMessageBox::Cancel), 1);
    EXPECT_EQ(started.size(), 2u);

    // The prefix: every program in it, from any shortcut in it, runs without a question.
    const std::string other = MakeLink(pfx + "/Other.lnk", "C:\\Games\\solitaire.exe");
    EXPECT_EQ(questions(MakeLink(pfx + "/Solitaire.lnk", "C:\\Games\\solitaire.exe"), QMessageBox::Ok,
                        {"Always run programs of this prefix"}),
              1);
    EXPECT_EQ(questions(other, QMessageBox::Cancel), 0);
    EXPECT_EQ(started.size(), 4u);
}

TEST_F(ShortcutLaunchTest, AnOpenOfManyShortcutsAsksOnceListingTenAndCancelStartsNone)
{
    std::vector<std::string> links{
        MakeLink(dir / "stick/Holiday photos.lnk", "C:\\Users\\Public\\Pictures\\Holiday", ".\\.cache\\run")};
    for (int i = 0; i < 12; ++i)
        links.push_back(MakeLink(dir / ("stick/tool" + std::to_string(i) + ".lnk"), WindowsPath(script)));
    Answers answers(QMessageBox::Cancel);
    EXPECT_FALSE(launch::OpenPaths(links, nullptr));
    ASSERT_EQ(answers.texts.size(), 1);
    const QString& text = answers.texts.front();
    EXPECT_TRUE(text.startsWith("The shortcut “Holiday photos.lnk” shows “C:\\Users\\Public\\Pictures\\Holiday” but "
                                "would start"))
        << text.toStdString();
    EXPECT_TRUE(text.contains("Run these 13 programs?")) << text.toStdString();
    EXPECT_EQ(text.count("• "), 10);
    EXPECT_TRUE(text.contains("… and 3 more.")) << text.toStdString();
    EXPECT_TRUE(started.empty());
}

// A FIFO named like a shortcut would hang an open without O_NONBLOCK; a shortcut
// padded past what the link reader accepts is not read on.
TEST_F(ShortcutLaunchTest, AShortcutThatIsAFifoOrTooLargeIsNotRead)
{
    ASSERT_EQ(::mkfifo((dir / "pipe.lnk").c_str(), 0600), 0);
    const std::string huge = MakeLink(dir / "huge.lnk", WindowsPath(script));
    ASSERT_EQ(::truncate(huge.c_str(), (64 << 20) + 1), 0);
    for (const std::string& link : {dir / "pipe.lnk", huge}) {
        const ModalAnswer answer(QMessageBox::Ok);
        EXPECT_FALSE(launch::OpenPath(link, nullptr));
        EXPECT_TRUE(answer.Text().contains("cannot be read")) << answer.Text().toStdString();
    }
    EXPECT_TRUE(started.empty());
}

// What starts is the program resolved and shown, never the link handed to Wine to
// resolve again.
TEST_F(ShortcutLaunchTest, WineStartsTheResolvedProgramInTheNamedPrefix)
{
    launch::SetProgramStarter(nullptr);
    const ModalAnswer answer(QMessageBox::Ok);
    EXPECT_TRUE(launch::OpenPath(MakeLink(pfx + "/Solitaire.lnk", "C:\\Games\\solitaire.exe", {}, "/level \"3 a\""),
                                 nullptr));
    QTRY_VERIFY(::access((wine + ".ran").c_str(), F_OK) == 0);
    EXPECT_EQ(testsupport::ReadFile(wine + ".ran"), pfx + " start /unix " + solitaire + " /level 3 a\n");
}

TEST(Launch, AMailAddressThatAttachesFilesAsksFirst)
{
    const std::pair<const char*, bool> cases[] = {
        {"mailto:a@example.com?attach=/home/me/.ssh/id_rsa", true},
        {"MAILTO:a@example.com?subject=hi&ATTACHMENT=%2Fetc%2Fpasswd", true},
        {"mailto:a@example.com?%61ttach=/etc/shadow", true},
        {"mailto:a@example.com?subject=attach&body=attachment", false},
        {"http://example.com/?attach=x", false},
    };
    for (const auto& [url, attaches] : cases)
        EXPECT_EQ(launch::MailUrlAttachesFiles(url), attaches) << url;

    const ModalAnswer answer(QMessageBox::No);
    EXPECT_FALSE(launch::OpenUrl(cases[0].first, nullptr));
    EXPECT_TRUE(answer.Text().contains("/home/me/.ssh/id_rsa")) << answer.Text().toStdString();
}

// Only root can make files that belong to root: a tmpfs laid over /opt for this test.
TEST(LaunchTrust, ASystemProgramIsOneNobodyButRootCanHavePutThere)
{
    std::string whyNot;
    const auto opt = testsupport::ScratchMount::Create("/opt", 1 << 20, whyNot);
    if (!opt)
        GTEST_SKIP() << whyNot;
    ::chmod("/opt", 0755);
    testsupport::MakeDirs("/opt/shared");
    ::chmod("/opt/shared", 0775);
    const TempDir elsewhere;
    for (const std::string& path : {std::string("/opt/tool"), std::string("/opt/shared/tool"), std::string("/opt/open"),
                                     std::string("/opt/theirs"), elsewhere / "tool"})
        MakeExecutable(path, "#!/bin/sh\n");
    ::chmod("/opt/open", 0757);
    ASSERT_EQ(::chown("/opt/theirs", 65534, 65534), 0);
    ASSERT_EQ(::symlink((elsewhere / "tool").c_str(), "/opt/link"), 0);
    const std::pair<std::string, bool> cases[] = {
        {"/opt/tool", true},   {"/opt/shared/tool", false}, {"/opt/open", false},
        {"/opt/theirs", false}, {"/opt/link", false},        {elsewhere / "tool", false},
    };
    for (const auto& [path, trusted] : cases)
        EXPECT_EQ(launch::IsSystemProgram(path), trusted) << path;
}

} // namespace
