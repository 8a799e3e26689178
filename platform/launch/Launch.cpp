// GIO comes before any Qt header: Qt's "signals" keyword would break its headers.
#include "platform/launch/GioHandles.h"
#include <gio/gdesktopappinfo.h>

#include "platform/launch/Launch.h"

#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <QWidget>

#include "platform/drivemap/DriveMap.h"
#include "platform/ini/IniFile.h"
#include "platform/shell/FsAccess.h"
#include "platform/shell/NetworkMounts.h"
#include "platform/shelllink/ShellLink.h"
#include "platform/ui/ArrowCursor.h"
#include "platform/util/CommandLine.h"
#include "platform/util/Text.h"

namespace platform::launch {
namespace {

namespace fs = shell::fs;

// A .url leading to a .lnk leading to a .url ...: followed this far, no further.
constexpr int kMaxHops = 4;

QString Display(std::string_view bytes)
{
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QString Title()
{
    const QString name = QGuiApplication::applicationDisplayName();
    return name.isEmpty() ? QStringLiteral("Open") : name;
}

void Tell(QWidget* owner, const QString& text)
{
    QMessageBox box(QMessageBox::Warning, Title(), text, QMessageBox::Ok, owner);
    box.setTextFormat(Qt::PlainText);
    const ui::ArrowCursor arrow;
    box.exec();
}

bool Confirm(QWidget* owner, const QString& text)
{
    QMessageBox box(QMessageBox::Question, Title(), text, QMessageBox::Yes | QMessageBox::No, owner);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::No);
    const ui::ArrowCursor arrow;
    return box.exec() == QMessageBox::Yes;
}

QString ErrorText(const GError* error)
{
    return error && error->message ? QString::fromUtf8(error->message) : QStringLiteral("Unknown error");
}

std::string Extension(std::string_view name)
{
    const std::size_t slash = name.rfind('/');
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash))
        return {};
    return AsciiLower(name.substr(dot));
}

bool IsFolder(const std::string& path)
{
    struct stat st {};
    return fs::Stat(path, st, true) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const std::string& path)
{
    struct stat st {};
    return fs::Stat(path, st, true) == 0;
}

// An executable file the host itself runs: an ELF binary or a script with "#!".
bool IsHostProgram(const std::string& path)
{
    struct stat st {};
    if (fs::Stat(path, st, true) != 0 || !S_ISREG(st.st_mode) || fs::Access(path, X_OK) != 0)
        return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    fs::UniqueFd file(fd);
    char head[4] = {};
    const ssize_t n = ::read(fd, head, sizeof head);
    return (n >= 4 && std::string_view(head, 4) == "\x7f" "ELF") || (n >= 2 && head[0] == '#' && head[1] == '!');
}

std::string ContentTypeOf(const std::string& path)
{
    // On a network mount only the name is looked at: the server may not answer.
    if (!shell::NetworkMountOf(path)) {
        GObjectPtr<GFile> file(g_file_new_for_path(path.c_str()));
        GObjectPtr<GFileInfo> info(g_file_query_info(file.get(), G_FILE_ATTRIBUTE_STANDARD_CONTENT_TYPE,
                                                     G_FILE_QUERY_INFO_NONE, nullptr, nullptr));
        if (info) {
            if (const char* type = g_file_info_get_content_type(info.get()))
                return type;
        }
    }
    GCharPtr guessed(g_content_type_guess(path.c_str(), nullptr, 0, nullptr));
    return guessed ? guessed.get() : "application/octet-stream";
}

// The files as a GList of GFiles made from the paths' bytes.
GObjectListPtr FileList(const std::vector<std::string>& paths)
{
    GList* list = nullptr;
    for (auto it = paths.rbegin(); it != paths.rend(); ++it)
        list = g_list_prepend(list, g_file_new_for_path(it->c_str()));
    return GObjectListPtr(list);
}

bool LaunchApp(GAppInfo* app, const std::vector<std::string>& paths, QWidget* owner)
{
    GObjectListPtr files = FileList(paths);
    GError* raw = nullptr;
    if (g_app_info_launch(app, files.get(), nullptr, &raw))
        return true;
    GErrorPtr error(raw);
    Tell(owner, QStringLiteral("%1 could not be started: %2")
                    .arg(QString::fromUtf8(g_app_info_get_name(app)), ErrorText(raw)));
    return false;
}

