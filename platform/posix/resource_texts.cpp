// The library's string table, generated at build time from error_texts.txt.
#include "platform/platform.h"

namespace xvr::platform {
namespace {

struct TextEntry {
    uint32_t id;
    const char16_t *text;
};

const TextEntry kTexts[] = {
#include "error_texts.inc"
};

}  // namespace

std::u16string LoadResourceText(uint32_t id) {
    for (const TextEntry &entry : kTexts)
        if (entry.id == id) return entry.text;
    return {};
}

}  // namespace xvr::platform
