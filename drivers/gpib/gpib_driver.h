// Instruments on a GPIB bus, reached through a bus library bound at run time
// (include/quviec.h).  Addresses are "Dev <primary>[,<secondary>]".
#pragma once

#include <cstdint>
#include <string>

#include "drivers/device_driver.h"
#include "drivers/gpib/gpib_bus.h"
#include "drivers/gpib/gpib_device.h"

namespace xvr {

class CXVR_GPIB : public DeviceDriver<CXVR_GPIBDevice> {
public:
    // name as the frame stores it; libraryFile the bus library's Windows
    // name.  Without ReadSettings the interface is type 1 at an empty base
    // address.
    CXVR_GPIB(std::u16string name, std::u16string libraryFile);
    // Records go without bus calls; the bus library stays loaded.
    ~CXVR_GPIB() override = default;

    int32_t Open(uint32_t *handle, std::u16string param, int32_t timeoutMs,
                 std::u16string *error) override;

    bool IsBound() const { return m_Bus.IsBound(); }
    // 1 for "RV2", 2 for any other interface type.
    uint32_t InterfaceType() const { return m_lInterfaceType; }
    const char *BaseAddress() const { return m_szBaseAddress; }

protected:
    // Reads INTERFACETYPE and BASEADDRESS of section "Quv GPIB" from the
    // parameter file.
    void ReadSettings();

private:
    const std::u16string m_sLibraryFile;
    uint32_t m_lInterfaceType = 1;
    // Passed to iecCInit: up to 7 characters and the zero.
    char m_szBaseAddress[8] = {};
    CXVR_GPIBBus m_Bus;
};

// Every "QUV GPIB" open makes one of these: its stored name "Quv GPIB" never
// equals an upper-cased request.  It reads the bus settings when made.
class CXVR_QuvGPIB : public CXVR_GPIB {
public:
    CXVR_QuvGPIB();
};

class CXVR_KXGPIB : public CXVR_GPIB {
public:
    CXVR_KXGPIB();
};

}  // namespace xvr
