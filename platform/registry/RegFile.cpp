#include "platform/registry/RegFile.h"

#include "platform/util/Text.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <unordered_map>

namespace platform::registry {
namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";

// regedit wraps hex lists so that a line with its trailing comma stays within
// 79 columns (80 with the "\"), continuing with two blanks of indent.
constexpr std::size_t kHexLineLimit = 79;

constexpr char kHexDigits[] = "0123456789abcdef";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view TrimLeft(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size() && IsBlank(s[i]))
        ++i;
    return s.substr(i);
}

std::string_view TrimRight(std::string_view s)
{
    std::size_t n = s.size();
    while (n > 0 && IsBlank(s[n - 1]))
        --n;
    return s.substr(0, n);
}

// Nothing but blanks, or a comment, from i on.
bool RestIsEmpty(std::string_view s, std::size_t i)
{
    while (i < s.size() && IsBlank(s[i]))
        ++i;
    return i == s.size() || s[i] == ';';
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix)
{
    return s.size() >= prefix.size() && EqualsIgnoreAsciiCase(s.substr(0, prefix.size()), prefix);
}

bool IsHiveName(std::string_view name, Hive hive)
{
    static constexpr std::string_view kShort[] = {"HKCU", "HKLM", "HKU", "HKCR"};
    return EqualsIgnoreAsciiCase(name, HiveName(hive)) ||
           EqualsIgnoreAsciiCase(name, kShort[static_cast<int>(hive)]);
}

// Names (value names and quoted key paths) may hold anything, so besides regedit's
// own \\ and \" they use \n, \r, \0 and \xHH (one byte that is not UTF-8).
void AppendEscapedName(std::string& out, std::string_view name)
{
    const std::u16string units = BytesToUtf16(name);
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t c = units[i];
        if (c == u'\\') {
            out += "\\\\";
        } else if (c == u'"') {
            out += "\\\"";
        } else if (c == u'\n') {
            out += "\\n";
        } else if (c == u'\r') {
            out += "\\r";
        } else if (c == 0) {
            out += "\\0";
        } else if (c >= 0xDC80 && c <= 0xDCFF) {
            out += "\\x";
            out += kHexDigits[(c >> 4) & 0xF];
            out += kHexDigits[c & 0xF];
        } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size()) {
            // BytesToUtf16 only makes valid pairs; every other surrogate is a byte.
            AppendUtf8(out, 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
        } else {
            AppendUtf8(out, c);
        }
    }
}

// A key path can go between the brackets as it is unless it would break the line
// or the file's UTF-8.
bool PathNeedsQuoting(std::string_view path)
{
    return path.find_first_of(std::string_view("\n\r\0", 3)) != std::string_view::npos || !IsValidUtf8(path);
}

std::u16string Utf16FromLe(const std::vector<std::uint8_t>& data, std::size_t units)
{
    std::u16string out(units, u'\0');
    for (std::size_t i = 0; i < units; ++i)
        out[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    return out;
}

// A REG_SZ value is written in quotes when that gives back exactly its data: one
// terminating NUL and no other, valid UTF-16 and no line breaks. Anything else is
// written as hex(1), which regedit reads as the same REG_SZ bytes.
bool QuotedFormFits(const Value& value, std::string& text)
{
    const auto& data = value.data;
    if (value.type != RegSz || data.size() < 2 || data.size() % 2 != 0)
        return false;
    const std::u16string units = Utf16FromLe(data, data.size() / 2 - 1);
    if (data[data.size() - 1] != 0 || data[data.size() - 2] != 0)
        return false;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t c = units[i];
        if (c == 0 || c == u'\n' || c == u'\r')
            return false;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= units.size() || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF)
                return false;
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;
        }
    }
    text = Utf16ToBytes(units);
    return true;
}

void AppendHexList(std::string& out, std::size_t column, const std::vector<std::uint8_t>& data)
{
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (i > 0 && column + 3 > kHexLineLimit) {
            out += "\\\n  ";
            column = 2;
        }
        out += kHexDigits[data[i] >> 4];
        out += kHexDigits[data[i] & 0xF];
        if (i + 1 < data.size())
            out += ',';
        column += 3;
    }
}

