// The command-line report, run as the program itself.
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdlib>

#include <gtest/gtest.h>

#include "tests/platform/FakeWinePrefix.h"
#include "tests/shortcuts/LinkBytes.h"
#include "tests/support/TestSupport.h"

using testsupport::MakeDirs;
using testsupport::RunProgram;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

std::string WindowsPathOf(const std::string& hostPath)
{
    std::string path = "Z:" + hostPath;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

// A folder with a subfolder, a working link, a broken link, a damaged file and an
// Internet shortcut.
struct SampleFolder {
    TempDir dir;
    std::string links;

    SampleFolder()
    {
        links = dir / "links";
        MakeDirs(links + "/Sub");
        MakeDirs(links + "/.hidden");
        WriteFile(dir / "target.exe", "MZ");
        linkbytes::LinkFields good;
        good.localPath = WindowsPathOf(dir / "target.exe");
        good.arguments = "-x";
        good.hotkey = 0x0641;
        good.showCommand = 3;
        good.iconIndex = 2;
        WriteFile(links + "/good.lnk", linkbytes::Build(good));
        linkbytes::LinkFields gone;
        gone.localPath = WindowsPathOf(dir / "gone.exe");
        WriteFile(links + "/lost.lnk", linkbytes::Build(gone));
        WriteFile(links + "/damaged.lnk", "not a link");
        WriteFile(links + "/web.URL", "[InternetShortcut]\r\nURL=http://example.com/\r\n");
    }
};

std::vector<std::string> Lines(const std::string& text, const std::string& eol = "\n")
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find(eol, start);
        lines.push_back(text.substr(start, end - start));
        if (end == std::string::npos)
            break;
        start = end + eol.size();
    }
    return lines;
}

} // namespace

TEST(Report, TextIsAnAlignedTableOfTheListsColumns)
{
    SampleFolder f;
    const auto r = RunProgram({"--report", f.links});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 6u) << r.out;
    const std::string header = lines[0];
    // Each caption starts where the texts of its column start.
    const auto columnStart = [&header](const char* caption) { return header.find(caption); };
    for (const char* caption : {"Type", "Target", "Target Path", "Arguments", "Start in Directory", "Hotkey",
                                "Window State", "Icon Location", "Icon Index"})
        EXPECT_NE(columnStart(caption), std::string::npos) << caption;
    EXPECT_EQ(header.rfind("Name", 0), 0u);

    EXPECT_EQ(lines[1], "Sub" + std::string(columnStart("Type") - 3, ' ') + "Dir");
    EXPECT_EQ(lines[2].substr(0, lines[2].find(' ')), "damaged.lnk");
    EXPECT_EQ(lines[2].substr(columnStart("Target"), 9), "(special)");
    EXPECT_EQ(lines[2].substr(columnStart("Window State"), 7), "Normal ");
    EXPECT_EQ(lines[2].substr(columnStart("Icon Index")), "0");
    EXPECT_EQ(lines[3].substr(columnStart("Hotkey"), 11), "Ctrl+Alt+A ");
    EXPECT_EQ(lines[3].substr(columnStart("Window State"), 9), "Maximized");
    EXPECT_EQ(lines[3].substr(columnStart("Arguments"), 3), "-x ");
    EXPECT_EQ(lines[3].substr(columnStart("Target"), 11), "target.exe ");
    EXPECT_EQ(lines[3].substr(columnStart("Icon Index")), "2");
    EXPECT_EQ(lines[4].substr(0, 8), "lost.lnk");
    EXPECT_EQ(lines[5].substr(0, 8), "web.URL ");
    EXPECT_EQ(lines[5].substr(columnStart("Type"), 5), ".URL ");
    for (const auto& line : lines)
        EXPECT_NE(line.back(), ' ') << line;

    // A column set chooses and orders the columns.
    const auto some = RunProgram({"--report", "--columns=ajb", f.links});
    EXPECT_EQ(some.status, 0);
    const auto someLines = Lines(some.out);
    ASSERT_EQ(someLines.size(), 6u);
    EXPECT_EQ(someLines[0], "Name         Icon Index  Type");
    EXPECT_EQ(someLines[1], "Sub                      Dir");
    EXPECT_EQ(someLines[3], "good.lnk     2           .lnk");
}

