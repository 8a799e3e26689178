#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>

#include "platform/drivemap/DriveMap.h"
#include "platform/drivemap/WineRegistry.h"
#include "platform/util/Text.h"
#include "platform/util/UniqueFd.h"

namespace platform {
namespace {

constexpr std::string_view kSessionEnvironment = "System\\CurrentControlSet\\Control\\Session Manager\\Environment";
// CurrentControlSet is a link in Wine's files; the values live under the set it leads to.
constexpr std::string_view kSessionEnvironment001 = "System\\ControlSet001\\Control\\Session Manager\\Environment";
constexpr std::string_view kCurrentVersion = "Software\\Microsoft\\Windows\\CurrentVersion";
constexpr std::string_view kProfileList = "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr std::string_view kUserEnvironment = "Environment";

constexpr std::uint32_t kRegExpandSz = 2;

struct Fixed {
    const char* name;
    const char* value;
};

// What a fresh 64-bit Windows (and a fresh Wine prefix) sets for every process.
constexpr Fixed kSystemDefaults[] = {
    {"ALLUSERSPROFILE", "C:\\ProgramData"},
    {"CommonProgramFiles", "C:\\Program Files\\Common Files"},
    {"CommonProgramFiles(x86)", "C:\\Program Files (x86)\\Common Files"},
    {"CommonProgramW6432", "C:\\Program Files\\Common Files"},
    {"ComSpec", "C:\\windows\\system32\\cmd.exe"},
    {"OS", "Windows_NT"},
    {"Path", "C:\\windows\\system32;C:\\windows;C:\\windows\\system32\\wbem;C:\\windows\\system32\\WindowsPowershell\\v1.0"},
    {"PATHEXT", ".COM;.EXE;.BAT;.CMD;.VBS;.VBE;.JS;.JSE;.WSF;.WSH;.MSC"},
    {"ProgramData", "C:\\ProgramData"},
    {"ProgramFiles", "C:\\Program Files"},
    {"ProgramFiles(x86)", "C:\\Program Files (x86)"},
    {"ProgramW6432", "C:\\Program Files"},
    {"PUBLIC", "C:\\users\\Public"},
    {"SystemDrive", "C:"},
    {"SystemRoot", "C:\\windows"},
    {"windir", "C:\\windows"},
};

// Only 64-bit Windows has these; a prefix made for 32 bits lacks them.
constexpr const char* kWin64Only[] = {"CommonProgramFiles(x86)", "CommonProgramW6432", "ProgramFiles(x86)",
                                      "ProgramW6432"};

// The folder values of the CurrentVersion key and the variables Wine makes of them.
constexpr Fixed kFolderValues[] = {
    {"ProgramFilesDir", "ProgramFiles"},
    {"ProgramFilesDir (x86)", "ProgramFiles(x86)"},
    {"CommonFilesDir", "CommonProgramFiles"},
    {"CommonFilesDir (x86)", "CommonProgramFiles(x86)"},
    {"ProgramW6432Dir", "ProgramW6432"},
    {"CommonW6432Dir", "CommonProgramW6432"},
};

// Windows keeps a variable's value, and what ExpandEnvironmentStrings makes, within
// 32767 characters. Holding to that keeps values made of values that double at each
// step (A=%B%%B%, B=%C%%C%, ... in a prefix's registry) from filling the memory.
constexpr std::size_t kMaxExpandedBytes = 32767;
// Deeper chains of variables referring to others than this are no prefix's own, and
// following one to its end could exhaust the stack.
constexpr int kMaxNesting = 64;

// ExpandEnvironmentStrings, as Windows does it: a name between two "%" that is not
// a variable is copied with both "%", and scanning goes on after the second one; a
// "%" without a partner is copied as it is. So is a reference whose value would take
// the text past kMaxExpandedBytes.
std::string ExpandWith(std::string_view text, const std::function<std::optional<std::string>(std::string_view)>& lookup)
{
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t open = text.find('%', pos);
        if (open == std::string_view::npos) {
            out.append(text.substr(pos));
            break;
        }
        out.append(text.substr(pos, open - pos));
        const size_t close = text.find('%', open + 1);
        if (close == std::string_view::npos) {
            out.append(text.substr(open));
            break;
        }
        const std::string_view name = text.substr(open + 1, close - open - 1);
        const std::optional<std::string> value = name.empty() ? std::nullopt : lookup(name);
        if (value && out.size() + value->size() <= kMaxExpandedBytes)
            out += *value;
        else
            out.append(text.substr(open, close - open + 1));
        pos = close + 1;
    }
    return out;
}

// Variables as the registry holds them: REG_EXPAND_SZ ones refer to others, in any
// order, and are expanded once all are known. A loop (A refers to B, B to A) leaves
// the names in the loop as written rather than recursing without end.
class RawVariables {
public:
    void Set(std::string_view name, std::string value, bool expand)
    {
        vars_[FoldCase(name)] = Raw{std::string(name), std::move(value), expand, State::Fresh};
    }
    void Erase(std::string_view name) { vars_.erase(FoldCase(name)); }
    bool Has(std::string_view name) const { return vars_.contains(FoldCase(name)); }