void AppendValueLine(std::string& out, const RegValueEntry& entry)
{
    std::string line;
    if (entry.name.empty()) {
        line = "@=";
    } else {
        line = "\"";
        AppendEscapedName(line, entry.name);
        line += "\"=";
    }
    const Value& value = entry.value;
    std::string text;
    if (QuotedFormFits(value, text)) {
        line += '"';
        for (const char c : text) {
            if (c == '\\' || c == '"')
                line += '\\';
            line += c;
        }
        line += '"';
    } else if (value.type == RegDword && value.data.size() == 4) {
        char buf[16];
        const std::uint32_t n = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                                (static_cast<std::uint32_t>(value.data[3]) << 24);
        std::snprintf(buf, sizeof buf, "%08x", n);
        line += "dword:";
        line += buf;
    } else {
        if (value.type == RegBinary) {
            line += "hex:";
        } else {
            char buf[24];
            std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(value.type));
            line += buf;
        }
        const std::size_t column = BytesToUtf16(line).size();
        AppendHexList(line, column, value.data);
    }
    out += line;
    out += '\n';
}

void AppendKey(std::string& out, const RegKeyNode& node, const std::string& path)
{
    if (PathNeedsQuoting(path)) {
        out += "[\"";
        AppendEscapedName(out, path);
        out += "\"]\n";
    } else {
        out += '[';
        out += path;
        out += "]\n";
    }
    for (const RegValueEntry& value : node.values)
        AppendValueLine(out, value);
    out += '\n';
    for (const RegKeyNode& sub : node.subkeys)
        AppendKey(out, sub, path + '\\' + sub.name);
}

// The physical lines of the text; a line's end is kept so that a string running
// over a line break keeps the break it had.
class LineReader {
public:
    explicit LineReader(std::string_view text) : text_(text) {}

    bool Next(std::string_view& line, std::string_view& lineEnd)
    {
        if (pos_ >= text_.size())
            return false;
        const std::size_t nl = text_.find('\n', pos_);
        const std::size_t end = nl == std::string_view::npos ? text_.size() : nl;
        std::size_t contentEnd = end;
        if (nl != std::string_view::npos && end > pos_ && text_[end - 1] == '\r')
            --contentEnd;
        line = text_.substr(pos_, contentEnd - pos_);
        lineEnd = nl == std::string_view::npos ? std::string_view() : text_.substr(contentEnd, nl + 1 - contentEnd);
        pos_ = nl == std::string_view::npos ? text_.size() : nl + 1;
        ++number_;
        return true;
    }

    std::size_t Number() const { return number_; }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
    std::size_t number_ = 0;
};

class Parser {
public:
    Parser(std::string_view text, Hive hive, RegKeyNode& root, RegParseError& error)
        : lines_(text), hive_(hive), root_(root), error_(error)
    {
    }

    bool Run()
    {
        bool sawHeader = false;
        std::string_view line, lineEnd;
        while (lines_.Next(line, lineEnd)) {
            const std::string_view text = TrimLeft(line);
            if (!sawHeader) {
                if (text.empty())
                    continue;
                if (TrimRight(text) != kHeader)
                    return Fail("the file does not begin with \"Windows Registry Editor Version 5.00\"");
                sawHeader = true;
                continue;
            }
            if (text.empty() || text[0] == ';')
                continue;
            bool ok;
            if (text[0] == '[')
                ok = KeyLine(TrimRight(text));
            else if (text[0] == '"' || text[0] == '@')
                ok = ValueLine(text, lineEnd);
            else
                ok = Fail("a line that is neither a key, a value nor a comment");
            if (!ok)
                return false;
        }
        return true;
    }

private:
    bool Fail(std::string reason)
    {
        error_.line = lines_.Number();
        error_.reason = std::move(reason);
        return false;
    }

