// One open bus device: its settings, its bus address, its transfers through
// the driver's bus library, and the parsing of its address text.
//
// Transfers: a write of more than 65535 bytes (data plus delimiter) is
// refused with -6 before anything is sent, since the bus interface cannot
// split a message; a bus library reporting more bytes than asked is clamped
// to the buffer and the read fails with -6.  Both, and a failed send, set a
// text; only a time-out leaves it empty.  With an empty delimiter, flag 1
// reads up to the message end the bus marks (an iecEnter call that returns
// fewer bytes than asked): a message that ends exactly where a call's room
// or the buffer ends is not known to have ended, so such a read goes on or
// reports a full buffer.  The read time-out reaches the
// bus library as at most 65535 ms; the device's own clock ends longer waits.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "drivers/device_settings.h"
#include "drivers/gpib/gpib_bus.h"

namespace xvr {

struct GPIBAddress {
    uint8_t primary = 0;
    uint8_t secondary = 0;
};

struct CXVR_GPIBDevice : CXVR_DeviceSettings {
    // The bus belongs to the driver, which outlives its records.
    CXVR_GPIBDevice(CXVR_GPIBBus *bus, GPIBAddress address);

    int32_t Read(uint8_t *buffer, int32_t *length, uint32_t flags, std::u16string *error);
    int32_t Write(const uint8_t *data, int32_t *length, uint32_t flags, std::u16string *error);
    // DELIMITER (get and set), TIMEOUT (set only), TRIGGER (set only: triggers the device).
    int32_t ParamGet(const std::u16string &key, std::u16string *value, std::u16string *error);
    int32_t ParamSet(const std::u16string &key, std::u16string_view value, std::u16string *error);
    void Release();

    CXVR_GPIBBus *const m_pBus;
    const uint8_t m_bPrimaryAddress;
    const uint8_t m_bSecondaryAddress;
    // secondary * 256 + primary: names the device in the bus calls.
    const uint16_t m_wBusAddress;
};

// "DEV" (any case, not trimmed) followed by "%d" numbers for the primary and,
// after a comma, the secondary address; each keeps its low 8 bits and a
// missing number reads 0.  False when the text does not begin with "DEV".
bool ParseGPIBAddress(std::u16string_view text, GPIBAddress *address);

}  // namespace xvr
