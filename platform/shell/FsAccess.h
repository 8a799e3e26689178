#pragma once
// File-system calls on host paths of any length. Paths the kernel takes whole go to
// the plain calls; longer ones (past PATH_MAX) are reached folder by folder through
// descriptors, so deep folders work like any other.
#include <sys/stat.h>
#include <sys/statfs.h>

#include <string>
#include <string_view>

#include "platform/util/UniqueFd.h"

namespace platform::shell::fs {

using platform::UniqueFd;

// "dir" + "/" + "name" (no doubled "/" after the root).
std::string JoinPath(std::string_view dir, std::string_view name);
// The folder part and the last component of an absolute path ("/a/b" -> "/a", "b").
std::string_view ParentOf(std::string_view path);
std::string_view BaseName(std::string_view path);
// The next name of `path` from `pos` on, skipping "/"s; empty when none is left.
// `pos` moves past the name.
std::string_view NextName(std::string_view path, std::size_t& pos);

// Each answers 0 or an errno value.
int Stat(const std::string& path, struct stat& st, bool followLinks);
int StatFs(const std::string& path, struct statfs& st);
int Access(const std::string& path, int mode);
// A descriptor of the folder, open for reading its entries.
int OpenDirectory(const std::string& path, UniqueFd& out);
// Renames dir/from to dir/to without ever replacing an existing dir/to.
int RenameNoReplace(const std::string& dir, const std::string& from, const std::string& to);
// The same between two open folders; EEXIST when anything has the new name, even the
// item itself under another spelling (the caller that renames in place checks that).
int RenameNoReplace(int fromDir, const std::string& from, int toDir, const std::string& to);

} // namespace platform::shell::fs
