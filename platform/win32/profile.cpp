#include <algorithm>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/own_module.h"

namespace xvr::platform {
namespace {

// The buffer starts small and grows while the result fills it, up to size:
// a large size never costs memory that the value does not need.
template <typename Char, typename Read>
std::basic_string<Char> ReadGrowing(uint32_t size, Read read) {
    if (size == 0) return {};
    DWORD capacity = std::min<DWORD>(size, 1024);
    for (;;) {
        std::vector<Char> buffer(capacity, Char(0));
        const DWORD n = read(buffer.data(), capacity);
        if (n + 1 < capacity || capacity == size)
            return std::basic_string<Char>(buffer.data(), std::min(n, capacity - 1));
        capacity = size - capacity < capacity ? size : capacity * 2;
    }
}

}  // namespace

// The system reads the file for each key; it keeps a parsed copy of it.
Profile::Profile(const std::u16string &file) : m_sFile(file) {}

std::u16string Profile::String(const std::u16string &section, const std::u16string &key,
                               const std::u16string &fallback, uint32_t size) const {
    const std::wstring value = ReadGrowing<wchar_t>(size, [&](wchar_t *buffer, DWORD capacity) {
        return GetPrivateProfileStringW(win32::W(section), win32::W(key), win32::W(fallback),
                                        buffer, capacity, win32::W(m_sFile));
    });
    return win32::U(value.data(), value.size());
}

std::string Profile::StringA(const std::string &section, const std::string &key,
                             const std::string &fallback, uint32_t size) const {
    const std::string file = WideToAnsi(m_sFile);
    return ReadGrowing<char>(size, [&](char *buffer, DWORD capacity) {
        return GetPrivateProfileStringA(section.c_str(), key.c_str(), fallback.c_str(), buffer,
                                        capacity, file.c_str());
    });
}

}  // namespace xvr::platform
