// The file jobs: paste (copy, move), shortcuts and the trash, against temporary
// folders, with questions answered and cancels made from the test.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <regex>

#include "platform/fileops/FileJob.h"
#include "platform/fileops/NewNames.h"
#include "platform/shell/FsAccess.h"
#include "platform/shelllink/ShellLink.h"
#include "tests/support/ScratchMount.h"
#include "tests/support/TestSupport.h"

using namespace platform;
using namespace platform::fileops;
using testsupport::MakeDirs;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

// Answers each question from a script (Yes by default) and keeps them.
class Script final : public JobDelegate {
public:
    std::function<JobReply(const JobQuestion&)> answer = [](const JobQuestion&) { return JobReply{Choice::Yes}; };
    std::function<void(const JobProgress&)> onProgress;
    std::vector<JobQuestion> questions;

    void Progress(const JobProgress& p) override
    {
        if (onProgress)
            onProgress(p);
    }
    void Ask(const JobQuestion& q, std::function<void(JobReply)> reply) override
    {
        questions.push_back(q);
        reply(answer(q));
    }
    void Finished(const JobResult&) override {}
};

JobResult RunJob(JobRequest request, const std::shared_ptr<Script>& script = std::make_shared<Script>())
{
    FileJob job(std::move(request), script);
    return job.Wait();
}

// Every entry below `dir` (relative paths) with what it holds: file contents,
// "-> target" for links, "/" for folders.
std::map<std::string, std::string> Contents(const std::string& dir)
{
    std::map<std::string, std::string> out;
    namespace fs = std::filesystem;
    for (auto it = fs::recursive_directory_iterator(dir); it != fs::recursive_directory_iterator(); ++it) {
        const std::string rel = it->path().native().substr(dir.size() + 1);
        if (it->is_symlink())
            out[rel] = "-> " + fs::read_symlink(it->path()).native();
        else if (it->is_directory())
            out[rel] = "/";
        else if (it->is_regular_file())
            out[rel] = ReadFile(it->path());
        else
            out[rel] = "special";
    }
    return out;
}

struct stat Lstat(const std::string& path)
{
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st;
}

