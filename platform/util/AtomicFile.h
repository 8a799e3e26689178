#pragma once
// Small files read whole and replaced atomically: what the editors of shortcut files
// need so that a crash or a full disk never leaves half a file, and a save never
// lands on something that is not the file the user opened. Every writer of a new
// file (copies, new shortcuts, saves, the registry) goes through PendingFile.
#include <sys/types.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/util/UniqueFd.h"

namespace platform {

// Reads a regular file of at most `limit` bytes. 0, or an errno value: EFBIG for a
// larger file, EISDIR for a folder, EINVAL for anything but a regular file (a FIFO
// does not hang the caller).
int ReadSmallFile(const std::string& path, std::size_t limit, std::string& out);

// A new file that has no name until it is written whole, so that nobody (a reader,
// a crash, a kill) ever finds half of it under the name it is meant to have. Where
// the file system allows it is an unnamed file (O_TMPFILE), which a kill leaves no
// trace of; elsewhere a hidden temporary beside its final name. What is not given
// its name goes with the object.
class PendingFile {
public:
    PendingFile() = default;
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // Starts the file in the folder `dirFd`, which must stay open until the file is
    // named, with `mode` less the umask. `name` is the final name; the temporary
    // name, when one is needed, is a hidden one made from it, or `fixedTemp`, which
    // replaces a file left there (for writers that hold a lock). 0 or an errno value.
    int Create(int dirFd, std::string_view name, mode_t mode, std::string_view fixedTemp = {});
    int Fd() const { return fd_.Get(); }
    // Gives the written file `name`, never in place of anything there: on EEXIST it
    // stays pending and may be given another name. Closes the file (a network file
    // system reports some write errors only then). The file must not be named twice.
    int LinkAs(const std::string& name);
    // Puts the written file in place of what has `name`: linked under its temporary
    // name only now, then renamed.
    int ReplaceAs(const std::string& name);

private:
    std::string TempName(std::string_view name) const;
    int LinkUnder(const std::string& name);

    int dir_ = -1;
    UniqueFd fd_;
    std::string temp_; // the name it has while not yet in place; empty: none
    std::string fixedTemp_;
};

enum class WriteMode {
    Replace,     // the file there is replaced (through a symbolic link, the file it leads to)
    ReplaceHere, // the same, but a symbolic link of that name is refused with ELOOP
    CreateNew,   // fails with EEXIST when anything has the name, even a dangling link
};

// Writes the file as a PendingFile (`newFileMode` less the umask for a new file, the
// replaced file's permissions otherwise), fsyncs it, gives it the name and fsyncs
// the folder. 0, or an errno value; on failure the old file is untouched and no
// temporary file stays behind.
int WriteFileAtomically(const std::string& path, std::string_view bytes, WriteMode mode, mode_t newFileMode = 0666);

} // namespace platform
