// The "COM" driver: instruments on serial ports.  One object serves every
// port; repeated opens of a port name share its record through the open
// count, and destroying the driver closes whatever ports are still open.
#pragma once

#include <string>
#include <string_view>

#include "drivers/com/com_device.h"
#include "drivers/device_driver.h"

namespace xvr {

class CXVR_COM : public DeviceDriver<CXVR_COMDevice> {
public:
    CXVR_COM() : DeviceDriver(u"COM") {}

    // A failed open leaves the handle at 0, also when the driver object was
    // already in the frame's table.
    int32_t Open(uint32_t *handle, std::u16string address, int32_t timeoutMs,
                 std::u16string *error) override;
};

// The name a port is known by: trimmed of blanks and upper-cased ("com1 " ->
// "COM1"); a device path (Linux: beginning with "/") keeps its case.
std::u16string ComPortName(std::u16string_view address);
// The device path behind a port name: a path as written; where names are
// mapped, the key of that name in section "COM" of the parameter file; else
// the system's own device for the name.  Empty when there is none.
std::u16string ComDevicePath(const std::u16string &name);

}  // namespace xvr
