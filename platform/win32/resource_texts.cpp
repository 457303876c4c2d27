#include "platform/builtin_texts.h"
#include "platform/platform.h"
#include "platform/win32/own_module.h"

namespace xvr::platform {

std::u16string LoadResourceText(uint32_t id) {
    // Length 0 asks for a pointer to the text in the resource itself, so a
    // text of any length comes back whole.
    const wchar_t *text = nullptr;
    const int n = LoadStringW(win32::OwnModule(), id, reinterpret_cast<LPWSTR>(&text), 0);
    if (n > 0 && text != nullptr) return win32::U(text, static_cast<size_t>(n));
    // Programs that link the core statically (the unit tests) carry no
    // string table of their own; they use the same texts compiled in.
    return BuiltinText(id);
}

}  // namespace xvr::platform
