// Paste: copies, or moves after a cut.
//
// Regular files are copied through descriptors here rather than by g_file_copy: GIO
// spends a pipe, three splices and a full attribute query on every file, which made
// 10,000 small files cost two to three times what `cp -r` takes. What GIO's
// G_FILE_COPY_ALL_METADATA and G_FILE_COPY_NOFOLLOW_SYMLINKS promise is kept: times,
// permissions and user extended attributes go with each copy, and symbolic links are
// copied as links, never followed.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <set>

#include "platform/fileops/JobContext.h"
#include "platform/fileops/NewNames.h"
#include "platform/fileops/TreeOps.h"
#include "platform/util/AtomicFile.h"

namespace platform::fileops {
namespace {

using shell::fs::JoinPath;
using shell::fs::RenameNoReplace;

// Up to this size a file is read into memory in one go; larger ones go through
// copy_file_range in chunks, between which a cancel is noticed.
constexpr std::size_t kBufferSize = 1 << 20;
constexpr std::size_t kChunk = 8 << 20;
constexpr int kMaxNumber = 9999;

enum class NodeKind { File, Folder, Symlink };

// What the scan found: the tree to copy, with the totals the progress counts.
struct Node {
    std::string name;
    NodeKind kind = NodeKind::File;
    std::uint64_t files = 1; // this entry and everything in it
    std::uint64_t bytes = 0;
    std::vector<Node> children;
};

enum class Placement { Create, Replace, Merge, Skip };

struct Target {
    std::string name;
    Placement how = Placement::Create;
};

// What a move copied, by identity and state, so that afterwards only sources that
// were copied whole and have not changed since are removed; and what it made at the
// destination, so that a move that fails takes back only that.
class CopiedSet {
public:
    void Add(const struct stat& st) { items_[{st.st_dev, st.st_ino}] = State(st); }
    bool Unchanged(const struct stat& st) const
    {
        const auto it = items_.find({st.st_dev, st.st_ino});
        return it != items_.end() && it->second == State(st);
    }
    void AddMade(const struct stat& st) { made_.insert({st.st_dev, st.st_ino}); }
    bool Made(const struct stat& st) const { return made_.contains({st.st_dev, st.st_ino}); }

private:
    using StateTuple = std::tuple<off_t, time_t, long, mode_t>;
    static StateTuple State(const struct stat& st)
    {
        return {st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec, st.st_mode & S_IFMT};
    }
    std::map<std::pair<dev_t, ino_t>, StateTuple> items_;
    std::set<std::pair<dev_t, ino_t>> made_;
};

// Removes a file the job started writing unless it was finished.
class PartialFile {
public:
    PartialFile(int dirFd, std::string name) : dirFd_(dirFd), name_(std::move(name)) {}
    ~PartialFile()
    {
        if (!kept_)
            ::unlinkat(dirFd_, name_.c_str(), 0);
    }
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;
    void Keep() { kept_ = true; }

private:
    int dirFd_;
    std::string name_;
    bool kept_ = false;
};

// The process's umask without changing it (umask() would, for every thread).
mode_t CurrentUmask()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
    }
    return 0777; // unknown: always set the permissions explicitly
}

ItemFacts FactsOf(const struct stat& st)
{
    return {S_ISDIR(st.st_mode), static_cast<std::uint64_t>(st.st_size), st.st_mtim.tv_sec};
}

int WriteAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

// User extended attributes, as GIO copies them; the other namespaces belong to the
// system or need privileges. Failures are ignored: the destination may not keep any.
void CopyUserAttributes(int in, int out)
{
    const ssize_t size = ::flistxattr(in, nullptr, 0);
    if (size <= 0)
        return;
    std::vector<char> names(static_cast<std::size_t>(size));
    const ssize_t got = ::flistxattr(in, names.data(), names.size());
    if (got <= 0)
        return;
    std::vector<char> value;
    for (std::size_t at = 0; at < static_cast<std::size_t>(got);) {
        const char* name = names.data() + at;
        at += std::strlen(name) + 1;
        if (std::strncmp(name, "user.", 5) != 0)
            continue;
        const ssize_t len = ::fgetxattr(in, name, nullptr, 0);
        if (len < 0)
            continue;
        value.resize(static_cast<std::size_t>(len));
        const ssize_t read = ::fgetxattr(in, name, value.data(), value.size());
        if (read >= 0)
            ::fsetxattr(out, name, value.data(), static_cast<std::size_t>(read), 0);
    }
}

