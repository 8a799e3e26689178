#include "platform/shellintegration/FolderHandler.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gio/gio.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <deque>
#include <memory>

#include "platform/shellintegration/MimeAppsList.h"
#include "platform/util/AtomicFile.h"
#include "platform/util/Text.h"

namespace platform {
namespace {

constexpr std::string_view kAddedGroup = "Added Associations";
constexpr std::string_view kDefaultGroup = "Default Applications";
// The lines of the entry that remember the default it wrote, and into which list.
constexpr std::string_view kRecordedKey = "X-Quillmere-Recorded-Default";
constexpr std::string_view kRecordedInKey = "X-Quillmere-Recorded-In";

std::string XdgHome(const char* variable, const char* fallback)
{
    const char* value = std::getenv(variable);
    if (value && value[0] == '/')
        return value;
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/" + fallback;
}

std::string ConfigHome() { return XdgHome("XDG_CONFIG_HOME", ".config"); }

std::string FolderOf(const std::string& path) { return path.substr(0, path.rfind('/')); }

bool MakeFolders(const std::string& path)
{
    if (path.empty())
        return true;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    if (!MakeFolders(FolderOf(path)))
        return false;
    return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

// nullopt when the file is there but can't be read; "" when it is absent.
std::optional<std::string> ReadWhole(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? std::optional<std::string>("") : std::nullopt;
    std::string text;
    char buf[8192];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0)
            text.append(buf, static_cast<std::size_t>(n));
    ::close(fd);
    return n == 0 ? std::optional<std::string>(std::move(text)) : std::nullopt;
}

// Replaces the file (the one a symbolic link leads to, as dotfile managers keep
// them) by a complete new one, so a reader or a crash sees the old text or the new,
// never half; its mode is kept.
bool WriteAtomically(const std::string& path, const std::string& text)
{
    return MakeFolders(FolderOf(path)) && WriteFileAtomically(path, text, WriteMode::Replace, 0644) == 0;
}

constexpr std::string_view kGenericListName = "mimeapps.list";

// A list file name this code may write beside mimeapps.list: that one, or a
// desktop's "NAME-mimeapps.list" (never a path into another folder).
bool IsListName(std::string_view name)
{
    return name.find('/') == std::string_view::npos &&
           (name == kGenericListName || (name.size() > kGenericListName.size() + 1 && name.ends_with("-mimeapps.list")));
}

// The default's line that an existing entry wrote, and the list it went into, from
// the entry's own text. Entries that name no list wrote into the generic one.
struct Recorded {
    std::string value;
    std::string listName;
};

Recorded RecordedDefault(std::string_view entry)
{
    const MimeAppsList parsed(entry); // the same key file syntax
    Recorded recorded{parsed.Get("Desktop Entry", kRecordedKey).value_or(""),
                      parsed.Get("Desktop Entry", kRecordedInKey).value_or(std::string(kGenericListName))};
    if (!IsListName(recorded.listName))
        return {};
    return recorded;
}

// The association lists an edit reads, each as it was and as edited, written back in
// the reverse of the order they were opened.
class ListFiles {
public:
    struct File {
        std::string name;
        std::string path;
        std::string before; // "" when the file is absent
        bool existed = false;
        MimeAppsList list;
    };

    // nullptr when the file is there but can't be read.
    File* Open(const std::string& name)
    {
        for (File& file : files_)
            if (file.name == name)
                return &file;
        const std::string path = ConfigHome() + "/" + name;
        const std::optional<std::string> text = ReadWhole(path);
        if (!text)
            return nullptr;
        struct stat st {};
        files_.push_back({name, path, *text, ::lstat(path.c_str(), &st) == 0, MimeAppsList(*text)});
        return &files_.back();
    }

