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
    for (const char *p = mode; *p != '\0'; ++p) flags += static_cast<wchar_t>(static_cast<unsigned char>(*p));
    // "N": the handle must not leak into programs the host starts; it goes
    // before a ", ccs=" part.
    const size_t options = flags.find(L',');
    if (flags.find(L'N') >= options) flags.insert(options == std::wstring::npos ? flags.size() : options, L"N");
    return _wfopen(win32::W(path), flags.c_str());
}

}  // namespace xvr::platform