class Transfer {
public:
    explicit Transfer(JobContext& ctx)
        : ctx_(ctx), move_(ctx.Request().kind == JobKind::Move), verb_(move_ ? "move" : "copy"),
          umask_(CurrentUmask()), random_(std::random_device{}())
    {
    }

    void Run()
    {
        OpenDestination();
        // Every source is looked at, and every tree to copy read, before anything is
        // written: what cannot be read stops the job while nothing is half done.
        std::vector<SourceItem> items;
        std::set<std::string> seen;
        for (const std::string& path : ctx_.Request().sources) {
            if (seen.insert(path).second)
                items.push_back(OpenSource(ctx_, path, verb_));
        }
        for (const SourceItem& item : items) {
            if (S_ISDIR(item.st.st_mode) && FolderIsInside(dest_.Get(), item.st))
                ctx_.FailWith(item.path, "Cannot " + verb_ + " '" + DisplayPath(item.path) +
                                             "' into itself: the destination is that folder or one of its subfolders.");
        }
        std::vector<std::optional<Node>> trees(items.size());
        for (std::size_t i = 0; i < items.size(); ++i) {
            // A move within one file system is a rename; only what must be copied is read.
            if (!move_ || items[i].st.st_dev != destSt_.st_dev) {
                trees[i] = ScanItem(items[i]);
            } else {
                ++ctx_.Progress().filesTotal;
            }
        }
        ctx_.ReportProgress();

        for (std::size_t i = 0; i < items.size(); ++i) {
            ctx_.StopIfCancelled();
            ctx_.Progress().currentPath = items[i].path;
            ctx_.ReportProgress();
            if (move_)
                MoveItem(items[i], trees[i]);
            else
                CopyItem(items[i], *trees[i]);
        }
    }

private:
    void OpenDestination()
    {
        destPath_ = ctx_.Request().destination;
        while (destPath_.size() > 1 && destPath_.back() == '/')
            destPath_.pop_back();
        if (destPath_.empty() || destPath_.front() != '/')
            ctx_.FailWith(destPath_, "Cannot paste into '" + DisplayPath(destPath_) + "': it is not a folder.");
        if (const int e = shell::fs::OpenDirectory(destPath_, dest_))
            ctx_.FailWith(destPath_, "Cannot paste into '" + DisplayPath(destPath_) + "': " + std::strerror(e) + ".");
        ::fstat(dest_.Get(), &destSt_);
    }

    bool InDestination(const SourceItem& item) const
    {
        struct stat parent {};
        return ::fstat(item.parent.Get(), &parent) == 0 && parent.st_dev == destSt_.st_dev &&
               parent.st_ino == destSt_.st_ino;
    }

    Node ScanItem(const SourceItem& item)
    {
        std::vector<std::pair<dev_t, ino_t>> ancestors;
        Node tree = Scan(item.parent.Get(), item.name, item.path, item.st, ancestors);
        ctx_.Progress().filesTotal += tree.files;
        ctx_.Progress().bytesTotal += tree.bytes;
        return tree;
    }

    Node Scan(int dirFd, const std::string& name, const std::string& path, const struct stat& st,
              std::vector<std::pair<dev_t, ino_t>>& ancestors)
    {
        Node node;
        node.name = name;
        if (S_ISREG(st.st_mode)) {
            node.bytes = static_cast<std::uint64_t>(st.st_size);
            return node;
        }
        if (S_ISLNK(st.st_mode)) {
            node.kind = NodeKind::Symlink;
            return node;
        }
        if (!S_ISDIR(st.st_mode))
            ctx_.FailWith(path, "Cannot " + verb_ + " '" + DisplayPath(path) +
                                    "': it is a device, pipe or socket, which cannot be copied.");
        ctx_.StopIfCancelled();
        node.kind = NodeKind::Folder;
        for (const auto& [dev, ino] : ancestors) {
            if (dev == st.st_dev && ino == st.st_ino)
                ctx_.FailWith(path, "Cannot " + verb_ + " '" + DisplayPath(path) +
                                        "': the folder contains itself (a folder mounted inside its own tree).");
        }
        UniqueFd folder(::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!folder)
            ctx_.Fail(path, verb_, errno);
        std::vector<std::string> names;
        if (const int e = ReadNames(folder.Get(), names))
            ctx_.Fail(path, verb_, e);
        ancestors.emplace_back(st.st_dev, st.st_ino);
        node.children.reserve(names.size());
        for (const std::string& child : names) {
            const std::string childPath = JoinPath(path, child);
            if (!IsSafeName(child))
                ctx_.FailWith(childPath, "Cannot " + verb_ + " '" + DisplayPath(childPath) + "': its name is not allowed.");
            struct stat childSt {};
            if (const int e = LookUp(folder.Get(), child, childSt)) {
                if (e == ENOENT)
                    continue; // gone since the folder was listed
                ctx_.Fail(childPath, verb_, e);
            }
            node.children.push_back(Scan(folder.Get(), child, childPath, childSt, ancestors));
            node.files += node.children.back().files;
            node.bytes += node.children.back().bytes;
        }
        ancestors.pop_back();
        return node;
    }