TEST(Report, CsvQuotesAsRfc4180AndNamesThePathsWhenThereAreSeveral)
{
    SampleFolder f;
    WriteFile(f.links + "/a,\"b\".url", "[InternetShortcut]\nURL=http://x/?a=1,b=2\n");
    const auto r = RunProgram({"--report", "--format=csv", "--columns=abc", f.links});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "Name,Type,Target\r\n"
                     "Sub,Dir,\r\n"
                     "\"a,\"\"b\"\".url\",.url,\"http://x/?a=1,b=2\"\r\n"
                     "damaged.lnk,.lnk,(special)\r\n"
                     "good.lnk,.lnk,target.exe\r\n"
                     "lost.lnk,.lnk,gone.exe\r\n"
                     "web.URL,.URL,http://example.com/\r\n");

    const auto two = RunProgram({"--report", "--format=csv", "--columns=ac", f.links + "/web.URL", f.links});
    EXPECT_EQ(two.status, 0);
    const auto lines = Lines(two.out, "\r\n");
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[0], "Name,Target,Source");
    EXPECT_EQ(lines[1], "web.URL,http://example.com/," + f.links + "/web.URL");
    EXPECT_EQ(lines[2], "Sub,," + f.links);
}

TEST(Report, JsonHasOneObjectPerRowWithTheRecordsFields)
{
    SampleFolder f;
    const auto r = RunProgram({"--report", "--format=json", f.links + "/", f.links + "/good.lnk"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 8u) << r.out;
    EXPECT_EQ(lines.front(), "[");
    EXPECT_EQ(lines.back(), "]");
    const std::string windowsTarget = WindowsPathOf(f.dir.Path());
    std::string escapedFolder;
    for (const char c : windowsTarget + "\\") {
        if (c == '\\')
            escapedFolder += '\\';
        escapedFolder += c;
    }
    const std::string good =
        "{\"Name\": \"good.lnk\", \"Kind\": \"shortcut\", \"Path\": \"" + f.links +
        "/good.lnk\", \"ReadOk\": true, \"Target\": \"target.exe\", \"TargetPath\": \"" + escapedFolder +
        "\", \"StartIn\": \"\", \"Arguments\": \"-x\", \"Description\": \"\", \"ShowCommand\": 3, "
        "\"WindowState\": \"Maximized\", \"Hotkey\": 49217, \"HotkeyText\": \"Ctrl+Alt+A\", "
        "\"IconLocation\": \"\", \"IconIndex\": 2, \"Test\": \"not tested\"}";
    EXPECT_EQ(lines[1],
              "{\"Name\": \"Sub\", \"Kind\": \"folder\", \"Path\": \"" + f.links +
                  "/Sub\", \"ReadOk\": true, \"Target\": \"\", \"TargetPath\": \"\", \"StartIn\": \"\", "
                  "\"Arguments\": \"\", \"Description\": \"\", \"ShowCommand\": 1, \"WindowState\": \"\", "
                  "\"Hotkey\": 0, \"HotkeyText\": \"\", \"IconLocation\": \"\", \"IconIndex\": 0, "
                  "\"Test\": \"not tested\"},");
    EXPECT_EQ(lines[2],
              "{\"Name\": \"damaged.lnk\", \"Kind\": \"shortcut\", \"Path\": \"" + f.links +
                  "/damaged.lnk\", \"ReadOk\": false, \"Target\": \"\", \"TargetPath\": \"\", \"StartIn\": \"\", "
                  "\"Arguments\": \"\", \"Description\": \"\", \"ShowCommand\": 1, \"WindowState\": \"Normal\", "
                  "\"Hotkey\": 0, \"HotkeyText\": \"\", \"IconLocation\": \"\", \"IconIndex\": 0, "
                  "\"Test\": \"not tested\"},");
    EXPECT_EQ(lines[3], good + ",");
    EXPECT_EQ(lines[6], good);

    // No rows: an empty array.
    MakeDirs(f.dir / "empty");
    const auto empty = RunProgram({"--report", "--format=json", f.dir / "empty"});
    EXPECT_EQ(empty.status, 0);
    EXPECT_EQ(empty.out, "[]\n");
}

TEST(Report, TestMarksEachShortcutAndFailuresSetTheExitStatus)
{
    SampleFolder f;
    const auto r = RunProgram({"--report", "--test", "--columns=a", f.links}, {"QUILLMERE_DRIVES=Z:=/"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "Name         Test\n"
                     "Sub\n"
                     "damaged.lnk  failed\n"
                     "good.lnk     passed\n"
                     "lost.lnk     failed\n"
                     "web.URL      internet\n");

    const auto json = RunProgram({"--report", "--test", "--format=json", f.links + "/web.URL", f.links + "/good.lnk"},
                                 {"QUILLMERE_DRIVES=Z:=/"});
    EXPECT_EQ(json.status, 0);
    EXPECT_NE(json.out.find("\"Test\": \"internet\"}"), std::string::npos);
    EXPECT_NE(json.out.find("\"Test\": \"passed\"}"), std::string::npos);

    // Without --test nothing is tested and nothing fails.
    EXPECT_EQ(RunProgram({"--report", f.links}).status, 0);
}

TEST(Report, UsageErrorsAndPathsThatCannotBeReported)
{
    SampleFolder f;
    const std::vector<std::vector<std::string>> usage = {
        {"--report"},
        {"--report", "--columns=bcd", f.links},
        {"--report", "--columns=abz", f.links},
        {"--report", "--columns=abb", f.links},
        {"--report", "--columns=", f.links},
        {"--report", "--format=xml", f.links},
        {"--report", "--format", f.links},
        {"--report", "--frobnicate", f.links},
    };
    for (const auto& args : usage) {
        const auto r = RunProgram(args);
        EXPECT_EQ(r.status, 2) << args.back();
        EXPECT_EQ(r.out, "") << args.back();
        ASSERT_FALSE(r.err.empty()) << args.back();
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    }

    // A missing PATH: one line on stderr, the other PATHs still reported.
    const auto missing = RunProgram({"--report", "--columns=a", f.dir / "missing", f.links + "/good.lnk"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.out, f.links + "/good.lnk:\nName\ngood.lnk\n");
    EXPECT_NE(missing.err.find("missing"), std::string::npos);
    EXPECT_EQ(missing.err.find('\n'), missing.err.size() - 1);

    // A PATH after "--" may start with a dash.
    WriteFile(f.dir / "-dash.url", "[InternetShortcut]\nURL=u\n");
    const auto dash = RunProgram({"--report", "--columns=ac", "--", f.dir / "-dash.url"});
    EXPECT_EQ(dash.status, 0);
    EXPECT_EQ(dash.out, "Name       Target\n-dash.url  u\n");

    if (::geteuid() != 0) { // root lists any folder
        MakeDirs(f.dir / "closed");
        ::chmod((f.dir / "closed").c_str(), 0);
        const auto closed = RunProgram({"--report", f.dir / "closed"});
        EXPECT_EQ(closed.status, 2);
        EXPECT_NE(closed.err.find("cannot list"), std::string::npos);
    }
}

TEST(Report, AnyExistingFileGivesARowAndNothingHangs)
{
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "fifo.lnk").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("nowhere", (dir / "dangling.lnk").c_str()), 0);
    WriteFile(dir / "notes.txt", "hello");
    const auto r = RunProgram({"--report", "--format=csv", "--columns=abc", dir / "fifo.lnk", dir / "dangling.lnk",
                               dir / "notes.txt", dir.Path()});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    const auto lines = Lines(r.out, "\r\n");
    ASSERT_EQ(lines.size(), 6u) << r.out;
    EXPECT_EQ(lines[1], "fifo.lnk,.lnk,(special)," + dir / "fifo.lnk");
    EXPECT_EQ(lines[2], "dangling.lnk,.lnk,(special)," + dir / "dangling.lnk");
    EXPECT_EQ(lines[3], "notes.txt,.txt,(special)," + dir / "notes.txt");
    EXPECT_EQ(lines[4], "dangling.lnk,.lnk,(special)," + dir.Path());
    EXPECT_EQ(lines[5], "fifo.lnk,.lnk,(special)," + dir.Path());
}

TEST(Report, NamesThatAreNotUtf8)
{
    TempDir dir;
    WriteFile(dir / "caf\xE9.url", "[InternetShortcut]\nURL=http://caf\xC3\xA9/\n");
    WriteFile(dir / "tab\there.url", "[InternetShortcut]\nURL=t\n");
    const auto csv = RunProgram({"--report", "--format=csv", "--columns=ac", dir.Path()});
    EXPECT_EQ(csv.out, "Name,Target\r\ncaf\xE9.url,http://caf\xC3\xA9/\r\ntab?here.url,t\r\n");

    // The text table keeps the bytes but shows control characters as "?".
    const auto text = RunProgram({"--report", "--columns=ac", dir.Path()});
    EXPECT_EQ(text.out, "Name          Target\ncaf\xE9.url      http://caf\xC3\xA9/\ntab?here.url  t\n");

    // A sequence cut short shows as one mark, so its row keeps the table's columns.
    TempDir cut;
    for (const char* name : {"a\xE4\xB8.url", "b\xF0\x9F\x98.url", "longer.url"})
        WriteFile(cut / name, "[InternetShortcut]\nURL=x\n");
    EXPECT_EQ(RunProgram({"--report", "--columns=ac", cut.Path()}).out,
              "Name        Target\na\xE4\xB8.url      x\nb\xF0\x9F\x98.url      x\nlonger.url  x\n");

    // So are the C1 controls (CSI U+009B, OSC U+009D), which terminals obey too.
    TempDir c1;
    WriteFile(c1 / "c1.url", "[InternetShortcut]\nURL=a\xC2\x9B" "31mb\xC2\x9D" "0;t\xC2\xA0z\n");
    EXPECT_EQ(RunProgram({"--report", "--columns=ac", c1.Path()}).out, "Name    Target\nc1.url  a?31mb?0;t\xC2\xA0z\n");

    // JSON: each byte that is not UTF-8 as the lone surrogate U+DC00 + byte.
    const auto json = RunProgram({"--report", "--format=json", dir / "caf\xE9.url"});
    EXPECT_EQ(json.status, 0);
    EXPECT_NE(json.out.find("\"Name\": \"caf\\udce9.url\""), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"Target\": \"http://caf\xC3\xA9/\""), std::string::npos) << json.out;
    const auto tab = RunProgram({"--report", "--format=json", dir / "tab\there.url"});
    EXPECT_NE(tab.out.find("\"Name\": \"tab\\there.url\""), std::string::npos) << tab.out;
}

