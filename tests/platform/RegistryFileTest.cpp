// The hive file's text: what is written, what is read back, what is refused.
#include "tests/platform/RegistryTestSupport.h"

#include "platform/util/Text.h"

using namespace registrytest;
using platform::BytesToUtf16;
using platform::IsValidUtf8;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

using RegistryFile = RegistryTest;

std::string Utf16LeWithBom(std::string_view utf8)
{
    std::string out = "\xFF\xFE";
    for (const char16_t c : BytesToUtf16(utf8)) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

// Parses text and writes it again: the canonical form of what the parser understood.
std::string Reformat(std::string_view text)
{
    RegKeyNode root;
    RegParseError error;
    if (!ParseRegFile(text, Hive::CurrentUser, root, error))
        return "error at line " + std::to_string(error.line) + ": " + error.reason;
    return FormatRegFile(root, Hive::CurrentUser);
}

TEST_F(RegistryFile, SimpleHivesAreWrittenAsRegeditExportsThem)
{
    Key key;
    ASSERT_EQ(Key::Create(Hive::CurrentUser, "Software\\Tarnwick\\Quillmere", key), Success);
    EXPECT_TRUE(key.WriteInteger("WinTop", 100));
    EXPECT_TRUE(key.WriteBool("DefAct", true));
    EXPECT_TRUE(key.WriteString("LastDir", "C:\\Program Files\\\"Quoted\""));
    EXPECT_EQ(key.SetValue("", Value::String("default")), Success);
    EXPECT_EQ(key.SetValue("Big", Value::Dword(0xDEADBEEF)), Success);
    EXPECT_EQ(key.SetValue("ExpandString", Value::String("%SystemRoot%", RegExpandSz)), Success);
    EXPECT_EQ(key.SetValue("Bin", MakeValue(RegBinary, std::string_view("\x00\xff\x10", 3))), Success);
    EXPECT_EQ(key.SetValue("Q", MakeValue(RegQword, std::string_view("\x01\0\0\0\0\0\0\0", 8))), Success);
    Key sub;
    EXPECT_EQ(key.CreateSubKey("zeta", sub), Success);
    EXPECT_EQ(key.CreateSubKey("Alpha", sub), Success);

    EXPECT_EQ(ReadFile(HivePath()), R"(Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER]

[HKEY_CURRENT_USER\Software]

[HKEY_CURRENT_USER\Software\Tarnwick]

[HKEY_CURRENT_USER\Software\Tarnwick\Quillmere]
"WinTop"=dword:00000064
"DefAct"=dword:00000001
"LastDir"="C:\\Program Files\\\"Quoted\""
@="default"
"Big"=dword:deadbeef
"ExpandString"=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,\
  00,74,00,25,00,00,00
"Bin"=hex:00,ff,10
"Q"=hex(b):01,00,00,00,00,00,00,00

[HKEY_CURRENT_USER\Software\Tarnwick\Quillmere\Alpha]

[HKEY_CURRENT_USER\Software\Tarnwick\Quillmere\zeta]

)");

    // Long hex lists wrap as regedit wraps them: 79 columns with the comma, then
    // 25 bytes to a continued line.
    EXPECT_EQ(key.SetValue("L", MakeValue(RegBinary, std::string(60, 'A'))), Success);
    const std::string text = ReadFile(HivePath());
    const std::string line1 = "\"L\"=hex:" + [] {
        std::string s;
        for (int i = 0; i < 23; ++i)
            s += "41,";
        return s;
    }() + "\\\n";
    const std::string line2 = "  " + std::string(std::string_view("41,41,41,41,41,41,41,41,41,41,41,41,41,41,41,41,"
                                                                   "41,41,41,41,41,41,41,41,41,")) + "\\\n";
    EXPECT_NE(text.find(line1 + line2 + "  41,41,41,41,41,41,41,41,41,41,41,41\n"), std::string::npos) << text;
}

TEST_F(RegistryFile, EveryValueTypeAndAnyNameRoundTripsExactly)
{
    using namespace std::string_literals;
    const std::vector<std::string> names = {
        "plain", "quote\"d", "back\\slash\\", "eq=uals", "[brackets]", "new\nline", "cr\rlf\r\n", "nul\0in"s,
        "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "not utf8 \xFF\xFE\x80 \xC3", "\\x41 \\n look like escapes",
        "@", " spaced ", "semi;colon", "tab\there"};
    const std::vector<std::string> keyNames = {"bra]ck[et", "new\nline", "not utf8 \xFF", "\xC3\xBCml\xC3\xA4ut",
                                               "quote\"d", " lead", "trail ", "semi;colon", "cr\r", "]", "-dash"};
    std::vector<Value> values;
    for (const std::string& text : names) {
        values.push_back(Value::String(text));
        values.push_back(Value::String(text, RegExpandSz));
    }
    values.push_back(MakeValue(RegSz, ""));                              // no data at all
    values.push_back(MakeValue(RegSz, "a\0b"s));                         // odd length
    values.push_back(MakeValue(RegSz, "a\0b\0"s));                       // no terminator
    values.push_back(MakeValue(RegSz, "a\0\0\0b\0\0\0"s));               // a NUL inside
    values.push_back(MakeValue(RegSz, "\x00\xD8x\0\0\0"s));              // a lone surrogate
    values.push_back(Value::Dword(0));
    values.push_back(Value::Dword(0xFFFFFFFF));
    values.push_back(MakeValue(RegDword, "\x01\x02\x03"s));              // a DWORD of the wrong size
    values.push_back(MakeValue(RegNone, ""));
    values.push_back(MakeValue(RegBinary, std::string(1000, '\x9C')));
    values.push_back(MakeValue(RegMultiSz, "a\0\0\0b\0\0\0\0\0"s));
    values.push_back(MakeValue(RegQword, "\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x7F"s));
    values.push_back(MakeValue(0x12345678, "\x01"s));

    Key top;
    ASSERT_EQ(Key::Create(Hive::LocalMachine, "RoundTrip", top), Success);
    for (const std::string& keyName : keyNames) {
        Key key;
        ASSERT_EQ(top.CreateSubKey(keyName, key), Success);
        for (std::size_t i = 0; i < values.size(); ++i)
            ASSERT_EQ(key.SetValue(names[i % names.size()] + std::to_string(i), values[i]), Success);
        ASSERT_EQ(key.SetValue("", values[0]), Success);
    }

    const std::string text = ReadFile(HivePath(Hive::LocalMachine));
    EXPECT_TRUE(IsValidUtf8(text));
    EXPECT_EQ(text.find('\r'), std::string::npos);
    // Strings that quotes can't carry are REG_SZ in hex, which regedit reads too.
    EXPECT_NE(text.find("\"back\\\\slash\\\\2\"=\"quote\\\"d\"\n"), std::string::npos);
    EXPECT_NE(text.find("=hex(1):6e,00,65,00,77,00,0a,00,"), std::string::npos);
    EXPECT_NE(text.find("[\"HKEY_LOCAL_MACHINE\\\\RoundTrip\\\\new\\nline\"]\n"), std::string::npos);
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\RoundTrip\\bra]ck[et]\n"), std::string::npos);

    // A second folder holding a copy of the file: read through a cold cache.
    TempDir other;
    WriteFile(other / "HKEY_LOCAL_MACHINE.reg", text);
    testsupport::ScopedEnv env("QUILLMERE_REGISTRY_DIR", other.Path());
    Key copy;
    ASSERT_EQ(Key::Open(Hive::LocalMachine, "RoundTrip", copy), Success);
    std::vector<std::string> sortedKeys;
    std::string name;
    for (std::uint32_t i = 0; copy.EnumKey(i, name) == Success; ++i)
        sortedKeys.push_back(name);
    EXPECT_EQ(sortedKeys.size(), keyNames.size());
    for (const std::string& keyName : keyNames) {
        Key key;
        ASSERT_EQ(copy.OpenSubKey(keyName, key), Success) << keyName;
        Value value;
        for (std::uint32_t i = 0; i < values.size(); ++i) {
            ASSERT_EQ(key.EnumValue(i, name, value), Success);
            EXPECT_EQ(name, names[i % names.size()] + std::to_string(i));
            EXPECT_EQ(value, values[i]) << "value " << i << " of key " << keyName;
        }
        EXPECT_EQ(key.EnumValue(static_cast<std::uint32_t>(values.size()), name, value), Success);
        EXPECT_EQ(name, "");
        EXPECT_EQ(key.EnumValue(static_cast<std::uint32_t>(values.size()) + 1, name, value), NoMoreItems);
    }
    EXPECT_EQ(ReadFile(other / "HKEY_LOCAL_MACHINE.reg"), text);
}

