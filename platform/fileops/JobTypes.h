#pragma once
// What a file job is asked to do, what it reports while it runs, the questions it
// asks and what it answers at the end. Host paths are bytes, absolute, and reach the
// system calls unchanged; nothing here is text for display.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/drivemap/DriveMap.h"

namespace platform::fileops {

enum class JobKind {
    Copy,  // "paste" after Copy
    Move,  // "paste" after Cut
    Link,  // "pastelink" into a folder, or "link" beside each source (no destination)
    Trash, // "delete"
};

struct JobRequest {
    JobKind kind = JobKind::Copy;
    std::vector<std::string> sources; // absolute host paths
    // The folder to paste into. Empty for Trash, and for Link when each shortcut
    // goes beside its target.
    std::string destination;
    // The drive map that turns link targets into Windows paths; the process's own
    // when absent.
    std::optional<DriveMap> drives;
    // Create Shortcut (Link with no destination): where a shortcut goes, once the
    // user agrees, when its source's folder may not be written to. The user's
    // desktop folder when absent; an empty path offers nothing.
    std::optional<std::string> desktop;

    static JobRequest Paste(std::vector<std::string> sources, bool cut, std::string destination);
    static JobRequest PasteShortcut(std::vector<std::string> sources, std::string destination);
    static JobRequest CreateShortcut(std::vector<std::string> sources);
    static JobRequest Delete(std::vector<std::string> sources);
};

struct JobProgress {
    std::string currentPath; // the source being worked on
    std::uint64_t filesDone = 0;
    std::uint64_t filesTotal = 0;
    std::uint64_t bytesDone = 0;
    std::uint64_t bytesTotal = 0;
};

enum class QuestionKind {
    // The destination already holds the name. Replace is offered only when both
    // are folders (then it merges them) or both are not.
    Conflict,
    // Before anything is moved to the trash: `count` items, `source` the first one.
    ConfirmTrash,
    // `source` cannot go to the trash (its file system has none): delete it for good?
    DeletePermanently,
    // Create Shortcut: the folder of `source` may not be written to; put the
    // shortcut on the desktop, `existing`, instead? Asked once in a job: Yes puts
    // every such shortcut there, Skip makes none of them.
    LinkOnDesktop,
};

struct ItemFacts {
    bool isFolder = false;
    std::uint64_t size = 0;
    std::int64_t modified = 0; // seconds since 1970
};

struct JobQuestion {
    QuestionKind kind = QuestionKind::Conflict;
    std::string source;
    std::string existing; // Conflict: the item already at the destination
    ItemFacts sourceFacts;
    ItemFacts existingFacts;
    bool canReplace = false; // Conflict
    std::size_t count = 0;   // ConfirmTrash
};

enum class Choice {
    Replace,  // Conflict: replace the file, or merge the folders
    Skip,     // Conflict: leave this item; DeletePermanently: keep it
    KeepBoth, // Conflict: a numbered name, "NAME (2).EXT"
    Yes,      // ConfirmTrash, DeletePermanently
    Cancel,   // stop the whole job
};

struct JobReply {
    Choice choice = Choice::Cancel;
    bool applyToAll = false; // the same answer for the questions of this kind still to come
};

struct JobResult {
    bool cancelled = false;
    // Empty when all went well; otherwise one sentence naming the file and why
    // (UTF-8; names that are not UTF-8 show their bytes as \xNN).
    std::string error;
    std::string errorPath;
    // The sources the job finished with: copied, moved (the source is gone), linked,
    // trashed or deleted. After a move, the sources listed here no longer exist.
    std::vector<std::string> done;
    // What the job made at the top of the destination: copies, moved items, links.
    std::vector<std::string> created;
    bool Succeeded() const { return !cancelled && error.empty(); }
};

} // namespace platform::fileops
