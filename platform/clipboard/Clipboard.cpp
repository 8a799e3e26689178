#include "platform/clipboard/Clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include "platform/util/Text.h"

namespace platform::clipboard {
namespace {

bool IsUnreserved(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

// The lines of a block, with CR LF or LF ends, blanks around them removed, empty
// ones and (in a URI list) comments left out.
std::vector<std::string_view> Lines(const QByteArray& block, bool comments)
{
    std::vector<std::string_view> lines;
    const std::string_view text(block.constData(), static_cast<std::size_t>(block.size()));
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        auto trailing = [](char c) { return c == '\r' || c == ' ' || c == '\t' || c == '\0'; };
        while (!line.empty() && trailing(line.back()))
            line.remove_suffix(1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        if (!line.empty() && !(comments && line.front() == '#'))
            lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// The local paths among the URIs; false when there were URIs but none of them local.
bool CollectPaths(const std::vector<std::string_view>& uris, std::vector<std::string>& paths)
{
    for (std::string_view uri : uris) {
        std::string path;
        if (PathFromUri(uri, path))
            paths.push_back(std::move(path));
    }
    return !paths.empty() || uris.empty();
}

std::uint32_t DropEffectOf(const QMimeData* data)
{
    const QByteArray block = data->data(kDropEffectFormat);
    if (block.size() < 4)
        return 0;
    const auto* b = reinterpret_cast<const unsigned char*>(block.constData());
    return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

} // namespace

QByteArray FileUri(std::string_view path)
{
    static const char kHex[] = "0123456789ABCDEF";
    QByteArray uri("file://");
    for (const char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        if (IsUnreserved(c) || c == '/') {
            uri += ch;
        } else {
            uri += '%';
            uri += kHex[c >> 4];
            uri += kHex[c & 0xF];
        }
    }
    return uri;
}

bool PathFromUri(std::string_view uri, std::string& path)
{
    path.clear();
    if (uri.size() < 5 || !EqualsIgnoreAsciiCase(uri.substr(0, 5), "file:"))
        return false;
    std::string_view rest = uri.substr(5);
    if (rest.substr(0, 2) == "//") {
        rest.remove_prefix(2);
        const std::size_t slash = rest.find('/');
        if (slash == std::string_view::npos)
            return false;
        const std::string_view host = rest.substr(0, slash);
        if (!host.empty() && !EqualsIgnoreAsciiCase(host, "localhost"))
            return false;
        rest.remove_prefix(slash);
    }
    if (rest.empty() || rest[0] != '/')
        return false;
    std::string decoded;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        const char c = rest[i];
        if (c == '%') {
            const int hi = i + 2 < rest.size() ? HexDigitValue(rest[i + 1]) : -1;
            const int lo = hi >= 0 ? HexDigitValue(rest[i + 2]) : -1;
            if (lo < 0)
                return false;
            decoded += static_cast<char>(hi * 16 + lo);
            i += 2;
        } else if (c == '?' || c == '#' || static_cast<unsigned char>(c) < 0x20) {
            return false; // a query, a fragment or a control character: not a file's name
        } else {
            decoded += c;
        }
    }
    if (decoded.find('\0') != std::string::npos)
        return false;
    while (decoded.size() > 1 && decoded.back() == '/')
        decoded.pop_back();
    // Every part a real name: "." and ".." would make the name a paste gives its copy
    // lead somewhere else.
    std::size_t start = 1;
    while (start <= decoded.size()) {
        std::size_t end = decoded.find('/', start);
        if (end == std::string::npos)
            end = decoded.size();
        const std::string_view part(decoded.data() + start, end - start);
        if ((part.empty() && decoded.size() > 1) || part == "." || part == "..")
            return false;
        start = end + 1;
    }
    if (decoded == "/")
        return false;
    path = std::move(decoded);
    return true;
}

QByteArray MakeUriList(const std::vector<std::string>& paths)
{
    QByteArray uriList;
    for (const std::string& path : paths)
        uriList += FileUri(path) + "\r\n";
    return uriList;
}

bool ReadUriList(const QByteArray& block, std::vector<std::string>& paths)
{
    paths.clear();
    const std::vector<std::string_view> uris = Lines(block, true);
    return CollectPaths(uris, paths) && !paths.empty();
}

QMimeData* MakeFileListData(const std::vector<std::string>& paths, bool cut)
{
    QByteArray gnome(cut ? "cut" : "copy"), plain;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        gnome += '\n' + FileUri(paths[i]);
        if (i > 0)
            plain += '\n';
        plain += QByteArray(paths[i].data(), static_cast<qsizetype>(paths[i].size()));
    }
    const std::uint32_t effect = cut ? kDropEffectMove : kDropEffectCopy | kDropEffectLink;
    const char effectBytes[4] = {static_cast<char>(effect & 0xFF), 0, 0, 0};

    auto* data = new QMimeData;
    data->setData(kUriListFormat, MakeUriList(paths));
    data->setData(kGnomeFormat, gnome);
    data->setData(kKdeCutFormat, cut ? "1" : "0");
    data->setData(kPlainTextFormat, plain);
    data->setData(kDropEffectFormat, QByteArray(effectBytes, 4));
    return data;
}

bool ReadFileListData(const QMimeData* data, FileList& out)
{
    out = FileList{};
    if (!data)
        return false;
    if (data->hasFormat(kGnomeFormat)) {
        // The lines point into these bytes, which another program's clipboard hands
        // over as a new array at every call.
        const QByteArray gnome = data->data(kGnomeFormat);
        std::vector<std::string_view> lines = Lines(gnome, false);
        if (!lines.empty() && (lines.front() == "copy" || lines.front() == "cut")) {
            out.cut = lines.front() == "cut";
            lines.erase(lines.begin());
            return CollectPaths(lines, out.paths);
        }
    }
    if (!data->hasFormat(kUriListFormat))
        return false;
    if (data->hasFormat(kKdeCutFormat))
        out.cut = data->data(kKdeCutFormat).trimmed().startsWith('1');
    else
        out.cut = DropEffectOf(data) == kDropEffectMove;
    return CollectPaths(Lines(data->data(kUriListFormat), true), out.paths);
}

bool FromWebPage(const QMimeData* data)
{
    // Qt on X11 lists text/x-moz-url as text/uri-list; the other two still show.
    return data && (data->hasFormat("text/x-moz-url") || data->hasFormat("_NETSCAPE_URL") ||
                    data->hasFormat("text/html"));
}

bool ReadFiles(FileList& out)
{
    return ReadFileListData(QGuiApplication::clipboard()->mimeData(), out);
}

void WriteFiles(const std::vector<std::string>& paths, bool cut)
{
    QGuiApplication::clipboard()->setMimeData(MakeFileListData(paths, cut));
}

void ClearIfHolds(const std::vector<std::string>& paths)
{
    FileList held;
    if (ReadFiles(held) && held.paths == paths)
        QGuiApplication::clipboard()->clear();
}

} // namespace platform::clipboard
