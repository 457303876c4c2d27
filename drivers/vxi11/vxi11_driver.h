// The "VXI-11" driver: LAN instruments through the VXI-11 TCP/IP
// Instrument Protocol (ONC RPC over TCP).
#pragma once

#include <cstdint>
#include <string>

#include "drivers/device_driver.h"
#include "drivers/vxi11/vxi11_device.h"

namespace xvr {

// "HOST[:DEVICE]": blanks trimmed around both parts, DEVICE "inst0" when
// missing or empty; false when the host is empty or the device name longer
// than 256 characters or not printable ASCII.
bool ParseVxi11Address(std::u16string_view param, std::u16string *host, std::u16string *device);

class CXVR_VXI11 : public DeviceDriver<CXVR_VXI11Device> {
public:
    CXVR_VXI11() : DeviceDriver(u"VXI-11") {}

    // Opens of the same address, compared without regard to case after the
    // defaults are filled in, share one record and one link.
    int32_t Open(uint32_t *handle, std::u16string param, int32_t timeoutMs,
                 std::u16string *error) override;
};

}  // namespace xvr
