#include "drivers/vxi11/vxi11_driver.h"

#include <memory>

#include "platform/deadline.h"
#include "base/parameter_file.h"
#include "base/strings.h"
#include "base/texts.h"
#include "platform/platform.h"

namespace xvr {

namespace {

constexpr uint16_t kDefaultPortmapper = 111;
// flXVROpen gives no time-out: the portmapper, the connect and create_link
// together get this long.
constexpr int32_t kDefaultOpenMs = 5000;
constexpr size_t kMaxDeviceName = 256;

// Section "VXI-11", key "Portmapper": a port from 1 to 65535, else 111.
uint16_t PortmapperPort() {
    const std::u16string text =
        platform::ProfileString(ParameterFilePath(), u"VXI-11", u"Portmapper", u"", 16);
    uint32_t port = 0;
    if (text.empty() || text.size() > 5) return kDefaultPortmapper;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') return kDefaultPortmapper;
        port = port * 10 + (c - u'0');
    }
    return port >= 1 && port <= 0xFFFF ? static_cast<uint16_t>(port) : kDefaultPortmapper;
}

}  // namespace

bool ParseVxi11Address(std::u16string_view param, std::u16string *host, std::u16string *device) {
    const std::u16string address = TrimBlanks(param);
    const size_t colon = address.find(u':');
    *host = TrimBlanks(address.substr(0, colon));
    *device = colon == std::u16string::npos ? u"" : TrimBlanks(address.substr(colon + 1));
    if (device->empty()) *device = u"inst0";
    if (host->empty() || device->size() > kMaxDeviceName) return false;
    for (char16_t c : *device)
        if (c < 0x21 || c > 0x7E) return false;
    return true;
}

int32_t CXVR_VXI11::Open(uint32_t *handle, std::u16string param, int32_t timeoutMs,
                         std::u16string *error) {
    std::u16string host, device;
    if (!ParseVxi11Address(param, &host, &device)) {
        *error = LoadText(kTextBadIpAddress);
        return kStatusBadAddress;
    }
    uint32_t code = platform::SocketStartup();
    if (code != 0) {
        *error = FormatText(kTextNetInitFailed, {SystemText(code)});
        return kStatusOpenFailed;
    }
    std::string dotted;
    uint32_t ipv4 = 0;
    if (!platform::ResolveIPv4(platform::WideToAnsi(host), &dotted, &ipv4)) {
        *error = LoadText(kTextHostNotFound);
        return kStatusNotFound;
    }
    const std::u16string name = host + u':' + device;
    const SharingKey key = ToUpper(name);
    const uint16_t portmapper = PortmapperPort();
    const Deadline deadline = Deadline::In(timeoutMs > 0 ? timeoutMs : kDefaultOpenMs);
    auto make = [&] {
        std::string narrow(device.begin(), device.end());
        return std::make_shared<CXVR_VXI11Device>(name, narrow);
    };
    auto connect = [&](CXVR_VXI11Device &d) {
        return d.Connect(ipv4, portmapper, deadline, error);
    };
    return OpenDevice(handle, key, make, connect, kStatusOpenFailed, error);
}

}  // namespace xvr