    // A quoted name at s[i] == '"', ending on the same line; i ends after the quote.
    static bool QuotedName(std::string_view s, std::size_t& i, std::string& out)
    {
        for (++i; i < s.size(); ++i) {
            const char c = s[i];
            if (c == '"') {
                ++i;
                return true;
            }
            if (c != '\\' || i + 1 >= s.size()) {
                out += c;
                continue;
            }
            const char e = s[i + 1];
            if (e == '\\' || e == '"') {
                out += e;
            } else if (e == 'n') {
                out += '\n';
            } else if (e == 'r') {
                out += '\r';
            } else if (e == '0') {
                out += '\0';
            } else if (e == 'x' && i + 3 < s.size() && HexDigitValue(s[i + 2]) >= 0 && HexDigitValue(s[i + 3]) >= 0) {
                out += static_cast<char>(HexDigitValue(s[i + 2]) * 16 + HexDigitValue(s[i + 3]));
                i += 2;
            } else {
                out += c; // not an escape: the backslash stands for itself
                continue;
            }
            ++i;
        }
        return false;
    }

    bool KeyLine(std::string_view s)
    {
        std::size_t i = 1;
        const bool remove = s.size() > 1 && s[1] == '-';
        if (remove)
            ++i;
        std::string path;
        if (i < s.size() && s[i] == '"') {
            if (!QuotedName(s, i, path))
                return Fail("a quoted key path without its closing quote");
            if (i + 1 != s.size() || s[i] != ']')
                return Fail("text after the quoted key path");
        } else {
            if (s.back() != ']' || s.size() < i + 1)
                return Fail("a key line that does not end with \"]\"");
            path = s.substr(i, s.size() - 1 - i);
        }
        std::vector<std::string> names;
        if (!SplitKeyPath(path, names))
            return Fail("a key path more than 512 keys deep");
        if (names.empty() || !IsHiveName(names[0], hive_))
            return Fail("a key outside " + HiveName(hive_));
        current_ = nullptr;
        valueIndex_.clear();
        if (remove)
            return RemoveKey(names);
        RegKeyNode* node = &root_;
        for (std::size_t k = 1; k < names.size(); ++k)
            node = &node->AddSubKey(names[k]);
        current_ = node;
        for (std::size_t k = 0; k < node->values.size(); ++k)
            valueIndex_.emplace(node->values[k].folded, k);
        return true;
    }

    bool RemoveKey(const std::vector<std::string>& names)
    {
        if (names.size() == 1)
            return Fail("a line that deletes the whole hive");
        RegKeyNode* node = &root_;
        for (std::size_t k = 1; node && k + 1 < names.size(); ++k)
            node = node->FindSubKey(FoldName(names[k]));
        if (node)
            node->RemoveSubKey(FoldName(names.back()));
        return true;
    }

    bool ValueLine(std::string_view s, std::string_view lineEnd)
    {
        std::string name;
        std::size_t i = 0;
        if (s[0] == '@') {
            i = 1;
        } else if (!QuotedName(s, i, name)) {
            return Fail("a value name without its closing quote");
        }
        while (i < s.size() && IsBlank(s[i]))
            ++i;
        if (i >= s.size() || s[i] != '=')
            return Fail("a value name not followed by \"=\"");
        ++i;
        while (i < s.size() && IsBlank(s[i]))
            ++i;
        if (!current_)
            return Fail("a value outside any key");
        const std::string_view data = s.substr(i);
        Value value;
        if (!data.empty() && data[0] == '"') {
            if (!QuotedData(data, lineEnd, value))
                return false;
        } else if (!data.empty() && data[0] == '-') {
            if (!RestIsEmpty(data, 1))
                return Fail("text after \"-\"");
            DeleteValue(name);
            return true;
        } else if (StartsWithNoCase(data, "dword:")) {
            if (!Dword(data.substr(6), value))
                return false;
        } else if (StartsWithNoCase(data, "hex")) {
            if (!Hex(data.substr(3), value))
                return false;
        } else {
            return Fail("value data that is not a string, dword: or hex: list");
        }
        StoreValue(name, value);
        return true;
    }