TEST_F(RegistryFile, Utf16CrlfExportsFromWindowsAreRead)
{
    WriteFile(HivePath(), Utf16LeWithBom("Windows Registry Editor Version 5.00\r\n"
                                         "\r\n"
                                         "; exported by hand\r\n"
                                         "[HKEY_CURRENT_USER\\Software\\Tarnwick\\Quillmere]\r\n"
                                         "\"WinTop\"=dword:00000064\r\n"
                                         "\"LastDir\"=\"C:\\\\Users\\\\Zo\xC3\xAB\\\\Start Menu\"\r\n"
                                         "@=\"standard\"\r\n"
                                         "\"Path\"=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,\\\r\n"
                                         "  00,74,00,25,00,00,00\r\n"
                                         "\r\n"
                                         "[HKEY_CURRENT_USER\\Software\\Tarnwick\\Quillmere\\Favorites]\r\n"
                                         "\"\xC3\x9Cnic\xC3\xB6" "de\"=\"\xE6\x97\xA5\xE6\x9C\xAC\"\r\n"
                                         "\r\n"));
    Key key;
    ASSERT_EQ(Key::Open(Hive::CurrentUser, "software\\tarnwick\\quillmere", key), Success);
    std::int32_t top = 0;
    EXPECT_TRUE(key.ReadInteger("WinTop", top));
    EXPECT_EQ(top, 100);
    std::string text;
    EXPECT_TRUE(key.ReadString("LastDir", text));
    EXPECT_EQ(text, "C:\\Users\\Zo\xC3\xAB\\Start Menu");
    EXPECT_TRUE(key.ReadString("", text));
    EXPECT_EQ(text, "standard");
    Value path;
    ASSERT_EQ(key.QueryValue("Path", path), Success);
    EXPECT_EQ(path, Value::String("%SystemRoot%", RegExpandSz));
    Key favorites;
    ASSERT_EQ(key.OpenSubKey("Favorites", favorites), Success);
    EXPECT_TRUE(favorites.ReadString("\xC3\xBCNIC\xC3\x96" "DE", text));
    EXPECT_EQ(text, "\xE6\x97\xA5\xE6\x9C\xAC");

    // The next change writes the file in our own form, keeping everything.
    EXPECT_TRUE(key.WriteInteger("WinLeft", 5));
    const std::string written = ReadFile(HivePath());
    EXPECT_TRUE(written.starts_with("Windows Registry Editor Version 5.00\n\n"));
    EXPECT_EQ(written.find('\r'), std::string::npos);
    EXPECT_NE(written.find("\"LastDir\"=\"C:\\\\Users\\\\Zo\xC3\xAB\\\\Start Menu\"\n"), std::string::npos);
}

