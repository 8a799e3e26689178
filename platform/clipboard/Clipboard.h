#pragma once
// File lists on the clipboard, in the forms the Linux file managers read and write,
// so that Cut and Copy here paste in GNOME, KDE, Xfce and LXQt file managers and the
// other way round:
//
//   text/uri-list                  one file:// URI per line, each line ending in CRLF
//   x-special/gnome-copied-files   "copy" or "cut", then one URI per line (no
//                                  trailing newline)
//   application/x-kde-cutselection "1" after Cut, "0" after Copy
//   text/plain                     the paths, one per line
//   Preferred DropEffect           4 bytes little-endian: 2 (move) after Cut, 5
//                                  (copy and link) after Copy, as Windows writes it
//
// Paths are bytes: URIs are built from the bytes and read back into them, so names
// that are not UTF-8 survive the trip.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <QByteArray>

class QMimeData;

namespace platform::clipboard {

inline constexpr const char* kUriListFormat = "text/uri-list";
inline constexpr const char* kGnomeFormat = "x-special/gnome-copied-files";
inline constexpr const char* kKdeCutFormat = "application/x-kde-cutselection";
inline constexpr const char* kPlainTextFormat = "text/plain";
inline constexpr const char* kDropEffectFormat = "application/x-qt-windows-mime;value=\"Preferred DropEffect\"";

inline constexpr std::uint32_t kDropEffectCopy = 1;
inline constexpr std::uint32_t kDropEffectMove = 2;
inline constexpr std::uint32_t kDropEffectLink = 4;

// A file list read from the clipboard (or from drop data).
struct FileList {
    std::vector<std::string> paths; // absolute host paths
    bool cut = false;               // the files are to be moved, not copied
};

// "file:///..." for an absolute path, every byte outside the unreserved characters
// and "/" percent-encoded.
QByteArray FileUri(std::string_view path);
// The path of a local file:// URI ("file:///p", "file://localhost/p", "file:/p");
// false for other schemes, remote hosts, relative or malformed URIs, and paths with
// a zero byte or with "." or ".." parts. A trailing "/" is dropped.
bool PathFromUri(std::string_view uri, std::string& path);
// A text/uri-list block: the URI of each path, each line ending in CRLF.
QByteArray MakeUriList(const std::vector<std::string>& paths);
// The local paths of a text/uri-list block, in order (blank lines and comments left
// out, URIs that name no local file skipped); false when it names none.
bool ReadUriList(const QByteArray& block, std::vector<std::string>& paths);

// The blocks for a file list, in every form above.
QMimeData* MakeFileListData(const std::vector<std::string>& paths, bool cut);
// Reads a file list: gnome-copied-files first, else the URI list with the KDE cut
// flag (or, failing that, the drop effect). URIs that name no local file are
// skipped. False when the data holds no file list, or one naming only such URIs.
bool ReadFileListData(const QMimeData* data, FileList& out);

// Whether a drag comes from a web page: beside its URI list it carries a browser's
// formats (text/x-moz-url, _NETSCAPE_URL, text/html). A page may name any of the
// user's files in file: URIs; they are no files the user picked, so a drop takes
// none of them. File managers offer none of these formats.
bool FromWebPage(const QMimeData* data);

// The system clipboard. ReadFiles answers whether it holds a file list; a list of
// no files counts as one.
bool ReadFiles(FileList& out);
void WriteFiles(const std::vector<std::string>& paths, bool cut);
// After a paste that moved these files: empties the clipboard when it still holds
// exactly this list, which now names files that are gone.
void ClearIfHolds(const std::vector<std::string>& paths);

} // namespace platform::clipboard
