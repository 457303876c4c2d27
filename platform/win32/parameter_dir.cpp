// The directory of XVR.XVR and XVR.log: %XVR_DIR%, else what the base library
// QUVBASE.dll reports, else c:\XVR\.  Nothing here creates it.
#include <vector>

#include "platform/platform.h"
#include "platform/win32/own_module.h"

namespace xvr::platform {
namespace {

// Read through the system, not getenv: a statically linked runtime keeps an
// environment copy of its own that misses later changes by the host.
std::u16string Env(const wchar_t *name) {
    std::vector<wchar_t> value(MAX_PATH);
    for (;;) {
        const DWORD n =
            GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
        if (n == 0) return {};
        if (n < value.size()) return win32::U(value.data(), n);
        value.resize(n);  // n counts the terminating zero here
    }
}

using BaseDirectoryFunction = int(WINAPI *)(wchar_t *, int, int);

// The base library's directory for kind 17; a lone backslash when the library
// is missing or has none to offer.
std::u16string BaseDirectory() {
    constexpr int kPathSize = 260;
    constexpr int kParameterKind = 17;
    std::u16string dir = u"\\";
    HMODULE base = LoadLibraryW(L"QUVBASE.dll");
    if (base == nullptr) return dir;
    auto function = reinterpret_cast<BaseDirectoryFunction>(
        reinterpret_cast<void *>(GetProcAddress(base, MAKEINTRESOURCEA(30))));
    if (function != nullptr) {
        // One spare zero: a buffer filled to the brim still ends.
        wchar_t buffer[kPathSize + 1] = {};
        function(buffer, kPathSize, kParameterKind);
        dir = win32::U(buffer, wcslen(buffer));
    }
    FreeLibrary(base);
    return dir;
}

}  // namespace

std::u16string ParameterDirectory() {
    std::u16string own = Env(L"XVR_DIR");
    if (!own.empty()) {
        if (own.back() != u'\\' && own.back() != u'/') own += u'\\';
        return own;
    }
    const std::u16string dir = BaseDirectory();
    return dir == u"\\" ? u"c:\\XVR\\" : dir;
}

}  // namespace xvr::platform