    // A quoted string may run over line breaks (old exports wrote REG_SZ data with
    // its line breaks as they were); the breaks become part of the string.
    bool QuotedData(std::string_view s, std::string_view lineEnd, Value& value)
    {
        std::string text;
        std::size_t i = 1;
        for (;;) {
            if (i >= s.size()) {
                text += lineEnd;
                if (!lines_.Next(s, lineEnd))
                    return Fail("a string without its closing quote");
                i = 0;
                continue;
            }
            const char c = s[i];
            if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
                text += s[i + 1];
                i += 2;
                continue;
            }
            ++i;
            if (c == '"')
                break;
            text += c;
        }
        if (!RestIsEmpty(s, i))
            return Fail("text after the closing quote of a string");
        value = Value::String(text, RegSz);
        return true;
    }

    bool Dword(std::string_view s, Value& value)
    {
        std::uint32_t n = 0;
        std::size_t i = 0;
        while (i < s.size() && HexDigitValue(s[i]) >= 0) {
            if (i == 8)
                return Fail("a dword of more than 8 hex digits");
            n = n * 16 + static_cast<std::uint32_t>(HexDigitValue(s[i]));
            ++i;
        }
        if (i == 0 || !RestIsEmpty(s, i))
            return Fail("a dword that is not 1 to 8 hex digits");
        value = Value::Dword(n);
        return true;
    }

    bool Hex(std::string_view s, Value& value)
    {
        std::size_t i = 0;
        std::uint32_t type = RegBinary;
        if (i < s.size() && s[i] == '(') {
            type = 0;
            std::size_t digits = 0;
            for (++i; i < s.size() && HexDigitValue(s[i]) >= 0; ++i, ++digits)
                type = type * 16 + static_cast<std::uint32_t>(HexDigitValue(s[i]));
            if (digits == 0 || digits > 8 || i >= s.size() || s[i] != ')')
                return Fail("a hex(type) whose type is not 1 to 8 hex digits");
            ++i;
        }
        if (i >= s.size() || s[i] != ':')
            return Fail("\":\" missing after hex");
        value.type = type;
        return HexList(s.substr(i + 1), value.data);
    }

    bool HexList(std::string_view s, std::vector<std::uint8_t>& out)
    {
        std::size_t i = 0;
        for (;;) {
            while (i < s.size() && IsBlank(s[i]))
                ++i;
            if (i >= s.size() || s[i] == ';')
                return true;
            if (s[i] == '\\') {
                if (!RestIsEmpty(s, i + 1))
                    return Fail("text after the \"\\\" that continues a hex list");
                std::string_view lineEnd;
                if (!lines_.Next(s, lineEnd))
                    return true;
                i = 0;
                continue;
            }
            int byte = HexDigitValue(s[i]);
            if (byte < 0)
                return Fail("a hex list with something other than hex bytes");
            ++i;
            if (i < s.size() && HexDigitValue(s[i]) >= 0)
                byte = byte * 16 + HexDigitValue(s[i++]);
            out.push_back(static_cast<std::uint8_t>(byte));
            while (i < s.size() && IsBlank(s[i]))
                ++i;
            if (i < s.size() && s[i] == ',')
                ++i;
            else if (i < s.size() && s[i] != '\\' && s[i] != ';')
                return Fail("hex bytes not separated by \",\"");
        }
    }

    void StoreValue(const std::string& name, Value& value)
    {
        std::u16string folded = FoldName(name);
        const auto it = valueIndex_.find(folded);
        if (it != valueIndex_.end()) {
            current_->values[it->second].value = std::move(value);
            return;
        }
        valueIndex_.emplace(folded, current_->values.size());
        current_->values.push_back({name, std::move(folded), std::move(value)});
    }

    void DeleteValue(const std::string& name)
    {
        if (!current_->RemoveValue(FoldName(name)))
            return;
        valueIndex_.clear();
        for (std::size_t k = 0; k < current_->values.size(); ++k)
            valueIndex_.emplace(current_->values[k].folded, k);
    }

    LineReader lines_;
    Hive hive_;
    RegKeyNode& root_;
    RegParseError& error_;
    RegKeyNode* current_ = nullptr;
    std::unordered_map<std::u16string, std::size_t> valueIndex_;
};

bool SubKeyLess(const RegKeyNode& node, std::u16string_view folded) { return node.folded < folded; }

} // namespace

std::u16string FoldName(std::string_view name)
{
    std::u16string units = BytesToUtf16(name);
    for (char16_t& c : units) {
        if (c >= 0x80)
            c = static_cast<char16_t>(UpperCaseOf(c));
        else if (c >= u'a' && c <= u'z')
            c = static_cast<char16_t>(c - 0x20); // the common case, without a call
    }
    return units;
}

