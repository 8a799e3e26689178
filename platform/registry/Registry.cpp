#include "platform/registry/Registry.h"

#include "platform/registry/HiveFile.h"
#include "platform/util/Text.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace platform::registry {
namespace {

bool IsValidHive(Hive hive)
{
    const int n = static_cast<int>(hive);
    return n >= 0 && n <= 3;
}

struct KeyPath {
    std::vector<std::string> names;
    std::vector<std::u16string> folded;
};

bool MakeKeyPath(std::string_view path, KeyPath& out)
{
    if (!SplitKeyPath(path, out.names) || out.names.size() > kMaxKeyDepth)
        return false;
    out.folded.clear();
    for (const std::string& name : out.names)
        out.folded.push_back(FoldName(name));
    return true;
}

RegKeyNode* FindKey(RegKeyNode& root, const std::vector<std::u16string>& folded, std::size_t count)
{
    RegKeyNode* node = &root;
    for (std::size_t i = 0; node && i < count; ++i)
        node = node->FindSubKey(folded[i]);
    return node;
}

const RegKeyNode* FindKey(const RegKeyNode& root, const std::vector<std::u16string>& folded)
{
    return FindKey(const_cast<RegKeyNode&>(root), folded, folded.size());
}

std::string JoinPath(const std::string& path, std::string_view sub)
{
    if (sub.empty())
        return path;
    if (path.empty())
        return std::string(sub);
    return path + '\\' + std::string(sub);
}

} // namespace

// ---- Value

Value Value::String(std::string_view text, std::uint32_t type)
{
    const std::u16string units = BytesToUtf16(text);
    Value value;
    value.type = type;
    value.data.reserve(units.size() * 2 + 2);
    for (const char16_t c : units) {
        value.data.push_back(static_cast<std::uint8_t>(c & 0xFF));
        value.data.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    value.data.push_back(0);
    value.data.push_back(0);
    return value;
}

Value Value::Dword(std::uint32_t number)
{
    Value value;
    value.type = RegDword;
    value.data = {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
                  static_cast<std::uint8_t>(number >> 16), static_cast<std::uint8_t>(number >> 24)};
    return value;
}

std::string Value::AsString() const
{
    std::u16string units;
    for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
        const char16_t c = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        if (c == 0)
            break;
        units += c;
    }
    return Utf16ToBytes(units);
}

// ---- Places

std::string RegistryDir()
{
    if (const char* dir = std::getenv("QUILLMERE_REGISTRY_DIR"); dir && *dir)
        return dir;
    std::string base;
    // A relative XDG_CONFIG_HOME is to be ignored, as the XDG base directories say.
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/') {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) {
            const passwd* pw = ::getpwuid(::getuid());
            home = pw && pw->pw_dir ? pw->pw_dir : "/";
        }
        base = std::string(home) + "/.config";
    }
    return base + "/quillmere/registry";
}

std::string HiveName(Hive hive)
{
    switch (hive) {
    case Hive::CurrentUser: return "HKEY_CURRENT_USER";
    case Hive::LocalMachine: return "HKEY_LOCAL_MACHINE";
    case Hive::Users: return "HKEY_USERS";
    case Hive::ClassesRoot: return "HKEY_CLASSES_ROOT";
    }
    return {};
}

// ---- Key

struct Key::Impl {
    Hive hive;
    HiveFile* file;
    std::string path; // as spelled
    KeyPath keyPath;

    // The newest state of this key; NotFound once it has been deleted.
    Result Node(std::shared_ptr<const RegKeyNode>& root, const RegKeyNode*& node) const
    {
        if (const Result result = file->Read(root); result != Success)
            return result;
        node = FindKey(*root, keyPath.folded);
        return node ? Success : NotFound;
    }

    RegKeyNode* NodeIn(RegKeyNode& root) const
    {
        return FindKey(root, keyPath.folded, keyPath.folded.size());
    }
};

Key::Key() = default;
Key::Key(Key&&) noexcept = default;
Key& Key::operator=(Key&&) noexcept = default;
Key::~Key() = default;

