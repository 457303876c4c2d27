// Serial ports through the Win32 communications API.
#include "platform/serial.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "platform/deadline.h"

namespace xvr::platform {

static_assert(sizeof(DCB) <= sizeof(SerialLine::system), "DCB must fit the line state");

namespace {
HANDLE AsHandle(intptr_t h) { return reinterpret_cast<HANDLE>(h); }
}  // namespace

bool SerialNameIsPath(std::u16string_view) { return false; }

const bool kSerialNamesMapped = false;

std::u16string SerialSystemPath(const std::u16string &name) { return u"\\\\.\\" + name; }

// One call of SetCommTimeouts; fields as COMMTIMEOUTS names them.
static bool SetTimeouts(HANDLE port, DWORD interval, DWORD multiplier, DWORD constant,
                        DWORD writeMultiplier, DWORD writeConstant) {
    COMMTIMEOUTS ct;
    ct.ReadIntervalTimeout = interval;
    ct.ReadTotalTimeoutMultiplier = multiplier;
    ct.ReadTotalTimeoutConstant = constant;
    ct.WriteTotalTimeoutMultiplier = writeMultiplier;
    ct.WriteTotalTimeoutConstant = writeConstant;
    return SetCommTimeouts(port, &ct) != 0;
}

uint32_t SerialInvalidSettingError() { return ERROR_INVALID_PARAMETER; }

bool SerialPort::Fail() {
    m_error = GetLastError();
    return false;
}

bool SerialPort::Open(const std::u16string &devicePath) {
    Close();
    if (devicePath.empty()) {
        m_error = ERROR_FILE_NOT_FOUND;
        return false;
    }
    const std::wstring path(devicePath.begin(), devicePath.end());
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return Fail();
    m_handle = reinterpret_cast<intptr_t>(h);
    return true;
}

void SerialPort::Close() {
    if (m_handle == kNoHandle) return;
    CloseHandle(AsHandle(m_handle));
    m_handle = kNoHandle;
}

bool SerialPort::Purge() {
    if (!PurgeComm(AsHandle(m_handle),
                   PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR))
        return Fail();
    return true;
}

bool SerialPort::GetLine(SerialLine *line) {
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(AsHandle(m_handle), &dcb)) return Fail();
    *line = SerialLine{};
    std::memcpy(line->system, &dcb, sizeof dcb);
    line->baudRate = dcb.BaudRate;
    line->byteSize = dcb.ByteSize;
    line->parity = dcb.Parity;
    line->stopBits = dcb.StopBits;
    line->outxCtsFlow = dcb.fOutxCtsFlow != 0;
    line->outX = dcb.fOutX != 0;
    line->inX = dcb.fInX != 0;
    line->rtsControl = static_cast<uint8_t>(dcb.fRtsControl);
    line->xonChar = static_cast<uint8_t>(dcb.XonChar);
    line->xoffChar = static_cast<uint8_t>(dcb.XoffChar);
    line->evtChar = static_cast<uint8_t>(dcb.EvtChar);
    return true;
}

