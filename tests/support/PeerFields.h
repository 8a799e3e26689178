#pragma once
// The shared corpus's link samples and the fields a peer parser read from each: for
// every "<name>.lnk" of lnk-peer, "<name>.expected.json" holds a flat JSON object of
// strings and integers.
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace testsupport {

using PeerValue = std::variant<std::string, long long>;
using PeerFields = std::map<std::string, PeerValue>;

// Parses one expected file. Strings come back as UTF-8, their \u escapes (surrogate
// pairs included) decoded. Anything but a flat object throws std::runtime_error.
PeerFields ParseFlatJson(std::string_view text);

// A string field, or nothing when the peer did not report it.
std::optional<std::string> PeerText(const PeerFields& fields, const std::string& key);
// An integer field; throws when it is absent or no integer.
long long PeerNumber(const PeerFields& fields, const std::string& key);

// The samples of a corpus folder: the names of its .lnk files without the
// extension, sorted.
std::vector<std::string> CorpusSamples(const std::string& dir);

} // namespace testsupport
