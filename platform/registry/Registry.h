#pragma once
// The registry: four hives kept as .reg 5.00 text files, one per hive, shaped like
// the Win32 registry calls. Every change is a read-modify-write of the hive file
// under an advisory lock on a separate lock file, written atomically, so two running
// instances and a crash lose nothing.
//
// Names (key paths, value names) and string values travel as bytes: UTF-8 where they
// are text, any bytes otherwise (in a string value's UTF-16 data, bytes that are not
// UTF-8 become the lone surrogates U+DC80..U+DCFF, see platform/util/Text.h; how the
// file keeps them exactly is in docs/registry.md).
// Key paths use "\" between keys and compare ignoring letter case, keeping the case
// they were created with.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform::registry {

class HiveFile;

enum class Hive { CurrentUser, LocalMachine, Users, ClassesRoot };

// Result codes, numbered as the Win32 error codes they stand for.
enum Result : long {
    Success = 0,           // ERROR_SUCCESS
    NotFound = 2,          // ERROR_FILE_NOT_FOUND: no such key or value
    AccessDenied = 5,      // ERROR_ACCESS_DENIED: the hive can't be written, or a key has subkeys
    InvalidParameter = 87, // ERROR_INVALID_PARAMETER
    MoreData = 234,        // ERROR_MORE_DATA: the caller's buffer is too small
    NoMoreItems = 259,     // ERROR_NO_MORE_ITEMS: enumeration past the end
    WrongType = 1630,      // ERROR_UNSUPPORTED_TYPE: the value has another type than asked
};

// Value types, numbered as REG_ types. Types other than these three are kept and
// written back unchanged as raw bytes.
enum ValueType : std::uint32_t {
    RegNone = 0,
    RegSz = 1,
    RegExpandSz = 2,
    RegBinary = 3,
    RegDword = 4,
    RegMultiSz = 7,
    RegQword = 11,
};

// A value as Windows stores it: its type and its raw data. REG_SZ and REG_EXPAND_SZ
// data is UTF-16LE with its terminating NUL; REG_DWORD is 4 bytes little-endian.
struct Value {
    std::uint32_t type = RegNone;
    std::vector<std::uint8_t> data;

    static Value String(std::string_view text, std::uint32_t type = RegSz);
    static Value Dword(std::uint32_t number);
    // The string of a REG_SZ/REG_EXPAND_SZ value up to its first NUL, as bytes.
    std::string AsString() const;
    bool operator==(const Value&) const = default;
};

// The folder of the hive files: $QUILLMERE_REGISTRY_DIR, else
// $XDG_CONFIG_HOME/quillmere/registry, else ~/.config/quillmere/registry.
std::string RegistryDir();
std::string HiveName(Hive hive); // "HKEY_CURRENT_USER" and so on

// An open key: an owning handle, closed by its destructor (RegCloseKey). Opening or
// creating a key reads the hive; every query sees the newest complete state of the
// file, every change is written to the file before the call returns.
class Key {
public:
    Key();
    Key(Key&&) noexcept;
    Key& operator=(Key&&) noexcept;
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    ~Key();

    bool IsOpen() const;
    void Close();
    Hive GetHive() const;
    const std::string& Path() const; // as spelled when opened

    // RegOpenKeyEx: the key must exist. RegCreateKeyEx: made with missing parents.
    static Result Open(Hive hive, std::string_view path, Key& out);
    static Result Create(Hive hive, std::string_view path, Key& out);
    Result OpenSubKey(std::string_view subPath, Key& out) const;
    Result CreateSubKey(std::string_view subPath, Key& out) const;

    // RegQueryValueEx. With a buffer: MoreData when it is too small (size then
    // holds the size needed), as the Win32 call does.
    Result QueryValue(std::string_view name, Value& out) const;
    Result QueryValue(std::string_view name, std::uint32_t* type, void* buffer, std::uint32_t* size) const;
    Result SetValue(std::string_view name, const Value& value);   // RegSetValueEx
    Result DeleteValue(std::string_view name);                    // RegDeleteValue
    // RegDeleteKey: fails (AccessDenied) while it has subkeys; "" deletes this key.
    Result DeleteSubKey(std::string_view subPath);
    Result EnumValue(std::uint32_t index, std::string& name, Value& value) const; // RegEnumValue
    Result EnumKey(std::uint32_t index, std::string& name) const;                 // RegEnumKeyEx
    bool ValueExists(std::string_view name) const;
    bool KeyExists() const; // the key is still in the hive

    // The reading and writing helpers of the settings code. An integer or boolean
    // read fails when the value is missing or not REG_DWORD; a string read fails
    // when the value has a type other than REG_SZ or REG_EXPAND_SZ; a missing
    // string reads as empty and does not fail. A boolean is true when not 0. A
    // REG_DWORD whose data is not 4 bytes long does not read as an integer either.
    bool ReadInteger(std::string_view name, std::int32_t& out) const;
    bool ReadBool(std::string_view name, bool& out) const;
    bool ReadString(std::string_view name, std::string& out) const;
    bool WriteInteger(std::string_view name, std::int32_t value);
    bool WriteBool(std::string_view name, bool value);
    bool WriteString(std::string_view name, std::string_view value);

private:
    struct Impl;
    static Result OpenAt(Hive hive, const std::string& dir, std::string path, bool create, Key& out);
    std::unique_ptr<Impl> impl_;
};

// Groups the changes this thread makes to one hive (through any of its keys) until
// the batch ends: the hive file is locked from the first change on and written once
// at the end instead of once per change, and other processes see all of the changes
// or none. Reads on this thread see the changes at once. Batches nest; end one on the
// thread that began it. Without a batch every change is written before it returns.
class Batch {
public:
    explicit Batch(Hive hive);
    ~Batch(); // ends the batch, writing the file
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

    // Ends the batch now: Success, or AccessDenied when the file could not be written.
    Result Commit();

private:
    HiveFile* file_ = nullptr;
};

} // namespace platform::registry
