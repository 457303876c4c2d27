// Serial ports: the communications calls of the serial driver, one
// implementation per system (platform/win32: the Win32 communications API;
// platform/posix: termios).  The structures mirror the Win32 ones so the
// driver states its settings once for both systems.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace xvr::platform {

// The line settings the driver touches (the fields of a DCB).
struct SerialLine {
    static constexpr uint8_t kOneStopBit = 0;
    static constexpr uint8_t kOne5StopBits = 1;
    static constexpr uint8_t kTwoStopBits = 2;
    static constexpr uint8_t kRtsDisable = 0;
    static constexpr uint8_t kRtsEnable = 1;
    static constexpr uint8_t kRtsHandshake = 2;

    uint32_t baudRate = 0;
    uint8_t byteSize = 8;
    uint8_t parity = 0;      // 0 none, 1 odd, 2 even, 3 mark, 4 space
    uint8_t stopBits = kOneStopBit;
    bool outxCtsFlow = false;
    bool outX = false;
    bool inX = false;
    uint8_t rtsControl = kRtsEnable;
    uint8_t xonChar = 0x11;
    uint8_t xoffChar = 0x13;
    uint8_t evtChar = 0;
    // Every other setting exactly as GetLine found it; SetLine starts from
    // these bytes, so a GetLine / change / SetLine round keeps the rest.
    alignas(8) unsigned char system[64] = {};
};

// Per-transfer time-outs in milliseconds, with COMMTIMEOUTS meaning:
// a read waits until its bytes are in or readTotalMultiplier * bytes +
// readTotalConstant has passed (0 and 0: no limit); readInterval limits the
// gap between two bytes (0: no limit; the termios side has no such limit and
// takes any value other than kNoWait as 0).  readInterval = kNoWait with
// both totals 0 returns at once with what is waiting;
// readInterval and readTotalMultiplier = kNoWait with 0 < readTotalConstant
// < kNoWait waits up to readTotalConstant for a first byte and then returns
// what is waiting.  A write waits up to writeTotalMultiplier * bytes +
// writeTotalConstant (0 and 0: no limit).
struct SerialTimeouts {
    static constexpr uint32_t kNoWait = 0xFFFFFFFF;
    uint32_t readInterval = 0;
    uint32_t readTotalMultiplier = 0;
    uint32_t readTotalConstant = 0;
    uint32_t writeTotalMultiplier = 0;
    uint32_t writeTotalConstant = 0;
};

// The name a port is known by for an open address: trimmed of blanks and
// upper-cased ("com1 " -> "COM1").  On Linux an address beginning with "/"
// is a device path and keeps its case.
std::u16string SerialPortName(std::u16string_view address);

// The system's error code for a setting the port cannot take (EINVAL /
// ERROR_INVALID_PARAMETER), for checks the driver makes before any call.
uint32_t SerialInvalidSettingError();

// One open port.  Every call but Close returns false on failure and keeps
// the system's error code for Error().
class SerialPort {
public:
    SerialPort() = default;
    ~SerialPort() { Close(); }
    SerialPort(const SerialPort &) = delete;
    SerialPort &operator=(const SerialPort &) = delete;

    // Opens the port exclusively (no other open, in this process or another,
    // succeeds while it is open).  Windows: "\\.\" + name.  Linux: a name
    // beginning with "/" is the device path; otherwise the key of that name
    // in section "COM" of the parameter file, or /dev/ttyS<n-1> for COMn.
    bool Open(const std::u16string &portName);
    void Close();
    bool IsOpen() const { return m_handle != kNoHandle; }

    bool GetLine(SerialLine *line);
    bool SetLine(const SerialLine &line);
    bool SetTimeouts(const SerialTimeouts &timeouts);

    // *done is the number of bytes moved, also after a time-out (which is
    // no failure) and after a failure.  Bytes a termios read brings in beyond
    // the asked ones wait in the port for the next Read, as they would have
    // in the system's queue (the port is exclusive, and closing drops both).
    bool Read(uint8_t *buffer, uint32_t size, uint32_t *done);
    // Writes buffer and then tail; the tail only once the whole buffer went
    // out.  A failure while the buffer was still going out reports *done 0.
    // Windows makes one WriteFile call for each part; termios sends both in
    // one call, so the other end sees one burst instead of two.
    bool Write(const uint8_t *buffer, uint32_t size, const uint8_t *tail, uint32_t tailSize,
               uint32_t *done);

    uint32_t Error() const { return m_error; }

private:
    static constexpr intptr_t kNoHandle = -1;  // also INVALID_HANDLE_VALUE
    bool Fail();                               // keeps the system's error, returns false

    intptr_t m_handle = kNoHandle;
    SerialTimeouts m_timeouts;  // the deadlines of the termios side
    uint32_t m_error = 0;
    // Read-ahead of the termios side: one system call per burst, not per byte.
    static constexpr uint32_t kAheadSize = 512;
    uint8_t m_ahead[kAheadSize] = {};
    uint32_t m_aheadBegin = 0;
    uint32_t m_aheadEnd = 0;
};

}  // namespace xvr::platform
