#include "platform/icons/SystemIconList.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeDatabase>
#include <QPainter>
#include <QStandardPaths>
#include <cstdlib>
#include <unordered_map>
#include <vector>

#include "platform/drivemap/DriveMap.h"
#include "platform/icons/ProgramIcons.h"
#include "platform/shell/FsAccess.h"
#include "platform/shell/NetworkMounts.h"
#include "platform/shelllink/ShellLink.h"
#include "platform/util/Text.h"

namespace platform {

namespace {

constexpr std::uint32_t kFileAttributeDirectory = 0x10;

// The theme the build installs; set when the desktop names none.
constexpr const char* kInstalledTheme = "Adwaita";

bool ThemeInstalled(const QString& name)
{
    for (const QString& dir : QIcon::themeSearchPaths())
        if (QFileInfo::exists(dir + "/" + name + "/index.theme"))
            return true;
    return false;
}

// The XDG icon folders. Without a desktop platform theme (offscreen) Qt searches only
// its own resources, so they are added here.
void AddXdgIconFolders()
{
    QStringList paths = QIcon::themeSearchPaths();
    QStringList wanted;
    const QByteArray home = qgetenv("HOME");
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    if (!dataHome.isEmpty())
        wanted << QFile::decodeName(dataHome) + "/icons";
    else if (!home.isEmpty())
        wanted << QFile::decodeName(home) + "/.local/share/icons";
    if (!home.isEmpty())
        wanted << QFile::decodeName(home) + "/.icons";
    QByteArray dataDirs = qgetenv("XDG_DATA_DIRS");
    if (dataDirs.isEmpty())
        dataDirs = "/usr/local/share:/usr/share";
    for (const QByteArray& dir : dataDirs.split(':'))
        if (!dir.isEmpty())
            wanted << QFile::decodeName(dir) + "/icons";
    bool changed = false;
    for (const QString& dir : wanted)
        if (!paths.contains(dir) && QFileInfo(dir).isDir()) {
            paths << dir;
            changed = true;
        }
    if (changed)
        QIcon::setThemeSearchPaths(paths);
}

void ChooseTheme()
{
    AddXdgIconFolders();
    const QString current = QIcon::themeName();
    // Qt answers "hicolor" (or nothing) when no desktop told it a theme: offscreen,
    // Xvfb, a bare window manager. hicolor alone has almost no MIME icons.
    if ((current.isEmpty() || current == "hicolor") && ThemeInstalled(kInstalledTheme))
        QIcon::setThemeName(kInstalledTheme);
    // A desktop theme that lacks an icon falls back to the installed one.
    if (QIcon::fallbackThemeName().isEmpty() || QIcon::fallbackThemeName() == "hicolor")
        QIcon::setFallbackThemeName(kInstalledTheme);
}

std::string Lower(std::string_view s) { return AsciiLower(s); }

std::string BaseName(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Extension(const std::string& name)
{
    const auto dot = name.find_last_of('.');
    return dot == std::string::npos ? std::string() : Lower(name.substr(dot));
}

QString HostToQString(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

// A picture for the impossible case of neither theme nor resources: a plain page or
// folder shape, so that even then nothing is blank.
QPixmap DrawnFallback(int size, bool folder)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(0x60, 0x60, 0x60));
    if (folder) {
        p.setBrush(QColor(0xf0, 0xc2, 0x5e));
        p.drawRect(QRectF(0.5, size * 0.25, size - 1.0, size * 0.65));
    } else {
        p.setBrush(Qt::white);
        p.drawRect(QRectF(size * 0.2, 0.5, size * 0.6, size - 1.0));
    }
    return pm;
}

struct FileIdentity {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    long long mtimeNs = 0;
    bool operator==(const FileIdentity&) const = default;
};

FileIdentity IdentityOf(const struct stat& st)
{
    return {st.st_dev, st.st_ino, st.st_size,
            static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec};
}

// What a link file leads to, kept while the file is unchanged, so that a re-read of
// a folder of thousands of links does not parse each one again for its icon.
struct LinkTarget {
    FileIdentity identity;
    bool readable = false;
    bool shellObject = false;
    bool targetIsFolder = false; // as the link's header recorded it
    std::string hostTarget;   // the target through the drive map; may not exist
    std::string relativeHost; // the relative path from the link's folder; may not exist
    std::string targetName;   // the target's last name, for its type when it is gone
    std::string iconHost;     // the icon location through the drive map; may not exist
    int iconIndex = 0;
};

// The last name of a Windows path, where both "\" and "/" separate.
std::string WindowsBaseName(const std::string& path)
{
    const auto sep = path.find_last_of("\\/");
    return sep == std::string::npos ? path : path.substr(sep + 1);
}

} // namespace

struct SystemIconList::Impl {
    struct Entry {
        QIcon icon;
        QPixmap small;
        QPixmap large;
    };
    std::vector<Entry> entries;
    std::unordered_map<std::string, int> byKey;
    std::unordered_map<std::string, int> byExtension; // IndexForName of plain files
    std::unordered_map<std::string, LinkTarget> links;
    std::unordered_map<std::string, std::pair<FileIdentity, std::string>> sniffed; // path -> MIME name
    // The icons read from programs and icon files, by path and icon index, kept while
    // the file's identity (device, inode, size, modification time) is unchanged; -1:
    // the file holds no icon there. A folder of thousands of links to one program
    // reads the program once.
    std::unordered_map<std::string, std::pair<FileIdentity, int>> fileIcons;
    bool programIcons = true;
    QMimeDatabase mimes;
    QPixmap overlaySmall, overlayLarge;
    shell::MountProbe mounts;

