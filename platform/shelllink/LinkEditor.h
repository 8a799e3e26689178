#pragma once
// Editing a shortcut file, shell link or Internet shortcut: one code path behind the
// property window's pages and the command line's --edit and --create.
//
// Only the fields given change. A shell link keeps every block it does not change
// byte for byte; its ID list and LinkInfo are rebuilt only when the target changes,
// and then its relative path is made again from the link's own folder (or removed
// when none can be made), so that the old one cannot lead the resolver back to the
// old target. An Internet shortcut gets only its URL and Hotkey lines rewritten.
// Saving is atomic; a read-only file, a file that was not read whole and a file that
// changed since it was read are refused with a message that says so.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

class DriveMap;
class ShellLink;
class WinEnvironment;

enum class ShortcutKind { ShellLink, InternetShortcut };
// ".url" in any letter case is an Internet shortcut; any other name a shell link.
ShortcutKind ShortcutKindOf(std::string_view hostPath);

// Where saving the shortcut at `hostPath` may write: the path itself, or, when its
// name is a symbolic link, the file the link leads to if that is a regular file the
// user owns whose name makes it a shortcut of the same kind (.lnk or .pif, or .url).
// A link from someone else must not turn a save into a write to any file the user
// can write. Nothing, and the reason in `refusal`, otherwise.
std::optional<std::string> ShortcutSavePath(const std::string& hostPath, std::string& refusal);

struct ShortcutIcon {
    std::string location; // a Windows path; empty: none
    int index = 0;
    bool operator==(const ShortcutIcon&) const = default;
};

// What a shortcut holds, as the editor shows it. Texts are UTF-8, paths Windows
// paths as stored (%VARS% kept), nothing cut.
struct ShortcutValues {
    std::string target; // the raw target path; for an Internet shortcut the URL
    std::string arguments;
    std::string workingDirectory;
    std::string description;
    ShortcutIcon icon;
    std::uint16_t hotkey = 0; // stored form: HOTKEYF_ flags in the high byte
    int showCommand = 1;
};

// The fields to change; those left empty stay as they are. Paths may be Windows
// paths, kept as written, or host paths (starting with "/"), which become Windows
// paths through the drive map. An empty text removes the field (the target excepted:
// it is required). An Internet shortcut takes only the target (its URL) and the
// hotkey.
struct ShortcutEdits {
    std::optional<std::string> target;
    std::optional<std::string> arguments;
    std::optional<std::string> workingDirectory;
    std::optional<std::string> description;
    std::optional<ShortcutIcon> icon;
    std::optional<std::uint16_t> hotkey; // stored form; 0 removes it
    std::optional<int> showCommand;      // SW_ value
    bool Empty() const;
};

enum class EditStatus {
    Ok,
    Damaged,  // Load: opened with what could be read; Save: refused for that reason
    Invalid,  // an edit was refused; nothing changed
    ReadOnly, // the file is read-only
    Changed,  // the file changed (or went) since it was read
    Exists,   // a new file's name is taken
    Failed,   // the file could not be read or written (the system's reason)
};

// The field an Invalid result is about, for a window to put the user back in it.
enum class EditField { None, Target, WorkingDirectory };

struct EditResult {
    EditStatus status = EditStatus::Ok;
    std::string message; // for the user, without the file's name: "the target is empty"
    EditField field = EditField::None;
    bool Ok() const { return status == EditStatus::Ok; }
};

enum class SaveMode {
    Normal,           // refused when the file changed since it was read
    OverwriteChanges, // the user chose to save over those changes
    CreateNew,        // a new file, never in place of an existing one
};

class LinkEditor {
public:
    // The drive map and environment must outlive the editor.
    explicit LinkEditor(std::string hostPath);
    LinkEditor(std::string hostPath, const DriveMap& drives, const WinEnvironment& env);
    ~LinkEditor();
    // A copy edits on its own: a window tries its edits on a copy, and keeps the
    // file as it read it when the save is refused.
    LinkEditor(const LinkEditor&);
    LinkEditor& operator=(const LinkEditor&);
    LinkEditor(LinkEditor&&) noexcept;
    LinkEditor& operator=(LinkEditor&&) noexcept;

    // Reads the file. Damaged: what could be read is shown and the file cannot be
    // saved; Failed: nothing could be read (missing, a folder, unreadable).
    EditResult Load();
    // Starts a new, empty shortcut of the path's kind, saved with CreateNew.
    void StartNew();

    const std::string& Path() const { return path_; }
    // The file was renamed (by the caller, in its folder): saves go to the new name.
    void MovedTo(std::string hostPath) { path_ = std::move(hostPath); }
    ShortcutKind Kind() const { return kind_; }
    bool Damaged() const { return damaged_; }
    ShortcutValues Values() const;
    // True when the file's content would change on saving.
    bool Modified() const;
    // What Save would write.
    std::string Bytes() const;

    // Checks every edit first: an Invalid result changes nothing.
    EditResult Apply(const ShortcutEdits& edits);
    EditResult Save(SaveMode mode = SaveMode::Normal);

    // The link's own relative path for a target: from the link's folder, both as
    // Windows paths on one drive ("..\..\Program Files\x.exe", ".\x.exe"). Empty
    // when none can be made (another drive, a UNC path, a folder the drive map does
    // not reach).
    static std::string RelativeLinkPath(const std::string& linkHostPath, std::string_view expandedTarget,
                                        const DriveMap& drives);

private:
    EditResult ApplyToLink(const ShortcutEdits& edits);
    EditResult ApplyToUrl(const ShortcutEdits& edits);

    std::string path_;
    ShortcutKind kind_;
    const DriveMap* drives_;
    const WinEnvironment* env_;
    std::unique_ptr<ShellLink> link_;
    std::string text_;     // an Internet shortcut's bytes, as edited
    std::string original_; // the file's bytes as read (or as last saved)
    bool loaded_ = false;
    bool new_ = false;
    bool damaged_ = false;
};

// Problems with what a user typed, as a sentence; empty when there is none.
// A Windows path: no control characters and none of < > " | ? *, and ":" only after
// a drive letter.
std::string WindowsPathProblem(std::string_view path);
// A URL: a scheme ("http:", "mailto:", two or more letters), something after it, no
// control characters and no blanks at either end.
std::string UrlProblem(std::string_view url);

// A path as typed to a Windows path: surrounding double quotes dropped, a host path
// ("/...") turned into a Windows path through the drive map; no value (and a
// problem) when it cannot be one.
std::optional<std::string> WindowsPathFromInput(std::string_view text, const DriveMap& drives, std::string& problem);

// A shell link's target as typed, as every road that writes one takes it (the
// property window, --edit, --create, the wizard): a full path, that is a host path
// ("/..."), "X:\" or "X:/", UNC ("\\server\share") or one that starts with a
// %VAR%, goes through WindowsPathFromInput; a bare program name (no "\" or "/")
// becomes the file the shell would find for it on the Windows search path,
// %SystemRoot%\system32 then %SystemRoot% (".exe" tried after a name without one).
// Anything else names no place of its own ("Games\game.exe", "C:game.exe", which
// means the drive's current folder, "\game.exe") and has no value, as has a bare
// name found nowhere: a link written from it would have no target.
std::optional<std::string> LinkTargetFromInput(std::string_view text, const DriveMap& drives,
                                               const WinEnvironment& env, std::string& problem);

} // namespace platform
