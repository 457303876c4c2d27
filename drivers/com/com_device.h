// One open serial port of the "COM" driver: the shared settings head, the
// port's line settings as the host set them, the open port itself, and its
// transfers and parameters.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "drivers/device_settings.h"
#include "platform/serial.h"

namespace xvr {

enum ComParity : uint8_t { kParityNone, kParityOdd, kParityEven, kParityMark, kParitySpace };
enum ComHandshake : uint8_t { kHandshakeNone, kHandshakeXonXoff, kHandshakeRtsCts };

struct CXVR_COMDevice : CXVR_DeviceSettings {
    explicit CXVR_COMDevice(std::u16string portName)
        : CXVR_DeviceSettings(0x0D), m_sPortName(std::move(portName)) {}

    // The port's time-outs are set afresh before every transfer, so a new
    // time-out or baud rate counts from the next transfer on.
    int32_t Read(uint8_t *buffer, int32_t *length, uint32_t flags, std::u16string *error);
    int32_t Write(const uint8_t *data, int32_t *length, uint32_t flags, std::u16string *error);
    // A get reports the record, never the port; every successful set writes
    // all line settings to the port.
    int32_t ParamGet(const std::u16string &key, std::u16string *value, std::u16string *error);
    int32_t ParamSet(const std::u16string &key, std::u16string_view value, std::u16string *error);
    void Release() { m_Port.Close(); }

    // CLEAR: drops what waits in the port in both directions.
    int32_t Clear(std::u16string *error);

    // Writes the record's line settings to its port.
    int32_t ApplySettings(std::u16string *error);
    // DATABITS 4 to 8: the line keeps them or the set is refused (-18).
    int32_t SetDataBits(uint8_t bits, std::u16string *error);

    const std::u16string m_sPortName;  // sharing key and interface name in texts
    platform::SerialPort m_Port;       // closed with the record
    uint32_t m_lBaudRate = 9600;
    uint8_t m_bDataBits = 8;
    uint8_t m_bParity = kParityNone;
    uint8_t m_bStopBits = 1;
    uint8_t m_bHandshake = kHandshakeNone;
};

}  // namespace xvr
