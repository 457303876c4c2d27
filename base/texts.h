// The library's error texts (ids 11000-11026) and how they are filled.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "base/strings.h"

namespace xvr {

enum TextId : uint32_t {
    kTextNotOpen = 11000,            // interface not open
    kTextTimeoutSetFailed = 11001,   // %s interface, %s system text
    kTextWriteFailed = 11002,        // %s interface, %s system text
    kTextParamUnsupported = 11003,   // %s parameter, %s interface
    kTextParamInvalid = 11004,       // %s parameter
    kTextGetSettingsFailed = 11005,  // %s interface, %s system text
    kTextSetSettingsFailed = 11006,  // %s interface, %s system text
    kTextBadHandle = 11007,
    kTextUnknownDriver = 11008,  // %s driver name
    kTextBufferTooSmall = 11009,
    kTextRetired = 11010,        // %s export name
    kTextSocketFailed = 11011,   // %s system text
    kTextConnectFailed = 11012,  // %s system text
    kTextReceiveFailed = 11013,  // %s system text
    kTextSendFailed = 11014,     // %s system text
    kTextBadIpAddress = 11015,
    kTextNetInitFailed = 11016,  // %s system text
    kTextHostNotFound = 11017,
    kTextCannotOpen = 11018,
    kTextBadGpibDevice = 11019,
    kTextDllLoadFailed = 11020,  // %s file, %s system text
    kTextDllUnsuitable = 11021,  // %s file
    kTextGpibInitFailed = 11022,
    kTextOutOfRange = 11023,
    kTextLocked = 11024,          // %s interface
    kTextConnectionLost = 11025,  // %s interface
    kTextRefused = 11026,         // %s interface, %s the server's reason
};

// The text as it stands in the string table.
std::u16string LoadText(uint32_t id);
// The text with its "%s" placeholders filled in order.
std::u16string FormatText(uint32_t id, std::initializer_list<FormatArg> args);
// The system's text for an error code (platform::SystemErrorText).
std::u16string SystemText(uint32_t code);

}  // namespace xvr
