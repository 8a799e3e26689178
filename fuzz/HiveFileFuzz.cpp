// A registry hive file holding arbitrary bytes, read as the program reads it: no crash,
// no read out of bounds; a file that parses gives its tree, one that does not is moved
// aside whole and the hive reads as empty; and a change written over either reads back
// the same in a fresh reader.
#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/HiveFile.h"
#include "platform/registry/RegFile.h"

namespace {

namespace reg = platform::registry;

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

std::string g_dir;

std::string ReadWhole(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The paths of the files in the folder; each is removed when remove says so.
std::vector<std::string> Entries(bool remove)
{
    std::vector<std::string> paths;
    std::unique_ptr<DIR, decltype(&::closedir)> dir(::opendir(g_dir.c_str()), &::closedir);
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        paths.push_back(g_dir + "/" + std::string(name));
        if (remove)
            ::unlink(paths.back().c_str());
    }
    return paths;
}

void RemoveFolder()
{
    Entries(true);
    ::rmdir(g_dir.c_str());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const char* shm = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string dir = std::string(shm) + "/qm-hivefuzz-XXXXXX";
    Check(::mkdtemp(dir.data()) != nullptr);
    g_dir = dir;
    std::atexit(RemoveFolder);
    // Every damaged input is reported on stderr by the program's stdio stream; the
    // fuzzer's own reports and the sanitizers' go straight to the descriptor.
    stderr = std::fopen("/dev/null", "w");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    Entries(true);
    const std::string path = g_dir + "/" + reg::HiveName(reg::Hive::CurrentUser) + ".reg";
    {
        std::ofstream out(path, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        Check(out.good());
    }
    reg::RegKeyNode parsed;
    reg::RegParseError error;
    const bool parses = reg::ParseRegFile(bytes, reg::Hive::CurrentUser, parsed, error);

    std::shared_ptr<const reg::RegKeyNode> root;
    {
        reg::HiveFile hive(g_dir, reg::Hive::CurrentUser);
        Check(hive.Read(root) == reg::Success && root);
        if (parses) {
            Check(*root == parsed && ReadWhole(path) == bytes);
        } else {
            // Moved aside whole, next to the lock file: nothing of it lost.
            Check(root->subkeys.empty() && root->values.empty() && ::access(path.c_str(), F_OK) != 0);
            std::size_t aside = 0;
            for (const std::string& entry : Entries(false))
                if (entry.find(".reg.corrupt-") != std::string::npos && ReadWhole(entry) == bytes)
                    ++aside;
            Check(aside == 1);
        }
        const reg::Result changed = hive.Change([](reg::RegKeyNode& node, bool& did) {
            did = node.AddSubKey("Software").AddSubKey("Fuzz").SetValue("Seen", reg::Value::Dword(1));
            return reg::Success;
        });
        Check(changed == reg::Success);
        Check(hive.Read(root) == reg::Success);
    }
    reg::HiveFile fresh(g_dir, reg::Hive::CurrentUser);
    std::shared_ptr<const reg::RegKeyNode> again;
    Check(fresh.Read(again) == reg::Success && again && *again == *root);
    return 0;
}