bool OpenWithDefault(const std::string& path, const std::string& type, QWidget* owner)
{
    GObjectPtr<GAppInfo> app(g_app_info_get_default_for_type(type.c_str(), FALSE));
    if (!app) {
        Tell(owner, type == "inode/directory"
                        ? QStringLiteral("No file manager is set up to open the folder \"%1\".").arg(Display(path))
                        : QStringLiteral("No application is set up to open \"%1\" (%2).")
                              .arg(Display(path), Display(type)));
        return false;
    }
    return LaunchApp(app.get(), {path}, owner);
}

// Starts argv[0] with the arguments; no shell reads them. env: "NAME=value" entries
// to set on top of this process's environment.
using EnvVars = std::vector<std::pair<std::string, std::string>>;
bool Spawn(const std::vector<std::string>& argv, const std::string& workingDir, const EnvVars& env, QWidget* owner)
{
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    GStrvPtr environment(g_get_environ());
    for (const auto& [name, value] : env)
        environment.reset(g_environ_setenv(environment.release(), name.c_str(), value.c_str(), TRUE));
    GError* raw = nullptr;
    const char* dir = workingDir.empty() || !IsFolder(workingDir) ? nullptr : workingDir.c_str();
    if (g_spawn_async(dir, args.data(), environment.get(), G_SPAWN_DEFAULT, nullptr, nullptr, nullptr, &raw))
        return true;
    GErrorPtr error(raw);
    Tell(owner, QStringLiteral("\"%1\" could not be started: %2").arg(Display(argv[0]), ErrorText(raw)));
    return false;
}

std::string FolderOf(const std::string& path)
{
    const std::string_view parent = fs::ParentOf(path);
    return parent.empty() ? std::string("/") : std::string(parent);
}

// "wine start /unix PATH" with WINEPREFIX set to the prefix holding `prefixOf`;
// where Wine is not installed, says that `program` cannot run.
bool RunWithWine(const std::string& path, const std::string& program, const std::string& prefixOf,
                 const std::string& workingDir, QWidget* owner)
{
    GCharPtr wine(g_find_program_in_path("wine"));
    if (!wine) {
        Tell(owner, QStringLiteral("\"%1\" is a Windows program. It cannot run here: Wine, which runs Windows "
                                   "programs, is not installed.")
                        .arg(Display(fs::BaseName(program))));
        return false;
    }
    EnvVars env;
    if (const std::optional<std::string> prefix = WinePrefixHolding(prefixOf))
        env.emplace_back("WINEPREFIX", *prefix);
    return Spawn({wine.get(), "start", "/unix", path}, workingDir, env, owner);
}

bool OpenPathHops(const std::string& path, QWidget* owner, int hops);

bool OpenUrlHops(const std::string& url, QWidget* owner, int hops);

// A shell link: its target, found through the drive map of the prefix holding it.
bool OpenShellLink(const std::string& linkPath, QWidget* owner, int hops)
{
    const QString name = Display(fs::BaseName(linkPath));
    ShellLink link;
    if (!link.Load(linkPath)) {
        Tell(owner, QStringLiteral("The shortcut \"%1\" cannot be read.").arg(name));
        return false;
    }
    if (link.TargetIsShellObject()) {
        Tell(owner, QStringLiteral("The shortcut \"%1\" leads to a Windows system object, which cannot be opened "
                                   "here.")
                        .arg(name));
        return false;
    }
    const std::optional<std::string> prefix = WinePrefixHolding(linkPath);
    const DriveMap drives = prefix ? DriveMap::FromPrefix(*prefix) : DriveMap::Default();
    const WinEnvironment env = prefix ? WinEnvironment::FromPrefix(*prefix) : WinEnvironment::Default();

    const std::string raw = link.GetPath(SLGP_RAWPATH);
    std::optional<std::string> target = drives.ToHostPath(env.Expand(raw));
    if (!target || !Exists(*target)) {
        // The relative path, as resolving tries it.
        std::string relative = link.GetRelativePath();
        for (char& c : relative)
            if (c == '\\')
                c = '/';
        target.reset();
        if (!relative.empty() && relative[0] != '/') {
            const std::string candidate = fs::JoinPath(FolderOf(linkPath), relative);
            if (Exists(candidate))
                target = candidate;
        }
    }
    if (!target) {
        Tell(owner, QStringLiteral("The item \"%1\" that the shortcut \"%2\" leads to cannot be found.")
                        .arg(Display(raw), name));
        return false;
    }
    std::string workingDir;
    if (const std::string wd = link.GetWorkingDirectory(); !wd.empty())
        workingDir = drives.ToHostPath(env.Expand(wd)).value_or(std::string());
    if (workingDir.empty() || !IsFolder(workingDir))
        workingDir = IsFolder(*target) ? *target : FolderOf(*target);

    const std::string ext = Extension(*target);
    if (ext == ".lnk")
        return hops > 0 && OpenPathHops(*target, owner, hops - 1);
    if (IsWindowsProgramName(*target))
        return RunWithWine(linkPath, *target, linkPath, workingDir, owner);
    if (IsFolder(*target))
        return OpenFolder(*target, owner);
    if (IsHostProgram(*target)) {
        std::vector<std::string> argv{*target};
        for (std::string& arg : SplitArguments(link.GetArguments()))
            argv.push_back(std::move(arg));
        return Spawn(argv, workingDir, {}, owner);
    }
    return hops > 0 && OpenPathHops(*target, owner, hops - 1);
}

