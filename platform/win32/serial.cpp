// Serial ports through the Win32 communications API.
#include "platform/serial.h"

#include <windows.h>

#include <cstring>

#include "frame/strings.h"

namespace xvr::platform {

static_assert(sizeof(DCB) <= sizeof(SerialLine::system), "DCB must fit the line state");

namespace {
HANDLE AsHandle(intptr_t h) { return reinterpret_cast<HANDLE>(h); }
}  // namespace

std::u16string SerialPortName(std::u16string_view address) { return ToUpper(TrimBlanks(address)); }

uint32_t SerialInvalidSettingError() { return ERROR_INVALID_PARAMETER; }

bool SerialPort::Fail() {
    m_error = GetLastError();
    return false;
}

bool SerialPort::Open(const std::u16string &portName) {
    Close();
    std::wstring path = L"\\\\.\\";
    path.append(portName.begin(), portName.end());
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return Fail();
    m_handle = reinterpret_cast<intptr_t>(h);
    return true;
}

void SerialPort::Close() {
    if (m_handle == kNoHandle) return;
    CloseHandle(AsHandle(m_handle));
    m_handle = kNoHandle;
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
    if (!SetCommState(AsHandle(m_handle), &dcb)) return Fail();
    return true;
}

bool SerialPort::SetTimeouts(const SerialTimeouts &timeouts) {
    COMMTIMEOUTS ct;
    ct.ReadIntervalTimeout = timeouts.readInterval;
    ct.ReadTotalTimeoutMultiplier = timeouts.readTotalMultiplier;
    ct.ReadTotalTimeoutConstant = timeouts.readTotalConstant;
    ct.WriteTotalTimeoutMultiplier = timeouts.writeTotalMultiplier;
    ct.WriteTotalTimeoutConstant = timeouts.writeTotalConstant;
    if (!SetCommTimeouts(AsHandle(m_handle), &ct)) return Fail();
    m_timeouts = timeouts;
    return true;
}

bool SerialPort::Read(uint8_t *buffer, uint32_t size, uint32_t *done) {
    DWORD got = 0;
    BOOL ok = ReadFile(AsHandle(m_handle), buffer, size, &got, nullptr);
    *done = got;
    return ok ? true : Fail();
}

bool SerialPort::Write(const uint8_t *buffer, uint32_t size, const uint8_t *tail,
                       uint32_t tailSize, uint32_t *done) {
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