    int Add(const std::string& key, const QIcon& icon, bool folderLike);
    int AddComposed(const std::string& key, const Entry& base, bool withOverlay);
    int Themed(const std::string& key, const QStringList& names, bool folderLike);
    int ForMime(const QMimeType& mime);
    int ForKind(ShellIconKind kind);
    int ForInternetShortcut();
    int ForName(const std::string& name, bool isFolder, bool open);
    int ForLinkTarget(const std::string& hostTarget, bool targetIsFolder);
    int ForLink(const std::string& path, const struct stat& st);
    int ForRegularFile(const std::string& path, const struct stat& st);
    int ForIconFile(const std::string& hostPath, int iconIndex, const struct stat* known);
    int ForFolder(const std::string& path, bool open);
    int WithOverlay(int baseIndex);
    void LoadOverlay();
};

int SystemIconList::Impl::Add(const std::string& key, const QIcon& icon, bool folderLike)
{
    Entry e;
    e.icon = icon;
    e.small = icon.pixmap(kSmallSize, kSmallSize);
    e.large = icon.pixmap(kLargeSize, kLargeSize);
    if (e.small.isNull() || e.large.isNull()) {
        const char* name = folderLike ? "folder" : "file";
        QPixmap small(QString(":/icons/%1-16.png").arg(name)), large(QString(":/icons/%1-32.png").arg(name));
        e.small = small.isNull() ? DrawnFallback(kSmallSize, folderLike) : small;
        e.large = large.isNull() ? DrawnFallback(kLargeSize, folderLike) : large;
        e.icon = QIcon();
        e.icon.addPixmap(e.small);
        e.icon.addPixmap(e.large);
    }
    // Pixmaps of high-DPI screens carry their ratio; the list draws at logical size.
    e.small.setDevicePixelRatio(e.small.width() / double(kSmallSize));
    e.large.setDevicePixelRatio(e.large.width() / double(kLargeSize));
    entries.push_back(std::move(e));
    const int index = static_cast<int>(entries.size()) - 1;
    byKey.emplace(key, index);
    return index;
}

int SystemIconList::Impl::Themed(const std::string& key, const QStringList& names, bool folderLike)
{
    if (auto it = byKey.find(key); it != byKey.end())
        return it->second;
    QIcon icon;
    for (const QString& name : names) {
        if (name.isEmpty())
            continue;
        icon = QIcon::fromTheme(name);
        if (!icon.isNull() && !icon.availableSizes().isEmpty())
            break;
        if (!icon.isNull() && !icon.pixmap(kSmallSize).isNull())
            break;
        icon = QIcon();
    }
    return Add(key, icon, folderLike);
}

int SystemIconList::Impl::ForMime(const QMimeType& mime)
{
    const std::string key = "mime:" + mime.name().toStdString();
    if (auto it = byKey.find(key); it != byKey.end())
        return it->second;
    return Themed(key, {mime.iconName(), mime.genericIconName(), "text-x-generic", "application-x-generic"}, false);
}

int SystemIconList::Impl::ForKind(ShellIconKind kind)
{
    switch (kind) {
    case ShellIconKind::Folder: return Themed("kind:folder", {"folder"}, true);
    case ShellIconKind::FolderOpen: return Themed("kind:folder-open", {"folder-open", "folder"}, true);
    case ShellIconKind::File: return Themed("kind:file", {"text-x-generic", "application-x-generic"}, false);
    case ShellIconKind::Computer: return Themed("kind:computer", {"computer", "drive-harddisk"}, true);
    case ShellIconKind::Drive: return Themed("kind:drive", {"drive-harddisk", "folder"}, true);
    case ShellIconKind::RemovableDrive: return Themed("kind:removable", {"drive-removable-media", "drive-harddisk", "folder"}, true);
    case ShellIconKind::NetworkDrive: return Themed("kind:network", {"folder-remote", "network-server", "folder"}, true);
    case ShellIconKind::Home: return Themed("kind:home", {"user-home", "folder"}, true);
    case ShellIconKind::Desktop: return Themed("kind:desktop", {"user-desktop", "folder"}, true);
    case ShellIconKind::Trash: return Themed("kind:trash", {"user-trash", "folder"}, true);
    }
    return Themed("kind:file", {"text-x-generic"}, false);
}

void SystemIconList::Impl::LoadOverlay()
{
    if (!overlaySmall.isNull())
        return;
    const QIcon themed = QIcon::fromTheme("emblem-symbolic-link");
    // The overlay covers the lower left corner, a little over half the icon.
    const int smallSide = 9, largeSide = 16;
    if (!themed.isNull()) {
        overlaySmall = themed.pixmap(smallSide, smallSide);
        overlayLarge = themed.pixmap(largeSide, largeSide);
    }
    if (overlaySmall.isNull() || overlayLarge.isNull()) {
        // The resource overlays are drawn into the corner of a full-size picture.
        overlaySmall = QPixmap(":/icons/link-overlay-16.png");
        overlayLarge = QPixmap(":/icons/link-overlay-32.png");
        if (overlaySmall.isNull() || overlayLarge.isNull()) {
            overlaySmall = DrawnFallback(smallSide, false);
            overlayLarge = DrawnFallback(largeSide, false);
        }
    }
}

int SystemIconList::Impl::WithOverlay(int baseIndex)
{
    const std::string key = "link:" + std::to_string(baseIndex);
    if (auto it = byKey.find(key); it != byKey.end())
        return it->second;
    LoadOverlay();
    auto compose = [](const QPixmap& base, const QPixmap& overlay, int size) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawPixmap(QRect(0, 0, size, size), base);
        if (overlay.width() == size || overlay.height() == size) {
            p.drawPixmap(QRect(0, 0, size, size), overlay); // already placed in its corner
        } else {
            const int side = overlay.width();
            p.drawPixmap(QRect(0, size - side, side, side), overlay);
        }
        return pm;
    };
    const Entry base = entries[static_cast<size_t>(baseIndex)];
    QIcon icon;
    icon.addPixmap(compose(base.small, overlaySmall, kSmallSize));
    icon.addPixmap(compose(base.large, overlayLarge, kLargeSize));
    return Add(key, icon, false);
}

