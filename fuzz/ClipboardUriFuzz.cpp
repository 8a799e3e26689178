// The readers of file lists another program put on the clipboard or in a drop, on
// arbitrary bytes: no crash, no read out of bounds, and every path they give back is
// absolute, made of real names (no "." or "..", no empty part, no zero byte), and
// comes back unchanged through the lists this program writes.
#include <QByteArray>
#include <QMimeData>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/clipboard/Clipboard.h"

namespace {

namespace cb = platform::clipboard;

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

void CheckPaths(const std::vector<std::string>& paths)
{
    for (const std::string& path : paths) {
        Check(path.size() > 1 && path.front() == '/' && path.back() != '/');
        Check(path.find('\0') == std::string::npos && path.find("//") == std::string::npos);
        Check((path + "/").find("/./") == std::string::npos && (path + "/").find("/../") == std::string::npos);
        std::string again;
        Check(cb::PathFromUri(cb::FileUri(path).toStdString(), again) && again == path);
    }
}

// The list read back from what this program writes for it.
void CheckRoundTrip(const cb::FileList& list)
{
    const std::unique_ptr<QMimeData> written(cb::MakeFileListData(list.paths, list.cut));
    cb::FileList again;
    Check(cb::ReadFileListData(written.get(), again) && again.paths == list.paths && again.cut == list.cut);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray block(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    for (const QByteArray& line : block.split('\n')) {
        std::string path;
        if (cb::PathFromUri(line.toStdString(), path))
            CheckPaths({path});
    }

    std::vector<std::string> paths;
    const bool read = cb::ReadUriList(block, paths);
    Check(read == !paths.empty());
    CheckPaths(paths);
    if (read)
        CheckRoundTrip({paths, false});

    // The same bytes as GNOME's list, and as a URI list with KDE's cut flag.
    QMimeData gnome;
    gnome.setData(cb::kGnomeFormat, block);
    cb::FileList list;
    if (cb::ReadFileListData(&gnome, list)) {
        CheckPaths(list.paths);
        CheckRoundTrip(list);
    }
    QMimeData kde;
    kde.setData(cb::kUriListFormat, block);
    kde.setData(cb::kKdeCutFormat, block.left(1));
    if (cb::ReadFileListData(&kde, list)) {
        CheckPaths(list.paths);
        CheckRoundTrip(list);
    }
    return 0;
}
