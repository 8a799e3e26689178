#pragma once
// Small files read whole and replaced atomically: what the editors of shortcut files
// need so that a crash or a full disk never leaves half a file, and a save never
// lands on something that is not the file the user opened.
#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// Reads a regular file of at most `limit` bytes. 0, or an errno value: EFBIG for a
// larger file, EISDIR for a folder, EINVAL for anything but a regular file (a FIFO
// does not hang the caller).
int ReadSmallFile(const std::string& path, std::size_t limit, std::string& out);

enum class WriteMode {
    Replace,   // the file there is replaced (through a symbolic link, the file it leads to)
    CreateNew, // fails with EEXIST when anything has the name, even a dangling link
};

// Writes a temporary file beside the destination (mode 0666 minus the umask, or the
// replaced file's permissions), fsyncs it, renames it into place and fsyncs the
// folder. 0, or an errno value; on failure the old file is untouched and no
// temporary file stays behind.
int WriteFileAtomically(const std::string& path, std::string_view bytes, WriteMode mode);

} // namespace platform
