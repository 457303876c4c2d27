#include "base/texts.h"

#include "platform/platform.h"

namespace xvr {

std::u16string LoadText(uint32_t id) { return platform::LoadResourceText(id); }

std::u16string FormatText(uint32_t id, std::initializer_list<FormatArg> args) {
    // The loaded text is the only format; arguments are inserted verbatim.
    return Format(LoadText(id), args);
}

std::u16string SystemText(uint32_t code) { return platform::SystemErrorText(code); }

}  // namespace xvr