bool Exists(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

void SetTimes(const std::string& path, time_t mtime)
{
    const struct timespec times[2] = {{mtime, 0}, {mtime, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

// A tree with the names and kinds a copy must carry over.
void MakeOddTree(const std::string& root)
{
    MakeDirs(root + "/sub");
    WriteFile(root + "/plain.txt", "plain");
    WriteFile(root + "/caf\xE9 \xFF.txt", "not UTF-8");
    WriteFile(root + "/-dash", "leading dash");
    WriteFile(root + "/line\nbreak", "newline");
    WriteFile(root + "/sub/big.bin", std::string(3 << 20, 'x')); // past the in-memory size
    ::symlink(".", (root + "/sub/loop").c_str());
    ::symlink("missing", (root + "/dangling").c_str());
    ::chmod((root + "/plain.txt").c_str(), 0640);
    ::chmod((root + "/sub").c_str(), 0750);
    SetTimes(root + "/plain.txt", 1000000000);
    SetTimes(root + "/sub/loop", 1100000000);
    SetTimes(root + "/sub", 1200000000);
}

// Runs `body` in a child process, as the unprivileged user when the test runs as
// root (so that permissions count), and answers the job's error message.
std::string InChild(const std::function<std::string()>& body, bool asNobody)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return "pipe failed";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        if (asNobody && ::geteuid() == 0 && (::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0))
            ::_exit(2);
        const std::string message = body();
        (void)!::write(fds[1], message.data(), message.size());
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string message;
    char buf[4096];
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;)
        message.append(buf, static_cast<std::size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? message : "child failed";
}

} // namespace

TEST(NewNames, CopiesNumbersAndShortcuts)
{
    struct Case {
        std::string name;
        bool folder;
        int n;
        std::string copy, numbered, shortcut;
    } cases[] = {
        {"notes.txt", false, 1, "notes - Copy.txt", "notes.txt", "notes.txt - Shortcut.lnk"},
        {"notes.txt", false, 2, "notes - Copy (2).txt", "notes (2).txt", "notes.txt - Shortcut (2).lnk"},
        {"archive.tar.gz", false, 1, "archive.tar - Copy.gz", "archive.tar.gz", "archive.tar.gz - Shortcut.lnk"},
        {".profile", false, 3, ".profile - Copy (3)", ".profile (3)", ".profile - Shortcut (3).lnk"},
        {"Data.v2", true, 2, "Data.v2 - Copy (2)", "Data.v2 (2)", "Data.v2 - Shortcut (2).lnk"},
        {"Tool.LNK", false, 1, "Tool - Copy.LNK", "Tool.LNK", "Tool - Shortcut.LNK"},
        {"Site.url", false, 2, "Site - Copy (2).url", "Site (2).url", "Site - Shortcut (2).url"},
        {"caf\xE9.txt", false, 2, "caf\xE9 - Copy (2).txt", "caf\xE9 (2).txt", "caf\xE9.txt - Shortcut (2).lnk"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name + " #" + std::to_string(c.n));
        EXPECT_EQ(CopyName(c.name, c.folder, c.n), c.copy);
        EXPECT_EQ(NumberedName(c.name, c.folder, c.n), c.numbered);
        EXPECT_EQ(ShortcutName(c.name, c.folder, c.n), c.shortcut);
    }
    // Too long for a file name: the stem gives way, never half a character.
    const std::string longName = std::string(250, 'a') + "\xC3\xA9" + ".txt";
    const std::string copy = CopyName(longName, false, 12);
    EXPECT_LE(copy.size(), 255u);
    EXPECT_TRUE(copy.ends_with("a - Copy (12).txt")) << copy;
}

TEST(FileJobPaste, CopiesTreesKeepingTimesPermissionsOddNamesAndLinks)
{
    TempDir tmp;
    MakeOddTree(tmp / "src/Tree");
    MakeDirs(tmp / "dest");
    const auto before = Contents(tmp / "src");

    const JobResult r = RunJob(JobRequest::Paste({tmp / "src/Tree"}, false, tmp / "dest"));
    ASSERT_TRUE(r.Succeeded()) << r.error;
    EXPECT_EQ(r.done, std::vector<std::string>{tmp / "src/Tree"});
    EXPECT_EQ(r.created, std::vector<std::string>{tmp / "dest/Tree"});
    EXPECT_EQ(Contents(tmp / "dest"), before);
    EXPECT_EQ(Contents(tmp / "src"), before);
    for (const char* rel : {"Tree/plain.txt", "Tree/sub", "Tree/sub/loop"}) {
        SCOPED_TRACE(rel);
        const struct stat src = Lstat(tmp / "src/" + rel), dst = Lstat(tmp / "dest/" + rel);
        EXPECT_EQ(dst.st_mode, src.st_mode);
        EXPECT_EQ(dst.st_mtim.tv_sec, src.st_mtim.tv_sec);
    }
}

TEST(FileJobPaste, CutPasteMovesAndReportsWhatMoved)
{
    for (const bool acrossFileSystems : {false, true}) {
        SCOPED_TRACE(acrossFileSystems ? "across file systems" : "within one");
        TempDir tmp;
        MakeDirs(tmp / "src/Folder/inner");
        WriteFile(tmp / "src/Folder/inner/b.txt", "b");
        ::symlink("inner/b.txt", (tmp / "src/Folder/link").c_str());
        WriteFile(tmp / "src/a.txt", "a");
        SetTimes(tmp / "src/a.txt", 1000000000);
        MakeDirs(tmp / "dest");
        std::unique_ptr<testsupport::ScratchMount> mount;
        if (acrossFileSystems) {
            std::string whyNot;
            mount = testsupport::ScratchMount::Create(tmp / "dest", 8 << 20, whyNot);
            if (!mount) {
                std::cout << "[  SKIPPED ] across file systems: " << whyNot << "\n";
                continue;
            }
        }
        const auto before = Contents(tmp / "src");

        const JobResult r = RunJob(JobRequest::Paste({tmp / "src/a.txt", tmp / "src/Folder"}, true, tmp / "dest"));
        ASSERT_TRUE(r.Succeeded()) << r.error;
        EXPECT_EQ(r.done, (std::vector<std::string>{tmp / "src/a.txt", tmp / "src/Folder"}));
        EXPECT_EQ(Contents(tmp / "dest"), before);
        EXPECT_TRUE(Contents(tmp / "src").empty());
        EXPECT_EQ(Lstat(tmp / "dest/a.txt").st_mtim.tv_sec, 1000000000);
    }
}

TEST(FileJobPaste, PastingIntoItsOwnFolderMakesNumberedCopies)
{
    TempDir tmp;
    WriteFile(tmp / "notes.txt", "n");
    MakeDirs(tmp / "Data.v2/in");
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(RunJob(JobRequest::Paste({tmp / "notes.txt", tmp / "Data.v2"}, false, tmp.Path())).Succeeded());
    for (const char* name : {"notes - Copy.txt", "notes - Copy (2).txt", "notes - Copy (3).txt"})
        EXPECT_EQ(ReadFile(tmp / name), "n") << name;
    for (const char* name : {"Data.v2 - Copy/in", "Data.v2 - Copy (2)/in", "Data.v2 - Copy (3)/in"})
        EXPECT_TRUE(Exists(tmp / name)) << name;
    EXPECT_EQ(Contents(tmp.Path()).size(), 3u + 3u + 6u);

    // Cut and pasted where it already is: nothing happens, and nothing counts as moved.
    const JobResult moved = RunJob(JobRequest::Paste({tmp / "notes.txt"}, true, tmp.Path() + "/"));
    EXPECT_TRUE(moved.Succeeded());
    EXPECT_TRUE(moved.done.empty());
    EXPECT_EQ(ReadFile(tmp / "notes.txt"), "n");
}

TEST(FileJobPaste, AFolderIsNeverPastedIntoItself)
{
    for (const bool cut : {false, true}) {
        for (const char* into : {"F", "F/sub", "F/sub/deeper"}) {
            SCOPED_TRACE(std::string(cut ? "cut " : "copy ") + into);
            TempDir tmp;
            MakeDirs(tmp / "F/sub/deeper");
            ::symlink("F/sub", (tmp / "alias").c_str());
            const auto before = Contents(tmp.Path());
            for (const std::string& dest : {tmp / into, tmp / "alias"}) {
                const JobResult r = RunJob(JobRequest::Paste({tmp / "F"}, cut, dest));
                EXPECT_NE(r.error.find("into itself"), std::string::npos) << r.error;
                EXPECT_EQ(Contents(tmp.Path()), before);
            }
        }
    }
}

TEST(FileJobPaste, ConflictsAreAnsweredEachWay)
{
    struct Case {
        const char* label;
        JobReply reply;
        std::size_t questions;
        std::map<std::string, std::string> dest;
        bool cancelled;
    } cases[] = {
        {"replace", {Choice::Replace, false}, 2, {{"a.txt", "new a"}, {"b.txt", "new b"}}, false},
        {"replace all", {Choice::Replace, true}, 1, {{"a.txt", "new a"}, {"b.txt", "new b"}}, false},
        {"skip", {Choice::Skip, false}, 2, {{"a.txt", "old a"}, {"b.txt", "old b"}}, false},
        {"keep both for all", {Choice::KeepBoth, true}, 1,
         {{"a.txt", "old a"}, {"b.txt", "old b"}, {"a (2).txt", "new a"}, {"b (2).txt", "new b"}}, false},
        {"cancel", {Choice::Cancel, false}, 1, {{"a.txt", "old a"}, {"b.txt", "old b"}}, true},
    };
    for (const bool cut : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(cut ? "cut, " : "copy, ") + c.label);
            TempDir tmp;
            MakeDirs(tmp / "src");
            MakeDirs(tmp / "dest");
            for (const char* n : {"a", "b"}) {
                WriteFile(tmp / "src/" + n + ".txt", std::string("new ") + n);
                WriteFile(tmp / "dest/" + n + ".txt", std::string("old ") + n);
            }
            auto script = std::make_shared<Script>();
            script->answer = [&](const JobQuestion&) { return c.reply; };
            const JobResult r = RunJob(JobRequest::Paste({tmp / "src/a.txt", tmp / "src/b.txt"}, cut, tmp / "dest"), script);
            EXPECT_EQ(r.cancelled, c.cancelled);
            EXPECT_EQ(Contents(tmp / "dest"), c.dest);
            ASSERT_EQ(script->questions.size(), c.questions);
            const JobQuestion& q = script->questions.front();
            EXPECT_EQ(q.kind, QuestionKind::Conflict);
            EXPECT_EQ(q.source, tmp / "src/a.txt");
            EXPECT_EQ(q.existing, tmp / "dest/a.txt");
            EXPECT_TRUE(q.canReplace);
            EXPECT_EQ(q.existingFacts.size, 5u);
            // What was not pasted stays; what moved is gone and listed.
            for (const char* n : {"a", "b"}) {
                bool pasted = false;
                for (const auto& [name, bytes] : c.dest)
                    pasted = pasted || bytes == std::string("new ") + n;
                EXPECT_EQ(Exists(tmp / "src/" + n + ".txt"), !(cut && pasted)) << n;
            }
        }
    }
}

