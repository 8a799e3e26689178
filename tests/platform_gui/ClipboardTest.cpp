// File lists on the clipboard, in the forms GNOME, KDE and Xfce file managers use.
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <gtest/gtest.h>
#include <memory>

#include "platform/clipboard/Clipboard.h"

namespace clip = platform::clipboard;

namespace {

// Blocks as another program serves them: the bytes as they are, where QMimeData's
// own setData would turn a URI list into QUrls and back, and a new array at every
// request, as the X clipboard hands them over.
class RawMimeData : public QMimeData {
public:
    void Set(const char* format, const QByteArray& bytes) { blocks_.emplace_back(QString::fromLatin1(format), bytes); }
    QStringList formats() const override
    {
        QStringList names;
        for (const auto& [name, bytes] : blocks_)
            names << name;
        return names;
    }
    bool hasFormat(const QString& format) const override { return formats().contains(format); }

protected:
    QVariant retrieveData(const QString& format, QMetaType) const override
    {
        for (const auto& [name, bytes] : blocks_)
            if (name == format)
                return QByteArray(bytes.constData(), bytes.size());
        return {};
    }

private:
    std::vector<std::pair<QString, QByteArray>> blocks_;
};

QByteArray Block(const QMimeData& data, const char* format)
{
    return data.data(QString::fromLatin1(format));
}

TEST(Clipboard, WritesEveryFormForCopyAndCut)
{
    const std::vector<std::string> paths{"/tmp/a b", "/tmp/caf\xC3\xA9", "/tmp/\xFF\n#?"};
    const QByteArray uris[] = {"file:///tmp/a%20b", "file:///tmp/caf%C3%A9", "file:///tmp/%FF%0A%23%3F"};

    std::unique_ptr<QMimeData> copy(clip::MakeFileListData(paths, false));
    EXPECT_EQ(Block(*copy, clip::kUriListFormat), uris[0] + "\r\n" + uris[1] + "\r\n" + uris[2] + "\r\n");
    EXPECT_EQ(Block(*copy, clip::kGnomeFormat), "copy\n" + uris[0] + "\n" + uris[1] + "\n" + uris[2]);
    EXPECT_EQ(Block(*copy, clip::kKdeCutFormat), "0");
    EXPECT_EQ(Block(*copy, clip::kPlainTextFormat), QByteArray("/tmp/a b\n/tmp/caf\xC3\xA9\n/tmp/\xFF\n#?"));
    EXPECT_EQ(Block(*copy, clip::kDropEffectFormat), QByteArray("\x05\x00\x00\x00", 4));

    std::unique_ptr<QMimeData> cut(clip::MakeFileListData(paths, true));
    EXPECT_TRUE(Block(*cut, clip::kGnomeFormat).startsWith("cut\nfile:///tmp/a%20b\n"));
    EXPECT_EQ(Block(*cut, clip::kKdeCutFormat), "1");
    EXPECT_EQ(Block(*cut, clip::kDropEffectFormat), QByteArray("\x02\x00\x00\x00", 4));

    // And back, byte for byte.
    clip::FileList read;
    ASSERT_TRUE(clip::ReadFileListData(cut.get(), read));
    EXPECT_EQ(read.paths, paths);
    EXPECT_TRUE(read.cut);
}

struct ReadCase {
    const char* what;
    std::vector<std::pair<const char*, QByteArray>> blocks;
    bool isFileList;
    std::vector<std::string> paths;
    bool cut;
};

TEST(Clipboard, ReadsWhatFileManagersWrite)
{
    const ReadCase cases[] = {
        {"GNOME cut, a name that is not UTF-8, a trailing newline",
         {{clip::kGnomeFormat, "cut\nfile:///home/u/a%20b.lnk\nfile:///home/u/%E9t%E9\n"},
          {clip::kUriListFormat, "file:///elsewhere\r\n"}},
         true, {"/home/u/a b.lnk", "/home/u/\xE9t\xE9"}, true},
        {"GNOME copy", {{clip::kGnomeFormat, "copy\nfile:///x"}}, true, {"/x"}, false},
        {"KDE cut", {{clip::kUriListFormat, "file:///home/u/doc.txt\r\n"}, {clip::kKdeCutFormat, "1"}}, true,
         {"/home/u/doc.txt"}, true},
        {"KDE copy", {{clip::kUriListFormat, "file:///a\r\nfile:///b\r\n"}, {clip::kKdeCutFormat, "0"}}, true,
         {"/a", "/b"}, false},
        {"Xfce: a bare URI list, LF ends, a comment", {{clip::kUriListFormat, "# from thunar\nfile:///a\nfile:///b"}},
         true, {"/a", "/b"}, false},
        {"a GNOME block that is no file list falls back to the URI list",
         {{clip::kGnomeFormat, "move\nfile:///a"}, {clip::kUriListFormat, "file:///b\r\n"}}, true, {"/b"}, false},
        {"remote, relative and malformed URIs are skipped",
         {{clip::kUriListFormat, "http://example.com/x\r\nfile://server/share/x\r\nrelative/x\r\nfile:x\r\n"
                                 "file:///bad%zz\r\nfile:///nul%00x\r\nfile:///a/../etc\r\nfile:///q?x=1\r\n"
                                 "file://localhost/ok\r\nfile:/also/ok/\r\n"}},
         true, {"/ok", "/also/ok"}, false},
        {"only web addresses: no file list", {{clip::kUriListFormat, "https://example.com/\r\n"}}, false, {}, false},
        {"an empty list is a list of no files", {{clip::kUriListFormat, ""}}, true, {}, false},
        {"text only", {{clip::kPlainTextFormat, "/etc/passwd"}}, false, {}, false},
        {"our own drop effect says cut when no KDE flag does",
         {{clip::kUriListFormat, "file:///a\r\n"}, {clip::kDropEffectFormat, QByteArray("\x02\0\0\0", 4)}}, true,
         {"/a"}, true},
    };
    for (const ReadCase& c : cases) {
        RawMimeData data;
        for (const auto& [format, bytes] : c.blocks)
            data.Set(format, bytes);
        clip::FileList read;
        EXPECT_EQ(clip::ReadFileListData(&data, read), c.isFileList) << c.what;
        EXPECT_EQ(read.paths, c.paths) << c.what;
        EXPECT_EQ(read.cut, c.cut) << c.what;
    }
}

TEST(Clipboard, AfterAMoveClearsOnlyTheListThatMoved)
{
    const std::vector<std::string> moved{"/tmp/one", "/tmp/two"};
    clip::WriteFiles(moved, true);
    clip::ClearIfHolds({"/tmp/one"});
    clip::FileList held;
    ASSERT_TRUE(clip::ReadFiles(held));
    EXPECT_EQ(held.paths, moved);

    clip::ClearIfHolds(moved);
    EXPECT_FALSE(clip::ReadFiles(held));
}

} // namespace
