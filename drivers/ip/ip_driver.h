// The network driver: instruments reached by TCP or UDP over IPv4.  The
// frame creates a CXVR_TCP or CXVR_UDP and sets the transport type.
#pragma once

#include <cstdint>
#include <string>

#include "drivers/device_list.h"
#include "drivers/driver.h"
#include "drivers/ip/ip_connection.h"

namespace xvr {

class CXVR_IP : public iXVR_Functions {
public:
    explicit CXVR_IP(std::u16string name) : iXVR_Functions(std::move(name)) {}
    // Connections still open are closed with their records.
    ~CXVR_IP() override = default;

    int32_t Open(uint32_t *handle, std::u16string param, int32_t timeoutMs,
                 std::u16string *error) override;
    int32_t Close(uint32_t handle, std::u16string *error) override;
    int32_t Read(uint32_t handle, uint8_t *buffer, int32_t *length, uint32_t flags,
                 std::u16string *error) override;
    int32_t Write(uint32_t handle, const uint8_t *buffer, int32_t *length, uint32_t flags,
                  std::u16string *error) override;
    bool HasOpenDevices() override;
    int32_t ParamGet(uint32_t handle, std::u16string name, std::u16string *value,
                     std::u16string *error) override;
    int32_t ParamSet(uint32_t handle, std::u16string name, std::u16string value,
                     std::u16string *error) override;

    uint32_t m_lTransportType = 0;  // 1 TCP, 2 UDP: the socket type

private:
    DeviceList<CXVR_IPConnection> m_Connections;
};

class CXVR_TCP : public CXVR_IP {
public:
    using CXVR_IP::CXVR_IP;
};

class CXVR_UDP : public CXVR_IP {
public:
    using CXVR_IP::CXVR_IP;
};

}  // namespace xvr