TEST_F(RegistryFile, HandWrittenAndOlderFormsAreUnderstood)
{
    EXPECT_EQ(Reformat("\xEF\xBB\xBF\n"
                       "Windows Registry Editor Version 5.00\n"
                       "[HKCU\\A]\n"
                       "  \"x\" = dword:FF   ; a comment\n"
                       "\"bin\"=hex:01, 02 ,\\\n"
                       "    03,\\\n"
                       "  04\n"
                       "\"gone\"=\"soon\"\n"
                       "\"gone\"=-\n"
                       "\"multi\"=\"one\n"
                       "two\"\n"
                       "\"C:\\new\"=\"C:\\new\"\n"
                       "[hkey_current_user\\a]\n"
                       "\"X\"=dword:2\n"
                       "[HKEY_CURRENT_USER\\A\\Dropped\\Deep]\n"
                       "[-HKEY_CURRENT_USER\\A\\dropped]\n"
                       "[-HKEY_CURRENT_USER\\Never\\There]\n"),
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_CURRENT_USER]\n\n"
              "[HKEY_CURRENT_USER\\A]\n"
              "\"x\"=dword:00000002\n"
              "\"bin\"=hex:01,02,03,04\n"
              "\"multi\"=hex(1):6f,00,6e,00,65,00,0a,00,74,00,77,00,6f,00,00,00\n"
              "\"C:\\new\"=\"C:\\\\new\"\n\n"); // in names \n is a line break, in data it is not
    EXPECT_EQ(Reformat(""), "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER]\n\n");
    EXPECT_EQ(Reformat(" \n\n"), "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER]\n\n");
}

