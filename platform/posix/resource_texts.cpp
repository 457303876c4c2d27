#include "platform/builtin_texts.h"
#include "platform/platform.h"

namespace xvr::platform {

std::u16string LoadResourceText(uint32_t id) { return BuiltinText(id); }

}  // namespace xvr::platform