TEST(Report, CsvAndJsonCarryNoCommandsForATerminalOrASpreadsheet)
{
    // Name and URL of a file, in the list's order; its CSV row; a piece of its JSON.
    const std::array<std::string, 4> cases[] = {
        {"\x1B[31mred.url", "x\x07", "?[31mred.url,x?", R"j("Name": "\u001b[31mred.url", "Kind")j"},
        {"+c.url", "-2", "'+c.url,'-2", R"j("Name": "+c.url")j"},
        {"@d.url", "a=1", "'@d.url,a=1", R"j("Name": "@d.url")j"},
        {"a.url", "a\xC2\x9B" "31m\xC2\x9D\x7F\xC2\xA0", "a.url,a?31m??\xC2\xA0",
         R"j("Target": "a\u009b31m\u009d\u007f)j" "\xC2\xA0\""},
        {"b.url", "=HYPERLINK(\"http://x/\",\"y\")", "b.url,\"'=HYPERLINK(\"\"http://x/\"\",\"\"y\"\")\"",
         R"j("Target": "=HYPERLINK(\"http://x/\",\"y\")")j"},
        {"line\rbreak.url", "u", "line?break.url,u", R"j("Name": "line\rbreak.url")j"},
    };
    TempDir dir;
    std::string csv = "Name,Target\r\n";
    for (const auto& c : cases) {
        WriteFile(dir / c[0], "[InternetShortcut]\nURL=" + c[1] + "\n");
        csv += c[2] + "\r\n";
    }
    EXPECT_EQ(RunProgram({"--report", "--format=csv", "--columns=ac", dir.Path()}).out, csv);
    const std::string json = RunProgram({"--report", "--format=json", dir.Path()}).out;
    for (const auto& c : cases)
        EXPECT_NE(json.find(c[3]), std::string::npos) << c[3] << "\n" << json;
}

TEST(Report, RecursiveFollowsTheLinksOfAWinePrefixToFoldersOfTheHome)
{
    const testsupport::FakeWinePrefix wine;
    const std::string home = wine.Tmp() / "home", user = wine.DriveC() + "/users/alice";
    for (const char* file : {"/Desktop/game.lnk", "/Documents/doc.lnk", "/.config/menus/hidden.lnk"}) {
        MakeDirs(home + std::string(file).substr(0, std::string(file).rfind('/')));
        WriteFile(home + file, "damaged");
    }
    WriteFile(wine.DriveC() + "/users/Public/Desktop/pub.lnk", "damaged");
    ASSERT_EQ(::rmdir((user + "/Desktop").c_str()), 0);
    const std::pair<std::string, std::string> links[] = {
        {home + "/Desktop", user + "/Desktop"}, {home + "/Documents", user + "/Documents"},
        {home + "/Documents", user + "/My Documents"}, {home + "/Documents", home + "/Documents/Loop"},
        {wine.Tmp().Path(), user + "/Home"}, {"/proc", user + "/Proc"},
        {home + "/.config/menus", user + "/Menus"}, // into a dot-folder: passed by, unsaid
        {"../users/Public/Desktop", wine.DriveC() + "/windows/Public"},
    };
    for (const auto& [target, link] : links)
        ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0) << link;

    // The drives of dosdevices (c: to drive_c, z: to /) are passed by without a word.
    const auto r = RunProgram({"--report", "--recursive", "--format=csv", "--columns=a", wine.Prefix()});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Name,Source\r\ngame.lnk," + user + "/Desktop\r\ndoc.lnk," + user + "/Documents\r\npub.lnk," +
                         wine.DriveC() + "/users/Public/Desktop\r\n");
    const std::string skip = "quillmere: not following ", listed = ": it leads to a folder listed already\n";
    EXPECT_EQ(r.err, skip + user + "/Home: it leads to a folder holding the walk's start\n" + skip + user +
                         "/My Documents" + listed + skip + user + "/Proc: it leads to another file system\n" + skip +
                         user + "/Documents/Loop" + listed + skip + wine.DriveC() + "/windows/Public" + listed);
}

