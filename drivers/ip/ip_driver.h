// The network driver: instruments reached by TCP or UDP over IPv4.
#pragma once

#include <cstdint>
#include <string>

#include "drivers/device_driver.h"
#include "drivers/ip/ip_device.h"
#include "platform/socket.h"

namespace xvr {

// "host:port": split at the first colon, blanks trimmed, upper-cased; false
// when there is no colon or the port is not a decimal number from 1 to 65535.
bool ParseIpAddress(std::u16string_view param, std::u16string *host, uint16_t *port);

class CXVR_IP : public DeviceDriver<CXVR_IPDevice> {
public:
    // Connections still open are closed with their records.
    ~CXVR_IP() override = default;

    // The address as ParseIpAddress reads it, the host resolved (a text
    // inet_addr accepts is kept as written).
    int32_t Open(uint32_t *handle, std::u16string param, int32_t timeoutMs,
                 std::u16string *error) override;

    const uint32_t m_lTransportType;  // 1 TCP, 2 UDP: the socket type

protected:
    CXVR_IP(std::u16string name, uint32_t transportType)
        : DeviceDriver(std::move(name)), m_lTransportType(transportType) {}
};

class CXVR_TCP : public CXVR_IP {
public:
    CXVR_TCP() : CXVR_IP(u"TCP/IP", platform::kSocketStream) {}
};

class CXVR_UDP : public CXVR_IP {
public:
    CXVR_UDP() : CXVR_IP(u"UDP", platform::kSocketDatagram) {}
};

}  // namespace xvr
