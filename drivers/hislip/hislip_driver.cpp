#include "drivers/hislip/hislip_driver.h"

#include <memory>

#include "base/strings.h"
#include "base/texts.h"
#include "drivers/hislip/hislip_message.h"
#include "platform/platform.h"
#include "platform/socket.h"

namespace xvr {

namespace {

constexpr size_t kMaxSubAddress = 256;

bool ParsePort(std::u16string_view text, uint16_t *port) {
    if (text.empty() || text.size() > 5) return false;
    uint32_t value = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') return false;
        value = value * 10 + (c - u'0');
    }
    if (value == 0 || value > 0xFFFF) return false;
    *port = static_cast<uint16_t>(value);
    return true;
}

}  // namespace

bool ParseHislipAddress(std::u16string_view param, HislipAddress *address) {
    const std::u16string text = TrimBlanks(param);
    const size_t colon = text.find(u':');
    address->host = TrimBlanks(text.substr(0, colon));
    address->subAddress = u"hislip0";
    address->port = hislip::kDefaultPort;
    if (address->host.empty()) return false;
    if (colon == std::u16string::npos) return true;
    const std::u16string rest = text.substr(colon + 1);
    const size_t comma = rest.find(u',');
    address->subAddress = TrimBlanks(rest.substr(0, comma));
    if (address->subAddress.empty() || address->subAddress.size() > kMaxSubAddress) return false;
    for (char16_t c : address->subAddress)
        if (c < 0x21 || c > 0x7E) return false;
    return comma == std::u16string::npos ||
           ParsePort(TrimBlanks(rest.substr(comma + 1)), &address->port);
}

int32_t CXVR_HiSLIP::Open(uint32_t *handle, std::u16string param, int32_t timeoutMs,
                          std::u16string *error) {
    HislipAddress address;
    if (!ParseHislipAddress(param, &address)) {
        *error = LoadText(kTextBadIpAddress);
        return kStatusBadAddress;
    }
    const uint32_t code = platform::SocketStartup();
    if (code != 0) {
        *error = FormatText(kTextNetInitFailed, {SystemText(code)});
        return kStatusOpenFailed;
    }
    const std::string narrowHost = platform::WideToAnsi(address.host);
    std::string dotted;
    uint32_t ipv4 = 0;
    if (!platform::ResolveIPv4(narrowHost, &dotted, &ipv4)) {
        *error = LoadText(kTextHostNotFound);
        return kStatusNotFound;
    }
    const SharingKey key = ToUpper(address.host + u':' + address.subAddress + u',') +
                           static_cast<char16_t>(address.port);
    const int32_t openMs =
        timeoutMs > 0 ? timeoutMs : static_cast<int32_t>(CXVR_DeviceSettings::kDefaultTimeout);
    auto make = [&] {
        return std::make_shared<CXVR_HiSLIPDevice>(address.host + u':' + address.subAddress,
                                                   platform::WideToAnsi(address.subAddress),
                                                   address.port);
    };
    auto connect = [&](CXVR_HiSLIPDevice &d) {
        return d.Connect(ipv4, Deadline::In(openMs), error);
    };
    return OpenDevice(handle, key, make, connect, kStatusOpenFailed, error);
}

}  // namespace xvr
