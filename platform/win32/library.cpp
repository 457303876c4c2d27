#include "platform/platform.h"
#include "platform/win32/own_module.h"

namespace xvr::platform {

std::u16string LibraryFileName(const std::u16string &dllName) { return dllName; }

void *LoadLibraryFile(const std::u16string &fileName, std::u16string *errorText) {
    HMODULE library = nullptr;
    if (fileName.find(u'\0') == std::u16string::npos) library = LoadLibraryW(win32::W(fileName));
    if (library == nullptr && errorText != nullptr) {
        const DWORD error = GetLastError();
        *errorText = SystemErrorText(error != 0 ? error : ERROR_MOD_NOT_FOUND);
    }
    return library;
}

void *LibrarySymbol(void *library, const char *name) {
    if (library == nullptr || name == nullptr) return nullptr;
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void FreeLibraryFile(void *library) {
    if (library != nullptr) FreeLibrary(static_cast<HMODULE>(library));
}

}  // namespace xvr::platform
