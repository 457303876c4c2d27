// System texts in the language of the library's own version resource.
#include <vector>

#include "platform/platform.h"
#include "platform/win32/own_module.h"

namespace xvr::platform {
namespace {

constexpr WORD kUsEnglish = 1033;

std::wstring OwnFileName() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD n =
            GetModuleFileNameW(win32::OwnModule(), path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) return std::wstring(path.data(), n);
        if (path.size() >= 32768) return {};
        path.resize(path.size() * 2);
    }
}

// The first language of the translation table, or US English when there is
// no version information to read.
WORD ResourceLanguage() {
    const std::wstring file = OwnFileName();
    if (file.empty()) return kUsEnglish;
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
    if (size == 0) return kUsEnglish;
    std::vector<unsigned char> info(size);
    if (!GetFileVersionInfoW(file.c_str(), 0, size, info.data())) return kUsEnglish;
    void *table = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", &table, &length) ||
        table == nullptr || length < 2 * sizeof(WORD))
        return kUsEnglish;
    return static_cast<const WORD *>(table)[0];
}

// The text in the language, empty when the system has none.
std::u16string Message(uint32_t code, DWORD language) {
    wchar_t *buffer = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, language, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    std::u16string text;
    if (n > 0 && buffer != nullptr) text = win32::U(buffer, n);
    if (buffer != nullptr) LocalFree(buffer);
    return text;
}

}  // namespace

uint32_t LastError() { return GetLastError(); }

uint32_t DeviceFailedError() { return ERROR_GEN_FAILURE; }

std::u16string SystemErrorText(uint32_t code) {
    // The version resource does not change while the library is loaded.
    static const WORD language = ResourceLanguage();
    std::u16string text = Message(code, language);
    if (text.empty()) text = Message(code, 0);
    return text;
}

}  // namespace xvr::platform
