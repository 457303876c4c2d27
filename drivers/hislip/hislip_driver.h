// The "HiSLIP" driver: instruments reached over IVI-6.1 HiSLIP, address
// HOST[:SUBADDRESS[,PORT]] (sub-address hislip0, port 4880 by default).
#pragma once

#include <cstdint>
#include <string>

#include "drivers/device_driver.h"
#include "drivers/hislip/hislip_device.h"

namespace xvr {

struct HislipAddress {
    std::u16string host;        // as written, blanks trimmed
    std::u16string subAddress;  // as written; hislip0 when left out
    uint16_t port = 0;
};

// False for an empty host, an empty or non-printable sub-address, or a port
// that is not a decimal number from 1 to 65535.
bool ParseHislipAddress(std::u16string_view param, HislipAddress *address);

class CXVR_HiSLIP : public DeviceDriver<CXVR_HiSLIPDevice> {
public:
    // The name the frame finds the object by: upper case, as hosts' names
    // are compared (the catalogue shows "HiSLIP").
    CXVR_HiSLIP() : DeviceDriver(u"HISLIP") {}

    // Opens of one address (defaults filled in, compared ignoring case)
    // share one record and one session.  The open is bounded by its
    // time-out, or by TIMEOUT's default when it has none.
    int32_t Open(uint32_t *handle, std::u16string param, int32_t timeoutMs,
                 std::u16string *error) override;
};

}  // namespace xvr
