// The library's string table compiled into the code, generated at build time
// from resources/error_texts.txt.  Only platform sources include this: the
// generated file lies in the private include directory of the core.
#pragma once

#include <cstdint>
#include <string>

namespace xvr::platform {

// The text of id, empty when the id is unknown.
inline std::u16string BuiltinText(uint32_t id) {
    struct Entry {
        uint32_t id;
        const char16_t *text;
    };
    static const Entry kTexts[] = {
#include "error_texts.inc"
    };
    for (const Entry &entry : kTexts)
        if (entry.id == id) return entry.text;
    return {};
}

}  // namespace xvr::platform
