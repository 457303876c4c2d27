// The "COM" driver: instruments on serial ports.  One object serves every
// port; repeated opens of a port name share its record through the open
// count, and destroying the driver closes whatever ports are still open.
#pragma once

#include "drivers/com/com_port.h"
#include "drivers/device_list.h"
#include "drivers/driver.h"

namespace xvr {

class CXVR_COM : public iXVR_Functions {
public:
    CXVR_COM() : iXVR_Functions(u"COM") {}

    int32_t Open(uint32_t *handle, std::u16string address, int32_t timeoutMs,
                 std::u16string *error) override;
    int32_t Close(uint32_t handle, std::u16string *error) override;
    int32_t Read(uint32_t handle, uint8_t *buffer, int32_t *length, uint32_t flags,
                 std::u16string *error) override;
    int32_t Write(uint32_t handle, const uint8_t *buffer, int32_t *length, uint32_t flags,
                  std::u16string *error) override;
    bool HasOpenDevices() override { return m_Ports.Any(); }
    int32_t ParamGet(uint32_t handle, std::u16string name, std::u16string *value,
                     std::u16string *error) override;
    int32_t ParamSet(uint32_t handle, std::u16string name, std::u16string value,
                     std::u16string *error) override;

private:
    DeviceList<CXVR_ComPort> m_Ports;
};

// Writes the record's line settings to its port (after every successful set).
int32_t ApplyComSettings(CXVR_ComPort *port, std::u16string *error);

}  // namespace xvr