    void CountAsDone(const Node& node)
    {
        ctx_.Progress().filesDone += node.files;
        ctx_.Progress().bytesDone += node.bytes;
    }

    // The first name make(n), n = first, first + 1, ..., that the folder does not hold.
    template <class Make>
    std::string FreeName(int dirFd, const std::string& forPath, Make make, int first)
    {
        for (int n = first; n <= kMaxNumber; ++n) {
            std::string candidate = make(n);
            struct stat st {};
            if (LookUp(dirFd, candidate, st) != 0) // free, or creating it will say why not
                return candidate;
        }
        ctx_.FailWith(forPath, "Cannot " + verb_ + " '" + DisplayPath(forPath) + "': every numbered name is taken.");
    }

    // Where srcDir/name goes in dstDir: its own name when free, else what the user
    // answers. Nothing is replaced without a Replace answer.
    Target Resolve(int dstDir, const std::string& dstPath, int srcDir, const std::string& name,
                   const std::string& srcPath, bool isFolder)
    {
        struct stat existing {};
        if (const int e = LookUp(dstDir, name, existing)) {
            if (e == ENOENT)
                return {name, Placement::Create};
            ctx_.Fail(JoinPath(dstPath, name), verb_, e);
        }
        const bool canReplace = S_ISDIR(existing.st_mode) == isFolder;
        std::optional<JobReply>& sticky = isFolder ? stickyFolders_ : stickyFiles_;
        JobReply reply;
        if (sticky && (sticky->choice != Choice::Replace || canReplace)) {
            reply = *sticky;
        } else {
            JobQuestion q;
            q.kind = QuestionKind::Conflict;
            q.source = srcPath;
            q.existing = JoinPath(dstPath, name);
            q.canReplace = canReplace;
            struct stat st {};
            if (LookUp(srcDir, name, st) == 0)
                q.sourceFacts = FactsOf(st);
            q.existingFacts = FactsOf(existing);
            reply = ctx_.Ask(q);
            if (reply.applyToAll)
                sticky = reply;
        }
        switch (reply.choice) {
        case Choice::Replace:
            if (canReplace)
                return {name, isFolder ? Placement::Merge : Placement::Replace};
            return {name, Placement::Skip};
        case Choice::KeepBoth:
            return {FreeName(dstDir, srcPath, [&](int n) { return NumberedName(name, isFolder, n); }, 2),
                    Placement::Create};
        default:
            return {name, Placement::Skip};
        }
    }

    void CopyItem(const SourceItem& item, const Node& tree)
    {
        Target target;
        const bool isFolder = tree.kind == NodeKind::Folder;
        if (InDestination(item))
            target = {FreeName(dest_.Get(), item.path, [&](int n) { return CopyName(item.name, isFolder, n); }, 1),
                      Placement::Create};
        else
            target = Resolve(dest_.Get(), destPath_, item.parent.Get(), item.name, item.path, isFolder);
        if (target.how == Placement::Skip) {
            CountAsDone(tree);
            return;
        }
        CopyEntry(item.parent.Get(), tree, item.path, dest_.Get(), destPath_, target, nullptr);
        ctx_.Result().done.push_back(item.path);
        ctx_.Result().created.push_back(JoinPath(destPath_, target.name));
    }

    void CopyEntry(int srcDir, const Node& node, const std::string& srcPath, int dstDir, const std::string& dstFolder,
                   const Target& target, CopiedSet* copied)
    {
        switch (node.kind) {
        case NodeKind::File:
            CopyFile(srcDir, node, srcPath, dstDir, target, copied);
            break;
        case NodeKind::Symlink:
            CopySymlink(srcDir, node, srcPath, dstDir, target, copied);
            break;
        case NodeKind::Folder:
            CopyFolder(srcDir, node, srcPath, dstDir, JoinPath(dstFolder, target.name), target, copied);
            break;
        }
    }

