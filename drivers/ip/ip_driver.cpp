#include "drivers/ip/ip_driver.h"

#include <memory>

#include "base/strings.h"
#include "base/texts.h"
#include "drivers/device_settings.h"
#include "platform/platform.h"

namespace xvr {

int32_t CXVR_IP::Open(uint32_t *handle, std::u16string param, int32_t timeoutMs,
                      std::u16string *error) {
    const std::u16string address = ToUpper(TrimBlanks(param));
    const size_t colon = address.find(u':');
    if (colon == std::u16string::npos) {
        *error = LoadText(kTextBadIpAddress);
        return kStatusBadAddress;
    }
    std::u16string host = TrimBlanks(address.substr(0, colon));
    const std::u16string portText = TrimBlanks(address.substr(colon + 1));

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
    // The port as _wtoi reads it, cut to 16 bits; it is not checked.
    int32_t portValue = 0;
    if (!ScanDecimal(portText, &portValue)) portValue = 0;
    const uint16_t port = static_cast<uint16_t>(portValue);

    auto shares = [&](const CXVR_IPDevice &d) {
        return d.m_sHost == host && d.m_nPort == port && d.m_lTransportMark == m_lTransportType;
    };
    auto make = [&] { return std::make_shared<CXVR_IPDevice>(host, port); };
    auto connect = [&](CXVR_IPDevice &d) {
        return d.Connect(ipv4, m_lTransportType, timeoutMs, error);
    };
    return OpenDevice(handle, shares, make, connect, kStatusOpenFailed, error);
}

}  // namespace xvr