    std::string Expand(std::string_view text)
    {
        return ExpandWith(text, [this](std::string_view name) { return Resolve(FoldCase(name)); });
    }

    void ResolveInto(std::map<std::string, std::pair<std::string, std::string>>& out)
    {
        for (auto& [folded, raw] : vars_) {
            const std::optional<std::string> value = Resolve(folded);
            out[folded] = {raw.name, value.value_or(raw.value)};
        }
    }

private:
    enum class State { Fresh, Resolving, Done };
    struct Raw {
        std::string name;
        std::string value;
        bool expand = false;
        State state = State::Fresh;
    };

    std::optional<std::string> Resolve(const std::string& folded)
    {
        const auto it = vars_.find(folded);
        if (it == vars_.end())
            return std::nullopt;
        Raw& raw = it->second;
        if (!raw.expand || raw.state == State::Done)
            return raw.value;
        // Too deep, the reference stays as written, as in a loop; the variable
        // itself is expanded when it is asked for from less deep.
        if (raw.state == State::Resolving || depth_ == kMaxNesting)
            return std::nullopt;
        raw.state = State::Resolving;
        ++depth_;
        raw.value = Expand(raw.value); // entries of a std::map stay put while others are looked up
        --depth_;
        raw.state = State::Done;
        return raw.value;
    }

    std::map<std::string, Raw> vars_;
    int depth_ = 0; // variables being expanded, each inside the one before
};

std::string LoginName()
{
    if (const char* user = std::getenv("USER"); user && *user)
        return user;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_name && *pw->pw_name)
        return pw->pw_name;
    return "user";
}

// Wine names the profile folder after the login name; a prefix made by another
// account (or copied from one) has that account's folder instead.
std::string PrefixUserName(const std::string& prefixDir)
{
    const std::string login = LoginName();
    const std::string usersDir = prefixDir + "/drive_c/users";
    const UniqueDir dir(::opendir(usersDir.c_str()));
    if (!dir)
        return login;
    std::optional<std::string> first;
    std::optional<std::string> loginEntry;
    const std::string foldedLogin = FoldCase(login);
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name.empty() || name.front() == '.')
            continue;
        const std::string folded = FoldCase(name);
        if (folded == "PUBLIC" || folded == "DEFAULT" || folded == "DEFAULT USER" || folded == "ALL USERS")
            continue;
        struct stat st {};
        if (::stat((usersDir + "/" + name).c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            continue;
        if (folded == foldedLogin)
            loginEntry = name;
        if (!first || name < *first)
            first = name;
    }
    if (loginEntry)
        return *loginEntry;
    return first.value_or(login);
}

void SetFromValue(RawVariables& raw, std::string_view variable, const WineRegistry::Value& value)
{
    if (std::optional<std::string> text = value.AsString())
        raw.Set(variable, std::move(*text), value.type == kRegExpandSz);
}

} // namespace

const WinEnvironment& WinEnvironment::Default()
{
    // Never destroyed: workers expand names with it, and may still at exit.
    static const WinEnvironment& env = *new WinEnvironment(FromEnvironment());
    return env;
}

WinEnvironment WinEnvironment::FromEnvironment()
{
    if (const std::optional<std::string> prefix = LocateWinePrefix())
        return FromPrefix(*prefix);
    return Defaults();
}

WinEnvironment WinEnvironment::Defaults()
{
    WinEnvironment env;
    for (const Fixed& f : kSystemDefaults)
        env.Set(f.name, f.value);
    env.Set("USERNAME", LoginName());
    env.SetProfile(env.profilesDir_ + "\\" + LoginName());
    return env;
}

std::vector<std::string> WinEnvironment::SystemKeys()
{
    return {std::string(kSessionEnvironment), std::string(kSessionEnvironment001), std::string(kCurrentVersion),
            std::string(kProfileList)};
}

std::vector<std::string> WinEnvironment::UserKeys() { return {std::string(kUserEnvironment)}; }

WinEnvironment WinEnvironment::FromPrefix(const std::string& prefixDir)
{
    const WineRegistry system = WineRegistry::Load(prefixDir + "/system.reg", SystemKeys());
    const WineRegistry user = WineRegistry::Load(prefixDir + "/user.reg", UserKeys());
    return FromWineRegistry(prefixDir, system, user);
}