bool OpenPathHops(const std::string& path, QWidget* owner, int hops)
{
    if (path.empty() || path[0] != '/' || path.find('\0') != std::string::npos)
        return false;
    if (!Exists(path)) {
        Tell(owner, QStringLiteral("\"%1\" cannot be found.").arg(Display(path)));
        return false;
    }
    if (IsFolder(path))
        return OpenFolder(path, owner);
    const std::string ext = Extension(path);
    if (ext == ".url") {
        const std::string url = IniFile::Load(path).ReadString("InternetShortcut", "URL");
        if (url.empty()) {
            Tell(owner,
                 QStringLiteral("The Internet shortcut \"%1\" holds no address.").arg(Display(fs::BaseName(path))));
            return false;
        }
        return OpenUrlHops(url, owner, hops);
    }
    if (ext == ".lnk" || ext == ".pif")
        return OpenShellLink(path, owner, hops);
    if (IsWindowsProgramName(path))
        return RunWithWine(path, path, path, FolderOf(path), owner);
    if (IsHostProgram(path))
        return Spawn({path}, FolderOf(path), {}, owner);
    return OpenWithDefault(path, ContentTypeOf(path), owner);
}

// The scheme of a URL ("http"), or empty when it has none. A single letter is a
// Windows drive ("C:\x"), not a scheme.
std::string SchemeOf(std::string_view url)
{
    const std::size_t colon = url.find(':');
    if (colon == std::string_view::npos || colon < 2)
        return {};
    for (std::size_t i = 0; i < colon; ++i) {
        const char c = url[i];
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!(letter || (i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'))))
            return {};
    }
    return AsciiLower(url.substr(0, colon));
}

bool OpenUrlHops(const std::string& url, QWidget* owner, int hops)
{
    for (const char c : url) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            Tell(owner, QStringLiteral("The address \"%1\" is not valid.").arg(Display(url).simplified()));
            return false;
        }
    }
    if (!IsWebOrMailUrl(url) &&
        !Confirm(owner, QStringLiteral("This shortcut does not lead to a web or mail address. It leads to:\n\n%1\n\n"
                                       "Opening it may start a program. Open it only if you trust where it came "
                                       "from.\n\nOpen it?")
                            .arg(Display(url))))
        return false;
    const std::string scheme = SchemeOf(url);
    if (scheme.empty()) {
        // A path: a Windows one through the drive map, or a host one.
        const std::optional<std::string> host =
            url[0] == '/' ? std::optional<std::string>(url) : DriveMap::Default().ToHostPath(url);
        if (!host) {
            Tell(owner, QStringLiteral("The address \"%1\" cannot be opened.").arg(Display(url)));
            return false;
        }
        return hops > 0 && OpenPathHops(*host, owner, hops - 1);
    }
    if (scheme == "file") {
        GObjectPtr<GFile> file(g_file_new_for_uri(url.c_str()));
        GCharPtr path(g_file_get_path(file.get()));
        if (path && path.get()[0] == '/')
            return hops > 0 && OpenPathHops(path.get(), owner, hops - 1);
    }
    GError* raw = nullptr;
    if (g_app_info_launch_default_for_uri(url.c_str(), nullptr, &raw))
        return true;
    GErrorPtr error(raw);
    Tell(owner, QStringLiteral("\"%1\" could not be opened: %2").arg(Display(url), ErrorText(raw)));
    return false;
}

} // namespace

