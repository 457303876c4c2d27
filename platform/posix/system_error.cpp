// errno and its text.  The text ends in "\r\n" like the system texts on
// Windows, so messages that embed it read the same on both targets.
#include <cerrno>
#include <cstring>

#include "platform/platform.h"

namespace xvr::platform {
namespace {

// strerror_r comes in two flavours: the XSI one returns an int and fills the
// buffer, the GNU one returns the text (which may or may not be the buffer).
[[maybe_unused]] const char *PickText(int rc, const char *buffer) {
    return rc == 0 ? buffer : nullptr;
}
[[maybe_unused]] const char *PickText(const char *text, const char *) { return text; }

}  // namespace

uint32_t LastError() { return static_cast<uint32_t>(errno); }

uint32_t DeviceFailedError() { return EIO; }

std::u16string SystemErrorText(uint32_t code) {
    char buffer[256] = {};
    const char *text = PickText(strerror_r(static_cast<int>(code), buffer, sizeof buffer), buffer);
    if (text == nullptr || *text == '\0') return {};
    return AnsiToWide(text) + u"\r\n";
}

}  // namespace xvr::platform
