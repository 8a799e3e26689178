#pragma once
// Reads the registry files of a Wine prefix (system.reg, user.reg, userdef.reg):
// Wine's own text dialect, "WINE REGISTRY Version 2", with "[Key\\Path] stamp"
// sections, "#time=", "#arch=", "#class=" and "#link" lines, and values written as
// "name"="text", str(N):"text", dword:xxxxxxxx, hex:.. and hex(N):.. (continued over
// lines ending in "\"). Strings use Wine's escapes (\\, \", \n, \x263a, \0 ...).
//
// Reading never fails: a missing file reads as empty, and a damaged one gives what
// can be read of it. A line that does not parse is skipped (and counted), a value
// whose data is damaged is left out rather than read half.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace platform {

class WineRegistry {
public:
    // A value as Windows stores it: REG_ type and raw data (strings as UTF-16LE
    // with their terminating NUL, DWORDs as 4 bytes little-endian).
    struct Value {
        std::uint32_t type = 0;
        std::vector<std::uint8_t> data;

        // The text of a REG_SZ, REG_EXPAND_SZ or REG_LINK value up to its first NUL
        // (UTF-8; UTF-16 that stood for bytes gives those bytes back). No value for
        // other types.
        std::optional<std::string> AsString() const;
        std::optional<std::uint32_t> AsDword() const;
    };

    struct Key {
        std::string path; // "\" between keys, as the file spells it
        bool isLink = false;
        std::vector<std::pair<std::string, Value>> values; // in file order; "" is the default value
        const Value* Find(std::string_view name) const;    // name ignores case
    };

    WineRegistry() = default;

    // Reads a file. With onlyKeys, only those keys (and the keys above them) are
    // kept and the rest of the file is skipped quickly: the machine's file of a
    // prefix in use runs to tens of megabytes.
    static WineRegistry Load(const std::string& hostPath, const std::vector<std::string>& onlyKeys = {});
    static WineRegistry Parse(std::string_view text, const std::vector<std::string>& onlyKeys = {});

    bool Exists() const { return exists_; }             // the file could be read
    bool HasHeader() const { return hasHeader_; }       // it began with "WINE REGISTRY Version 2"
    std::size_t DamagedLines() const { return damaged_; }
    const std::string& Arch() const { return arch_; }   // "win32", "win64" or ""
    const std::string& Root() const { return root_; }   // "\Machine", "\User\S-1-5-..." or ""

    const std::vector<Key>& Keys() const { return keys_; }
    const Key* FindKey(std::string_view path) const; // path ignores case
    const Value* FindValue(std::string_view keyPath, std::string_view name) const;
    std::optional<std::string> GetString(std::string_view keyPath, std::string_view name) const;

private:
    class Parser;
    std::size_t AddKey(std::string path); // index of the key, added when new

    std::vector<Key> keys_;
    std::unordered_map<std::string, std::size_t> index_; // folded path -> keys_ index
    std::string arch_;
    std::string root_;
    std::size_t damaged_ = 0;
    bool exists_ = false;
    bool hasHeader_ = false;
};

} // namespace platform
