// Instruments on a GPIB bus, reached through a bus library bound at run time
// (include/quviec.h).  Addresses are "Dev <primary>[,<secondary>]".
//
// Transfers: a write of more than 65535 bytes (data plus delimiter) is
// refused with -6 before anything is sent, since the bus interface cannot
// split a message; a negative length or buffer size gives -6 and touches
// nothing; a bus library reporting more bytes than asked is clamped to the
// buffer and the read fails with -6.  The read time-out reaches the bus
// library as at most 65535 ms; the driver's own clock ends longer waits.
#pragma once

#include <cstdint>
#include <string>

#include "drivers/device_list.h"
#include "drivers/driver.h"
#include "drivers/gpib/gpib_bus.h"
#include "drivers/gpib/gpib_device.h"

namespace xvr {

class CXVR_GPIB : public iXVR_Functions {
public:
    explicit CXVR_GPIB(std::u16string name);
    ~CXVR_GPIB() override;

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

    // Reads INTERFACETYPE and BASEADDRESS of section "Quv GPIB" from the
    // parameter file; without it the interface is "RV2" at "840".
    void ReadSettings();

    std::u16string m_sLibraryFile;
    // Passed to iecCInit: up to 7 characters and the zero.
    char m_szBaseAddress[8] = {};
    // 1 for "RV2", 2 for any other interface type.
    uint32_t m_lInterfaceType = 1;

    bool IsBound() const { return m_Bus.IsBound(); }

private:
    int32_t Trigger(const CXVR_GPIBDevice &device);

    DeviceList<CXVR_GPIBDevice> m_Devices;
    CXVR_GPIBBus m_Bus;
};

class CXVR_QuvGPIB : public CXVR_GPIB {
public:
    using CXVR_GPIB::CXVR_GPIB;
};

class CXVR_KXGPIB : public CXVR_GPIB {
public:
    using CXVR_GPIB::CXVR_GPIB;
};

}  // namespace xvr