int SystemIconList::Impl::ForInternetShortcut()
{
    const int base = Themed("internet", {"text-html", "web-browser", "applications-internet", "text-x-generic"}, false);
    return WithOverlay(base);
}

int SystemIconList::Impl::ForIconFile(const std::string& hostPath, int iconIndex, const struct stat* known)
{
    if (!programIcons)
        return -1;
    struct stat st;
    if (!known) {
        // A server gone away would hold the window: such a file is not read here.
        if (mounts.Reach(hostPath) != shell::NetworkReach::None)
            return -1;
        if (shell::fs::Stat(hostPath, st, true) != 0 || !S_ISREG(st.st_mode))
            return -1;
        known = &st;
    }
    const FileIdentity id = IdentityOf(*known);
    std::string key = hostPath;
    key += '\0';
    key += std::to_string(iconIndex);
    if (auto it = fileIcons.find(key); it != fileIcons.end() && it->second.first == id)
        return it->second.second;
    int index = -1;
    if (const auto pictures = ReadIconPictures(hostPath, iconIndex)) {
        QIcon icon;
        icon.addPixmap(QPixmap::fromImage(pictures->small));
        icon.addPixmap(QPixmap::fromImage(pictures->large));
        index = Add("file-icon:" + std::to_string(entries.size()), icon, false);
    }
    fileIcons.insert_or_assign(std::move(key), std::make_pair(id, index));
    return index;
}