bool Key::IsOpen() const { return impl_ != nullptr; }

void Key::Close() { impl_.reset(); }

Hive Key::GetHive() const { return impl_ ? impl_->hive : Hive::CurrentUser; }

const std::string& Key::Path() const
{
    static const std::string none;
    return impl_ ? impl_->path : none;
}

Result Key::OpenAt(Hive hive, const std::string& dir, std::string path, bool create, Key& out)
{
    KeyPath keyPath;
    if (!IsValidHive(hive) || !MakeKeyPath(path, keyPath)) {
        out.Close();
        return InvalidParameter;
    }
    HiveFile& file = HiveFile::For(dir, hive);
    std::shared_ptr<const RegKeyNode> root;
    Result result = file.Read(root);
    if (result == Success && !FindKey(*root, keyPath.folded)) {
        if (!create) {
            result = NotFound;
        } else {
            result = file.Change([&](RegKeyNode& tree, bool& changed) {
                RegKeyNode* node = &tree;
                for (const std::string& name : keyPath.names) {
                    bool added = false;
                    node = &node->AddSubKey(name, &added);
                    changed = changed || added;
                }
                return Success;
            });
        }
    }
    if (result != Success) {
        out.Close();
        return result;
    }
    Key key;
    key.impl_ = std::make_unique<Impl>(Impl{hive, &file, std::move(path), std::move(keyPath)});
    out = std::move(key);
    return Success;
}

Result Key::Open(Hive hive, std::string_view path, Key& out)
{
    return OpenAt(hive, RegistryDir(), std::string(path), false, out);
}

Result Key::Create(Hive hive, std::string_view path, Key& out)
{
    return OpenAt(hive, RegistryDir(), std::string(path), true, out);
}

Result Key::OpenSubKey(std::string_view subPath, Key& out) const
{
    if (!impl_) {
        out.Close();
        return InvalidParameter;
    }
    // out may be this key itself: take what we need before it changes.
    return OpenAt(impl_->hive, impl_->file->Dir(), JoinPath(impl_->path, subPath), false, out);
}

Result Key::CreateSubKey(std::string_view subPath, Key& out) const
{
    if (!impl_) {
        out.Close();
        return InvalidParameter;
    }
    return OpenAt(impl_->hive, impl_->file->Dir(), JoinPath(impl_->path, subPath), true, out);
}

Result Key::QueryValue(std::string_view name, Value& out) const
{
    if (!impl_)
        return InvalidParameter;
    std::shared_ptr<const RegKeyNode> root;
    const RegKeyNode* node = nullptr;
    if (const Result result = impl_->Node(root, node); result != Success)
        return result;
    const RegValueEntry* entry = node->FindValue(FoldName(name));
    if (!entry)
        return NotFound;
    out = entry->value;
    return Success;
}

Result Key::QueryValue(std::string_view name, std::uint32_t* type, void* buffer, std::uint32_t* size) const
{
    if (!impl_ || (buffer && !size))
        return InvalidParameter;
    Value value;
    if (const Result result = QueryValue(name, value); result != Success)
        return result;
    if (type)
        *type = value.type;
    if (!size)
        return Success;
    const auto needed = static_cast<std::uint32_t>(value.data.size());
    if (buffer && *size < needed) {
        *size = needed;
        return MoreData;
    }
    if (buffer && needed > 0)
        std::memcpy(buffer, value.data.data(), needed);
    *size = needed;
    return Success;
}

Result Key::SetValue(std::string_view name, const Value& value)
{
    if (!impl_)
        return InvalidParameter;
    return impl_->file->Change([&](RegKeyNode& root, bool& changed) {
        RegKeyNode* node = impl_->NodeIn(root);
        if (!node)
            return NotFound;
        changed = node->SetValue(name, value);
        return Success;
    });
}

