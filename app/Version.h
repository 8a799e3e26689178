#pragma once

#include "QmVersion.h"

inline constexpr const char* kProgramName = "Quillmere";
inline constexpr const char* kProgramVersionText = "Quillmere " QM_VERSION;