bool OpenPath(const std::string& path, QWidget* owner)
{
    return OpenPathHops(path, owner, kMaxHops);
}

bool OpenFolder(const std::string& path, QWidget* owner)
{
    return OpenWithDefault(path, "inode/directory", owner);
}

bool OpenFolderUri(const std::string& uri, QWidget* owner)
{
    GObjectPtr<GAppInfo> app(g_app_info_get_default_for_type("inode/directory", FALSE));
    if (!app) {
        Tell(owner, QStringLiteral("No file manager is set up to open \"%1\".").arg(Display(uri)));
        return false;
    }
    GList* uris = g_list_prepend(nullptr, const_cast<char*>(uri.c_str()));
    GError* raw = nullptr;
    const bool ok = g_app_info_launch_uris(app.get(), uris, nullptr, &raw);
    g_list_free(uris);
    GErrorPtr error(raw);
    if (!ok)
        Tell(owner, QStringLiteral("\"%1\" could not be opened: %2").arg(Display(uri), ErrorText(raw)));
    return ok;
}

bool OpenUrl(const std::string& url, QWidget* owner)
{
    return OpenUrlHops(url, owner, kMaxHops);
}

bool IsWebOrMailUrl(std::string_view url)
{
    const std::string scheme = SchemeOf(url);
    if (scheme == "mailto")
        return url.size() > 7;
    if (scheme != "http" && scheme != "https" && scheme != "ftp")
        return false;
    // A web address names a host: "http://host...".
    const std::string_view rest = url.substr(scheme.size() + 1);
    return rest.size() > 2 && rest.substr(0, 2) == "//" && rest[2] != '/';
}

std::vector<AppChoice> AppsForPaths(const std::vector<std::string>& paths)
{
    std::vector<AppChoice> apps;
    if (paths.empty())
        return apps;
    const std::string type = ContentTypeOf(paths.front());
    for (std::size_t i = 1; i < paths.size(); ++i)
        if (ContentTypeOf(paths[i]) != type)
            return apps;
    GList* all = g_app_info_get_all_for_type(type.c_str());
    GObjectListPtr owned(all);
    for (GList* l = all; l; l = l->next) {
        auto* app = G_APP_INFO(l->data);
        const char* id = g_app_info_get_id(app);
        if (!id || !g_app_info_should_show(app))
            continue;
        AppChoice choice{id, g_app_info_get_name(app), {}};
        if (GIcon* icon = g_app_info_get_icon(app)) {
            GCharPtr text(g_icon_to_string(icon));
            if (text)
                choice.icon = text.get();
        }
        apps.push_back(std::move(choice));
    }
    return apps;
}

bool OpenWith(const std::string& appId, const std::vector<std::string>& paths, QWidget* owner)
{
    GObjectPtr<GDesktopAppInfo> app(g_desktop_app_info_new(appId.c_str()));
    if (!app) {
        Tell(owner, QStringLiteral("The application \"%1\" is no longer installed.").arg(Display(appId)));
        return false;
    }
    return LaunchApp(G_APP_INFO(app.get()), paths, owner);
}

bool IsWindowsProgramName(std::string_view name)
{
    const std::string ext = Extension(name);
    return ext == ".exe" || ext == ".bat" || ext == ".cmd" || ext == ".com" || ext == ".msi" || ext == ".pif";
}

std::optional<std::string> WinePrefixHolding(const std::string& path)
{
    std::string at(fs::ParentOf(path));
    while (!at.empty()) {
        struct stat st {};
        if (fs::Stat(fs::JoinPath(at, "system.reg"), st, true) == 0 && S_ISREG(st.st_mode) &&
            IsFolder(fs::JoinPath(at, "dosdevices")))
            return at;
        if (at == "/")
            break;
        const std::string_view parent = fs::ParentOf(at);
        at = parent.empty() ? std::string("/") : std::string(parent);
    }
    return std::nullopt;
}

} // namespace platform::launch
