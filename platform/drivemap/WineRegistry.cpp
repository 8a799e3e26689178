#include "platform/drivemap/WineRegistry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/util/Text.h"
#include "platform/util/UniqueFd.h"

namespace platform {
namespace {

constexpr std::string_view kHeader = "WINE REGISTRY Version 2";
constexpr std::string_view kRootComment = ";; All keys relative to ";
// Far beyond any real prefix (the machine's file of a busy one is tens of megabytes);
// the limit only keeps a hostile file from taking all memory.
constexpr off_t kMaxFileSize = off_t{256} << 20;

constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;
constexpr std::uint32_t kRegLink = 6;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

size_t SkipBlanks(std::string_view s, size_t pos)
{
    while (pos < s.size() && IsBlank(s[pos]))
        ++pos;
    return pos;
}

bool OnlyBlanksFrom(std::string_view s, size_t pos) { return SkipBlanks(s, pos) == s.size(); }

// Reads text in Wine's escaped form from s[pos] up to an unescaped endChar; with
// endChar 0, up to the end of s. Returns the position after endChar, or npos when s
// ends first (with endChar 0: s.size()). Bytes outside escapes are UTF-8; those that
// are not stay bytes (as lone surrogates, see BytesToUtf16).
size_t ParseEscaped(std::string_view s, size_t pos, char endChar, std::u16string& out)
{
    size_t runStart = pos;
    auto flush = [&](size_t end) {
        if (end > runStart)
            out += BytesToUtf16(s.substr(runStart, end - runStart));
    };
    while (pos < s.size()) {
        const char c = s[pos];
        if (endChar != 0 && c == endChar) {
            flush(pos);
            return pos + 1;
        }
        if (c != '\\') {
            ++pos;
            continue;
        }
        flush(pos);
        ++pos;
        if (pos >= s.size())
            return std::string_view::npos;
        const char e = s[pos];
        switch (e) {
        case 'a': out += u'\a'; ++pos; break;
        case 'b': out += u'\b'; ++pos; break;
        case 'e': out += char16_t{0x1B}; ++pos; break;
        case 'f': out += u'\f'; ++pos; break;
        case 'n': out += u'\n'; ++pos; break;
        case 'r': out += u'\r'; ++pos; break;
        case 't': out += u'\t'; ++pos; break;
        case 'v': out += u'\v'; ++pos; break;
        case 'x': {
            ++pos;
            if (pos >= s.size() || HexDigitValue(s[pos]) < 0) {
                out += u'x';
                break;
            }
            unsigned v = 0;
            for (int n = 0; n < 4 && pos < s.size() && HexDigitValue(s[pos]) >= 0; ++n, ++pos)
                v = v * 16 + static_cast<unsigned>(HexDigitValue(s[pos]));
            out += static_cast<char16_t>(v);
            break;
        }
        default:
            if (e >= '0' && e <= '7') {
                unsigned v = 0;
                for (int n = 0; n < 3 && pos < s.size() && s[pos] >= '0' && s[pos] <= '7'; ++n, ++pos)
                    v = v * 8 + static_cast<unsigned>(s[pos] - '0');
                out += static_cast<char16_t>(v);
                break;
            }
            // "\\", "\"", "\[", "\]" and anything else: the character itself, which
            // starts the next run of plain bytes.
            runStart = pos;
            ++pos;
            continue;
        }
        runStart = pos;
    }
    flush(pos);
    return endChar == 0 ? pos : std::string_view::npos;
}

std::vector<std::uint8_t> Utf16Data(const std::u16string& text, bool terminate)
{
    std::vector<std::uint8_t> data;
    data.reserve((text.size() + 1) * 2);
    for (const char16_t c : text) {
        data.push_back(static_cast<std::uint8_t>(c & 0xFF));
        data.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    if (terminate) {
        data.push_back(0);
        data.push_back(0);
    }
    return data;
}

std::string TrimKeyPath(std::string path)
{
    size_t start = 0;
    while (start < path.size() && path[start] == '\\')
        ++start;
    size_t end = path.size();
    while (end > start && path[end - 1] == '\\')
        --end;
    return path.substr(start, end - start);
}

// The contents of a regular file, or nothing (missing, not a regular file, too big).
std::optional<std::string> ReadRegularFile(const std::string& path)
{
    const UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!file)
        return std::nullopt;
    const int fd = file.Get();
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxFileSize)
        return std::nullopt;
    std::string text;
    text.resize(static_cast<size_t>(st.st_size));
    size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    text.resize(got); // a file that shrank while read gives what was there
    return text;
}

} // namespace

