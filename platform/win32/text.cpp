// Host text is in the ANSI code page.
#include <climits>

#include "platform/platform.h"
#include "platform/win32/own_module.h"

namespace xvr::platform {

// The conversion functions count in int; text beyond that is no host text.
std::u16string AnsiToWide(std::string_view text) {
    if (text.empty() || text.size() > INT_MAX) return {};
    const int n = static_cast<int>(text.size());
    const int wide = MultiByteToWideChar(CP_ACP, 0, text.data(), n, nullptr, 0);
    if (wide <= 0) return {};
    std::u16string out(static_cast<size_t>(wide), u'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), n, reinterpret_cast<wchar_t *>(&out[0]), wide);
    return out;
}

std::string WideToAnsi(std::u16string_view text) {
    if (text.empty() || text.size() > INT_MAX) return {};
    const int n = static_cast<int>(text.size());
    const wchar_t *src = reinterpret_cast<const wchar_t *>(text.data());
    const int narrow = WideCharToMultiByte(CP_ACP, 0, src, n, nullptr, 0, nullptr, nullptr);
    if (narrow <= 0) return {};
    std::string out(static_cast<size_t>(narrow), '\0');
    WideCharToMultiByte(CP_ACP, 0, src, n, &out[0], narrow, nullptr, nullptr);
    return out;
}

}  // namespace xvr::platform