    // A hidden name beside the file being replaced, for the copy that replaces it
    // only once it is complete.
    std::string TempName(int dirFd)
    {
        std::uniform_int_distribution<std::uint32_t> digits;
        for (;;) {
            char name[32];
            std::snprintf(name, sizeof name, ".quillmere-%08x", digits(random_));
            struct stat st {};
            if (LookUp(dirFd, name, st) != 0)
                return name;
        }
    }

    void CopyFile(int srcDir, const Node& node, const std::string& srcPath, int dstDir, const Target& target,
                  CopiedSet* copied)
    {
        ctx_.Progress().currentPath = srcPath;
        UniqueFd in(::openat(srcDir, node.name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        if (!in) {
            if (errno == ENOENT) { // gone since the scan: nothing to copy, nothing lost
                CountAsDone(node);
                return;
            }
            ctx_.Fail(srcPath, verb_, errno);
        }
        struct stat st {};
        if (::fstat(in.Get(), &st) != 0)
            ctx_.Fail(srcPath, verb_, errno);
        if (!S_ISREG(st.st_mode))
            ctx_.FailWith(srcPath, "Cannot " + verb_ + " '" + DisplayPath(srcPath) + "': it changed while being copied.");

        // Written where nobody sees it; it gets its name only once complete, so a
        // copy cut short (a cancel, an error, a kill) leaves nothing that looks whole.
        PendingFile out;
        if (const int e = out.Create(dstDir, target.name, st.st_mode & 0777))
            ctx_.Fail(srcPath, verb_, e);
        const std::uint64_t before = ctx_.Progress().bytesDone;
        const std::uint64_t written = CopyData(in.Get(), out.Fd(), st, srcPath);
        CopyUserAttributes(in.Get(), out.Fd());
        if ((st.st_mode & 0777 & umask_) != 0)
            ::fchmod(out.Fd(), st.st_mode & 0777);
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        ::futimens(out.Fd(), times);
        struct stat made {};
        if (copied)
            ::fstat(out.Fd(), &made);
        if (target.how == Placement::Replace) {
            if (const int e = out.ReplaceAs(target.name))
                ctx_.Fail(srcPath, verb_, e);
        } else if (const int e = out.LinkAs(target.name)) {
            if (e == EEXIST) // the name was free when it was chosen: never replace what came since
                ctx_.FailWith(srcPath, "Cannot " + verb_ + " '" + DisplayPath(srcPath) + "': '" +
                                           DisplayPath(target.name) + "' appeared in the destination meanwhile.");
            ctx_.Fail(srcPath, verb_, e);
        }
        if (copied)
            copied->AddMade(made);
        if (copied && written == static_cast<std::uint64_t>(st.st_size))
            copied->Add(st);
        ctx_.Progress().bytesDone = before + node.bytes; // as counted, though the file may have changed size
        ++ctx_.Progress().filesDone;
        ctx_.ReportProgress();
    }

    std::uint64_t CopyData(int in, int out, const struct stat& st, const std::string& srcPath)
    {
        if (buffer_.empty())
            buffer_.resize(kBufferSize);
        std::uint64_t written = 0;
        const auto size = static_cast<std::uint64_t>(st.st_size);
        bool useRange = size > kBufferSize;
        for (;;) {
            ssize_t n;
            if (useRange) {
                ctx_.StopIfCancelled();
                n = ::copy_file_range(in, nullptr, out, nullptr, kChunk, 0);
                if (n < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
                              errno == EBADF)) {
                    useRange = false; // not between these two: go on from where it stopped
                    continue;
                }
            } else {
                n = ::read(in, buffer_.data(), buffer_.size());
                if (n > 0) {
                    if (const int e = WriteAll(out, buffer_.data(), static_cast<std::size_t>(n)))
                        ctx_.Fail(srcPath, verb_, e);
                }
            }
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                ctx_.Fail(srcPath, verb_, errno);
            }
            if (n == 0)
                break;
            written += static_cast<std::uint64_t>(n);
            if (size > kBufferSize) {
                ctx_.Progress().bytesDone += static_cast<std::uint64_t>(n);
                ctx_.ReportProgress();
                ctx_.StopIfCancelled();
            }
            // A short read at the size the file had is its end; asking again would
            // cost a call per file.
            if (!useRange && static_cast<std::size_t>(n) < buffer_.size() && written >= size)
                break;
        }
        return written;
    }