int SystemIconList::Impl::ForRegularFile(const std::string& path, const struct stat& st)
{
    if (ShowsOwnIcon(BaseName(path)))
        if (const int own = ForIconFile(path, 0, &st); own >= 0)
            return own;
    const QString qpath = HostToQString(path);
    QMimeType mime = mimes.mimeTypeForFile(qpath, QMimeDatabase::MatchExtension);
    if (mime.isDefault()) {
        if (st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH))
            return Themed("exec", {"application-x-executable", "application-x-generic"}, false);
        // No telling extension: look at the content, once per version of the file.
        const FileIdentity id = IdentityOf(st);
        auto it = sniffed.find(path);
        if (it != sniffed.end() && it->second.first == id) {
            mime = mimes.mimeTypeForName(QString::fromStdString(it->second.second));
        } else {
            mime = mimes.mimeTypeForFile(qpath, QMimeDatabase::MatchContent);
            sniffed[path] = {id, mime.name().toStdString()};
        }
    }
    return ForMime(mime);
}

int SystemIconList::Impl::ForName(const std::string& name, bool isFolder, bool open)
{
    if (isFolder)
        return ForKind(open ? ShellIconKind::FolderOpen : ShellIconKind::Folder);
    const std::string ext = Extension(BaseName(name));
    if (auto it = byExtension.find(ext); it != byExtension.end())
        return it->second;
    int index;
    if (ext == ".lnk" || ext == ".pif")
        index = WithOverlay(ForKind(ShellIconKind::File));
    else if (ext == ".url")
        index = ForInternetShortcut();
    else if (ext.empty())
        index = ForKind(ShellIconKind::File);
    else
        index = ForMime(mimes.mimeTypeForFile(HostToQString("x" + ext), QMimeDatabase::MatchExtension));
    byExtension.emplace(ext, index);
    return index;
}

int SystemIconList::Impl::ForFolder(const std::string& path, bool open)
{
    std::string p = path;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    if (p == "/")
        return ForKind(ShellIconKind::Drive);
    if (const char* home = std::getenv("HOME"); home && *home) {
        std::string h = home;
        while (h.size() > 1 && h.back() == '/')
            h.pop_back();
        if (p == h)
            return ForKind(ShellIconKind::Home);
    }
    return ForKind(open ? ShellIconKind::FolderOpen : ShellIconKind::Folder);
}

int SystemIconList::Impl::ForLinkTarget(const std::string& hostTarget, bool targetIsFolder)
{
    // A target on a network mount is of unknown state: shown as if it were there.
    if (const shell::NetworkReach reach = mounts.Reach(hostTarget); reach != shell::NetworkReach::None) {
        if (reach != shell::NetworkReach::Inside || targetIsFolder)
            return ForFolder(hostTarget, false);
        return ForName(BaseName(hostTarget), false, false);
    }
    struct stat st;
    if (shell::fs::Stat(hostTarget, st, true) != 0)
        return -1;
    if (S_ISDIR(st.st_mode))
        return ForFolder(hostTarget, false);
    const std::string ext = Extension(hostTarget);
    if (ext == ".lnk" || ext == ".pif" || ext == ".url")
        return ForKind(ShellIconKind::File); // a link to a link: no chains followed
    return ForRegularFile(hostTarget, st);
}