TEST(FileJobPaste, FoldersMergeAndFilesNeverReplaceFolders)
{
    TempDir tmp;
    MakeDirs(tmp / "src/F");
    WriteFile(tmp / "src/F/same.txt", "new");
    WriteFile(tmp / "src/F/added.txt", "added");
    WriteFile(tmp / "src/x", "a file");
    MakeDirs(tmp / "dest/F");
    WriteFile(tmp / "dest/F/same.txt", "old");
    WriteFile(tmp / "dest/F/kept.txt", "kept");
    MakeDirs(tmp / "dest/x/in");

    auto script = std::make_shared<Script>();
    script->answer = [](const JobQuestion& q) {
        return JobReply{q.sourceFacts.isFolder || !q.canReplace ? Choice::Replace : Choice::Skip};
    };
    const JobResult r = RunJob(JobRequest::Paste({tmp / "src/F", tmp / "src/x"}, false, tmp / "dest"), script);
    ASSERT_TRUE(r.Succeeded()) << r.error;
    const std::map<std::string, std::string> expected = {
        {"F", "/"}, {"F/same.txt", "old"}, {"F/kept.txt", "kept"}, {"F/added.txt", "added"}, {"x", "/"}, {"x/in", "/"}};
    EXPECT_EQ(Contents(tmp / "dest"), expected);
    ASSERT_EQ(script->questions.size(), 3u); // the folder, then its file; the file over a folder
    EXPECT_FALSE(script->questions[2].canReplace);
}

