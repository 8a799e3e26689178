// Every real-world link of the shared corpus read as the list reads it, against the
// fields an independent parser read from the same file.
#include <dirent.h>

#include <algorithm>
#include <map>
#include <variant>

#include <gtest/gtest.h>

#include "platform/util/Text.h"
#include "shortcuts/FolderContents.h"
#include "shortcuts/ItemProp.h"
#include "tests/support/TestSupport.h"

namespace {

using Value = std::variant<std::string, long long>;

// The expected files are flat JSON objects of strings and integers.
class FlatJson {
public:
    explicit FlatJson(std::string_view text) : s_(text) {}

    std::map<std::string, Value> Parse()
    {
        std::map<std::string, Value> result;
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
            const char e = s_[i_ + 1];
            i_ += 2;
            switch (e) {
            case 'n': out += u'\n'; break;
            case 't': out += u'\t'; break;
            case 'r': out += u'\r'; break;
            case 'b': out += u'\b'; break;
            case 'f': out += u'\f'; break;
            case 'u':
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

std::string Text(const std::map<std::string, Value>& m, const std::string& key)
{
    const auto it = m.find(key);
    return it == m.end() ? std::string() : std::get<std::string>(it->second);
}

long long Number(const std::map<std::string, Value>& m, const std::string& key)
{
    return std::get<long long>(m.at(key));
}

// What arrives through a buffer of 260 UTF-16 units.
std::string CutToBuffer(const std::string& text)
{
    std::u16string wide = platform::BytesToUtf16(text);
    if (wide.size() > 259)
        wide.resize(259);
    return platform::Utf16ToBytes(wide);
}

std::vector<std::string> CorpusLinks(const std::string& dir)
{
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name.size() > 4 && name.ends_with(".lnk"))
                names.push_back(name);
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

constexpr long long kHasExpString = 0x200;
constexpr long long kHasExpIcon = 0x4000;

// Raw paths the peer got wrong. sample6's LinkInfo carries its local base path in a
// Unicode form beside the ANSI one, and the Unicode one wins; the peer reports the
// ANSI bytes (GBK on the machine that wrote the link) decoded as code page 1252.
const std::map<std::string, std::string> kPeerMisread = {
    {"sample6.lnk", "C:\\Youdao\\ShoppingAssistant\\ie\\4.4\\"
                    "\xE6\x92\xAD\xE6\x94\xBE\xE5\x99\xA8\xE6\xAD\xA3\xE5\x9C\xA8\xE5\x8A\xA0\xE8\xBD\xBD"
                    "\xEF\xBC\x88\xE6\x8B\xA6\xE6\x88\xAA\xE8\xAF\xB7\xE5\x85\x81\xE8\xAE\xB8\xEF\xBC\x89.exe"},
};

} // namespace

TEST(Corpus, EveryLinkReadsWithThePeersFields)
{
    QM_REQUIRE_CORPUS(corpus);
    const std::string dir = corpus + "/lnk-peer";
    const auto names = CorpusLinks(dir);
    ASSERT_FALSE(names.empty());
    for (const auto& name : names) {
        SCOPED_TRACE(name);
        const std::string base = dir + "/" + name.substr(0, name.size() - 4);
        const auto expected = FlatJson(testsupport::ReadFile(base + ".expected.json")).Parse();

        TwekShortcutInfo info;
        ASSERT_TRUE(ReadShortcut(dir + "/" + name, info));
        EXPECT_EQ(info.ShowCommand, Number(expected, "show_command"));
        EXPECT_EQ(info.WindowState, WindowStateText(static_cast<int>(Number(expected, "show_command"))));
        EXPECT_EQ(info.IconIndex, Number(expected, "icon_index"));
        EXPECT_EQ(info.Hotkey, HotkeyToKeyCode(static_cast<std::uint16_t>(Number(expected, "hotkey"))));
        EXPECT_EQ(info.Description, CutToBuffer(Text(expected, "description")));
        EXPECT_EQ(info.StartIn, CutToBuffer(Text(expected, "working_directory")));
        EXPECT_EQ(info.Arguments, CutToBuffer(Text(expected, "arguments")));
        // With HasExpIcon the icon environment block's path, variables kept, is the
        // icon location; the peer reports the StringData copy beside it.
        const bool expIcon = (Number(expected, "link_flags") & kHasExpIcon) && expected.count("icon_env_target");
        EXPECT_EQ(info.IconLocation, CutToBuffer(Text(expected, expIcon ? "icon_env_target" : "icon_location")));

        // The raw path: the environment block's target when the link says it has one,
        // else the LinkInfo path. Links with neither spell it from the ID list, which
        // the peer does not report.
        std::string raw;
        if (const auto fixed = kPeerMisread.find(name); fixed != kPeerMisread.end())
            raw = fixed->second;
        else if ((Number(expected, "link_flags") & kHasExpString) && expected.count("env_target"))
            raw = Text(expected, "env_target");
        else if (expected.count("linkinfo_local_base_path"))
            raw = Text(expected, "linkinfo_local_base_path") + Text(expected, "linkinfo_common_path_suffix");
        else
            continue;
        raw = CutToBuffer(raw);
        EXPECT_EQ(info.TargetPath + info.Target, raw);
        EXPECT_TRUE(info.TargetPath.empty() || info.TargetPath.back() == '\\');
        EXPECT_EQ(info.Target.find('\\'), std::string::npos);
    }

    // The folder reading takes them all, in name order.
    TFolderContents contents;
    ASSERT_TRUE(ReadFolderContents(dir, contents));
    EXPECT_EQ(contents.FolderCount, 0);
    ASSERT_EQ(contents.Items.size(), names.size());
    for (const auto& item : contents.Items)
        EXPECT_TRUE(item.ReadOk) << item.Name;
}