TEST(Report, RecursiveListsTheShortcutsOfEveryFolderBelowFolderByFolder)
{
    TempDir dir;
    const std::string top = dir / "top";
    MakeDirs(top + "/A/B");
    MakeDirs(top + "/A/.hidden");
    MakeDirs(top + "/b\xE9");
    MakeDirs(top + "/C/Empty");
    WriteFile(dir / "target.exe", "MZ");
    linkbytes::LinkFields good;
    good.localPath = WindowsPathOf(dir / "target.exe");
    WriteFile(top + "/A/a1.lnk", linkbytes::Build(good));
    WriteFile(top + "/top.lnk", "damaged");
    WriteFile(top + "/A/B/b.url", "[InternetShortcut]\nURL=u\n");
    WriteFile(top + "/A/.hidden/h.lnk", "damaged");
    WriteFile(top + "/b\xE9/x.url", "[InternetShortcut]\nURL=u\n");
    WriteFile(top + "/C/c.pif", "damaged");
    ASSERT_EQ(::symlink("../A", (top + "/C/linkA").c_str()), 0); // listed where it lies

    // Subfolders come in the list's order (letters upper-cased), not in byte order.
    const auto text = RunProgram({"--report", "--recursive", "--columns=ab", top});
    EXPECT_EQ(text.status, 0);
    EXPECT_EQ(text.err, "quillmere: not following " + top + "/C/linkA: it leads to a folder listed already\n");
    EXPECT_EQ(text.out, "Name     Type  Folder\n"
                        "top.lnk  .lnk  " + top + "\n"
                        "a1.lnk   .lnk  " + top + "/A\n"
                        "b.url    .url  " + top + "/A/B\n"
                        "x.url    .url  " + top + "/b\xE9\n"
                        "c.pif    .pif  " + top + "/C\n");

    // One table for all PATHs; a file PATH's Source is its folder. From C, the link to
    // A leads out of the walk and is followed.
    const auto csv = RunProgram({"--report", "--format=csv", "--columns=a", "--recursive", top + "/C", top + "/A/a1.lnk"});
    EXPECT_EQ(csv.status, 0);
    EXPECT_EQ(csv.out, "Name,Source\r\nc.pif," + top + "/C\r\na1.lnk," + top + "/C/linkA\r\nb.url," + top +
                           "/C/linkA/B\r\na1.lnk," + top + "/A\r\n");

    const auto json = RunProgram({"--report", "--recursive", "--test", "--format=json", top + "/A"}, {"QUILLMERE_DRIVES=Z:=/"});
    EXPECT_EQ(json.status, 0);
    const auto lines = Lines(json.out);
    ASSERT_EQ(lines.size(), 4u) << json.out;
    EXPECT_NE(lines[1].find("\"Path\": \"" + top + "/A/a1.lnk\""), std::string::npos) << lines[1];
    EXPECT_NE(lines[1].find("\"Test\": \"passed\", \"Source\": \"" + top + "/A\"},"), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find("\"Test\": \"internet\", \"Source\": \"" + top + "/A/B\"}"), std::string::npos) << lines[2];
    EXPECT_EQ(RunProgram({"--report", "--recursive", "--test", top}, {"QUILLMERE_DRIVES=Z:=/"}).status, 1);
}