WinEnvironment WinEnvironment::FromWineRegistry(const std::string& prefixDir, const WineRegistry& system,
                                                const WineRegistry& user)
{
    RawVariables raw;
    for (const Fixed& f : kSystemDefaults)
        raw.Set(f.name, f.value, false);
    if (system.Arch() == "win32")
        for (const char* name : kWin64Only)
            raw.Erase(name);

    if (const WineRegistry::Key* key = system.FindKey(kCurrentVersion))
        for (const Fixed& f : kFolderValues)
            if (const WineRegistry::Value* value = key->Find(f.name))
                SetFromValue(raw, f.value, *value);

    const WineRegistry::Key* profiles = system.FindKey(kProfileList);
    if (profiles) {
        if (const WineRegistry::Value* value = profiles->Find("ProgramData")) {
            SetFromValue(raw, "ProgramData", *value);
            SetFromValue(raw, "ALLUSERSPROFILE", *value);
        }
        if (const WineRegistry::Value* value = profiles->Find("Public"))
            SetFromValue(raw, "PUBLIC", *value);
    }

    const WineRegistry::Key* sessionKey = system.FindKey(kSessionEnvironment);
    if (!sessionKey || sessionKey->values.empty())
        sessionKey = system.FindKey(kSessionEnvironment001);
    if (sessionKey)
        for (const auto& [name, value] : sessionKey->values)
            if (!name.empty())
                SetFromValue(raw, name, value);

    // The per-user variables no file holds: Windows makes them when the user logs on.
    WinEnvironment env;
    if (const WineRegistry::Value* value = profiles ? profiles->Find("ProfilesDirectory") : nullptr) {
        if (std::optional<std::string> text = value->AsString(); text && !text->empty())
            env.profilesDir_ = value->type == kRegExpandSz ? raw.Expand(*text) : *text;
    }
    while (env.profilesDir_.size() > 3 && env.profilesDir_.back() == '\\')
        env.profilesDir_.pop_back();
    const std::string userName = PrefixUserName(prefixDir);
    env.Set("USERNAME", userName);
    env.SetProfile(env.profilesDir_ + "\\" + userName);
    for (const auto& [folded, entry] : env.vars_)
        raw.Set(entry.first, entry.second, false);

    // The user's own variables win, except that the user's Path goes after the
    // system's, as Windows joins them.
    std::optional<std::pair<std::string, bool>> userPath;
    if (const WineRegistry::Key* key = user.FindKey(kUserEnvironment)) {
        for (const auto& [name, value] : key->values) {
            if (name.empty())
                continue;
            if (FoldCase(name) == "PATH") {
                if (std::optional<std::string> text = value.AsString())
                    userPath = {std::move(*text), value.type == kRegExpandSz};
                continue;
            }
            SetFromValue(raw, name, value);
        }
    }

    env.vars_.clear();
    raw.ResolveInto(env.vars_);
    if (userPath) {
        const std::string extra = userPath->second ? raw.Expand(userPath->first) : userPath->first;
        auto& path = env.vars_[FoldCase("Path")];
        if (path.first.empty())
            path = {"Path", extra};
        else if (!extra.empty())
            path.second = path.second.empty() ? extra : path.second + ";" + extra;
    }
    return env;
}

WinEnvironment WinEnvironment::ForDefaultUser() const
{
    WinEnvironment env = *this;
    env.SetProfile(profilesDir_ + "\\Default");
    return env;
}

void WinEnvironment::SetProfile(const std::string& profileDir)
{
    Set("USERPROFILE", profileDir);
    Set("APPDATA", profileDir + "\\AppData\\Roaming");
    Set("LOCALAPPDATA", profileDir + "\\AppData\\Local");
    Set("TEMP", profileDir + "\\AppData\\Local\\Temp");
    Set("TMP", profileDir + "\\AppData\\Local\\Temp");
    if (profileDir.size() >= 2 && profileDir[1] == ':') {
        Set("HOMEDRIVE", profileDir.substr(0, 2));
        Set("HOMEPATH", profileDir.size() > 2 ? profileDir.substr(2) : "\\");
    }
}

std::optional<std::string> WinEnvironment::Get(std::string_view name) const
{
    const auto it = vars_.find(FoldCase(name));
    if (it == vars_.end())
        return std::nullopt;
    return it->second.second;
}

void WinEnvironment::Set(std::string_view name, std::string value)
{
    vars_[FoldCase(name)] = {std::string(name), std::move(value)};
}

std::string WinEnvironment::Expand(std::string_view text) const
{
    return ExpandWith(text, [this](std::string_view name) { return Get(name); });
}

} // namespace platform
