// Read and Write of the "COM" driver.  The port's time-outs are set afresh
// before every transfer, so a new time-out or baud rate counts from the next
// transfer on.
#include "drivers/com/com_driver.h"

#include <algorithm>

#include "frame/texts.h"

namespace xvr {

namespace {

using platform::SerialTimeouts;

int32_t TimeoutsFailed(const CXVR_ComPort &port, uint32_t code, std::u16string *error) {
    *error = FormatText(kTextTimeoutSetFailed, {port.m_sPortName, SystemText(code)});
    return kStatusTimeoutsFailed;
}

int32_t WriteFailed(const CXVR_ComPort &port, std::u16string *error) {
    *error = FormatText(kTextWriteFailed, {port.m_sPortName, SystemText(port.m_Port.Error())});
    return kStatusWriteFailed;
}

}  // namespace

int32_t CXVR_COM::Read(uint32_t handle, uint8_t *buffer, int32_t *length, uint32_t flags,
                       std::u16string *error) {
    CXVR_ComPort *port = m_Ports.Find(handle, error);
    if (!port) return kStatusBadHandle;
    if (*length < 0 || (*length > 0 && !buffer)) return kStatusTransfer;

    uint32_t capacity = static_cast<uint32_t>(*length);
    *length = 0;
    if ((flags & kReadZeroTerminate) && capacity > 0) --capacity;
    if (capacity == 0) return kStatusBufferFull;  // no room for a byte: nothing to wait for

    // Stopping at the delimiter must not take a byte beyond it, so that read
    // goes byte by byte, each byte waiting up to the time-out.  Otherwise one
    // call takes whatever is waiting, and waits up to the time-out only while
    // nothing is: the same bytes and time-outs, in fewer calls.
    const bool toDelimiter = (flags & kReadStopAtDelimiter) != 0;
    SerialTimeouts t;
    if (toDelimiter) {
        t.readTotalConstant = port->m_lTimeout;
    } else {
        t.readInterval = SerialTimeouts::kNoWait;
        t.readTotalMultiplier = SerialTimeouts::kNoWait;
        t.readTotalConstant = std::clamp<uint32_t>(port->m_lTimeout, 1, SerialTimeouts::kNoWait - 1);
    }
    if (!port->m_Port.SetTimeouts(t)) return TimeoutsFailed(*port, port->m_Port.Error(), error);

    uint32_t n = 0;
    int32_t status = kStatusOk;
    bool found = false;
    for (;;) {
        uint32_t got = 0;
        bool ok = port->m_Port.Read(buffer + n, toDelimiter ? 1 : capacity - n, &got);
        n += got;
        if (!ok) {
            // The port failed (unplugged adapter, hung-up line): say so
            // instead of passing the partial data off as a success.
            *error = FormatText(kTextReceiveFailed, {SystemText(port->m_Port.Error())});
            status = kStatusTransfer;
            break;
        }
        if (got == 0) {
            status = kStatusTransfer;
            break;
        }
        if (n == capacity) {
            status = kStatusBufferFull;
            break;
        }
        if (toDelimiter && port->EndsWithDelimiter(buffer, n)) {
            found = true;
            status = kStatusDelimiter;
            break;
        }
    }
    if (found && !(flags & kReadKeepDelimiter)) n -= port->m_lDelimiterLength;
    if (flags & kReadZeroTerminate) buffer[n] = 0;
    *length = static_cast<int32_t>(n);
    return status;
}

int32_t CXVR_COM::Write(uint32_t handle, const uint8_t *buffer, int32_t *length, uint32_t flags,
                        std::u16string *error) {
    CXVR_ComPort *port = m_Ports.Find(handle, error);
    if (!port) return kStatusBadHandle;
    if (*length < 0 || (*length > 0 && !buffer)) return kStatusTransfer;
    // The per-byte write time-out divides by the rate.
    if (port->m_lBaudRate == 0)
        return TimeoutsFailed(*port, platform::SerialInvalidSettingError(), error);

    SerialTimeouts t;
    t.writeTotalMultiplier = 20000 / port->m_lBaudRate + 1;
    t.writeTotalConstant = port->m_lTimeout;
    if (!port->m_Port.SetTimeouts(t)) return TimeoutsFailed(*port, port->m_Port.Error(), error);

    // Data and delimiter go out together; the count reports the data only.
    const uint32_t count = static_cast<uint32_t>(*length);
    const uint32_t tail = (flags & kWriteAppendDelimiter) ? port->m_lDelimiterLength : 0;
    uint32_t sent = 0;
    if (!port->m_Port.Write(buffer, count, port->m_Delimiter, tail, &sent)) {
        if (sent < count) *length = 0;  // the data failed; else the delimiter did
        return WriteFailed(*port, error);
    }
    if (sent < count) {
        *length = static_cast<int32_t>(sent);
        return kStatusTransfer;
    }
    return sent < count + tail ? kStatusTransfer : kStatusOk;
}

}  // namespace xvr
