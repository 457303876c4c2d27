// The network driver: instruments reached by TCP or UDP over IPv4.
#pragma once

#include <cstdint>
#include <string>

#include "drivers/device_driver.h"
#include "drivers/ip/ip_device.h"
#include "platform/socket.h"

namespace xvr {

class CXVR_IP : public DeviceDriver<CXVR_IPDevice> {
public:
    // Connections still open are closed with their records.
    ~CXVR_IP() override = default;

    // "host:port": split at the first colon, blanks trimmed, the host
    // upper-cased and resolved (an address inet_addr accepts is kept as
    // written), the port a decimal number from 1 to 65535.
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
