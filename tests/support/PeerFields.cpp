#include "tests/support/PeerFields.h"

#include <dirent.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "platform/util/Text.h"

namespace testsupport {
namespace {

class FlatJson {
public:
    explicit FlatJson(std::string_view text) : s_(text) {}

    PeerFields Parse()
    {
        PeerFields result;
        Expect('{');
        Skip();
        if (Peek() == '}')
            return result;
        for (;;) {
            std::string key = String();
            Expect(':');
            Skip();
            if (Peek() == '"')
                result[key] = String();
            else
                result[key] = Number();
            Skip();
            if (Peek() == ',') {
                ++i_;
                continue;
            }
            Expect('}');
            return result;
        }
    }

private:
    void Skip()
    {
        while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_])))
            ++i_;
    }
    char Peek() const { return i_ < s_.size() ? s_[i_] : '\0'; }
    void Expect(char c)
    {
        Skip();
        if (Peek() != c)
            throw std::runtime_error(std::string("expected ") + c);
        ++i_;
    }
    long long Number()
    {
        std::size_t used = 0;
        const long long v = std::stoll(std::string(s_.substr(i_)), &used);
        i_ += used;
        return v;
    }
    std::string String()
    {
        Expect('"');
        std::u16string out;
        while (Peek() != '"') {
            if (i_ >= s_.size())
                throw std::runtime_error("unterminated string");
            if (s_[i_] != '\\') {
                // Plain UTF-8 up to the next escape or quote.
                const auto end = s_.find_first_of("\\\"", i_);
                out += platform::BytesToUtf16(s_.substr(i_, end - i_));
                i_ = end;
                continue;
            }
            if (i_ + 1 >= s_.size())
                throw std::runtime_error("unterminated string");
            const char e = s_[i_ + 1];
            i_ += 2;
            switch (e) {
            case 'n': out += u'\n'; break;
            case 't': out += u'\t'; break;
            case 'r': out += u'\r'; break;
            case 'b': out += u'\b'; break;
            case 'f': out += u'\f'; break;
            case 'u':
                // Units one by one: a surrogate pair comes as two escapes in a row.
                out += static_cast<char16_t>(std::stoi(std::string(s_.substr(i_, 4)), nullptr, 16));
                i_ += 4;
                break;
            default: out += static_cast<char16_t>(e);
            }
        }
        ++i_;
        return platform::Utf16ToUtf8(out);
    }

    std::string_view s_;
    std::size_t i_ = 0;
};

} // namespace

PeerFields ParseFlatJson(std::string_view text)
{
    return FlatJson(text).Parse();
}

std::optional<std::string> PeerText(const PeerFields& fields, const std::string& key)
{
    const auto it = fields.find(key);
    if (it == fields.end())
        return std::nullopt;
    return std::get<std::string>(it->second);
}

long long PeerNumber(const PeerFields& fields, const std::string& key)
{
    return std::get<long long>(fields.at(key));
}

std::vector<std::string> CorpusSamples(const std::string& dir)
{
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name.size() > 4 && name.ends_with(".lnk"))
                names.push_back(name.substr(0, name.size() - 4));
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace testsupport