bool SerialPort::SetLine(const SerialLine &line) {
    HANDLE port = AsHandle(m_handle);
    DCB old;
    std::memset(&old, 0, sizeof old);
    old.DCBlength = sizeof old;
    if (!GetCommState(port, &old)) return Fail();
    DCB dcb;
    std::memcpy(&dcb, line.system, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = line.baudRate;
    dcb.ByteSize = line.byteSize;
    dcb.Parity = line.parity;
    dcb.StopBits = line.stopBits;
    dcb.fOutxCtsFlow = line.outxCtsFlow ? 1 : 0;
    dcb.fOutX = line.outX ? 1 : 0;
    dcb.fInX = line.inX ? 1 : 0;
    dcb.fRtsControl = line.rtsControl & 3;
    dcb.XonChar = static_cast<char>(line.xonChar);
    dcb.XoffChar = static_cast<char>(line.xoffChar);
    dcb.EvtChar = static_cast<char>(line.evtChar);
    if (!SetCommState(port, &dcb)) return Fail();
    // A driver may take a frame its line cannot run and run another (wine
    // on a pseudo-terminal keeps 8 data bits and no parity): read back, and
    // refuse it as SetCommState refuses it elsewhere.
    DCB now;
    std::memset(&now, 0, sizeof now);
    now.DCBlength = sizeof now;
    if (!GetCommState(port, &now)) return Fail();
    if (now.ByteSize != dcb.ByteSize || now.Parity != dcb.Parity || now.StopBits != dcb.StopBits) {
        SetCommState(port, &old);
        m_error = ERROR_INVALID_PARAMETER;
        return false;
    }
    return true;
}

namespace {

// The longest wait handed to the port at once.  Wine reads the total
// constant as a signed 32-bit number of milliseconds, so that 2^31 up to
// MAXDWORD - 1 give up at once; a longer time-out (TIMEOUT -1 is MAXDWORD,
// about 49 days) is waited for in parts by Read.
constexpr uint32_t kLongestPortWaitMs = 0x7FFFFFFF;

// MAXDWORD in the interval and the multiplier with a constant between 0 and
// MAXDWORD is the one COMMTIMEOUTS form that waits for a first byte and then
// returns what is there; otherwise one byte at a time, each read bounded by
// the total constant.
bool SetReadTimeouts(HANDLE port, bool waiting, uint32_t ms) {
    const DWORD wait = std::min(ms, kLongestPortWaitMs);
    if (waiting) return SetTimeouts(port, MAXDWORD, MAXDWORD, std::max<DWORD>(wait, 1), 0, 0);
    return SetTimeouts(port, 0, 0, wait, 0, 0);
}

}  // namespace

bool SerialPort::ReadWaiting(uint32_t ms) {
    m_readMode = ReadMode::kWaiting;
    m_readMs = ms;
    return SetReadTimeouts(AsHandle(m_handle), true, ms) || Fail();
}

bool SerialPort::ReadEachByte(uint32_t ms) {
    m_readMode = ReadMode::kEachByte;
    m_readMs = ms;
    return SetReadTimeouts(AsHandle(m_handle), false, ms) || Fail();
}

// The total of a write (per byte times count plus the constant) must stay
// below 2^31 ms for wine too: the constant keeps half of that room, so a
// write under TIMEOUT -1 waits about 12 days plus its bytes' time instead of
// giving up at once.
bool SerialPort::WriteWithin(uint32_t perByteMs, uint32_t ms) {
    return SetTimeouts(AsHandle(m_handle), 0, 0, 0, perByteMs,
                       std::min(ms, kLongestPortWaitMs / 2)) ||
           Fail();
}

bool SerialPort::Read(uint8_t *buffer, uint32_t size, uint32_t *done) {
    const bool inParts = m_readMs > kLongestPortWaitMs;
    const Deadline deadline = Deadline::In(m_readMs);
    for (;;) {
        // What is left of the wait, at least 1 ms: 0 would wait for ever.
        if (inParts && !SetReadTimeouts(AsHandle(m_handle), m_readMode == ReadMode::kWaiting,
                                        std::max<uint32_t>(deadline.Remaining(), 1)))
            return Fail();
        DWORD got = 0;
        const BOOL ok = ReadFile(AsHandle(m_handle), buffer, size, &got, nullptr);
        *done = got;
        if (!ok) return Fail();
        if (got > 0 || !inParts || deadline.Expired()) return true;
    }
}

bool SerialPort::Write(const uint8_t *buffer, uint32_t size, const uint8_t *tail, uint32_t tailSize,
                       uint32_t *done) {
    *done = 0;
    DWORD sent = 0;
    if (!WriteFile(AsHandle(m_handle), buffer, size, &sent, nullptr)) return Fail();
    *done = sent;
    if (sent < size || tailSize == 0) return true;
    sent = 0;
    BOOL ok = WriteFile(AsHandle(m_handle), tail, tailSize, &sent, nullptr);
    *done += sent;
    return ok ? true : Fail();
}

}  // namespace xvr::platform
