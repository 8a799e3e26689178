#pragma once
// What a shortcut may start without asking. Shortcut files come from others (sticks,
// archives, shares), so a program they name runs only after the user saw it, unless
// it is one the user already trusts:
//
//   system program    a host program the system installed (IsSystemProgram)
//   trusted prefix    a Windows program inside a Wine prefix of the user's own:
//                     $WINEPREFIX, ~/.wine, and the prefixes listed under
//                     HKCU kTrustedPrefixesKey (the value names are the folders)
//   remembered link   a shortcut the user told not to ask again about, kept under
//                     HKCU kTrustedShortcutsKey as its path (the value name) and a
//                     hash of its bytes (the data), so a link edited since asks again
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform::launch {

// Under the program's settings key, HKCU "Software\Tarnwick\Quillmere".
inline constexpr std::string_view kTrustedShortcutsKey = "Software\\Tarnwick\\Quillmere\\TrustedShortcuts";
inline constexpr std::string_view kTrustedPrefixesKey = "Software\\Tarnwick\\Quillmere\\TrustedPrefixes";

// A file under /usr, /bin, /sbin or /opt once its symbolic links are resolved, where
// the file and every folder from "/" down to it belong to root and can be written by
// no group and no other user: nobody but root can have put it there.
bool IsSystemProgram(const std::string& path);

// Whether `path`, its links resolved, is `folder` (links resolved) or lies below it.
bool LiesInside(const std::string& path, const std::string& folder);

// The prefix Wine runs in when WINEPREFIX is not set for it: $WINEPREFIX, else ~/.wine
// (which Wine makes when it is missing).
std::string UsersOwnPrefix();
bool IsTrustedPrefix(const std::string& prefix);
// Adds the prefix to kTrustedPrefixesKey; false when the registry cannot be written.
bool TrustPrefix(const std::string& prefix);

// The hash a remembered shortcut is kept with: SHA-256 of its bytes, in hex.
std::string ShortcutFingerprint(std::span<const std::uint8_t> bytes);
bool IsRememberedShortcut(const std::string& linkPath, std::string_view fingerprint);
bool RememberShortcut(const std::string& linkPath, std::string_view fingerprint);

} // namespace platform::launch