TEST_F(RegistryFile, MalformedFilesAreRefusedWithTheLineAtFault)
{
    const std::string header = "Windows Registry Editor Version 5.00\n\n";
    std::string deep = "[HKEY_CURRENT_USER";
    for (int i = 0; i < 600; ++i)
        deep += "\\k";
    const struct {
        std::string text;
        std::size_t line;
    } cases[] = {
        {"REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n", 1},
        {header + "\"a\"=dword:1\n", 3},
        {header + "[HKEY_LOCAL_MACHINE\\A]\n", 3},
        {header + "[HKEY_CURRENT_USER\\A\n", 3},
        {header + "[]\n", 3},
        {header + "[HKEY_CURRENT_USER\\A]\n\"a\"=dword:123456789\n", 4},
        {header + "[HKEY_CURRENT_USER\\A]\n\"a\"=dword:\n", 4},
        {header + "[HKEY_CURRENT_USER\\A]\n\"a\"=hex:0g\n", 4},
        {header + "[HKEY_CURRENT_USER\\A]\n\"a\"=hex:012\n", 4},
        {header + "[HKEY_CURRENT_USER\\A]\n\"a\"=hex(1234567890):00\n", 4},
        {header + "[HKEY_CURRENT_USER\\A]\n\"a=\"b\"\n", 4},
        {header + "[HKEY_CURRENT_USER\\A]\n\"a\"=\"b\" c\n", 4},
        {header + "[HKEY_CURRENT_USER\\A]\n\"a\"=\"unterminated\n\n", 5},
        {header + "[HKEY_CURRENT_USER\\A]\n\"a\"=hex:01,\\\n02 03\n", 5},
        {header + "[HKEY_CURRENT_USER\\A]\ngarbage\n", 4},
        {header + "[HKEY_CURRENT_USER\\A]\n\"a\"=str(2):\"x\"\n", 4},
        {header + "[-HKEY_CURRENT_USER]\n", 3},
        {header + deep + "]\n", 3},
        {std::string("\xFF\xFEW\0i\0n", 7), 0},
    };
    for (const auto& c : cases) {
        RegKeyNode root;
        RegParseError error;
        EXPECT_FALSE(ParseRegFile(c.text, Hive::CurrentUser, root, error)) << c.text;
        EXPECT_EQ(error.line, c.line) << c.text;
        EXPECT_FALSE(error.reason.empty());
        EXPECT_TRUE(root.values.empty() && root.subkeys.empty());
    }

    // Every cut of a rich file parses or fails cleanly, and what parses writes back
    // to the same tree (the fuzzer entry aborts otherwise).
    Key key;
    ASSERT_EQ(Key::Create(Hive::CurrentUser, "Rich\\new\nline\\x", key), Success);
    ASSERT_EQ(key.SetValue("a\"\\\xFF", Value::String("x\ny")), Success);
    ASSERT_EQ(key.SetValue("e", Value::String("%P%", RegExpandSz)), Success);
    ASSERT_TRUE(key.WriteInteger("i", 7));
    const std::string rich = ReadFile(HivePath()) + "[HKCU\\B]\n\"m\"=\"one\ntwo\"\n\"h\"=hex:01,\\\n 02\n";
    for (std::size_t n = 0; n <= rich.size(); ++n)
        FuzzRegFile(reinterpret_cast<const std::uint8_t*>(rich.data()), n);
}

} // namespace