    void CopySymlink(int srcDir, const Node& node, const std::string& srcPath, int dstDir, const Target& target,
                     CopiedSet* copied)
    {
        struct stat st {};
        if (const int e = LookUp(srcDir, node.name, st)) {
            if (e == ENOENT) {
                CountAsDone(node);
                return;
            }
            ctx_.Fail(srcPath, verb_, e);
        }
        std::string linkTarget(static_cast<std::size_t>(st.st_size) + 1, '\0');
        for (;;) {
            const ssize_t n = ::readlinkat(srcDir, node.name.c_str(), linkTarget.data(), linkTarget.size());
            if (n < 0)
                ctx_.Fail(srcPath, verb_, errno);
            if (static_cast<std::size_t>(n) < linkTarget.size()) {
                linkTarget.resize(static_cast<std::size_t>(n));
                break;
            }
            linkTarget.resize(linkTarget.size() * 2);
        }
        const bool replace = target.how == Placement::Replace;
        const std::string writeName = replace ? TempName(dstDir) : target.name;
        if (::symlinkat(linkTarget.c_str(), dstDir, writeName.c_str()) != 0)
            ctx_.Fail(srcPath, verb_, errno);
        PartialFile partial(dstDir, writeName);
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        ::utimensat(dstDir, writeName.c_str(), times, AT_SYMLINK_NOFOLLOW);
        if (struct stat made {}; copied && LookUp(dstDir, writeName, made) == 0)
            copied->AddMade(made);
        if (replace && ::renameat(dstDir, writeName.c_str(), dstDir, target.name.c_str()) != 0)
            ctx_.Fail(srcPath, verb_, errno);
        partial.Keep();
        if (copied)
            copied->Add(st);
        ++ctx_.Progress().filesDone;
        ctx_.ReportProgress();
    }

