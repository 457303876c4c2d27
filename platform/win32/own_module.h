// Helpers shared by the Windows files.
#pragma once

#include <windows.h>

#include <string>

namespace xvr::platform::win32 {

// The module this code is linked into: QUVXVR.DLL, or the program that links
// the core statically.
HMODULE OwnModule();

inline const wchar_t *W(const std::u16string &s) {
    return reinterpret_cast<const wchar_t *>(s.c_str());
}
inline std::u16string U(const wchar_t *s, size_t n) {
    return std::u16string(reinterpret_cast<const char16_t *>(s), n);
}

}  // namespace xvr::platform::win32