TEST(Report, RecursiveNamesAFolderItCannotListAndGoesOn)
{
    // A folder whose path is too long to open, whoever runs the test.
    TempDir dir;
    MakeDirs(dir / "deep/z");
    WriteFile(dir / "deep/z/z.url", "[InternetShortcut]\nURL=u\n");
    int fd = ::open((dir / "deep").c_str(), O_RDONLY | O_DIRECTORY);
    const std::string longName(250, 'a');
    for (int depth = 0; depth < 20 && fd >= 0; ++depth) {
        ASSERT_EQ(::mkdirat(fd, longName.c_str(), 0700), 0);
        const int next = ::openat(fd, longName.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
    }
    ASSERT_GE(fd, 0);
    ::close(fd);

    const auto r = RunProgram({"--report", "--recursive", "--columns=a", dir / "deep"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "Name   Folder\nz.url  " + dir / "deep/z\n");
    EXPECT_EQ(r.err.rfind("quillmere: cannot list " + dir / "deep/" + longName, 0), 0u) << r.err;
    EXPECT_NE(r.err.find(": File name too long\n"), std::string::npos);
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1);
}

TEST(Report, RecursiveStaysOnTheFileSystemOfThePath)
{
    TempDir dir;
    MakeDirs(dir / "top/mnt");
    WriteFile(dir / "top/a.url", "[InternetShortcut]\nURL=u\n");
    // A mount of our own, in a mount namespace of our own.
    const std::string script = "unshare -rm sh -c 'mount -t tmpfs tmpfs \"$1\" || exit 99; "
                               "echo [InternetShortcut] > \"$1/in.url\"; "
                               "exec \"$0\" --report --recursive --columns=a \"$2\" \"$1\"' " QM_BINARY " " +
                               dir / "top/mnt " + dir / "top >" + dir / "out 2>&1";
    const int status = std::system(script.c_str());
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 1 || WEXITSTATUS(status) >= 99)
        GTEST_SKIP() << "no mount namespace here: " << testsupport::ReadFile(dir / "out");
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(testsupport::ReadFile(dir / "out"),
              "Name    Folder\na.url   " + dir / "top\nin.url  " + dir / "top/mnt\n");
}

