#include "platform/shellfolders/UserDirs.h"

#include <cstdlib>
#include <fstream>

namespace platform {
namespace {

std::string WithoutTrailingSlash(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

} // namespace

std::vector<std::pair<std::string, std::string>> ReadUserDirs(const std::string& home)
{
    std::string configHome;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
        configHome = xdg;
    else if (!home.empty())
        configHome = home + "/.config";
    else
        return {};
    std::ifstream file(configHome + "/user-dirs.dirs", std::ios::binary);
    std::vector<std::pair<std::string, std::string>> dirs;
    std::string line;
    while (std::getline(file, line)) {
        size_t p = line.find_first_not_of(" \t");
        if (p == std::string::npos || line[p] == '#')
            continue;
        const size_t eq = line.find('=', p);
        if (eq == std::string::npos)
            continue;
        std::string name = line.substr(p, eq - p);
        while (!name.empty() && (name.back() == ' ' || name.back() == '\t'))
            name.pop_back();
        std::string value;
        p = eq + 1;
        if (p < line.size() && line[p] == '"') {
            bool closed = false;
            for (++p; p < line.size(); ++p) {
                if (line[p] == '\\' && p + 1 < line.size()) {
                    value += line[++p];
                } else if (line[p] == '"') {
                    closed = true;
                    break;
                } else {
                    value += line[p];
                }
            }
            if (!closed)
                continue;
        } else {
            const size_t end = line.find_first_of(" \t\r", p);
            value = line.substr(p, end == std::string::npos ? std::string::npos : end - p);
        }
        for (const std::string_view homeVar : {"$HOME", "${HOME}"}) {
            if (value.compare(0, homeVar.size(), homeVar) == 0
                && (value.size() == homeVar.size() || value[homeVar.size()] == '/')) {
                if (home.empty())
                    value.clear();
                else
                    value = home + value.substr(homeVar.size());
                break;
            }
        }
        if (value.empty() || value.front() != '/')
            continue;
        dirs.emplace_back(std::move(name), WithoutTrailingSlash(std::move(value)));
    }
    return dirs;
}

std::optional<std::string> UserDir(std::string_view name, const std::string& home)
{
    std::optional<std::string> folder;
    for (auto& [assigned, path] : ReadUserDirs(home))
        if (assigned == name)
            folder = std::move(path);
    return folder;
}

} // namespace platform
