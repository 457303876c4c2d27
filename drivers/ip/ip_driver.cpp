#include "drivers/ip/ip_driver.h"

#include <algorithm>
#include <memory>

#include "base/strings.h"
#include "base/texts.h"
#include "platform/platform.h"

namespace xvr {

namespace {

// A port is a decimal number from 1 to 65535 and nothing else: a longer
// number must not reach another service through its low 16 bits.
bool ParsePort(std::u16string_view text, uint16_t *port) {
    if (text.empty()) return false;
    uint32_t value = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') return false;
        value = std::min<uint32_t>(value * 10 + (c - u'0'), 0x10000);
    }
    if (value == 0 || value > 0xFFFF) return false;
    *port = static_cast<uint16_t>(value);
    return true;
}

}  // namespace

bool ParseIpAddress(std::u16string_view param, std::u16string *host, uint16_t *port) {
    const std::u16string address = ToUpper(TrimBlanks(param));
    const size_t colon = address.find(u':');
    if (colon == std::u16string::npos || !ParsePort(TrimBlanks(address.substr(colon + 1)), port))
        return false;
    *host = TrimBlanks(address.substr(0, colon));
    return true;
}

int32_t CXVR_IP::Open(uint32_t *handle, std::u16string param, int32_t timeoutMs,
                      std::u16string *error) {
    std::u16string host;
    uint16_t port = 0;
    if (!ParseIpAddress(param, &host, &port)) {
        *error = LoadText(kTextBadIpAddress);
        return kStatusBadAddress;
    }

    uint32_t code = platform::SocketStartup();
    if (code != 0) {
        *error = FormatText(kTextNetInitFailed, {SystemText(code)});
        return kStatusOpenFailed;
    }
    const std::string narrowHost = platform::WideToAnsi(host);
    std::string dotted;
    uint32_t ipv4 = 0;
    if (!platform::ResolveIPv4(narrowHost, &dotted, &ipv4)) {
        *error = LoadText(kTextHostNotFound);
        return kStatusNotFound;
    }
    if (dotted != narrowHost) host = platform::AnsiToWide(dotted);

    // Records of one host and port share their socket when the driver's
    // transport is the mark every socket carries: TCP shares, UDP never does.
    SharingKey key;
    if (CXVR_IPDevice::kTransportMark == m_lTransportType)
        key = host + u':' + static_cast<char16_t>(port);
    auto make = [&] { return std::make_shared<CXVR_IPDevice>(host, port); };
    auto connect = [&](CXVR_IPDevice &d) {
        return d.Connect(ipv4, m_lTransportType, timeoutMs, error);
    };
    return OpenDevice(handle, key, make, connect, kStatusOpenFailed, error);
}

}  // namespace xvr