std::optional<std::string> WineRegistry::Value::AsString() const
{
    if (type != kRegSz && type != kRegExpandSz && type != kRegLink)
        return std::nullopt;
    std::u16string text;
    for (size_t i = 0; i + 1 < data.size(); i += 2) {
        const auto c = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        if (c == 0)
            break;
        text += c;
    }
    return Utf16ToBytes(text);
}

std::optional<std::uint32_t> WineRegistry::Value::AsDword() const
{
    if (type != kRegDword || data.size() != 4)
        return std::nullopt;
    return static_cast<std::uint32_t>(data[0]) | (static_cast<std::uint32_t>(data[1]) << 8)
        | (static_cast<std::uint32_t>(data[2]) << 16) | (static_cast<std::uint32_t>(data[3]) << 24);
}

const WineRegistry::Value* WineRegistry::Key::Find(std::string_view name) const
{
    // A name given twice: the later one counts, as when Wine loads the file.
    const std::string folded = FoldCase(name);
    for (auto it = values.rbegin(); it != values.rend(); ++it)
        if (it->first == name || FoldCase(it->first) == folded)
            return &it->second;
    return nullptr;
}

class WineRegistry::Parser {
public:
    Parser(WineRegistry& reg, std::string_view text, const std::vector<std::string>& onlyKeys)
        : reg_(reg), text_(text)
    {
        for (const std::string& k : onlyKeys)
            wanted_.push_back(FoldCase(TrimKeyPath(k)));
    }

    void Run()
    {
        size_t pos = 0;
        if (text_.substr(0, 3) == "\xEF\xBB\xBF")
            pos = 3;
        bool first = true;
        while (pos < text_.size()) {
            if (skipping_ && text_[pos] != '[') {
                // The rest of a section nobody asked for: on to the next one.
                const size_t next = text_.find("\n[", pos);
                if (next == std::string_view::npos)
                    break;
                pos = next + 1;
            }
            size_t eol = text_.find('\n', pos);
            if (eol == std::string_view::npos)
                eol = text_.size();
            std::string_view line = text_.substr(pos, eol - pos);
            pos = eol + 1;
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            if (first) {
                first = false;
                if (line.substr(0, kHeader.size()) == kHeader && OnlyBlanksFrom(line, kHeader.size())) {
                    reg_.hasHeader_ = true;
                    continue;
                }
            }
            pos = Line(line, pos);
        }
    }

private:
    // Handles one line; returns where the next line starts (a hex value may take
    // the lines after it).
    size_t Line(std::string_view line, size_t next)
    {
        if (OnlyBlanksFrom(line, 0))
            return next;
        switch (line[0]) {
        case '[':
            Section(line);
            return next;
        case ';':
            if (line.substr(0, kRootComment.size()) == kRootComment) {
                std::u16string root;
                ParseEscaped(line, kRootComment.size(), 0, root);
                reg_.root_ = Utf16ToBytes(root);
            }
            return next;
        case '#':
            if (line.substr(0, 6) == "#arch=") {
                line.remove_prefix(6);
                while (!line.empty() && IsBlank(line.back()))
                    line.remove_suffix(1);
                reg_.arch_ = std::string(line);
            } else if (line.substr(0, 5) == "#link" && key_) {
                reg_.keys_[*key_].isLink = true;
            }
            return next;
        case '"':
        case '@':
            return ValueLine(line, next);
        default:
            ++reg_.damaged_;
            return next;
        }
    }

    void Section(std::string_view line)
    {
        if (QuickRejects(line)) {
            key_.reset();
            skipping_ = true;
            return;
        }
        std::u16string name;
        if (ParseEscaped(line, 1, ']', name) == std::string_view::npos) {
            // Its values can't be told to belong anywhere: leave them out.
            ++reg_.damaged_;
            key_.reset();
            skipping_ = true;
            return;
        }
        std::string path = TrimKeyPath(Utf16ToBytes(name));
        if (!Wanted(path)) {
            key_.reset();
            skipping_ = true;
            return;
        }
        skipping_ = false;
        key_ = reg_.AddKey(std::move(path));
    }