TEST(FileJobPaste, BadSourcesStopBeforeAnythingIsWritten)
{
    TempDir tmp;
    MakeDirs(tmp / "src/Tree");
    WriteFile(tmp / "src/Tree/ok.txt", "ok");
    MakeDirs(tmp / "dest");
    ::mkfifo((tmp / "src/Tree/pipe").c_str(), 0600);
    struct Case {
        std::string source;
        std::string message;
        bool alsoCut; // a rename moves a pipe well enough
    } cases[] = {
        {"relative/x", "does not name", true},
        {"/", "does not name", true},
        {tmp / "src/..", "does not name", true},
        {tmp / "src/gone.txt", "no longer exists", true},
        {tmp / "src/Tree", "device, pipe or socket", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        for (const bool cut : {false, c.alsoCut}) {
            const JobResult r = RunJob(JobRequest::Paste({tmp / "src/Tree/ok.txt", c.source}, cut, tmp / "dest"));
            EXPECT_NE(r.error.find(c.message), std::string::npos) << r.error;
            EXPECT_TRUE(Contents(tmp / "dest").empty());
            EXPECT_TRUE(Exists(tmp / "src/Tree/ok.txt"));
        }
    }
}

TEST(FileJobPaste, UnreadableFoldersAndReadOnlyDestinationsSayWhy)
{
    TempDir tmp;
    ::chmod(tmp.Path().c_str(), 0755);
    MakeDirs(tmp / "src/Tree/locked");
    WriteFile(tmp / "src/Tree/a.txt", "a");
    MakeDirs(tmp / "dest");
    MakeDirs(tmp / "readonly");
    ::chmod((tmp / "src/Tree/locked").c_str(), 0);
    ::chmod((tmp / "dest").c_str(), 0777);
    ::chmod((tmp / "readonly").c_str(), 0555);
    const std::string unreadable = InChild(
        [&] { return RunJob(JobRequest::Paste({tmp / "src/Tree"}, false, tmp / "dest")).error; }, true);
    EXPECT_EQ(unreadable, "Cannot copy '" + tmp / "src/Tree/locked" + "': Permission denied.");
    EXPECT_TRUE(Contents(tmp / "dest").empty());

    // A folder that may be passed through but not listed still gives up its files.
    ::chmod((tmp / "src/Tree").c_str(), 0311);
    EXPECT_EQ(InChild([&] { return RunJob(JobRequest::Paste({tmp / "src/Tree/a.txt"}, false, tmp / "dest")).error; }, true), "");
    EXPECT_EQ(ReadFile(tmp / "dest/a.txt"), "a");
    ::chmod((tmp / "src/Tree").c_str(), 0755);

    ::chmod((tmp / "src/Tree/locked").c_str(), 0755);
    const std::string readOnly = InChild(
        [&] { return RunJob(JobRequest::Paste({tmp / "src/Tree/a.txt"}, true, tmp / "readonly")).error; }, true);
    EXPECT_NE(readOnly.find("Permission denied"), std::string::npos) << readOnly;
    EXPECT_EQ(ReadFile(tmp / "src/Tree/a.txt"), "a");
}

TEST(FileJobPaste, CancelStopsAndRemovesThePartialFile)
{
    struct Case {
        const char* label;
        int files;
        std::size_t size;
        std::function<bool(const JobProgress&)> cancelWhen;
    } cases[] = {
        {"1,000 small files", 1000, 100, [](const JobProgress& p) { return p.filesDone >= 500; }},
        {"one large file", 1, 24 << 20, [](const JobProgress& p) { return p.bytesDone >= (8u << 20); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir tmp;
        MakeDirs(tmp / "src/Tree");
        MakeDirs(tmp / "dest");
        for (int i = 0; i < c.files; ++i)
            WriteFile(tmp / "src/Tree/f" + std::to_string(i), std::string(c.size, 'x'));
        auto script = std::make_shared<Script>();
        FileJob job(JobRequest::Paste({tmp / "src/Tree"}, false, tmp / "dest"), script);
        script->onProgress = [&](const JobProgress& p) {
            if (c.cancelWhen(p))
                job.Cancel();
        };
        const JobResult r = job.Wait();
        EXPECT_TRUE(r.cancelled);
        EXPECT_TRUE(r.error.empty()) << r.error;
        const auto copied = Contents(tmp / "dest/Tree");
        EXPECT_LT(copied.size(), static_cast<std::size_t>(c.files));
        for (const auto& [name, bytes] : copied)
            EXPECT_EQ(bytes.size(), c.size) << name; // no partial file left
        EXPECT_EQ(Contents(tmp / "src/Tree").size(), static_cast<std::size_t>(c.files));
    }
}

TEST(FileJobPaste, AWriteErrorHalfWayLeavesTheSourceAndNoPartialCopy)
{
    const auto makeSource = [](const TempDir& tmp) {
        MakeDirs(tmp / "src/Tree");
        WriteFile(tmp / "src/Tree/small.txt", std::string(100 << 10, 's'));
        WriteFile(tmp / "src/Tree/big.bin", std::string(3 << 20, 'b'));
        MakeDirs(tmp / "dest");
        return Contents(tmp / "src");
    };
    {
        SCOPED_TRACE("file size limit, copy");
        TempDir tmp;
        const auto before = makeSource(tmp);
        const std::string error = InChild(
            [&] {
                ::signal(SIGXFSZ, SIG_IGN);
                const struct rlimit limit = {1 << 20, 1 << 20};
                ::setrlimit(RLIMIT_FSIZE, &limit);
                return RunJob(JobRequest::Paste({tmp / "src/Tree"}, false, tmp / "dest")).error;
            },
            false);
        EXPECT_EQ(error, "Cannot copy '" + tmp / "src/Tree/big.bin" + "': File too large.");
        EXPECT_EQ(Contents(tmp / "src"), before);
        EXPECT_FALSE(Exists(tmp / "dest/Tree/big.bin"));
        for (const auto& [name, bytes] : Contents(tmp / "dest"))
            EXPECT_TRUE(bytes == "/" || bytes == before.at(name)) << name;
    }
    {
        SCOPED_TRACE("full disk, move");
        TempDir tmp;
        const auto before = makeSource(tmp);
        std::string whyNot;
        const auto mount = testsupport::ScratchMount::Create(tmp / "dest", 1 << 20, whyNot);
        if (!mount)
            GTEST_SKIP() << whyNot;
        const JobResult r = RunJob(JobRequest::Paste({tmp / "src/Tree"}, true, tmp / "dest"));
        EXPECT_EQ(r.error, "Cannot move '" + tmp / "src/Tree/big.bin" + "': No space left on device.");
        EXPECT_EQ(r.errorPath, tmp / "src/Tree/big.bin");
        EXPECT_TRUE(r.done.empty());
        EXPECT_EQ(Contents(tmp / "src"), before);
        EXPECT_TRUE(Contents(tmp / "dest").empty()); // what the move made is taken back
    }
}

// A file that takes the name while the copy is written (from the progress report,
// once the name was found free) is never replaced: the copy stops and takes back
// only what it made. Until then the copy has no name, so a kill leaves nothing
// that looks whole.
TEST(FileJobPaste, ACopyHasNoNameUntilWholeAndNeverTakesANameTakenMeanwhile)
{
    for (const bool moveAcross : {false, true}) {
        SCOPED_TRACE(moveAcross ? "move across file systems" : "copy");
        TempDir tmp;
        MakeDirs(tmp / "src");
        MakeDirs(tmp / "dest");
        const std::string source = tmp / "src/big.bin", planted = tmp / "dest/big.bin";
        WriteFile(source, std::string(3 << 20, 'b')); // reported as it goes
        std::unique_ptr<testsupport::ScratchMount> mount;
        if (moveAcross) {
            std::string whyNot;
            mount = testsupport::ScratchMount::Create(tmp / "dest", 8 << 20, whyNot);
            if (!mount) {
                std::cout << "[  SKIPPED ] across file systems: " << whyNot << "\n";
                continue;
            }
        }
        auto script = std::make_shared<Script>();
        std::optional<bool> namedWhileWritten;
        script->onProgress = [&](const JobProgress& p) {
            if (p.bytesDone > 0 && !namedWhileWritten) {
                namedWhileWritten = Exists(planted);
                WriteFile(planted, "planted");
            }
        };
        const JobResult r = RunJob(JobRequest::Paste({source}, moveAcross, tmp / "dest"), script);
        EXPECT_EQ(namedWhileWritten, std::optional<bool>(false));
        EXPECT_NE(r.error.find("appeared in the destination meanwhile"), std::string::npos) << r.error;
        EXPECT_TRUE(ReadFile(planted) == "planted");
        EXPECT_EQ(Contents(tmp / "dest").size(), 1u); // nothing else, no temporary
        EXPECT_EQ(ReadFile(source).size(), 3u << 20);
    }
}

// Where a move renames, a name taken after the check is refused by the rename itself.
TEST(FileJobPaste, AMoveByRenameNeverReplacesANameTakenAfterItsCheck)
{
    TempDir tmp;
    MakeDirs(tmp / "src/folder");
    MakeDirs(tmp / "dest/folder/kept");
    WriteFile(tmp / "src/file", "moved");
    WriteFile(tmp / "dest/file", "planted");
    UniqueFd src, dest;
    ASSERT_EQ(shell::fs::OpenDirectory(tmp / "src", src), 0);
    ASSERT_EQ(shell::fs::OpenDirectory(tmp / "dest", dest), 0);
    const auto before = Contents(tmp.Path());
    for (const char* name : {"file", "folder"})
        EXPECT_EQ(shell::fs::RenameNoReplace(src.Get(), name, dest.Get(), name), EEXIST) << name;
    EXPECT_EQ(Contents(tmp.Path()), before);
}

TEST(FileJobLinks, ShortcutsAreNamedNumberedAndPointThroughTheDriveMap)
{
    TempDir tmp;
    MakeDirs(tmp / "src/Data");
    MakeDirs(tmp / "dest");
    WriteFile(tmp / "src/notes.txt", "n");
    ShellLink tool;
    tool.SetPath("C:\\Tools\\tool.exe");
    ASSERT_TRUE(tool.Save(tmp / "src/Tool.lnk"));
    const DriveMap drives = DriveMap::FromText("C:=" + tmp.Path());
    const auto paste = [&](std::vector<std::string> sources, std::string dest) {
        JobRequest request = JobRequest::PasteShortcut(std::move(sources), std::move(dest));
        request.drives = drives;
        return RunJob(std::move(request));
    };

    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(paste({tmp / "src/notes.txt"}, tmp / "dest").Succeeded());
    const JobResult r = paste({tmp / "src/Data", tmp / "src/Tool.lnk"}, tmp / "dest");
    ASSERT_TRUE(r.Succeeded()) << r.error;
    EXPECT_EQ(r.created, (std::vector<std::string>{tmp / "dest/Data - Shortcut.lnk", tmp / "dest/Tool - Shortcut.lnk"}));
    EXPECT_EQ(ReadFile(tmp / "dest/Tool - Shortcut.lnk"), ReadFile(tmp / "src/Tool.lnk"));
    const JobResult beside = paste({tmp / "src/notes.txt"}, "");
    ASSERT_TRUE(beside.Succeeded()) << beside.error;
    EXPECT_EQ(beside.created, std::vector<std::string>{tmp / "src/notes.txt - Shortcut.lnk"});

    struct Case {
        std::string link, path, workingDir, relative;
    } cases[] = {
        {"dest/notes.txt - Shortcut.lnk", "C:\\src\\notes.txt", "C:\\src", "..\\src\\notes.txt"},
        {"dest/notes.txt - Shortcut (2).lnk", "C:\\src\\notes.txt", "C:\\src", "..\\src\\notes.txt"},
        {"dest/notes.txt - Shortcut (3).lnk", "C:\\src\\notes.txt", "C:\\src", "..\\src\\notes.txt"},
        {"dest/Data - Shortcut.lnk", "C:\\src\\Data", "", "..\\src\\Data"},
        {"src/notes.txt - Shortcut.lnk", "C:\\src\\notes.txt", "C:\\src", ".\\notes.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.link);
        ShellLink link;
        ASSERT_TRUE(link.Load(tmp / c.link));
        EXPECT_EQ(link.GetPath(SLGP_RAWPATH), c.path);
        EXPECT_EQ(link.GetWorkingDirectory(), c.workingDir);
        EXPECT_EQ(link.GetRelativePath(), c.relative);
        EXPECT_TRUE(link.Resolve(tmp / c.link, drives, WinEnvironment::Defaults()));
    }
}

TEST(FileJobLinks, CreateShortcutWhereTheFolderRefusesOffersTheDesktop)
{
    TempDir tmp;
    ::chmod(tmp.Path().c_str(), 0755);
    MakeDirs(tmp / "locked/Data");
    WriteFile(tmp / "locked/notes.txt", "n");
    MakeDirs(tmp / "desk");
    ::chmod((tmp / "locked").c_str(), 0555);
    ::chmod((tmp / "desk").c_str(), 0777);
    struct Case {
        const char* name;
        std::string desktop;
        Choice answer;
        std::string expected; // questions asked | error | shortcuts made
    } cases[] = {
        {"agreed", tmp / "desk", Choice::Yes,
         "1 " + tmp / "desk" + " |  | " + tmp / "desk/notes.txt - Shortcut.lnk " + tmp / "desk/Data - Shortcut.lnk "},
        {"declined", tmp / "desk", Choice::Skip, "1 " + tmp / "desk" + " |  | "},
        {"no desktop", "", Choice::Yes,
         "0 | Cannot create a shortcut to '" + tmp / "locked/notes.txt" + "': Permission denied. | "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string outcome = InChild(
            [&] {
                auto script = std::make_shared<Script>();
                script->answer = [&](const JobQuestion&) { return JobReply{c.answer}; };
                JobRequest request = JobRequest::CreateShortcut({tmp / "locked/notes.txt", tmp / "locked/Data"});
                request.desktop = c.desktop;
                request.drives = DriveMap::FromText("C:=" + tmp.Path());
                const JobResult r = RunJob(std::move(request), script);
                std::string out = std::to_string(script->questions.size());
                for (const JobQuestion& q : script->questions)
                    out += " " + q.existing + (q.kind == QuestionKind::LinkOnDesktop ? "" : " (another kind)");
                out += " | " + r.error + " | ";
                for (const std::string& made : r.created)
                    out += made + " ";
                return out;
            },
            true);
        EXPECT_EQ(outcome, c.expected);
    }
    // Made where the user can find them, pointing at the sources from there.
    ShellLink link;
    ASSERT_TRUE(link.Load(tmp / "desk/notes.txt - Shortcut.lnk"));
    EXPECT_EQ(link.GetPath(SLGP_RAWPATH), "C:\\locked\\notes.txt");
    EXPECT_EQ(link.GetRelativePath(), "..\\locked\\notes.txt");
    EXPECT_TRUE(Contents(tmp / "locked") == (std::map<std::string, std::string>{{"Data", "/"}, {"notes.txt", "n"}}));
    ::chmod((tmp / "locked").c_str(), 0755);
}

namespace {

// GLib reads XDG_DATA_HOME once per process: the trash tests share one, on the file
// system of their temporary folders (and of HOME, which GIO compares them with).
std::string TrashHome()
{
    static TempDir home;
    static const bool set = [] {
        setenv("XDG_DATA_HOME", home.Path().c_str(), 1);
        setenv("GIO_USE_VFS", "local", 1);
        return true;
    }();
    (void)set;
    return home.Path();
}

bool HomeIsOnTheFileSystemOf(const std::string& path)
{
    const char* home = std::getenv("HOME");
    return home && Lstat(home).st_dev == Lstat(path).st_dev;
}

// Path= of a .trashinfo: the path's bytes, URI-escaped but for "/".
std::string TrashInfoPath(const std::string& path)
{
    static const char* kHex = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : path) {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

} // namespace

TEST(FileJobTrash, DeleteConfirmsThenTrashesWithTrashInfo)
{
    const std::string trash = TrashHome() + "/Trash";
    for (const bool confirmed : {true, false}) {
        SCOPED_TRACE(confirmed ? "confirmed" : "declined");
        TempDir tmp;
        if (!HomeIsOnTheFileSystemOf(tmp.Path()))
            GTEST_SKIP() << "HOME is on another file system than " << tmp.Path();
        const std::string names[] = {"plain.txt", "caf\xE9 50%.txt", "Folder"};
        WriteFile(tmp / names[0], "plain");
        WriteFile(tmp / names[1], "odd");
        MakeDirs(tmp / names[2] + "/in");
        auto script = std::make_shared<Script>();
        script->answer = [&](const JobQuestion&) { return JobReply{confirmed ? Choice::Yes : Choice::Skip}; };

        const JobResult r = RunJob(JobRequest::Delete({tmp / names[0], tmp / names[1], tmp / names[2]}), script);
        ASSERT_EQ(script->questions.size(), 1u);
        EXPECT_EQ(script->questions[0].kind, QuestionKind::ConfirmTrash);
        EXPECT_EQ(script->questions[0].count, 3u);
        EXPECT_EQ(r.cancelled, !confirmed);
        EXPECT_EQ(r.done.size(), confirmed ? 3u : 0u);
        for (const std::string& name : names) {
            SCOPED_TRACE(name);
            EXPECT_EQ(Exists(tmp / name), !confirmed);
            if (!confirmed)
                continue;
            // Names in the trash are unique: a clash gets a suffix GIO chooses.
            std::string trashed;
            for (const auto& entry : std::filesystem::directory_iterator(trash + "/info")) {
                const std::string info = ReadFile(entry.path());
                if (info.find("Path=" + TrashInfoPath(tmp / name) + "\n") != std::string::npos)
                    trashed = entry.path().stem().native();
            }
            ASSERT_FALSE(trashed.empty());
            const std::string info = ReadFile(trash + "/info/" + trashed + ".trashinfo");
            EXPECT_TRUE(std::regex_match(info, std::regex("\\[Trash Info\\]\nPath=[^\n]+\nDeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n")))
                << info;
            EXPECT_TRUE(Exists(trash + "/files/" + trashed + (name == "Folder" ? "/in" : "")));
        }
    }
}

TEST(FileJobTrash, WithoutATrashItAsksBeforeDeletingForGood)
{
    TrashHome();
    for (const Choice answer : {Choice::Yes, Choice::Skip}) {
        TempDir tmp;
        MakeDirs(tmp / "volume");
        std::string whyNot;
        const auto mount = testsupport::ScratchMount::Create(tmp / "volume", 1 << 20, whyNot);
        if (!mount)
            GTEST_SKIP() << whyNot;
        MakeDirs(tmp / "volume/Folder/in");
        WriteFile(tmp / "volume/Folder/in/x", "x");
        auto script = std::make_shared<Script>();
        script->answer = [&](const JobQuestion& q) {
            return JobReply{q.kind == QuestionKind::ConfirmTrash ? Choice::Yes : answer};
        };
        const JobResult r = RunJob(JobRequest::Delete({tmp / "volume/Folder"}), script);
        EXPECT_TRUE(r.Succeeded()) << r.error;
        ASSERT_EQ(script->questions.size(), 2u);
        EXPECT_EQ(script->questions[1].kind, QuestionKind::DeletePermanently);
        EXPECT_EQ(Exists(tmp / "volume/Folder/in/x"), answer != Choice::Yes);
        EXPECT_EQ(r.done.size(), answer == Choice::Yes ? 1u : 0u);
    }
}
