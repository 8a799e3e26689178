#include <sys/stat.h>

#include <gtest/gtest.h>

#include "platform/ini/IniFile.h"
#include "tests/support/TestSupport.h"

using platform::IniFile;
using Entries = std::vector<std::pair<std::string, std::string>>;

TEST(IniFile, NamesIgnoreCaseAndTheFirstOccurrenceWins)
{
    const IniFile ini = IniFile::Parse("[Other]\n"
                                       "URL=wrong section\n"
                                       "[internetshortcut]\n"
                                       "url=http://first/\n"
                                       "URL=http://second/\n"
                                       "IconIndex=3\n"
                                       "[INTERNETSHORTCUT]\n"
                                       "IconFile=from a repeated section\n");
    EXPECT_TRUE(ini.HasSection("InternetShortcut"));
    EXPECT_EQ(ini.ReadString("InternetShortcut", "URL"), "http://first/");
    EXPECT_EQ(ini.ReadString("InternetShortcut", "iconindex"), "3");
    // Only the first section of a name counts, as only the first key of a name does.
    EXPECT_EQ(ini.ReadString("InternetShortcut", "IconFile"), "");
    EXPECT_EQ(ini.ReadSection("InternetShortcut"), (Entries{{"url", "http://first/"}, {"IconIndex", "3"}}));
    EXPECT_EQ(ini.ReadString("Missing", "URL", "dflt"), "dflt");
    EXPECT_EQ(ini.ReadString("InternetShortcut", "Missing"), "");
    EXPECT_FALSE(ini.HasSection("Internet"));
}

TEST(IniFile, ValueIsTheTrimmedTextAfterTheFirstEquals)
{
    const IniFile ini = IniFile::Parse("  [ InternetShortcut ]  \n"
                                       "URL = http://host/a?b=c&d==e \t\n"
                                       "\tWorkingDirectory\t=\t C:\\Some Folder\\ \n"
                                       "Empty=\n"
                                       "no equals sign here\n"
                                       "=value without a key\n"
                                       "; URL=a comment\n"
                                       "Quoted=\"kept as written\"\n");
    EXPECT_EQ(ini.ReadString("InternetShortcut", "URL"), "http://host/a?b=c&d==e");
    EXPECT_EQ(ini.ReadString("InternetShortcut", "WorkingDirectory"), "C:\\Some Folder\\");
    EXPECT_EQ(ini.ReadString("InternetShortcut", "Quoted"), "\"kept as written\"");
    EXPECT_EQ(ini.ReadSection("InternetShortcut"),
              (Entries{{"URL", "http://host/a?b=c&d==e"},
                       {"WorkingDirectory", "C:\\Some Folder\\"},
                       {"Empty", ""},
                       {"Quoted", "\"kept as written\""}}));
}

TEST(IniFile, LineEndsAndByteOrderMarks)
{
    const char* const texts[] = {
        "[InternetShortcut]\r\nURL=http://a/\r\nIconIndex=2\r\n",
        "[InternetShortcut]\nURL=http://a/\nIconIndex=2",
        "\xEF\xBB\xBF[InternetShortcut]\r\nURL=http://a/\r\nIconIndex=2\r\n",
        "[InternetShortcut]\rURL=http://a/\rIconIndex=2\r",
        "\n\n[InternetShortcut]\r\n\r\nURL=http://a/\n\r\nIconIndex=2\n",
    };
    for (const char* text : texts) {
        const IniFile ini = IniFile::Parse(text);
        EXPECT_EQ(ini.ReadString("InternetShortcut", "URL"), "http://a/") << text;
        EXPECT_EQ(ini.ReadString("InternetShortcut", "IconIndex"), "2") << text;
    }
    // UTF-16LE with its mark, as Windows' profile functions also read.
    const std::string wide("\xFF\xFE[\0I\0n\0t\0e\0r\0n\0e\0t\0S\0h\0o\0r\0t\0c\0u\0t\0]\0\r\0\n\0U\0R\0L\0=\0x\0\xE9\0", 54);
    EXPECT_EQ(IniFile::Parse(wide).ReadString("InternetShortcut", "URL"), "x\xC3\xA9");
}

TEST(IniFile, TextIsUtf8WhenValidElseTheAnsiCodePage)
{
    EXPECT_EQ(IniFile::Parse("[S]\nK=caf\xC3\xA9\n").ReadString("S", "K"), "caf\xC3\xA9");
    // A file that is not valid UTF-8 is read as Windows writes it, in code page 1252.
    EXPECT_EQ(IniFile::Parse("[S]\nK=caf\xE9 \x80\n").ReadString("S", "K"), "caf\xC3\xA9 \xE2\x82\xAC");
    // With a UTF-8 mark a stray byte is replaced, not reinterpreted.
    EXPECT_EQ(IniFile::Parse("\xEF\xBB\xBF[S]\nK=caf\xE9\n").ReadString("S", "K"), "caf\xEF\xBF\xBD");
}

TEST(IniFile, LoadReadsFilesAndTreatsWhatCannotBeReadAsEmpty)
{
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "a.url", "[InternetShortcut]\r\nURL=http://a/\r\n");
    EXPECT_EQ(IniFile::Load(dir / "a.url").ReadString("InternetShortcut", "URL"), "http://a/");
    EXPECT_FALSE(IniFile::Load(dir / "missing.url").HasSection("InternetShortcut"));
    testsupport::MakeDirs(dir / "folder.url");
    EXPECT_FALSE(IniFile::Load(dir / "folder.url").HasSection("InternetShortcut"));
    // A FIFO must not block the reader.
    ASSERT_EQ(::mkfifo((dir / "fifo.url").c_str(), 0600), 0);
    EXPECT_FALSE(IniFile::Load(dir / "fifo.url").HasSection("InternetShortcut"));
}

TEST(IniFile, AHugeFileIsReadOnlyAsFarAsTheLimitAndNeverHalfALine)
{
    testsupport::TempDir dir;
    std::string text = "[InternetShortcut]\nURL=http://a/\n";
    const std::string filler = "Filler=" + std::string(100, 'x') + "\n";
    while (text.size() < (1u << 20) - 20)
        text += filler;
    text += "Last=" + std::string(100, 'y') + "\n"; // crosses the 1 MiB mark
    testsupport::WriteFile(dir / "big.url", text);
    const IniFile ini = IniFile::Load(dir / "big.url");
    EXPECT_EQ(ini.ReadString("InternetShortcut", "URL"), "http://a/");
    EXPECT_EQ(ini.ReadString("InternetShortcut", "Last"), "");
    EXPECT_EQ(ini.ReadString("InternetShortcut", "Filler"), std::string(100, 'x'));
}