    // Nearly every section of a big file is plain ASCII with "\\" between the keys;
    // those are told from the wanted ones without unescaping and decoding them.
    bool QuickRejects(std::string_view line)
    {
        if (wanted_.empty())
            return false;
        std::string& name = scratch_;
        name.clear();
        for (size_t i = 1; i < line.size(); ++i) {
            const char c = line[i];
            if (c == ']') {
                if (name.empty() || name.front() == '\\' || name.back() == '\\')
                    return false;
                return !WantedFolded(name);
            }
            if (c == '\\') {
                if (i + 1 >= line.size() || line[i + 1] != '\\')
                    return false;
                name += '\\';
                ++i;
            } else if (static_cast<unsigned char>(c) >= 0x80) {
                return false;
            } else {
                name += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
            }
        }
        return false; // no "]": the full parse counts the damage
    }

    bool Wanted(const std::string& path) const { return wanted_.empty() || WantedFolded(FoldCase(path)); }

    bool WantedFolded(const std::string& folded) const
    {
        for (const std::string& w : wanted_) {
            if (w == folded)
                return true;
            // The keys above a wanted one: they may be links to where it really is.
            if (w.size() > folded.size() && w.compare(0, folded.size(), folded) == 0 && w[folded.size()] == '\\')
                return true;
        }
        return false;
    }

    size_t ValueLine(std::string_view line, size_t next)
    {
        if (!key_) {
            // A value before any section, or in a section that did not parse.
            ++reg_.damaged_;
            return next;
        }
        std::string name;
        size_t p = 1;
        if (line[0] == '"') {
            std::u16string name16;
            p = ParseEscaped(line, 1, '"', name16);
            if (p == std::string_view::npos) {
                ++reg_.damaged_;
                return next;
            }
            name = Utf16ToBytes(name16);
        }
        p = SkipBlanks(line, p);
        if (p >= line.size() || line[p] != '=') {
            ++reg_.damaged_;
            return next;
        }
        p = SkipBlanks(line, p + 1);
        Value value;
        const std::string_view rest = line.substr(p);
        if (rest.substr(0, 1) == "\"") {
            if (!StringData(line, p + 1, kRegSz, value))
                return Damaged(next);
        } else if (rest.substr(0, 4) == "str(") {
            size_t q = p + 4;
            std::uint32_t type = 0;
            if (!HexNumber(line, q, ')', type) || q >= line.size() || line[q] != ':' || q + 1 >= line.size()
                || line[q + 1] != '"' || !StringData(line, q + 2, type, value))
                return Damaged(next);
        } else if (rest.substr(0, 6) == "dword:") {
            size_t q = p + 6;
            std::uint32_t number = 0;
            if (!HexNumber(line, q, 0, number))
                return Damaged(next);
            value.type = kRegDword;
            value.data = {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
                          static_cast<std::uint8_t>(number >> 16), static_cast<std::uint8_t>(number >> 24)};
        } else if (rest.substr(0, 4) == "hex:" || rest.substr(0, 4) == "hex(") {
            size_t q = p + 4;
            std::uint32_t type = kRegBinary;
            if (rest[3] == '(') {
                if (!HexNumber(line, q, ')', type) || q >= line.size() || line[q] != ':')
                    return Damaged(next);
                ++q;
            }
            value.type = type;
            if (!HexData(line.substr(q), next, value.data))
                return Damaged(next);
        } else {
            return Damaged(next);
        }
        reg_.keys_[*key_].values.emplace_back(std::move(name), std::move(value));
        return next;
    }

    size_t Damaged(size_t next)
    {
        ++reg_.damaged_;
        return next;
    }

    static bool StringData(std::string_view line, size_t pos, std::uint32_t type, Value& value)
    {
        std::u16string text;
        if (ParseEscaped(line, pos, '"', text) == std::string_view::npos)
            return false; // no closing quote: the line was cut
        value.type = type;
        value.data = Utf16Data(text, true);
        return true;
    }

