#include "platform/shellintegration/FolderHandler.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gio/gio.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>

#include "platform/shellintegration/MimeAppsList.h"
#include "platform/util/AtomicFile.h"
#include "platform/util/Text.h"

namespace platform {
namespace {

constexpr std::string_view kAddedGroup = "Added Associations";
constexpr std::string_view kDefaultGroup = "Default Applications";
// The line of the entry that remembers the default it wrote into mimeapps.list.
constexpr std::string_view kRecordedKey = "X-Quillmere-Recorded-Default";

std::string XdgHome(const char* variable, const char* fallback)
{
    const char* value = std::getenv(variable);
    if (value && value[0] == '/')
        return value;
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/" + fallback;
}

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

// The default's line that an existing entry wrote, from its own text.
std::string RecordedDefault(std::string_view entry)
{
    const MimeAppsList parsed(entry); // the same key file syntax
    return parsed.Get("Desktop Entry", kRecordedKey).value_or("");
}

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

std::string FolderHandlerEntry(std::string_view programPath, std::string_view recordedDefault)
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
    return entry;
}

std::string FolderHandlerPath()
{
    return XdgHome("XDG_DATA_HOME", ".local/share") + "/applications/" + std::string(kFolderHandlerId);
}

std::string MimeAppsListPath() { return XdgHome("XDG_CONFIG_HOME", ".config") + "/mimeapps.list"; }

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
    const std::string listPath = MimeAppsListPath();
    const std::optional<std::string> oldEntry = ReadWhole(entryPath);
    const std::optional<std::string> oldList = ReadWhole(listPath);
    if (!oldEntry || !oldList)
        return false;

    MimeAppsList list(*oldList);
    const std::string mime(kFolderMimeType);
    // A default this entry wrote before stays recorded while the line is unchanged.
    std::string recorded = RecordedDefault(*oldEntry);
    const std::optional<std::string> named = list.Get(kDefaultGroup, mime);
    if (!named || *named != recorded)
        recorded.clear();
    if (!named && currentDefault && !currentDefault->empty() && *currentDefault != kFolderHandlerId) {
        recorded = MimeAppsList::JoinIds({*currentDefault});
        list.Set(kDefaultGroup, mime, recorded);
    }
    std::vector<std::string> added = MimeAppsList::SplitIds(list.Get(kAddedGroup, mime).value_or(""));
    if (std::find(added.begin(), added.end(), kFolderHandlerId) == added.end()) {
        added.emplace_back(kFolderHandlerId);
        list.Set(kAddedGroup, mime, MimeAppsList::JoinIds(added));
    }

    // The entry first: the association never names an entry that is not there.
    if (!WriteAtomically(entryPath, FolderHandlerEntry(programPath, recorded)))
        return false;
    if (list.Text() != *oldList && !WriteAtomically(listPath, list.Text())) {
        if (oldEntry->empty())
            ::unlink(entryPath.c_str());
        return false;
    }
    return true;
}

bool RemoveFolderHandler()
{
    const std::string entryPath = FolderHandlerPath();
    const std::string listPath = MimeAppsListPath();
    const std::optional<std::string> entry = ReadWhole(entryPath);
    const std::optional<std::string> oldList = ReadWhole(listPath);
    if (!entry || !oldList)
        return false;

    MimeAppsList list(*oldList);
    const std::string mime(kFolderMimeType);
    if (const std::optional<std::string> value = list.Get(kAddedGroup, mime)) {
        std::vector<std::string> added = MimeAppsList::SplitIds(*value);
        if (std::erase(added, std::string(kFolderHandlerId)) > 0) {
            if (added.empty())
                list.Remove(kAddedGroup, mime);
            else
                list.Set(kAddedGroup, mime, MimeAppsList::JoinIds(added));
        }
    }
    const std::string recorded = RecordedDefault(*entry);
    if (!recorded.empty() && list.Get(kDefaultGroup, mime) == recorded)
        list.Remove(kDefaultGroup, mime);

    const std::string text = list.Text();
    bool ok = true;
    if (text != *oldList) {
        // A file that held nothing but what was added goes with it (a link to a
        // file kept elsewhere stays, emptied).
        struct stat st {};
        if (text.find_first_not_of(" \t\r\n") == std::string::npos && ::lstat(listPath.c_str(), &st) == 0 &&
            S_ISREG(st.st_mode))
            ok = ::unlink(listPath.c_str()) == 0;
        else
            ok = WriteAtomically(listPath, text);
    }
    // The association goes first: it never names an entry that is not there.
    if (ok && ::unlink(entryPath.c_str()) != 0 && errno != ENOENT)
        ok = false;
    return ok;
}

} // namespace platform
