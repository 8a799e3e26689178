// GIO comes before any Qt header: Qt's "signals" keyword would break its headers.
#include "platform/launch/GioHandles.h"
#include <gio/gdesktopappinfo.h>

#include "platform/launch/Launch.h"

#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QVBoxLayout>
#include <QWidget>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "platform/drivemap/DriveMap.h"
#include "platform/ini/IniFile.h"
#include "platform/launch/LaunchTrust.h"
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

ProgramStarter& Starter()
{
    static ProgramStarter starter;
    return starter;
}

// Starts argv[0] with the arguments; no shell reads them. env: variables to set on
// top of this process's environment.
bool Spawn(const std::vector<std::string>& argv, const std::string& workingDir, const EnvVars& env, QWidget* owner)
{
    const std::string dir = workingDir.empty() || !IsFolder(workingDir) ? std::string() : workingDir;
    if (const ProgramStarter& starter = Starter())
        return starter(argv, dir, env);
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    GStrvPtr environment(g_get_environ());
    for (const auto& [name, value] : env)
        environment.reset(g_environ_setenv(environment.release(), name.c_str(), value.c_str(), TRUE));
    GError* raw = nullptr;
    if (g_spawn_async(dir.empty() ? nullptr : dir.c_str(), args.data(), environment.get(), G_SPAWN_DEFAULT, nullptr,
                      nullptr, nullptr, &raw))
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

QString Quoted(std::string_view text)
{
    return QStringLiteral("“%1”").arg(Display(text));
}

// The bytes of a shortcut file, read once: what is hashed is what is resolved. A
// FIFO or a device is no shortcut: O_NONBLOCK, so that opening one cannot hang,
// then refused. Past the size the link reader accepts, no file is read on.
constexpr std::size_t kMaxShortcutFile = 64u << 20;
std::optional<std::vector<std::uint8_t>> ReadShortcutBytes(const std::string& path)
{
    fs::UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat st {};
    if (!file || ::fstat(file.Get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<std::uint64_t>(st.st_size) > kMaxShortcutFile)
        return std::nullopt;
    std::vector<std::uint8_t> bytes;
    bytes.reserve(static_cast<std::size_t>(st.st_size));
    std::uint8_t chunk[16384];
    for (;;) {
        const ssize_t n = ::read(file.Get(), chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 || bytes.size() + static_cast<std::size_t>(n) > kMaxShortcutFile)
            return std::nullopt;
        if (n == 0)
            return bytes;
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
}

// What one item of an Open does, decided before anything opens: one question can
// then cover every program of the Open, and Cancel leaves all of them unopened.
enum class StepKind { Fail, Folder, Document, InternetShortcut, HostProgram, WindowsProgram, DesktopEntry };

struct Step {
    StepKind kind = StepKind::Fail;
    std::string path;  // what opens or runs
    QString message;   // Fail: what to tell; empty: nothing
    std::string type;  // Document, DesktopEntry: the content type
    int hops = 0;      // InternetShortcut: how many more shortcuts its address may pass
    // Programs: what the shortcut hands them.
    std::string arguments; // Windows command-line text
    std::string workingDir;
    int showCmd = 1;
    std::string prefix;     // Windows programs: the Wine prefix they run in
    bool setPrefix = false; // WINEPREFIX is set to it; otherwise Wine takes the user's own
    bool prefixTrusted = true;
    // The question.
    bool ask = false;
    QString shows;                     // the target the shortcut shows, where it is not `path`
    std::string shortcut;              // the shortcut that named the program
    std::string linkPath, fingerprint; // the same, when it may be remembered; empty: not
};

bool IsProgram(const Step& step)
{
    return step.kind == StepKind::HostProgram || step.kind == StepKind::WindowsProgram ||
           step.kind == StepKind::DesktopEntry;
}

Step Failure(QString message)
{
    Step step;
    step.message = std::move(message);
    return step;
}

Step FolderStep(const std::string& path)
{
    Step step;
    step.kind = StepKind::Folder;
    step.path = path;
    return step;
}

// What a shortcut hands on to the file it leads to.
struct LinkContext {
    std::string path;
    std::string fingerprint;
    std::string arguments;
    std::string workingDir;
    int showCmd = 1;
    std::optional<std::string> prefix; // the prefix holding it
    QString shows;
};

bool IsDesktopEntry(const std::string& path, const std::string& type)
{
    return Extension(path) == ".desktop" || type == "application/x-desktop";
}

// A file that is no folder, no shortcut: a program, a desktop entry or a document;
// `via` is the shortcut that led to it, if any.
Step FileStep(const std::string& path, const LinkContext* via)
{
    Step step;
    step.path = path;
    if (IsWindowsProgramName(path)) {
        step.kind = StepKind::WindowsProgram;
    } else if (IsHostProgram(path)) {
        step.kind = StepKind::HostProgram;
    } else {
        step.type = ContentTypeOf(path);
        step.kind = IsDesktopEntry(path, step.type) ? StepKind::DesktopEntry : StepKind::Document;
    }
    if (step.kind == StepKind::Document)
        return step;
    if (step.kind == StepKind::WindowsProgram && !GCharPtr(g_find_program_in_path("wine")))
        return Failure(QStringLiteral("\"%1\" is a Windows program. It cannot run here: Wine, which runs Windows "
                                      "programs, is not installed.")
                           .arg(Display(fs::BaseName(path))));

    step.workingDir = FolderOf(path);
    std::optional<std::string> holding;
    if (via) {
        if (step.kind != StepKind::DesktopEntry) {
            step.arguments = via->arguments;
            step.workingDir = via->workingDir;
        }
        step.showCmd = via->showCmd;
        step.shows = via->shows;
        step.shortcut = via->path;
        if (step.shows.isEmpty()) {
            step.linkPath = via->path;
            step.fingerprint = via->fingerprint;
        }
        holding = via->prefix;
    } else {
        holding = WinePrefixHolding(path);
    }

    bool trusted = false;
    if (step.kind == StepKind::WindowsProgram) {
        // A folder that merely looks like a prefix is no prefix of the user's: it
        // brings its own registry (Run keys, DLL overrides) and system32.
        step.setPrefix = holding.has_value();
        step.prefix = holding.value_or(UsersOwnPrefix());
        step.prefixTrusted = IsTrustedPrefix(step.prefix);
        trusted = step.prefixTrusted &&
                  (LiesInside(path, step.prefix) || LiesInside(path, fs::JoinPath(step.prefix, "drive_c")));
    } else {
        trusted = IsSystemProgram(path);
    }
    // A trusted program still does what its arguments say (a shell's "-c"), and many
    // read files from the folder they start in (make, a DLL beside the working
    // folder): a shortcut that hands over either asks.
    std::string_view workingDir = step.workingDir; // "C:\Games\" maps with its "/" kept
    while (workingDir.size() > 1 && workingDir.back() == '/')
        workingDir.remove_suffix(1);
    const bool handsNothing = step.arguments.empty() && workingDir == FolderOf(path);
    const bool remembered = !step.linkPath.empty() && IsRememberedShortcut(step.linkPath, step.fingerprint);
    step.ask = !step.shows.isEmpty() || !((trusted && handsNothing) || remembered);
    return step;
}

void PlanPath(const std::string& path, int hops, std::vector<Step>& plan);

// A shell link: its target, found through the drive map of the prefix holding it.
// `shownBefore`: what a shortcut leading here showed instead of its real target.
void PlanLink(const std::string& linkPath, int hops, const QString& shownBefore, std::vector<Step>& plan)
{
    const QString name = Display(fs::BaseName(linkPath));
    ShellLink link;
    LinkContext via;
    via.path = linkPath;
    const std::optional<std::vector<std::uint8_t>> bytes = ReadShortcutBytes(linkPath);
    if (!bytes || !link.LoadFromBytes(*bytes)) {
        plan.push_back(Failure(QStringLiteral("The shortcut \"%1\" cannot be read.").arg(name)));
        return;
    }
    via.fingerprint = ShortcutFingerprint(*bytes);
    if (link.TargetIsShellObject()) {
        plan.push_back(Failure(
            QStringLiteral("The shortcut \"%1\" leads to a Windows system object, which cannot be opened here.")
                .arg(name)));
        return;
    }
    via.prefix = WinePrefixHolding(linkPath);
    const DriveMap drives = via.prefix ? DriveMap::FromPrefix(*via.prefix) : DriveMap::Default();
    const WinEnvironment env = via.prefix ? WinEnvironment::FromPrefix(*via.prefix) : WinEnvironment::Default();

    const std::string raw = link.GetPath(SLGP_RAWPATH);
    std::optional<std::string> target = drives.ToHostPath(env.Expand(raw));
    bool fromRelativePath = false;
    if (!target || !Exists(*target)) {
        // The relative path, as resolving tries it. "." and empty parts drop out, so
        // that the question shows the path plainly; ".." stays for the kernel to
        // follow, as it does through links.
        std::string relative = link.GetRelativePath();
        for (char& c : relative)
            if (c == '\\')
                c = '/';
        target.reset();
        if (!relative.empty() && relative[0] != '/') {
            std::string candidate = FolderOf(linkPath);
            std::size_t pos = 0;
            for (std::string_view part = fs::NextName(relative, pos); !part.empty(); part = fs::NextName(relative, pos))
                if (part != ".")
                    candidate = fs::JoinPath(candidate, part);
            if (Exists(candidate)) {
                target = candidate;
                fromRelativePath = true;
            }
        }
    }
    if (!target) {
        plan.push_back(Failure(QStringLiteral("The item \"%1\" that the shortcut \"%2\" leads to cannot be found.")
                                   .arg(Display(raw), name)));
        return;
    }

    // The list and the property window show the raw path, and resolve it through the
    // user's own drive map; a prefix the user trusts is the user's own too.
    via.shows = shownBefore;
    if (via.shows.isEmpty()) {
        std::optional<std::string> shown;
        if (!fromRelativePath)
            shown = !via.prefix || IsTrustedPrefix(*via.prefix)
                        ? target
                        : DriveMap::Default().ToHostPath(WinEnvironment::Default().Expand(raw));
        if (shown != target)
            via.shows = raw.empty() ? QStringLiteral("no target") : Quoted(raw);
    }

    if (const std::string wd = link.GetWorkingDirectory(); !wd.empty())
        via.workingDir = drives.ToHostPath(env.Expand(wd)).value_or(std::string());
    if (via.workingDir.empty() || !IsFolder(via.workingDir))
        via.workingDir = IsFolder(*target) ? *target : FolderOf(*target);
    via.arguments = link.GetArguments();
    via.showCmd = link.GetShowCmd();

    if (Extension(*target) == ".lnk") {
        if (hops > 0)
            PlanLink(*target, hops - 1, via.shows, plan);
        else
            plan.push_back(Failure({}));
        return;
    }
    if (IsFolder(*target)) {
        plan.push_back(FolderStep(*target));
        return;
    }
    Step step = FileStep(*target, &via);
    if (step.kind != StepKind::Document) {
        plan.push_back(std::move(step));
        return;
    }
    // Not a program: the target opens as a path does (a document, an Internet shortcut).
    if (hops > 0)
        PlanPath(*target, hops - 1, plan);
    else
        plan.push_back(Failure({}));
}

void PlanPath(const std::string& path, int hops, std::vector<Step>& plan)
{
    if (path.empty() || path[0] != '/' || path.find('\0') != std::string::npos) {
        plan.push_back(Failure({}));
        return;
    }
    if (!Exists(path)) {
        plan.push_back(Failure(QStringLiteral("\"%1\" cannot be found.").arg(Display(path))));
        return;
    }
    if (IsFolder(path)) {
        plan.push_back(FolderStep(path));
        return;
    }
    const std::string ext = Extension(path);
    if (ext == ".url") {
        Step step;
        step.kind = StepKind::InternetShortcut;
        step.path = path;
        step.hops = hops;
        plan.push_back(std::move(step));
        return;
    }
    if (ext == ".lnk" || ext == ".pif") {
        PlanLink(path, hops, {}, plan);
        return;
    }
    plan.push_back(FileStep(path, nullptr));
}

// The command line a desktop entry runs, for the question.
std::string DesktopEntryCommand(const std::string& path)
{
    GObjectPtr<GDesktopAppInfo> app(g_desktop_app_info_new_from_filename(path.c_str()));
    const char* command = app ? g_app_info_get_commandline(G_APP_INFO(app.get())) : nullptr;
    return command ? command : std::string();
}

QString Describe(const Step& step)
{
    QString text = Quoted(step.path);
    if (step.kind == StepKind::DesktopEntry) {
        if (const std::string command = DesktopEntryCommand(step.path); !command.empty())
            text += QStringLiteral(", a desktop entry that runs %1,").arg(Quoted(command));
    } else if (!step.arguments.empty()) {
        text += QStringLiteral(" with the arguments %1").arg(Quoted(step.arguments));
    }
    if (step.kind == StepKind::WindowsProgram)
        text += QStringLiteral(" in the Wine prefix %1").arg(Quoted(step.prefix));
    return text;
}

// QMessageBox has room for one check box; a second one shares its cell.
void AddCheckBoxes(QMessageBox& box, QCheckBox* first, QCheckBox* second)
{
    if (!first)
        std::swap(first, second);
    if (!first)
        return;
    box.setCheckBox(first);
    if (!second)
        return;
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    const int at = grid ? grid->indexOf(first) : -1;
    if (at < 0) {
        box.layout()->addWidget(second);
        return;
    }
    int row = 0, column = 0, rows = 1, columns = 1;
    grid->getItemPosition(at, &row, &column, &rows, &columns);
    grid->removeWidget(first);
    auto* both = new QWidget;
    auto* stack = new QVBoxLayout(both);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->addWidget(first);
    stack->addWidget(second);
    grid->addWidget(both, row, column, rows, columns, Qt::AlignLeft);
}

// One question for every program of the plan that is not trusted; true when there
// is none or the user chose Run.
bool ConfirmPrograms(const std::vector<Step>& plan, QWidget* owner)
{
    std::vector<const Step*> asking;
    for (const Step& step : plan)
        if (IsProgram(step) && step.ask)
            asking.push_back(&step);
    if (asking.empty())
        return true;
    // Those that start something else than they show come first: they are the ones
    // the first lines speak of.
    std::stable_partition(asking.begin(), asking.end(), [](const Step* s) { return !s->shows.isEmpty(); });

    QString text;
    if (asking.size() == 1) {
        const Step& step = *asking.front();
        if (!step.shows.isEmpty())
            text += QStringLiteral("This shortcut shows %1 but would start %2.\n\n").arg(step.shows, Quoted(step.path));
        text += QStringLiteral("Run %1?\n\nRun it only if you trust where the shortcut came from.").arg(Describe(step));
    } else {
        constexpr std::size_t kListed = 10;
        const std::size_t listed = std::min(asking.size(), kListed);
        for (std::size_t i = 0; i < listed; ++i) {
            if (!asking[i]->shows.isEmpty())
                text += QStringLiteral("The shortcut %1 shows %2 but would start %3.\n")
                            .arg(Quoted(fs::BaseName(asking[i]->shortcut)), asking[i]->shows,
                                 Quoted(asking[i]->path));
        }
        if (!text.isEmpty())
            text += QLatin1Char('\n');
        text += QStringLiteral("Run these %1 programs?\n\n").arg(asking.size());
        for (std::size_t i = 0; i < listed; ++i)
            text += QStringLiteral("• %1\n").arg(Describe(*asking[i]));
        if (asking.size() > listed)
            text += QStringLiteral("… and %1 more.\n").arg(asking.size() - listed);
        text += QStringLiteral("\nRun them only if you trust where the shortcuts came from.");
    }

    std::vector<const Step*> rememberable;
    std::vector<std::string> strangePrefixes;
    for (const Step* step : asking) {
        if (!step->linkPath.empty() && !step->fingerprint.empty())
            rememberable.push_back(step);
        if (step->kind == StepKind::WindowsProgram && !step->prefixTrusted &&
            std::find(strangePrefixes.begin(), strangePrefixes.end(), step->prefix) == strangePrefixes.end())
            strangePrefixes.push_back(step->prefix);
    }

    QMessageBox box(QMessageBox::Question, Title(), text, QMessageBox::Ok | QMessageBox::Cancel, owner);
    box.setTextFormat(Qt::PlainText);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("Run"));
    box.setDefaultButton(QMessageBox::Cancel);
    box.setEscapeButton(QMessageBox::Cancel);
    QPointer<QCheckBox> remember, trustPrefixes;
    if (!rememberable.empty())
        remember = new QCheckBox(rememberable.size() == 1 ? QStringLiteral("Do not ask again for this shortcut")
                                                          : QStringLiteral("Do not ask again for these shortcuts"));
    if (!strangePrefixes.empty())
        trustPrefixes = new QCheckBox(strangePrefixes.size() == 1
                                          ? QStringLiteral("Always run programs of this prefix")
                                          : QStringLiteral("Always run programs of these prefixes"));
    AddCheckBoxes(box, remember, trustPrefixes);
    {
        const ui::ArrowCursor arrow;
        if (box.exec() != QMessageBox::Ok)
            return false;
    }
    bool saved = true;
    if (remember && remember->isChecked())
        for (const Step* step : rememberable)
            saved = RememberShortcut(step->linkPath, step->fingerprint) && saved;
    if (trustPrefixes && trustPrefixes->isChecked())
        for (const std::string& prefix : strangePrefixes)
            saved = TrustPrefix(prefix) && saved;
    if (!saved)
        Tell(owner, QStringLiteral("Your choice could not be kept: the registry cannot be written. The programs run "
                                   "this time."));
    return true;
}

// "wine start /unix PROGRAM ARGUMENTS...": Wine starts the program Quillmere resolved
// and showed, never a link it would resolve again by itself.
bool RunWindowsProgram(const Step& step, QWidget* owner)
{
    GCharPtr wine(g_find_program_in_path("wine"));
    if (!wine) {
        Tell(owner, QStringLiteral("\"%1\" is a Windows program. It cannot run here: Wine, which runs Windows "
                                   "programs, is not installed.")
                        .arg(Display(fs::BaseName(step.path))));
        return false;
    }
    std::vector<std::string> argv{wine.get(), "start"};
    switch (step.showCmd) {
    case 2: case 6: case 7: argv.emplace_back("/min"); break; // SW_SHOWMINIMIZED, SW_MINIMIZE, SW_SHOWMINNOACTIVE
    case 3: argv.emplace_back("/max"); break;                 // SW_SHOWMAXIMIZED
    default: break;
    }
    argv.emplace_back("/unix");
    argv.push_back(step.path);
    for (std::string& arg : SplitArguments(step.arguments))
        argv.push_back(std::move(arg));
    EnvVars env;
    if (step.setPrefix)
        env.emplace_back("WINEPREFIX", step.prefix);
    return Spawn(argv, step.workingDir, env, owner);
}

bool OpenUrlHops(const std::string& url, QWidget* owner, int hops);

bool RunStep(const Step& step, QWidget* owner)
{
    switch (step.kind) {
    case StepKind::Fail:
        if (!step.message.isEmpty())
            Tell(owner, step.message);
        return false;
    case StepKind::Folder:
        return OpenFolder(step.path, owner);
    case StepKind::Document:
    case StepKind::DesktopEntry:
        return OpenWithDefault(step.path, step.type, owner);
    case StepKind::InternetShortcut: {
        const std::string url = IniFile::Load(step.path).ReadString("InternetShortcut", "URL");
        if (url.empty()) {
            Tell(owner, QStringLiteral("The Internet shortcut \"%1\" holds no address.")
                            .arg(Display(fs::BaseName(step.path))));
            return false;
        }
        return OpenUrlHops(url, owner, step.hops);
    }
    case StepKind::HostProgram: {
        std::vector<std::string> argv{step.path};
        for (std::string& arg : SplitArguments(step.arguments))
            argv.push_back(std::move(arg));
        return Spawn(argv, step.workingDir, {}, owner);
    }
    case StepKind::WindowsProgram:
        return RunWindowsProgram(step, owner);
    }
    return false;
}

bool OpenPathsHops(const std::vector<std::string>& paths, QWidget* owner, int hops)
{
    std::vector<Step> plan;
    for (const std::string& path : paths)
        PlanPath(path, hops, plan);
    if (!ConfirmPrograms(plan, owner))
        return false;
    bool all = true;
    for (const Step& step : plan)
        all = RunStep(step, owner) && all;
    return all;
}

bool OpenPathHops(const std::string& path, QWidget* owner, int hops)
{
    return OpenPathsHops({path}, owner, hops);
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
    if (MailUrlAttachesFiles(url) &&
        !Confirm(owner, QStringLiteral("This mail address asks your mail program to attach files to the new "
                                       "message:\n\n%1\n\nThe files it names are sent to whoever you send the "
                                       "message to. Open it only if you trust where it came from.\n\nOpen it?")
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
    // GIO's own words for a missing browser ("The specified location is not
    // supported") do not tell the user what is missing, nor how to put it right.
    if ((scheme == "http" || scheme == "https") &&
        !GObjectPtr<GAppInfo>(g_app_info_get_default_for_uri_scheme(scheme.c_str()))) {
        Tell(owner, QStringLiteral("\"%1\" could not be opened: no program is set up to open web addresses.\n\n"
                                   "Choose a web browser in your desktop's default applications, or with the "
                                   "command\n    xdg-settings set default-web-browser BROWSER.desktop")
                        .arg(Display(url)));
        return false;
    }
    Tell(owner, QStringLiteral("\"%1\" could not be opened: %2").arg(Display(url), ErrorText(raw)));
    return false;
}

} // namespace

bool OpenPath(const std::string& path, QWidget* owner)
{
    return OpenPathHops(path, owner, kMaxHops);
}

bool OpenPaths(const std::vector<std::string>& paths, QWidget* owner)
{
    return OpenPathsHops(paths, owner, kMaxHops);
}

void SetProgramStarter(ProgramStarter starter)
{
    Starter() = std::move(starter);
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

bool MailUrlAttachesFiles(std::string_view url)
{
    if (SchemeOf(url) != "mailto")
        return false;
    const std::size_t query = url.find('?');
    if (query == std::string_view::npos)
        return false;
    std::string_view rest = url.substr(query + 1);
    rest = rest.substr(0, rest.find('#'));
    while (!rest.empty()) {
        const std::size_t end = rest.find_first_of("&;");
        const std::string_view field = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        // The name as a mail program reads it: percent-decoded, any case.
        const std::string_view encoded = field.substr(0, field.find('='));
        std::string name;
        for (std::size_t i = 0; i < encoded.size(); ++i) {
            if (encoded[i] == '%' && i + 2 < encoded.size() && HexDigitValue(encoded[i + 1]) >= 0 &&
                HexDigitValue(encoded[i + 2]) >= 0) {
                name += static_cast<char>(HexDigitValue(encoded[i + 1]) * 16 + HexDigitValue(encoded[i + 2]));
                i += 2;
            } else {
                name += encoded[i];
            }
        }
        const std::string lower = AsciiLower(name);
        if (lower == "attach" || lower == "attachment")
            return true;
    }
    return false;
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
