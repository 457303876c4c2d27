// The directory of XVR.XVR and XVR.log: $XVR_DIR, else the user's
// configuration directory, else /etc/xvr/.  Nothing here creates it.
#include <cstdlib>

#include "platform/platform.h"

namespace xvr::platform {
namespace {

std::u16string Env(const char *name) {
    const char *value = std::getenv(name);
    return value == nullptr ? std::u16string() : AnsiToWide(value);
}

std::u16string WithSeparator(std::u16string dir) {
    if (dir.empty() || dir.back() != u'/') dir += u'/';
    return dir;
}

// What the base library reports on Windows: a directory, or a lone separator
// when it has none to offer.
std::u16string BaseDirectory() {
    // Relative XDG paths are invalid by the XDG rules and ignored.
    const std::u16string xdg = Env("XDG_CONFIG_HOME");
    if (!xdg.empty() && xdg[0] == u'/') return WithSeparator(xdg) + u"xvr/";
    const std::u16string home = Env("HOME");
    if (!home.empty()) return WithSeparator(home) + u".config/xvr/";
    return u"/";
}

}  // namespace

std::u16string ParameterDirectory() {
    const std::u16string own = Env("XVR_DIR");
    if (!own.empty()) return WithSeparator(own);
    std::u16string dir = BaseDirectory();
    if (dir == u"/") dir = u"/etc/xvr/";
    return dir;
}

}  // namespace xvr::platform
