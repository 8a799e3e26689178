#pragma once
// The text of one hive file: the parsed tree of keys and values, the reader of
// "Windows Registry Editor Version 5.00" text and its writer. The file format and
// its escapes are described in docs/registry.md.
#include "platform/registry/Registry.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform::registry {

// Windows allows a key path 512 levels deep; deeper paths in a file or a call fail.
constexpr std::size_t kMaxKeyDepth = 512;

// The form in which names are compared: the UTF-16 text with the letters in upper
// case, as the registry compares key and value names (case-insensitive, keeping the
// case they were made with). Sorting by it gives the order of RegEnumKeyEx.
std::u16string FoldName(std::string_view name);

struct RegValueEntry {
    std::string name; // bytes, "" for the default value
    std::u16string folded;
    Value value;
    bool operator==(const RegValueEntry&) const = default;
};

struct RegKeyNode {
    std::string name; // "" for the hive's root
    std::u16string folded;
    std::vector<RegValueEntry> values; // in the order they were made
    std::vector<RegKeyNode> subkeys;   // sorted by folded name

    RegKeyNode* FindSubKey(std::u16string_view foldedName);
    const RegKeyNode* FindSubKey(std::u16string_view foldedName) const;
    // Finds the subkey or makes it; added tells which.
    RegKeyNode& AddSubKey(std::string_view subName, bool* added = nullptr);
    bool RemoveSubKey(std::u16string_view foldedName);

    RegValueEntry* FindValue(std::u16string_view foldedName);
    const RegValueEntry* FindValue(std::u16string_view foldedName) const;
    // Replaces the value's data in place or appends a new value; false when the
    // value already held exactly this.
    bool SetValue(std::string_view valueName, const Value& value);
    bool RemoveValue(std::u16string_view foldedName);

    bool operator==(const RegKeyNode&) const = default;
};

// Splits "A\B\\C\" into its non-empty names; false when it is deeper than kMaxKeyDepth.
bool SplitKeyPath(std::string_view path, std::vector<std::string>& names);

struct RegParseError {
    std::size_t line = 0; // 1-based line of the file, 0 for the file as a whole
    std::string reason;
};

// Reads a whole hive file: UTF-8 (with or without a BOM) or UTF-16LE with its BOM,
// LF or CRLF line ends. Every key in it must belong to hive. An empty file (or one
// of white space only) is an empty hive. On failure root is left empty.
bool ParseRegFile(std::string_view bytes, Hive hive, RegKeyNode& root, RegParseError& error);

// The file text of a hive: UTF-8 without a BOM, LF line ends, every key in
// depth-first order with its subkeys sorted, as regedit exports a whole hive.
std::string FormatRegFile(const RegKeyNode& root, Hive hive);

// Entry point for a fuzzer: parses arbitrary bytes and, when they parse, checks that
// writing and reading back gives the same tree and the same text; aborts otherwise.
void FuzzRegFile(const std::uint8_t* data, std::size_t size);

} // namespace platform::registry
