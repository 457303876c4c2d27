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
    static constexpr uint8_t kTwoStopBits = 2;
    static constexpr uint8_t kRtsEnable = 1;
    static constexpr uint8_t kRtsHandshake = 2;

    uint32_t baudRate = 0;
    uint8_t byteSize = 8;
    uint8_t parity = 0;              // 0 none, 1 odd, 2 even, 3 mark, 4 space
    uint8_t stopBits = kOneStopBit;  // the DCB's values: 0 one, 1 one and a half, 2 two
    bool outxCtsFlow = false;
    bool outX = false;
    bool inX = false;
    uint8_t rtsControl = kRtsEnable;  // 0 disable, 1 enable, 2 handshake
    uint8_t xonChar = 0x11;
    uint8_t xoffChar = 0x13;
    uint8_t evtChar = 0;
    // Every other setting exactly as GetLine found it; SetLine starts from
    // these bytes, so a GetLine / change / SetLine round keeps the rest.
    alignas(8) unsigned char system[64] = {};
};

// A port name that is a device path of its own (Linux: it begins with "/";
// Windows has none): used as written, case and all.
bool SerialNameIsPath(std::u16string_view name);
// Whether the parameter file may map port names to device paths (Linux;
// Windows opens every name as the system knows it).
extern const bool kSerialNamesMapped;
// The device the system itself knows by an upper-cased port name:
// \\.\NAME on Windows; /dev/ttyS<n-1> for COMn on Linux, else empty.
std::u16string SerialSystemPath(const std::u16string &name);

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

    // Opens the device exclusively (no other open, in this process or
    // another, succeeds while it is open).  An empty path fails as a missing
    // file.
    bool Open(const std::u16string &devicePath);
    void Close();

    bool GetLine(SerialLine *line);
    // A frame the line does not keep (data bits, parity, stop bits; on
    // termios the rate too) fails with SerialInvalidSettingError() and
    // leaves the port as it was.
    bool SetLine(const SerialLine &line);
    // What the following Reads and Writes wait for, by intent.  Each
    // platform maps them onto its own mechanism (COMMTIMEOUTS, poll
    // deadlines); all three fail only when the system refuses them.
    //   ReadWaiting:   a Read returns what is waiting, after waiting at most
    //                  ms for the first byte when nothing is.
    //   ReadEachByte:  a Read waits at most ms for each byte (the driver
    //                  reads one byte at a time in this mode).
    //   WriteWithin:   a Write takes at most perByteMs for each byte plus ms.
    bool ReadWaiting(uint32_t ms);
    bool ReadEachByte(uint32_t ms);
    bool WriteWithin(uint32_t perByteMs, uint32_t ms);

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

    // Discards what waits in both directions: received bytes not yet read
    // (also the termios side's read-ahead) and bytes not yet sent.
    bool Purge();

    uint32_t Error() const { return m_error; }

private:
    static constexpr intptr_t kNoHandle = -1;  // also INVALID_HANDLE_VALUE
    bool Fail();                               // keeps the system's error, returns false

    intptr_t m_handle = kNoHandle;
    uint32_t m_error = 0;
    // What Read waits for: the termios side keeps its own deadlines; Windows
    // waits again for what is left of a wait longer than one system wait.
    enum class ReadMode : uint8_t { kWaiting, kEachByte };
    ReadMode m_readMode = ReadMode::kEachByte;
    uint32_t m_readMs = 0;
#ifndef _WIN32
    // The read-ahead of the termios side: one system call per burst, not
    // per byte.
    uint32_t m_writePerByteMs = 0;
    uint32_t m_writeMs = 0;
    static constexpr uint32_t kAheadSize = 512;
    uint8_t m_ahead[kAheadSize] = {};
    uint32_t m_aheadBegin = 0;
    uint32_t m_aheadEnd = 0;
#endif
};

}  // namespace xvr::platform
