#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "platform/win32/own_module.h"

namespace xvr::platform {

std::FILE *OpenFile(const std::u16string &path, const char *mode) {
    if (mode == nullptr) return nullptr;
    // A path with a NUL in it would name a different file.
    if (path.find(u'\0') != std::u16string::npos) return nullptr;
    std::wstring flags;
    for (const char *p = mode; *p != '\0'; ++p)
        flags += static_cast<wchar_t>(static_cast<unsigned char>(*p));
    // "N": the handle must not leak into programs the host starts; it goes
    // before a ", ccs=" part.
    const size_t options = flags.find(L',');
    if (flags.find(L'N') >= options)
        flags.insert(options == std::wstring::npos ? flags.size() : options, L"N");
    return _wfopen(win32::W(path), flags.c_str());
}

bool AppendToFile(const std::u16string &path, std::string_view header, std::string_view bytes) {
    if (path.empty() || path.find(u'\0') != std::u16string::npos) return false;
    // Shared for reading and writing, as a log that others watch must be.
    HANDLE h = CreateFileW(win32::W(path), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size;
    std::string block;
    std::string_view out = bytes;
    if (!header.empty() && GetFileSizeEx(h, &size) && size.QuadPart == 0) {
        block.reserve(header.size() + bytes.size());
        block.append(header).append(bytes);
        out = block;
    }
    bool ok = true;
    while (!out.empty()) {
        const DWORD chunk = out.size() > 0x40000000u ? 0x40000000u : static_cast<DWORD>(out.size());
        DWORD written = 0;
        if (!WriteFile(h, out.data(), chunk, &written, nullptr) || written == 0) {
            ok = false;
            break;
        }
        out.remove_prefix(written);
    }
    CloseHandle(h);
    return ok;
}

}  // namespace xvr::platform