    // 1 to 8 hex digits at line[pos], then endChar (0: only blanks to the end of the
    // line). pos ends after endChar.
    static bool HexNumber(std::string_view line, size_t& pos, char endChar, std::uint32_t& out)
    {
        out = 0;
        size_t digits = 0;
        while (pos < line.size() && HexDigitValue(line[pos]) >= 0) {
            if (++digits > 8)
                return false;
            out = out * 16 + static_cast<std::uint32_t>(HexDigitValue(line[pos]));
            ++pos;
        }
        if (digits == 0)
            return false;
        if (endChar == 0)
            return OnlyBlanksFrom(line, pos);
        if (pos >= line.size() || line[pos] != endChar)
            return false;
        ++pos;
        return true;
    }

    // Comma-separated bytes; a line ending in "\" goes on in the next one. next moves
    // past the lines taken.
    bool HexData(std::string_view line, size_t& next, std::vector<std::uint8_t>& data)
    {
        size_t p = 0;
        for (;;) {
            p = SkipBlanks(line, p);
            if (p >= line.size())
                return true;
            if (line[p] == '\\' && OnlyBlanksFrom(line, p + 1)) {
                if (next >= text_.size())
                    return false;
                size_t eol = text_.find('\n', next);
                if (eol == std::string_view::npos)
                    eol = text_.size();
                line = text_.substr(next, eol - next);
                next = eol + 1;
                p = 0;
                continue;
            }
            const int hi = HexDigitValue(line[p]);
            if (hi < 0)
                return false;
            int byte = hi;
            ++p;
            if (p < line.size() && HexDigitValue(line[p]) >= 0) {
                byte = byte * 16 + HexDigitValue(line[p]);
                ++p;
            }
            data.push_back(static_cast<std::uint8_t>(byte));
            p = SkipBlanks(line, p);
            if (p < line.size() && line[p] == ',')
                ++p;
            else if (p < line.size() && line[p] != '\\')
                return false;
        }
    }

    WineRegistry& reg_;
    std::string_view text_;
    std::vector<std::string> wanted_;
    std::optional<size_t> key_;
    std::string scratch_; // reused for every section header, so skipping one allocates nothing
    bool skipping_ = false;
};

size_t WineRegistry::AddKey(std::string path)
{
    // A section given twice adds to the first one, as when Wine loads the file.
    std::string folded = FoldCase(path);
    const auto it = index_.find(folded);
    if (it != index_.end())
        return it->second;
    index_.emplace(std::move(folded), keys_.size());
    keys_.push_back(Key{std::move(path), false, {}});
    return keys_.size() - 1;
}

WineRegistry WineRegistry::Parse(std::string_view text, const std::vector<std::string>& onlyKeys)
{
    WineRegistry reg;
    reg.exists_ = true;
    std::string converted;
    if (text.size() >= 2 && static_cast<unsigned char>(text[0]) == 0xFF && static_cast<unsigned char>(text[1]) == 0xFE) {
        // Saved as UTF-16 by some editor: Wine would refuse it, but it reads the same.
        std::u16string wide;
        for (size_t i = 2; i + 1 < text.size(); i += 2)
            wide += static_cast<char16_t>(static_cast<unsigned char>(text[i]) | (static_cast<unsigned char>(text[i + 1]) << 8));
        converted = Utf16ToBytes(wide);
        text = converted;
    }
    Parser(reg, text, onlyKeys).Run();
    return reg;
}

WineRegistry WineRegistry::Load(const std::string& hostPath, const std::vector<std::string>& onlyKeys)
{
    const std::optional<std::string> text = ReadRegularFile(hostPath);
    if (!text)
        return WineRegistry();
    return Parse(*text, onlyKeys);
}

const WineRegistry::Key* WineRegistry::FindKey(std::string_view path) const
{
    const auto it = index_.find(FoldCase(TrimKeyPath(std::string(path))));
    return it == index_.end() ? nullptr : &keys_[it->second];
}

const WineRegistry::Value* WineRegistry::FindValue(std::string_view keyPath, std::string_view name) const
{
    const Key* key = FindKey(keyPath);
    return key ? key->Find(name) : nullptr;
}

std::optional<std::string> WineRegistry::GetString(std::string_view keyPath, std::string_view name) const
{
    const Value* value = FindValue(keyPath, name);
    return value ? value->AsString() : std::nullopt;
}

} // namespace platform