    // A file left with nothing but blanks goes when it is one of its own (a link to
    // a file kept elsewhere stays, emptied). On a failure, those written already are
    // put back as they were.
    bool WriteChanged(bool deleteEmptied)
    {
        std::vector<const File*> done;
        for (auto it = files_.rbegin(); it != files_.rend(); ++it) {
            const std::string text = it->list.Text();
            if (text == it->before)
                continue;
            if (!Replace(*it, text, deleteEmptied)) {
                for (const File* file : done) {
                    if (file->existed)
                        WriteAtomically(file->path, file->before);
                    else
                        ::unlink(file->path.c_str());
                }
                return false;
            }
            done.push_back(&*it);
        }
        return true;
    }

private:
    static bool Replace(const File& file, const std::string& text, bool deleteEmptied)
    {
        struct stat st {};
        if (deleteEmptied && text.find_first_not_of(" \t\r\n") == std::string::npos &&
            ::lstat(file.path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            return ::unlink(file.path.c_str()) == 0;
        return WriteAtomically(file.path, text);
    }

    std::deque<File> files_; // stays put as files are added
};

} // namespace

bool IsOfferableProgramPath(std::string_view programPath)
{
    if (programPath.empty() || programPath.front() != '/' || !IsValidUtf8(programPath))
        return false;
    for (std::size_t i = 0; i < programPath.size();) {
        char32_t c = 0;
        const std::size_t length = DecodeUtf8(programPath, i, c);
        if (length == 0)
            return false;
        i += length;
        if (c < 0x20 || c == 0x7f || (c >= 0x80 && c < 0xa0) || c == 0x2028 || c == 0x2029)
            return false;
    }
    return true;
}

std::string FolderCommandLine(std::string_view programPath)
{
    return "\"" + std::string(programPath) + "\" \"%1\"";
}

std::string DesktopExecValue(std::string_view programPath)
{
    // GIO checks that the program named first on the line exists before it takes
    // "%%" for "%", so it would refuse the entry of a path holding "%": such a path
    // goes to the shell as an argument, which then runs it.
    std::string exec = programPath.find('%') == std::string_view::npos
                           ? "\""
                           : R"(/bin/sh -c "exec \\"\\$0\\" \\"\\$@\\"" ")";
    for (const char c : programPath) {
        switch (c) {
        case '"':
        case '`':
        case '$':
            exec += "\\\\";
            exec += c;
            break;
        case '\\':
            exec += "\\\\\\\\";
            break;
        case '%':
            exec += "%%";
            break;
        default:
            exec += c;
        }
    }
    return exec + "\" %f";
}

std::string FolderHandlerEntry(std::string_view programPath, std::string_view recordedDefault,
                               std::string_view recordedIn)
{
    std::string entry = "[Desktop Entry]\n"
                        "Type=Application\n"
                        "Name=Quillmere\n"
                        "Comment=Show the folder's shortcut files\n"
                        "Exec=" +
                        DesktopExecValue(programPath) +
                        "\n"
                        "Icon=quillmere\n"
                        "Terminal=false\n"
                        "MimeType=" +
                        std::string(kFolderMimeType) +
                        ";\n"
                        "NoDisplay=true\n";
    if (!recordedDefault.empty())
        entry += std::string(kRecordedKey) + "=" + std::string(recordedDefault) + "\n";
    if (!recordedDefault.empty() && !recordedIn.empty() && recordedIn != kGenericListName)
        entry += std::string(kRecordedInKey) + "=" + std::string(recordedIn) + "\n";
    return entry;
}

std::string FolderHandlerPath()
{
    return XdgHome("XDG_DATA_HOME", ".local/share") + "/applications/" + std::string(kFolderHandlerId);
}

std::string MimeAppsListPath() { return ConfigHome() + "/" + std::string(kGenericListName); }

std::string DesktopMimeAppsListName()
{
    const char* desktops = std::getenv("XDG_CURRENT_DESKTOP");
    const std::string name =
        AsciiLower(desktops ? std::string_view(desktops).substr(0, std::string_view(desktops).find(':')) : "");
    const std::string listName = name + "-" + std::string(kGenericListName);
    return !name.empty() && IsListName(listName) ? listName : std::string(kGenericListName);
}

std::string DesktopMimeAppsListPath() { return ConfigHome() + "/" + DesktopMimeAppsListName(); }

std::optional<std::string> DefaultFolderHandler()
{
    GAppInfo* info = g_app_info_get_default_for_type(std::string(kFolderMimeType).c_str(), FALSE);
    if (!info)
        return std::nullopt;
    std::optional<std::string> id;
    if (const char* name = g_app_info_get_id(info))
        id = name;
    g_object_unref(info);
    return id;
}

bool AddFolderHandler(std::string_view programPath)
{
    // Read before anything changes: once the entry is added it may be the answer.
    return IsOfferableProgramPath(programPath) && AddFolderHandler(programPath, DefaultFolderHandler());
}

bool AddFolderHandler(std::string_view programPath, const std::optional<std::string>& currentDefault)
{
    if (!IsOfferableProgramPath(programPath))
        return false;
    const std::string entryPath = FolderHandlerPath();
    const std::optional<std::string> oldEntry = ReadWhole(entryPath);
    if (!oldEntry)
        return false;
    ListFiles lists;
    ListFiles::File* generic = lists.Open(std::string(kGenericListName));
    ListFiles::File* desktop = lists.Open(DesktopMimeAppsListName());
    if (!generic || !desktop)
        return false;

    const std::string mime(kFolderMimeType);
    // A default this entry recorded before stays recorded while its line is unchanged,
    // in whichever list it went.
    Recorded recorded = RecordedDefault(*oldEntry);
    if (!recorded.value.empty()) {
        const ListFiles::File* held = lists.Open(recorded.listName);
        if (!held)
            return false;
        if (held->list.Get(kDefaultGroup, mime) != recorded.value)
            recorded = {};
    }
    // Only where no list of the user names a default: a line of ours in the desktop's
    // list would outrank one the user later writes into the generic list. It goes
    // into the desktop's own list, which no other desktop reads.
    if (recorded.value.empty() && !generic->list.Get(kDefaultGroup, mime) && !desktop->list.Get(kDefaultGroup, mime) &&
        currentDefault && !currentDefault->empty() && *currentDefault != kFolderHandlerId) {
        recorded = {MimeAppsList::JoinIds({*currentDefault}), desktop->name};
        desktop->list.Set(kDefaultGroup, mime, recorded.value);
    }
    std::vector<std::string> added = MimeAppsList::SplitIds(generic->list.Get(kAddedGroup, mime).value_or(""));
    if (std::find(added.begin(), added.end(), kFolderHandlerId) == added.end()) {
        added.emplace_back(kFolderHandlerId);
        generic->list.Set(kAddedGroup, mime, MimeAppsList::JoinIds(added));
    }

    // The entry first: the association never names an entry that is not there. The
    // generic list, opened first, is written last: the association comes only once
    // the default it could displace is recorded.
    if (!WriteAtomically(entryPath, FolderHandlerEntry(programPath, recorded.value, recorded.listName)))
        return false;
    if (!lists.WriteChanged(false)) {
        if (oldEntry->empty())
            ::unlink(entryPath.c_str());
        return false;
    }
    return true;
}

bool RemoveFolderHandler()
{
    const std::string entryPath = FolderHandlerPath();
    const std::optional<std::string> entry = ReadWhole(entryPath);
    if (!entry)
        return false;
    const Recorded recorded = RecordedDefault(*entry);
    // The generic list, opened last, is written first: the association goes before
    // the default's line (a default left recorded alone is the one that was current
    // anyway; an association left alone could become the default).
    ListFiles lists;
    ListFiles::File* held = recorded.value.empty() ? nullptr : lists.Open(recorded.listName);
    ListFiles::File* generic = lists.Open(std::string(kGenericListName));
    if (!generic || (!recorded.value.empty() && !held))
        return false;

    const std::string mime(kFolderMimeType);
    if (const std::optional<std::string> value = generic->list.Get(kAddedGroup, mime)) {
        std::vector<std::string> added = MimeAppsList::SplitIds(*value);
        if (std::erase(added, std::string(kFolderHandlerId)) > 0) {
            if (added.empty())
                generic->list.Remove(kAddedGroup, mime);
            else
                generic->list.Set(kAddedGroup, mime, MimeAppsList::JoinIds(added));
        }
    }
    if (held && held->list.Get(kDefaultGroup, mime) == recorded.value)
        held->list.Remove(kDefaultGroup, mime);

    // A file that held nothing but what was added goes with it.
    bool ok = lists.WriteChanged(true);
    // The association goes first: it never names an entry that is not there.
    if (ok && ::unlink(entryPath.c_str()) != 0 && errno != ENOENT)
        ok = false;
    return ok;
}

} // namespace platform
