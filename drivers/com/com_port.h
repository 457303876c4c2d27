// One open serial port of the "COM" driver: the shared settings head, the
// port's line settings as the host set them, and the open port itself.
#pragma once

#include <cstdint>
#include <string>

#include "drivers/device_settings.h"
#include "platform/serial.h"

namespace xvr {

// The serial driver's own statuses.
constexpr int32_t kStatusPortOpenFailed = -20;
constexpr int32_t kStatusTimeoutsFailed = -1001;
constexpr int32_t kStatusGetStateFailed = -1002;
constexpr int32_t kStatusSetStateFailed = -1003;
constexpr int32_t kStatusWriteFailed = -1004;

enum ComParity : uint8_t { kParityNone, kParityOdd, kParityEven, kParityMark, kParitySpace };
enum ComHandshake : uint8_t { kHandshakeNone, kHandshakeXonXoff, kHandshakeRtsCts };

struct CXVR_ComPort : CXVR_DeviceSettings {
    explicit CXVR_ComPort(std::u16string portName)
        : CXVR_DeviceSettings(0x0D), m_sPortName(std::move(portName)) {}

    const std::u16string m_sPortName;  // sharing key and interface name in texts
    platform::SerialPort m_Port;       // closed with the record
    uint32_t m_lBaudRate = 9600;
    uint8_t m_bDataBits = 8;
    uint8_t m_bParity = kParityNone;
    uint8_t m_bStopBits = 1;
    uint8_t m_bHandshake = kHandshakeNone;
};

}  // namespace xvr
