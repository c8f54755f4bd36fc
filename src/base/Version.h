// The program's version, declared once: the project's version in the top CMakeLists.txt. The
// command lines, the options dialog's title, the package and the metadata all show it.
#pragma once

namespace lumivex {

inline constexpr const char* kVersion = LUMIVEX_VERSION;

}  // namespace lumivex
