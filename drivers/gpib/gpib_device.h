// The record of one open bus device and the parsing of its address text.
#pragma once

#include <cstdint>
#include <string_view>

#include "drivers/device_settings.h"

namespace xvr {

struct CXVR_GPIBDevice : CXVR_DeviceSettings {
    CXVR_GPIBDevice() : CXVR_DeviceSettings(0x0D) {}

    uint8_t m_bPrimaryAddress = 0;
    uint8_t m_bSecondaryAddress = 0;
    // secondary * 256 + primary: names the device in the bus calls.
    uint16_t m_wBusAddress = 0;
};

struct GPIBAddress {
    uint8_t primary = 0;
    uint8_t secondary = 0;
};

// "DEV" (any case, not trimmed) followed by "%d" numbers for the primary and,
// after a comma, the secondary address; each keeps its low 8 bits and a
// missing number reads 0.  False when the text does not begin with "DEV".
bool ParseGPIBAddress(std::u16string_view text, GPIBAddress *address);

}  // namespace xvr