    void CopyFolder(int srcDir, const Node& node, const std::string& srcPath, int dstDir, const std::string& dstPath,
                    const Target& target, CopiedSet* copied)
    {
        UniqueFd in(::openat(srcDir, node.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!in) {
            if (errno == ENOENT) {
                CountAsDone(node);
                return;
            }
            ctx_.Fail(srcPath, verb_, errno);
        }
        struct stat st {};
        if (::fstat(in.Get(), &st) != 0)
            ctx_.Fail(srcPath, verb_, errno);
        const bool merge = target.how == Placement::Merge;
        // Made private while it fills, so that a read-only source folder can be filled.
        if (!merge && ::mkdirat(dstDir, target.name.c_str(), 0700) != 0)
            ctx_.Fail(srcPath, verb_, errno);
        UniqueFd out(::openat(dstDir, target.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!out)
            ctx_.Fail(srcPath, verb_, errno);
        if (struct stat made {}; copied && !merge && ::fstat(out.Get(), &made) == 0)
            copied->AddMade(made);
        ++ctx_.Progress().filesDone;
        for (const Node& child : node.children) {
            ctx_.StopIfCancelled();
            const std::string childSrc = JoinPath(srcPath, child.name);
            const Target childTarget = merge ? Resolve(out.Get(), dstPath, in.Get(), child.name, childSrc,
                                                       child.kind == NodeKind::Folder)
                                             : Target{child.name, Placement::Create};
            if (childTarget.how == Placement::Skip) {
                CountAsDone(child);
                continue;
            }
            CopyEntry(in.Get(), child, childSrc, out.Get(), dstPath, childTarget, copied);
        }
        if (!merge) {
            // Last, so that filling it did not change its times.
            ::fchmod(out.Get(), st.st_mode & 07777 & ~S_ISUID);
            const struct timespec times[2] = {st.st_atim, st.st_mtim};
            ::futimens(out.Get(), times);
        }
    }

    void MoveItem(const SourceItem& item, std::optional<Node>& tree)
    {
        if (InDestination(item)) { // already there: nothing to do
            if (tree)
                CountAsDone(*tree);
            else
                ++ctx_.Progress().filesDone;
            return;
        }
        const bool isFolder = S_ISDIR(item.st.st_mode);
        const Target target = Resolve(dest_.Get(), destPath_, item.parent.Get(), item.name, item.path, isFolder);
        if (target.how == Placement::Skip) {
            if (tree)
                CountAsDone(*tree);
            else
                ++ctx_.Progress().filesDone;
            return;
        }
        bool gone = false;
        if (!tree) {
            int e = 0;
            if (target.how == Placement::Merge) {
                gone = MergeByRenames(item.parent.Get(), item.name, item.path, dest_.Get(), target.name,
                                      JoinPath(destPath_, target.name));
            } else {
                e = target.how == Placement::Replace
                        ? (::renameat(item.parent.Get(), item.name.c_str(), dest_.Get(), target.name.c_str()) == 0 ? 0 : errno)
                        : RenameNoReplace(item.parent.Get(), item.name, dest_.Get(), target.name);
                gone = e == 0;
            }
            if (e == EXDEV) { // one device, two mounts: copy after all
                tree = ScanItem(item);
            } else if (e != 0) {
                ctx_.Fail(item.path, verb_, e);
            } else {
                ++ctx_.Progress().filesDone;
            }
        }
        if (tree)
            gone = MoveByCopy(item, *tree, target);
        if (gone)
            ctx_.Result().done.push_back(item.path);
        ctx_.Result().created.push_back(JoinPath(destPath_, target.name));
        ctx_.ReportProgress();
    }

    // Renames the entries of a folder into the folder of the same name at the
    // destination; answers whether the source folder is gone.
    bool MergeByRenames(int srcParent, const std::string& name, const std::string& srcPath, int dstParent,
                        const std::string& dstName, const std::string& dstPath)
    {
        UniqueFd from(::openat(srcParent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        UniqueFd to(::openat(dstParent, dstName.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!from || !to)
            ctx_.Fail(srcPath, verb_, errno);
        std::vector<std::string> names;
        if (const int e = ReadNames(from.Get(), names))
            ctx_.Fail(srcPath, verb_, e);
        bool whole = true;
        for (const std::string& child : names) {
            ctx_.StopIfCancelled();
            const std::string childSrc = JoinPath(srcPath, child);
            struct stat st {};
            if (LookUp(from.Get(), child, st) != 0)
                continue;
            const Target t = Resolve(to.Get(), dstPath, from.Get(), child, childSrc, S_ISDIR(st.st_mode));
            int e = 0;
            switch (t.how) {
            case Placement::Skip:
                whole = false;
                break;
            case Placement::Merge:
                whole = MergeByRenames(from.Get(), child, childSrc, to.Get(), t.name, JoinPath(dstPath, t.name)) && whole;
                break;
            case Placement::Replace:
                e = ::renameat(from.Get(), child.c_str(), to.Get(), t.name.c_str()) == 0 ? 0 : errno;
                break;
            case Placement::Create:
                e = RenameNoReplace(from.Get(), child, to.Get(), t.name);
                break;
            }
            if (e != 0)
                ctx_.Fail(childSrc, verb_, e);
        }
        if (whole && ::unlinkat(srcParent, name.c_str(), AT_REMOVEDIR) != 0)
            whole = false; // something arrived meanwhile; it stays where it is
        return whole;
    }

    // Across file systems: the whole item is copied, written to the disk, and only
    // then the sources that were copied unchanged are removed. A failure on the way
    // leaves the source whole and takes back what this move made.
    bool MoveByCopy(const SourceItem& item, const Node& tree, const Target& target)
    {
        CopiedSet copied;
        try {
            CopyEntry(item.parent.Get(), tree, item.path, dest_.Get(), destPath_, target, &copied);
            if (::syncfs(dest_.Get()) != 0)
                ctx_.Fail(item.path, verb_, errno);
        } catch (const JobStopped&) {
            // Only what this move made goes: a file that took a name meanwhile stays.
            if (struct stat top {}; target.how == Placement::Create && LookUp(dest_.Get(), target.name, top) == 0 &&
                                    copied.Made(top))
                RemoveEntry(ctx_, dest_.Get(), target.name, JoinPath(destPath_, target.name), verb_,
                            RemoveMode::BestEffort, [&](const struct stat& st) { return copied.Made(st); });
            throw;
        }
        return RemoveEntry(ctx_, item.parent.Get(), item.name, item.path, "remove the moved original of",
                           RemoveMode::StopOnError, [&](const struct stat& st) { return copied.Unchanged(st); });
    }

    JobContext& ctx_;
    const bool move_;
    const std::string verb_;
    const mode_t umask_;
    std::mt19937 random_;
    std::string destPath_;
    UniqueFd dest_;
    struct stat destSt_ {};
    std::optional<JobReply> stickyFiles_;
    std::optional<JobReply> stickyFolders_;
    std::vector<char> buffer_;
};

} // namespace

void RunTransfer(JobContext& ctx) { Transfer(ctx).Run(); }

} // namespace platform::fileops
