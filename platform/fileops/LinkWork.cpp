// Paste Shortcut and Create Shortcut: a shell link per source, written through the
// link writer, in the destination folder or beside the source. The target is named
// by its Windows path (through the drive map), a file's link starts in the file's
// folder, and a link to a shortcut file is a copy of that file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <optional>
#include <set>

#include "platform/fileops/JobContext.h"
#include "platform/fileops/NewNames.h"
#include "platform/fileops/TreeOps.h"
#include "platform/shell/ShellFolder.h"
#include "platform/shelllink/ShellLink.h"
#include "platform/util/AtomicFile.h"
#include "platform/util/Text.h"

namespace platform::fileops {
namespace {

using shell::fs::JoinPath;
using shell::fs::ParentOf;

constexpr const char* kVerb = "create a shortcut to";
// Shell links the reader takes are at most this large; anything bigger is no link.
constexpr off_t kMaxShortcutFile = 64 << 20;

std::vector<std::string> WindowsParts(std::string_view path)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('\\', start), path.size());
        if (end > start)
            parts.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

// The target seen from the link's folder, as Windows keeps it beside the absolute
// path (".\notes.txt", "..\Data\notes.txt"); empty across drives.
std::string RelativeWindowsPath(const std::string& fromFolder, const std::string& target)
{
    const auto from = WindowsParts(fromFolder);
    const auto to = WindowsParts(target);
    if (from.empty() || to.empty() || !EqualsIgnoreAsciiCase(from.front(), to.front()))
        return {};
    std::size_t common = 0;
    while (common < from.size() && common + 1 < to.size() && EqualsIgnoreCase(from[common], to[common]))
        ++common;
    std::string rel;
    for (std::size_t i = common; i < from.size(); ++i)
        rel += "..\\";
    if (rel.empty())
        rel = ".\\";
    for (std::size_t i = common; i < to.size(); ++i)
        rel += to[i] + (i + 1 < to.size() ? "\\" : "");
    return rel;
}

std::string ReadShortcutFile(JobContext& ctx, const SourceItem& item)
{
    UniqueFd in(::openat(item.parent.Get(), item.name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat st {};
    if (!in || ::fstat(in.Get(), &st) != 0)
        ctx.Fail(item.path, kVerb, errno);
    if (st.st_size > kMaxShortcutFile)
        ctx.Fail(item.path, kVerb, EFBIG);
    std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(in.Get(), bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            ctx.Fail(item.path, kVerb, errno);
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    return bytes;
}

std::string NewLinkBytes(JobContext& ctx, const SourceItem& item, bool isFolder, const std::string& linkFolder,
                         const DriveMap& drives)
{
    const auto target = drives.ToWindowsPath(item.path);
    if (!target)
        ctx.FailWith(item.path, "Cannot " + std::string(kVerb) + " '" + DisplayPath(item.path) +
                                    "': its name holds a \"\\\", which Windows would read as a separator.");
    ShellLink link;
    if (const auto info = LinkTargetInfoOf(item.path))
        link.SetTargetInfo(*info);
    link.SetPath(*target);
    if (!isFolder) {
        if (const auto folder = drives.ToWindowsPath(ParentOf(item.path)))
            link.SetWorkingDirectory(*folder);
    }
    if (const auto from = drives.ToWindowsPath(linkFolder)) {
        const std::string rel = RelativeWindowsPath(*from, *target);
        if (!rel.empty())
            link.SetRelativePath(rel);
    }
    const auto bytes = link.SaveToBytes();
    return {bytes.begin(), bytes.end()};
}

bool IsRefusal(int error) { return error == EACCES || error == EPERM || error == EROFS; }

// Writes `bytes` under the first free name make(1), make(2), ...; never replaces, and
// the file has its name only once it is whole.
// With `refused`, a folder that may not be written to is no failure: its errno goes
// there and the answer is empty.
std::string WriteNew(JobContext& ctx, int dirFd, const std::string& forPath, const std::string& bytes,
                     const std::function<std::string(int)>& make, int* refused = nullptr)
{
    PendingFile out;
    if (const int e = out.Create(dirFd, make(1), 0666)) {
        if (refused && IsRefusal(e)) {
            *refused = e;
            return {};
        }
        ctx.Fail(forPath, kVerb, e);
    }
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t w = ::write(out.Fd(), bytes.data() + done, bytes.size() - done);
        if (w < 0 && errno != EINTR)
            ctx.Fail(forPath, kVerb, errno);
        if (w > 0)
            done += static_cast<std::size_t>(w);
    }
    for (int n = 1; n <= 9999; ++n) {
        const std::string name = make(n);
        const int e = out.LinkAs(name);
        if (e == 0)
            return name;
        if (e != EEXIST)
            ctx.Fail(forPath, kVerb, e);
    }
    ctx.FailWith(forPath, "Cannot " + std::string(kVerb) + " '" + DisplayPath(forPath) + "': every numbered name is taken.");
}

// Where Create Shortcut puts the shortcuts it may not put beside their sources, as
// the shell does: the desktop, once the user agreed.
class DesktopOffer {
public:
    // Open while the user agreed; the job stops with `refused` where there is no
    // desktop to offer.
    bool Accepted(JobContext& ctx, const SourceItem& item, const std::string& folder, int refused)
    {
        if (answer_)
            return *answer_;
        const JobRequest& request = ctx.Request();
        path_ = request.desktop ? *request.desktop : shell::DesktopDirectory();
        while (path_.size() > 1 && path_.back() == '/')
            path_.pop_back();
        if (path_.empty() || path_ == folder || shell::fs::OpenDirectory(path_, fd_) != 0)
            ctx.Fail(item.path, kVerb, refused);
        JobQuestion question;
        question.kind = QuestionKind::LinkOnDesktop;
        question.source = item.path;
        question.existing = path_;
        answer_ = ctx.Ask(question).choice == Choice::Yes;
        return *answer_;
    }
    const std::string& Path() const { return path_; }
    int Fd() const { return fd_.Get(); }

private:
    std::optional<bool> answer_;
    std::string path_;
    UniqueFd fd_;
};

} // namespace

void RunLinks(JobContext& ctx)
{
    const JobRequest& request = ctx.Request();
    const DriveMap& drives = request.drives ? *request.drives : DriveMap::Default();

    std::string destPath = request.destination;
    while (destPath.size() > 1 && destPath.back() == '/')
        destPath.pop_back();
    UniqueFd dest;
    if (!destPath.empty()) {
        if (destPath.front() != '/')
            ctx.FailWith(destPath, "Cannot paste into '" + DisplayPath(destPath) + "': it is not a folder.");
        if (const int e = shell::fs::OpenDirectory(destPath, dest))
            ctx.FailWith(destPath, "Cannot paste into '" + DisplayPath(destPath) + "': " + std::strerror(e) + ".");
    }

    std::vector<SourceItem> items;
    std::set<std::string> seen;
    for (const std::string& path : request.sources) {
        if (seen.insert(path).second)
            items.push_back(OpenSource(ctx, path, kVerb));
    }
    ctx.Progress().filesTotal = items.size();

    DesktopOffer desktop;
    for (const SourceItem& item : items) {
        ctx.StopIfCancelled();
        ctx.Progress().currentPath = item.path;
        ctx.ReportProgress();
        struct stat target = item.st;
        ::fstatat(item.parent.Get(), item.name.c_str(), &target, 0); // through a symbolic link when it leads somewhere
        const bool isFolder = S_ISDIR(target.st_mode);
        std::string folderPath = dest ? destPath : std::string(ParentOf(item.path));
        const int folderFd = dest ? dest.Get() : item.parent.Get();

        const bool copyOfShortcut = !isFolder && S_ISREG(target.st_mode) && IsShortcutFile(item.name);
        const auto bytesFor = [&](const std::string& linkFolder) {
            return copyOfShortcut ? ReadShortcutFile(ctx, item) : NewLinkBytes(ctx, item, isFolder, linkFolder, drives);
        };
        const auto nameFor = [&](int n) { return ShortcutName(item.name, isFolder, n); };
        int refused = 0;
        std::string name = WriteNew(ctx, folderFd, item.path, bytesFor(folderPath), nameFor, dest ? nullptr : &refused);
        if (refused != 0) {
            if (!desktop.Accepted(ctx, item, folderPath, refused)) {
                ++ctx.Progress().filesDone;
                continue;
            }
            folderPath = desktop.Path();
            name = WriteNew(ctx, desktop.Fd(), item.path, bytesFor(folderPath), nameFor);
        }
        ctx.Result().done.push_back(item.path);
        ctx.Result().created.push_back(JoinPath(folderPath, name));
        ++ctx.Progress().filesDone;
    }
}

} // namespace platform::fileops
