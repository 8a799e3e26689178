#pragma once
// ".." in a host path, taken as the file system takes it: the parent of the folder
// reached so far, which after a symbolic link is the parent of the link's target,
// not the folder that holds the link. Only the steps a ".." follows are resolved; every
// other component stays as typed, so a path through a link such as
// "dosdevices/c:" keeps naming it that way. On a network mount a ".." removes the
// name before it without asking the server (platform/shell/NetworkMounts.h).
#include <string>
#include <string_view>

namespace platform::shell::fs {

// Whether `path` has a ".." component.
bool HasParentStep(std::string_view path);

// `path` (absolute) without "." and ".." components and without a trailing "/".
// Answers 0, or the errno value the system would give for the path (ENOENT for a
// missing step before a "..", ENOTDIR, ELOOP). "/.." is "/".
int ResolveParentSteps(std::string_view path, std::string& out);

} // namespace platform::shell::fs