Result Key::DeleteValue(std::string_view name)
{
    if (!impl_)
        return InvalidParameter;
    return impl_->file->Change([&](RegKeyNode& root, bool& changed) {
        RegKeyNode* node = impl_->NodeIn(root);
        if (!node || !node->RemoveValue(FoldName(name)))
            return NotFound;
        changed = true;
        return Success;
    });
}

Result Key::DeleteSubKey(std::string_view subPath)
{
    if (!impl_)
        return InvalidParameter;
    KeyPath target;
    if (!MakeKeyPath(JoinPath(impl_->path, subPath), target))
        return InvalidParameter;
    if (target.names.empty())
        return AccessDenied; // the hive's root can't go
    return impl_->file->Change([&](RegKeyNode& root, bool& changed) {
        RegKeyNode* parent = FindKey(root, target.folded, target.folded.size() - 1);
        const RegKeyNode* child = parent ? parent->FindSubKey(target.folded.back()) : nullptr;
        if (!child)
            return NotFound;
        if (!child->subkeys.empty())
            return AccessDenied;
        parent->RemoveSubKey(target.folded.back());
        changed = true;
        return Success;
    });
}

Result Key::EnumValue(std::uint32_t index, std::string& name, Value& value) const
{
    if (!impl_)
        return InvalidParameter;
    std::shared_ptr<const RegKeyNode> root;
    const RegKeyNode* node = nullptr;
    if (const Result result = impl_->Node(root, node); result != Success)
        return result;
    if (index >= node->values.size())
        return NoMoreItems;
    name = node->values[index].name;
    value = node->values[index].value;
    return Success;
}

Result Key::EnumKey(std::uint32_t index, std::string& name) const
{
    if (!impl_)
        return InvalidParameter;
    std::shared_ptr<const RegKeyNode> root;
    const RegKeyNode* node = nullptr;
    if (const Result result = impl_->Node(root, node); result != Success)
        return result;
    if (index >= node->subkeys.size())
        return NoMoreItems;
    name = node->subkeys[index].name;
    return Success;
}

bool Key::ValueExists(std::string_view name) const
{
    Value value;
    return QueryValue(name, value) == Success;
}

bool Key::KeyExists() const
{
    if (!impl_)
        return false;
    std::shared_ptr<const RegKeyNode> root;
    const RegKeyNode* node = nullptr;
    return impl_->Node(root, node) == Success;
}

// ---- The settings helpers

bool Key::ReadInteger(std::string_view name, std::int32_t& out) const
{
    Value value;
    if (QueryValue(name, value) != Success || value.type != RegDword || value.data.size() != 4)
        return false;
    out = static_cast<std::int32_t>(value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                                    (static_cast<std::uint32_t>(value.data[3]) << 24));
    return true;
}

bool Key::ReadBool(std::string_view name, bool& out) const
{
    std::int32_t number = 0;
    if (!ReadInteger(name, number))
        return false;
    out = number != 0;
    return true;
}

bool Key::ReadString(std::string_view name, std::string& out) const
{
    Value value;
    const Result result = QueryValue(name, value);
    if (result == NotFound) {
        out.clear();
        return true;
    }
    if (result != Success || (value.type != RegSz && value.type != RegExpandSz))
        return false;
    out = value.AsString();
    return true;
}

bool Key::WriteInteger(std::string_view name, std::int32_t value)
{
    return SetValue(name, Value::Dword(static_cast<std::uint32_t>(value))) == Success;
}

bool Key::WriteBool(std::string_view name, bool value) { return WriteInteger(name, value ? 1 : 0); }

bool Key::WriteString(std::string_view name, std::string_view value)
{
    return SetValue(name, Value::String(value, RegSz)) == Success;
}

// ---- Batch

Batch::Batch(Hive hive)
{
    if (IsValidHive(hive)) {
        file_ = &HiveFile::For(RegistryDir(), hive);
        file_->BeginBatch();
    }
}

Batch::~Batch() { Commit(); }

Result Batch::Commit()
{
    if (!file_)
        return Success;
    HiveFile* file = file_;
    file_ = nullptr;
    return file->EndBatch();
}

} // namespace platform::registry