RegKeyNode* RegKeyNode::FindSubKey(std::u16string_view foldedName)
{
    const auto it = std::lower_bound(subkeys.begin(), subkeys.end(), foldedName, SubKeyLess);
    return it != subkeys.end() && it->folded == foldedName ? &*it : nullptr;
}

const RegKeyNode* RegKeyNode::FindSubKey(std::u16string_view foldedName) const
{
    return const_cast<RegKeyNode*>(this)->FindSubKey(foldedName);
}

RegKeyNode& RegKeyNode::AddSubKey(std::string_view subName, bool* added)
{
    std::u16string foldedName = FoldName(subName);
    auto it = std::lower_bound(subkeys.begin(), subkeys.end(), foldedName, SubKeyLess);
    const bool found = it != subkeys.end() && it->folded == foldedName;
    if (added)
        *added = !found;
    if (found)
        return *it;
    RegKeyNode node;
    node.name = subName;
    node.folded = std::move(foldedName);
    return *subkeys.insert(it, std::move(node));
}

bool RegKeyNode::RemoveSubKey(std::u16string_view foldedName)
{
    const auto it = std::lower_bound(subkeys.begin(), subkeys.end(), foldedName, SubKeyLess);
    if (it == subkeys.end() || it->folded != foldedName)
        return false;
    subkeys.erase(it);
    return true;
}

RegValueEntry* RegKeyNode::FindValue(std::u16string_view foldedName)
{
    for (RegValueEntry& entry : values) {
        if (entry.folded == foldedName)
            return &entry;
    }
    return nullptr;
}

const RegValueEntry* RegKeyNode::FindValue(std::u16string_view foldedName) const
{
    return const_cast<RegKeyNode*>(this)->FindValue(foldedName);
}

bool RegKeyNode::SetValue(std::string_view valueName, const Value& value)
{
    std::u16string foldedName = FoldName(valueName);
    if (RegValueEntry* entry = FindValue(foldedName)) {
        if (entry->value == value)
            return false;
        entry->value = value;
        return true;
    }
    values.push_back({std::string(valueName), std::move(foldedName), value});
    return true;
}

bool RegKeyNode::RemoveValue(std::u16string_view foldedName)
{
    const auto it = std::find_if(values.begin(), values.end(),
                                 [&](const RegValueEntry& entry) { return entry.folded == foldedName; });
    if (it == values.end())
        return false;
    values.erase(it);
    return true;
}

bool SplitKeyPath(std::string_view path, std::vector<std::string>& names)
{
    names.clear();
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string_view::npos)
            end = path.size();
        if (end > start) {
            if (names.size() == kMaxKeyDepth + 1) // the hive's name comes on top in a file
                return false;
            names.emplace_back(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return true;
}

bool ParseRegFile(std::string_view bytes, Hive hive, RegKeyNode& root, RegParseError& error)
{
    root = RegKeyNode();
    error = RegParseError();
    std::string decoded;
    std::string_view text = bytes;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        if (bytes.size() % 2 != 0) {
            error.reason = "UTF-16 text that ends in half a character";
            return false;
        }
        std::u16string units((bytes.size() - 2) / 2, u'\0');
        for (std::size_t i = 0; i < units.size(); ++i)
            units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 + 2 * i]) |
                                             (static_cast<unsigned char>(bytes[3 + 2 * i]) << 8));
        decoded = Utf16ToBytes(units);
        text = decoded;
    } else if (bytes.starts_with("\xEF\xBB\xBF")) {
        text = bytes.substr(3);
    }
    if (!Parser(text, hive, root, error).Run()) {
        root = RegKeyNode();
        return false;
    }
    return true;
}

std::string FormatRegFile(const RegKeyNode& root, Hive hive)
{
    std::string out(kHeader);
    out += "\n\n";
    AppendKey(out, root, HiveName(hive));
    return out;
}

void FuzzRegFile(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    RegKeyNode root;
    RegParseError error;
    if (!ParseRegFile(bytes, Hive::CurrentUser, root, error))
        return;
    const std::string text = FormatRegFile(root, Hive::CurrentUser);
    RegKeyNode again;
    if (!ParseRegFile(text, Hive::CurrentUser, again, error) || !(again == root) ||
        FormatRegFile(again, Hive::CurrentUser) != text)
        std::abort();
}

} // namespace platform::registry