int SystemIconList::Impl::ForLink(const std::string& path, const struct stat& st)
{
    const FileIdentity id = IdentityOf(st);
    auto it = links.find(path);
    if (it == links.end() || !(it->second.identity == id)) {
        LinkTarget target;
        target.identity = id;
        ShellLink link;
        if (link.Load(path)) {
            target.readable = true;
            target.targetIsFolder = (link.FileAttributes() & kFileAttributeDirectory) != 0;
            const std::string iconLocation = link.GetIconLocation(target.iconIndex);
            if (!iconLocation.empty())
                if (auto host = DriveMap::Default().ToHostPath(WinEnvironment::Default().Expand(iconLocation)))
                    target.iconHost = *host;
            if (link.TargetIsShellObject()) {
                target.shellObject = true;
            } else {
                const std::string raw = link.GetPath(SLGP_RAWPATH);
                const std::string expanded = WinEnvironment::Default().Expand(raw);
                target.targetName = WindowsBaseName(expanded);
                if (auto host = DriveMap::Default().ToHostPath(expanded))
                    target.hostTarget = *host;
                std::string rel = link.GetRelativePath();
                if (!rel.empty()) {
                    for (char& c : rel)
                        if (c == '\\')
                            c = '/';
                    const auto slash = path.find_last_of('/');
                    target.relativeHost = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + rel;
                }
            }
        }
        it = links.insert_or_assign(path, std::move(target)).first;
    }
    const LinkTarget& target = it->second;
    if (!target.readable) // what it leads to is unknown: the icon of a link file
        return ForName(BaseName(path), false, false);
    // As the Windows shell: the icon the link names, else its target's own, else the
    // target's type; a link whose target is gone keeps the icon it would show.
    int base = -1;
    if (!target.iconHost.empty())
        base = ForIconFile(target.iconHost, target.iconIndex, nullptr);
    if (base < 0 && target.shellObject)
        base = ForKind(ShellIconKind::Computer);
    if (base < 0 && !target.hostTarget.empty())
        base = ForLinkTarget(target.hostTarget, target.targetIsFolder);
    if (base < 0 && !target.relativeHost.empty())
        base = ForLinkTarget(target.relativeHost, target.targetIsFolder);
    if (base < 0) {
        const std::string ext = Extension(target.targetName);
        if (target.targetIsFolder)
            base = ForKind(ShellIconKind::Folder);
        else if (target.targetName.empty() || ext == ".lnk" || ext == ".pif" || ext == ".url")
            base = ForKind(ShellIconKind::File);
        else
            base = ForName(target.targetName, false, false);
    }
    return WithOverlay(base);
}

SystemIconList::SystemIconList() : d_(std::make_unique<Impl>())
{
    ChooseTheme();
    d_->ForKind(ShellIconKind::File); // index 0: the answer for indexes out of range
}

SystemIconList::~SystemIconList() = default;

SystemIconList& SystemIconList::Instance()
{
    static SystemIconList instance;
    return instance;
}

QString SystemIconList::ThemeName()
{
    Instance();
    return QIcon::themeName();
}

int SystemIconList::IndexForPath(const std::string& hostPath, bool open, bool isFolder)
{
    if (hostPath.empty())
        return IndexForName(hostPath, false, open);
    if (const shell::NetworkReach reach = d_->mounts.Reach(hostPath); reach != shell::NetworkReach::None) {
        if (reach != shell::NetworkReach::Inside || isFolder)
            return d_->ForFolder(hostPath, open);
        return IndexForName(BaseName(hostPath), false, open);
    }
    // Through parent descriptors where the path is too long for the kernel whole.
    struct stat st;
    if (shell::fs::Stat(hostPath, st, true) != 0)
        return IndexForName(BaseName(hostPath), false, open);
    if (S_ISDIR(st.st_mode))
        return d_->ForFolder(hostPath, open);
    const std::string ext = Extension(BaseName(hostPath));
    if (ext == ".lnk" || ext == ".pif")
        return d_->ForLink(hostPath, st);
    if (ext == ".url")
        return d_->ForInternetShortcut();
    if (!S_ISREG(st.st_mode))
        return d_->ForKind(ShellIconKind::File);
    return d_->ForRegularFile(hostPath, st);
}

int SystemIconList::IndexForName(const std::string& name, bool isFolder, bool open)
{
    return d_->ForName(name, isFolder, open);
}

int SystemIconList::IndexForKind(ShellIconKind kind) { return d_->ForKind(kind); }

void SystemIconList::SetProgramIcons(bool on) { d_->programIcons = on; }

bool SystemIconList::ProgramIcons() const { return d_->programIcons; }

int SystemIconList::Count() const { return static_cast<int>(d_->entries.size()); }

QIcon SystemIconList::Icon(int index) const
{
    if (index < 0 || index >= Count())
        index = 0;
    return d_->entries[static_cast<size_t>(index)].icon;
}

QPixmap SystemIconList::Pixmap(int index, int size) const
{
    if (index < 0 || index >= Count())
        index = 0;
    const Impl::Entry& e = d_->entries[static_cast<size_t>(index)];
    if (size == kSmallSize)
        return e.small;
    if (size == kLargeSize)
        return e.large;
    QPixmap pm = e.icon.pixmap(size, size);
    return pm.isNull() ? e.large.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation) : pm;
}

} // namespace platform
