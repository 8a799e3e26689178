#pragma once

inline constexpr const char* kProgramName = "Quillmere";
inline constexpr const char* kProgramVersionText = "Quillmere 3.0";
