#include <string>

#include "platform/platform.h"

namespace xvr::platform {

std::FILE *OpenFile(const std::u16string &path, const char *mode) {
    if (mode == nullptr) return nullptr;
    const std::string name = WideToAnsi(path);
    // A path with a NUL in it would name a different file.
    if (name.find('\0') != std::string::npos) return nullptr;
    // "e": the descriptor must not leak into programs the host starts.
    std::string flags = mode;
    if (flags.find('e') == std::string::npos) flags += 'e';
    return std::fopen(name.c_str(), flags.c_str());
}

}  // namespace xvr::platform
