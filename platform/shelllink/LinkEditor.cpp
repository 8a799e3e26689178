#include "platform/shelllink/LinkEditor.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/drivemap/DriveMap.h"
#include "platform/ini/IniEdit.h"
#include "platform/ini/IniFile.h"
#include "platform/shelllink/ShellLink.h"
#include "platform/shelllink/ShellLinkData.h"
#include "platform/util/AtomicFile.h"
#include "platform/util/Text.h"

namespace platform {
namespace {

// A link is a few kilobytes, an Internet shortcut a few hundred bytes; the reader
// takes no more than these.
constexpr std::size_t kMaxLinkBytes = 64u << 20;
constexpr std::size_t kMaxUrlBytes = 1u << 20;
constexpr std::size_t kWhole = std::size_t(1) << 20;
constexpr const char* kUrlSection = "InternetShortcut";
// Windows keeps a UTF-7 copy of values that ANSI cannot hold here; a URL changed in
// one place only would leave Windows opening the old one.
constexpr const char* kUrlSectionW = "InternetShortcut.W";

EditResult Result(EditStatus status, std::string message) { return {status, std::move(message)}; }

std::string SystemReason(int error)
{
    switch (error) {
    case ENOENT: return "it does not exist";
    case EISDIR: return "it is a folder";
    case EINVAL: return "it is not a regular file";
    case EFBIG: return "it is too large to be a shortcut";
    default: return std::strerror(error);
    }
}

std::string_view TrimBlanks(std::string_view s)
{
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

std::optional<int> ParseInt(std::string_view text)
{
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// What of a damaged link can still be read: the header, then each structure that
// parses on its own, as far as the file's sizes say where the next one starts. The
// result is a link that loads (false when not even the header is one).
bool SalvageLink(const std::string& file, ShellLink& link)
{
    using namespace shelllink;
    const auto* b = reinterpret_cast<const std::uint8_t*>(file.data());
    const std::size_t n = file.size();
    if (n < kHeaderSize || Le32(b) != kHeaderSize || std::memcmp(b + 4, kLinkClsid.data(), kLinkClsid.size()) != 0)
        return false;
    const std::uint32_t flags = Le32(b + 0x14);
    std::uint32_t kept = flags & ~(SLDF_HAS_ID_LIST | SLDF_HAS_LINK_INFO | SLDF_HAS_NAME | SLDF_HAS_RELPATH |
                                   SLDF_HAS_WORKINGDIR | SLDF_HAS_ARGS | SLDF_HAS_ICONLOCATION);
    auto withFlags = [&](std::uint32_t f, std::string_view body) {
        std::string candidate = file.substr(0, kHeaderSize);
        for (int i = 0; i < 4; ++i)
            candidate[0x14 + i] = static_cast<char>(f >> (8 * i));
        return candidate.append(body);
    };
    auto parses = [](const std::string& bytes) {
        ShellLink probe;
        return probe.LoadFromBytes({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
    };
    std::string body;
    std::size_t pos = kHeaderSize;
    bool whole = true; // false once a size runs past the end: nothing after it can be found
    auto take = [&](std::uint32_t flag, std::size_t size) {
        if (size > n - pos) {
            whole = false;
            return;
        }
        const std::string part = file.substr(pos, size);
        pos += size;
        if (parses(withFlags(kept | flag, part))) {
            body += part;
            kept |= flag;
        }
    };
    if (flags & SLDF_HAS_ID_LIST) {
        if (n - pos >= 2)
            take(SLDF_HAS_ID_LIST, 2u + Le16(b + pos));
        else
            whole = false;
    }
    if ((flags & SLDF_HAS_LINK_INFO) && whole) {
        if (n - pos >= 4)
            take(SLDF_HAS_LINK_INFO, Le32(b + pos));
        else
            whole = false;
    }
    // The strings with the counts the reader takes (ShellLink.cpp reads no more).
    constexpr std::array<std::uint32_t, kStringCount> caps = {1024, 260, 260, 0xFFFF, 260};
    const std::size_t unit = (flags & SLDF_UNICODE) ? 2 : 1;
    for (int i = 0; i < kStringCount && whole; ++i) {
        if (!(flags & kStringFlags[i]))
            continue;
        if (n - pos < 2) {
            whole = false;
            break;
        }
        const std::size_t count = std::min<std::uint32_t>(Le16(b + pos), caps[i]);
        if (2 + unit * count > n - pos) {
            whole = false;
            break;
        }
        body += file.substr(pos, 2 + unit * count);
        kept |= kStringFlags[i];
        pos += 2 + unit * count;
    }
    std::string bytes = withFlags(kept, body);
    if (whole && parses(bytes + file.substr(pos)))
        bytes += file.substr(pos);
    return link.LoadFromBytes({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
}

// Windows path segments after "X:\", empty ones dropped.
std::vector<std::string_view> Segments(std::string_view path)
{
    std::vector<std::string_view> out;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find_first_of("\\/", start);
        if (end == std::string_view::npos)
            end = path.size();
        if (end > start)
            out.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool HasDrive(std::string_view path) { return path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == ':'; }

std::string AbsoluteHostPath(const std::string& path)
{
    if (!path.empty() && path.front() == '/')
        return path;
    std::string cwd(4096, '\0');
    if (!::getcwd(cwd.data(), cwd.size()))
        return path;
    cwd.resize(std::strlen(cwd.c_str()));
    return cwd == "/" ? "/" + path : cwd + "/" + path;
}

std::string StripQuotes(std::string_view text)
{
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        text = text.substr(1, text.size() - 2);
    return std::string(text);
}

} // namespace

std::optional<std::string> ShortcutSavePath(const std::string& hostPath, std::string& refusal)
{
    refusal.clear();
    struct stat st {};
    if (::lstat(hostPath.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return hostPath;
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(hostPath.c_str(), nullptr), &std::free);
    if (!real) {
        const int error = errno;
        refusal = error == ENOENT ? "it is a symbolic link that leads nowhere"
                                  : "it is a symbolic link that cannot be followed: " + SystemReason(error);
        return std::nullopt;
    }
    const std::string target = real.get();
    const std::string leadsTo = "it is a symbolic link to \"" + target + "\", ";
    const std::size_t dot = target.rfind('.');
    const std::string_view extension =
        dot == std::string::npos || target.find('/', dot) != std::string::npos ? "" : std::string_view(target).substr(dot);
    const bool sameKind = ShortcutKindOf(hostPath) == ShortcutKind::InternetShortcut
                              ? EqualsIgnoreAsciiCase(extension, ".url")
                              : EqualsIgnoreAsciiCase(extension, ".lnk") || EqualsIgnoreAsciiCase(extension, ".pif");
    const int statError = ::stat(target.c_str(), &st) == 0 ? 0 : errno;
    if (statError)
        refusal = leadsTo + "which cannot be read: " + SystemReason(statError);
    else if (!S_ISREG(st.st_mode))
        refusal = leadsTo + "which is not a file";
    else if (!sameKind)
        refusal = leadsTo + (ShortcutKindOf(hostPath) == ShortcutKind::InternetShortcut
                                 ? "which is not an Internet shortcut (.url)"
                                 : "which is not a shell link (.lnk or .pif)");
    else if (st.st_uid != ::geteuid())
        refusal = leadsTo + "a file of another user";
    if (!refusal.empty())
        return std::nullopt;
    return target;
}

ShortcutKind ShortcutKindOf(std::string_view hostPath)
{
    const std::size_t slash = hostPath.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? hostPath : hostPath.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    return dot != std::string_view::npos && EqualsIgnoreAsciiCase(name.substr(dot), ".url")
               ? ShortcutKind::InternetShortcut
               : ShortcutKind::ShellLink;
}

bool ShortcutEdits::Empty() const
{
    return !target && !arguments && !workingDirectory && !description && !icon && !hotkey && !showCommand;
}

std::string WindowsPathProblem(std::string_view path)
{
    std::size_t start = 0;
    if (path.starts_with("\\\\?\\"))
        start = 4;
    for (std::size_t i = start; i < path.size(); ++i) {
        const auto c = static_cast<unsigned char>(path[i]);
        const bool driveColon = c == ':' && i == start + 1 && IsDriveLetter(path[start]);
        if (c < 0x20 || std::strchr("<>\"|?*", c) || (c == ':' && !driveColon)) {
            const std::string shown = c < 0x20 ? "control characters" : "\"" + std::string(1, static_cast<char>(c)) + "\"";
            return "it has characters a Windows path cannot hold: " + shown;
        }
    }
    return {};
}

std::string UrlProblem(std::string_view url)
{
    if (url.empty())
        return "the URL is empty";
    const std::size_t colon = url.find(':');
    bool scheme = colon != std::string_view::npos && colon >= 2 && IsDriveLetter(url[0]);
    for (std::size_t i = 1; scheme && i < colon; ++i)
        scheme = IsDriveLetter(url[i]) || (url[i] >= '0' && url[i] <= '9') || url[i] == '+' || url[i] == '-' ||
                 url[i] == '.';
    if (!scheme || colon + 1 == url.size())
        return "\"" + std::string(url) + "\" is not a URL (it needs a scheme, such as https:)";
    for (const char ch : url)
        if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F)
            return "the URL holds control characters";
    if (url.front() == ' ' || url.back() == ' ' || url.front() == '\t' || url.back() == '\t')
        return "the URL begins or ends with a blank";
    return {};
}

std::optional<std::string> WindowsPathFromInput(std::string_view text, const DriveMap& drives, std::string& problem)
{
    problem.clear();
    std::string path = StripQuotes(text);
    if (!path.empty() && path.front() == '/') {
        const std::optional<std::string> windows = drives.ToWindowsPath(path);
        if (!windows) {
            problem = "the host path " + path + " cannot be written as a Windows path";
            return std::nullopt;
        }
        path = *windows;
    }
    problem = WindowsPathProblem(path);
    if (!problem.empty())
        return std::nullopt;
    return path;
}

namespace {

constexpr const char* kFullPathHint = "type a full path, such as C:\\Program Files\\Tool\\tool.exe or /usr/bin/tool";

// Paths that name their place without a current folder to count from.
bool IsFullPath(std::string_view path)
{
    if (path.size() >= 3 && HasDrive(path) && (path[2] == '\\' || path[2] == '/'))
        return true;
    if (path.starts_with("\\\\") || path.starts_with("/"))
        return true;
    // A leading %VAR%: what it stands for is the prefix's business, as on Windows.
    return path.size() >= 3 && path.front() == '%' && path.find('%', 2) != std::string_view::npos;
}

// What the shell's SetPath finds for a bare name: the first existing file of that
// name in the Windows search path; a name without an extension is also tried as a
// program (.exe).
std::optional<std::string> FindOnSearchPath(const std::string& name, const DriveMap& drives,
                                            const WinEnvironment& env, std::string& searched)
{
    std::string root = env.Expand("%SystemRoot%");
    if (!IsFullPath(root) || root.front() == '%')
        root = "C:\\windows";
    while (root.size() > 3 && (root.back() == '\\' || root.back() == '/'))
        root.pop_back();
    const std::string folders[] = {root + "\\system32", root};
    searched = folders[0] + " or " + folders[1];
    std::vector<std::string> names{name};
    if (name.find('.') == std::string::npos)
        names.push_back(name + ".exe");
    for (const std::string& folder : folders)
        for (const std::string& candidate : names) {
            const std::string windows = folder + "\\" + candidate;
            const std::optional<std::string> host = drives.ToHostPath(windows);
            struct stat st {};
            if (host && ::stat(host->c_str(), &st) == 0 && S_ISREG(st.st_mode))
                return windows;
        }
    return std::nullopt;
}

} // namespace

std::optional<std::string> LinkTargetFromInput(std::string_view text, const DriveMap& drives,
                                               const WinEnvironment& env, std::string& problem)
{
    problem.clear();
    std::string path = StripQuotes(TrimBlanks(text));
    if (!path.empty() && path.front() == '/')
        return WindowsPathFromInput(path, drives, problem);
    if (IsFullPath(path)) {
        // Windows takes "/" for "\"; the link spells its items from "\" alone.
        std::replace(path.begin(), path.end(), '/', '\\');
        return WindowsPathFromInput(path, drives, problem);
    }
    problem = WindowsPathProblem(path);
    if (!problem.empty())
        return std::nullopt;
    if (!path.empty() && path.find_first_of("\\/:") == std::string::npos) {
        std::string searched;
        if (std::optional<std::string> found = FindOnSearchPath(path, drives, env, searched))
            return found;
        problem = "there is no " + path + " in " + searched + "; " + kFullPathHint;
        return std::nullopt;
    }
    problem = kFullPathHint;
    return std::nullopt;
}

std::string LinkEditor::RelativeLinkPath(const std::string& linkHostPath, std::string_view target,
                                         const DriveMap& drives)
{
    const std::string absolute = AbsoluteHostPath(linkHostPath);
    const std::size_t slash = absolute.rfind('/');
    const std::optional<std::string> folder = drives.ToWindowsPath(slash == 0 ? "/" : absolute.substr(0, slash));
    if (!folder || !HasDrive(*folder) || !HasDrive(target) || AsciiUpper(folder->substr(0, 1)) != AsciiUpper(target.substr(0, 1)))
        return {};
    const auto from = Segments(std::string_view(*folder).substr(2));
    const auto to = Segments(target.substr(2));
    std::size_t common = 0;
    while (common < from.size() && common < to.size() && EqualsIgnoreCase(from[common], to[common]))
        ++common;
    if (common == to.size())
        return {}; // the target is the link's folder or holds it
    std::string rel;
    for (std::size_t i = common; i < from.size(); ++i)
        rel += "..\\";
    if (rel.empty())
        rel = ".\\";
    for (std::size_t i = common; i < to.size(); ++i) {
        rel += to[i];
        if (i + 1 < to.size())
            rel += '\\';
    }
    return rel;
}

LinkEditor::LinkEditor(std::string hostPath) : LinkEditor(std::move(hostPath), DriveMap::Default(), WinEnvironment::Default())
{
}

LinkEditor::LinkEditor(std::string hostPath, const DriveMap& drives, const WinEnvironment& env)
    : path_(std::move(hostPath)), kind_(ShortcutKindOf(path_)), drives_(&drives), env_(&env),
      link_(std::make_unique<ShellLink>())
{
}

LinkEditor::~LinkEditor() = default;
LinkEditor::LinkEditor(const LinkEditor& o)
    : path_(o.path_), kind_(o.kind_), drives_(o.drives_), env_(o.env_), link_(std::make_unique<ShellLink>(*o.link_)),
      text_(o.text_), original_(o.original_), loaded_(o.loaded_), new_(o.new_), damaged_(o.damaged_)
{
}
LinkEditor& LinkEditor::operator=(const LinkEditor& o)
{
    if (this != &o)
        *this = LinkEditor(o);
    return *this;
}
LinkEditor::LinkEditor(LinkEditor&&) noexcept = default;
LinkEditor& LinkEditor::operator=(LinkEditor&&) noexcept = default;

EditResult LinkEditor::Load()
{
    loaded_ = new_ = damaged_ = false;
    *link_ = ShellLink();
    text_.clear();
    original_.clear();
    const std::size_t limit = kind_ == ShortcutKind::ShellLink ? kMaxLinkBytes : kMaxUrlBytes;
    std::string bytes;
    const int error = ReadSmallFile(path_, limit, bytes);
    if (error == EFBIG && kind_ == ShortcutKind::InternetShortcut) {
        // The reader takes the first MiB; that is what there is to show.
        const IniFile ini = IniFile::Load(path_);
        text_ = "[InternetShortcut]\r\n";
        for (const auto& [key, value] : ini.ReadSection(kUrlSection))
            text_ += key + "=" + value + "\r\n";
        loaded_ = damaged_ = true;
        return Result(EditStatus::Damaged, "it is larger than an Internet shortcut can be; only its beginning was read");
    }
    if (error)
        return Result(EditStatus::Failed, "could not be read: " + SystemReason(error));
    loaded_ = true;
    original_ = bytes;
    if (kind_ == ShortcutKind::InternetShortcut) {
        text_ = std::move(bytes);
        return {};
    }
    if (link_->LoadFromBytes({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}))
        return {};
    damaged_ = true;
    if (!SalvageLink(bytes, *link_))
        return Result(EditStatus::Damaged, "it is not a shell link; nothing could be read from it");
    return Result(EditStatus::Damaged, "it is damaged; what could be read is shown");
}

void LinkEditor::StartNew()
{
    *link_ = ShellLink();
    text_.clear();
    original_.clear();
    loaded_ = new_ = true;
    damaged_ = false;
}

ShortcutValues LinkEditor::Values() const
{
    ShortcutValues v;
    if (kind_ == ShortcutKind::InternetShortcut) {
        const IniFile ini = IniFile::Parse(text_);
        v.target = ini.ReadString(kUrlSection, "URL");
        v.hotkey = static_cast<std::uint16_t>(ParseInt(ini.ReadString(kUrlSection, "Hotkey")).value_or(0));
        v.workingDirectory = ini.ReadString(kUrlSection, "WorkingDirectory");
        v.icon = {ini.ReadString(kUrlSection, "IconFile"), ParseInt(ini.ReadString(kUrlSection, "IconIndex")).value_or(0)};
        v.showCommand = ParseInt(ini.ReadString(kUrlSection, "ShowCommand")).value_or(1);
        return v;
    }
    v.target = link_->GetPath(SLGP_RAWPATH, kWhole);
    v.arguments = link_->GetArguments(kWhole);
    v.workingDirectory = link_->GetWorkingDirectory(kWhole);
    v.description = link_->GetDescription(kWhole);
    v.icon.location = link_->GetIconLocation(v.icon.index, kWhole);
    v.hotkey = link_->GetHotkey();
    v.showCommand = link_->GetShowCmd();
    return v;
}

std::string LinkEditor::Bytes() const
{
    if (kind_ == ShortcutKind::InternetShortcut)
        return text_;
    const std::vector<std::uint8_t> bytes = link_->SaveToBytes();
    return std::string(bytes.begin(), bytes.end());
}

bool LinkEditor::Modified() const { return new_ || Bytes() != original_; }

EditResult LinkEditor::Apply(const ShortcutEdits& edits)
{
    if (!loaded_)
        return Result(EditStatus::Failed, "it was not read");
    return kind_ == ShortcutKind::InternetShortcut ? ApplyToUrl(edits) : ApplyToLink(edits);
}

EditResult LinkEditor::ApplyToLink(const ShortcutEdits& edits)
{
    // Every path first: one that cannot be written refuses the whole edit.
    std::string problem;
    EditField where = EditField::None;
    auto path = [&](const std::optional<std::string>& text, const char* what, EditField field,
                    std::optional<std::string>& out) {
        if (!text || !problem.empty())
            return;
        if (text->empty()) {
            out = std::string();
            return;
        }
        out = WindowsPathFromInput(*text, *drives_, problem);
        if (!out) {
            problem = std::string(what) + ": " + problem;
            where = field;
        }
    };
    std::optional<std::string> target, workingDirectory, iconLocation;
    if (edits.target) {
        if (StripQuotes(TrimBlanks(*edits.target)).empty())
            return {EditStatus::Invalid, "the target is empty", EditField::Target};
        // A target that names no place would be written as a link to nothing.
        target = LinkTargetFromInput(*edits.target, *drives_, *env_, problem);
        if (!target)
            return {EditStatus::Invalid, "the target: " + problem, EditField::Target};
    }
    path(edits.workingDirectory, "the start-in folder", EditField::WorkingDirectory, workingDirectory);
    path(edits.icon ? std::optional<std::string>(edits.icon->location) : std::nullopt, "the icon location",
         EditField::None, iconLocation);
    if (!problem.empty())
        return {EditStatus::Invalid, problem, where};

    if (target) {
        const std::string expanded = env_->Expand(*target);
        LinkTargetInfo info;
        if (const auto host = drives_->ToHostPath(expanded))
            info = LinkTargetInfoOf(*host).value_or(LinkTargetInfo{});
        link_->SetTargetInfo(info);
        link_->SetPath(*target, *env_);
        // The old relative path would lead the resolver back to the old target.
        link_->SetRelativePath(RelativeLinkPath(path_, expanded, *drives_));
    }
    if (edits.arguments)
        link_->SetArguments(*edits.arguments);
    if (workingDirectory)
        link_->SetWorkingDirectory(*workingDirectory);
    if (edits.description)
        link_->SetDescription(*edits.description);
    if (iconLocation)
        link_->SetIconLocation(*iconLocation, iconLocation->empty() ? 0 : edits.icon->index);
    if (edits.hotkey)
        link_->SetHotkey(*edits.hotkey);
    if (edits.showCommand)
        link_->SetShowCmd(*edits.showCommand);
    return {};
}

EditResult LinkEditor::ApplyToUrl(const ShortcutEdits& edits)
{
    if (edits.arguments || edits.workingDirectory || edits.description || edits.icon || edits.showCommand)
        return Result(EditStatus::Invalid, "an Internet shortcut holds only a URL and a shortcut key");
    std::vector<IniChange> changes;
    if (edits.target) {
        const std::string url(TrimBlanks(*edits.target));
        if (std::string problem = UrlProblem(url); !problem.empty())
            return {EditStatus::Invalid, problem, EditField::Target};
        changes.push_back({kUrlSection, "URL", url});
        const IniFile ini = IniFile::Parse(text_);
        for (const auto& [key, value] : ini.ReadSection(kUrlSectionW))
            if (EqualsIgnoreAsciiCase(key, "URL"))
                changes.push_back({kUrlSectionW, "URL", EncodeUtf7(url)});
    }
    if (edits.hotkey) {
        std::optional<std::string> value;
        if (*edits.hotkey)
            value = std::to_string(*edits.hotkey);
        changes.push_back({kUrlSection, "Hotkey", value});
    }
    if (!changes.empty())
        text_ = EditIniText(text_, changes);
    return {};
}

EditResult LinkEditor::Save(SaveMode mode)
{
    if (!loaded_)
        return Result(EditStatus::Failed, "it was not read");
    if (damaged_)
        return Result(EditStatus::Damaged,
                      "it was not read whole; saving it would lose what could not be read");
    const std::string bytes = Bytes();
    if (new_ != (mode == SaveMode::CreateNew))
        return Result(EditStatus::Failed, new_ ? "it is new and must be created" : "it exists already");
    // A shortcut to nothing is no shortcut, whichever road made it.
    if (new_ && Values().target.empty())
        return Result(EditStatus::Invalid, "it has no target");
    if (!new_ && bytes == original_)
        return {};
    std::string destination = path_;
    if (!new_) {
        std::string refusal;
        const std::optional<std::string> through = ShortcutSavePath(path_, refusal);
        if (!through)
            return Result(EditStatus::Failed, refusal);
        destination = *through;
        struct stat st {};
        if (::stat(path_.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            (::access(path_.c_str(), W_OK) != 0 || (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0))
            return Result(EditStatus::ReadOnly, "it is read-only");
        if (mode == SaveMode::Normal) {
            std::string now;
            const int error = ReadSmallFile(path_, kind_ == ShortcutKind::ShellLink ? kMaxLinkBytes : kMaxUrlBytes, now);
            if (error == ENOENT)
                return Result(EditStatus::Changed, "it was deleted or moved since it was opened");
            if (error || now != original_)
                return Result(EditStatus::Changed, "it changed since it was opened");
        }
    }
    // The place checked above is the place written: a link put there since is refused.
    const int error = WriteFileAtomically(destination, bytes, new_ ? WriteMode::CreateNew : WriteMode::ReplaceHere);
    if (error == EEXIST && new_)
        return Result(EditStatus::Exists, "a file of that name exists already");
    if (error == ELOOP)
        return Result(EditStatus::Failed, "it was replaced by a symbolic link meanwhile");
    if (error)
        return Result(EditStatus::Failed, "could not be saved: " + SystemReason(error));
    original_ = bytes;
    new_ = false;
    return {};
}

} // namespace platform
