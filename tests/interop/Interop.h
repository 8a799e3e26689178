#pragma once
// Shared by the entry and the tests of the file-manager suite.
#include <string>

namespace interop {
// Why the suite cannot run here (a tool missing, no X server); empty when it can.
extern std::string skipReason;
} // namespace interop