TEST(Report, WithoutTestNoWinePrefixIsRead)
{
    TempDir dir;
    const std::string prefix = dir / "prefix";
    MakeDirs(prefix + "/dosdevices");
    MakeDirs(prefix + "/drive_c/users/someone");
    ASSERT_EQ(::symlink("../drive_c", (prefix + "/dosdevices/c:").c_str()), 0);
    for (const char* hive : {"/system.reg", "/user.reg", "/userdef.reg"})
        WriteFile(prefix + hive, "WINE REGISTRY Version 2\n");
    WriteFile(dir / "a.lnk", "damaged");
    const std::vector<std::string> env = {"WINEPREFIX=" + prefix, "HOME=" + dir.Path(),
                                          "QUILLMERE_REGISTRY_DIR=" + (dir / "registry"), "QUILLMERE_DRIVES"};

    const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(fd, 0);
    for (const std::string& watched : {prefix, prefix + "/dosdevices"})
        ASSERT_GE(::inotify_add_watch(fd, watched.c_str(), IN_OPEN | IN_ACCESS), 0);
    const auto eventsSoFar = [fd] {
        char buf[4096];
        ssize_t total = 0, n;
        while ((n = ::read(fd, buf, sizeof buf)) > 0)
            total += n;
        return total;
    };

    const auto plain = RunProgram({"--report", "--format=json", dir / "a.lnk"}, env);
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(eventsSoFar(), 0) << "the report opened the Wine prefix";
    EXPECT_FALSE(::access((dir / "registry").c_str(), F_OK) == 0) << "the report made a registry";

    // The same watch sees the test read the prefix for its drive map.
    linkbytes::LinkFields fields;
    fields.localPath = "C:\\x.exe";
    WriteFile(dir / "b.lnk", linkbytes::Build(fields));
    const auto tested = RunProgram({"--report", "--test", dir / "b.lnk"}, env);
    EXPECT_EQ(tested.status, 1);
    EXPECT_GT(eventsSoFar(), 0);
    ::close(fd);
}
