#include <dlfcn.h>

#include "platform/platform.h"

namespace xvr::platform {

// "QUVIEC.DLL" -> "libquviec.so"; a path is taken as it is.
std::u16string LibraryFileName(const std::u16string &dllName) {
    if (dllName.find(u'/') != std::u16string::npos) return dllName;
    std::u16string base = dllName;
    for (char16_t &c : base)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    if (base.size() > 4 && base.compare(base.size() - 4, 4, u".dll") == 0)
        base.resize(base.size() - 4);
    return u"lib" + base + u".so";
}

void *LoadLibraryFile(const std::u16string &fileName, std::u16string *errorText) {
    const std::string name = WideToAnsi(fileName);
    void *library = nullptr;
    if (name.find('\0') == std::string::npos) library = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr && errorText != nullptr) {
        const char *text = dlerror();
        *errorText = AnsiToWide(text != nullptr ? text : "cannot load the library") + u"\r\n";
    }
    return library;
}

void *LibrarySymbol(void *library, const char *name) {
    if (library == nullptr || name == nullptr) return nullptr;
    return dlsym(library, name);
}

void FreeLibraryFile(void *library) {
    if (library != nullptr) dlclose(library);
}

}  // namespace xvr::platform
