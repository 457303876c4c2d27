// Read and Write of a serial port.
#include "drivers/com/com_device.h"

#include "base/texts.h"
#include "drivers/driver.h"
#include "drivers/read_end.h"

namespace xvr {

namespace {

// Milliseconds a byte may take to go out, times the baud rate: twice the
// time of a 10-bit character, so flow control may pause the line a little.
constexpr uint32_t kWriteByteAllowance = 20000;

int32_t TimeoutsFailed(const CXVR_COMDevice &port, uint32_t code, std::u16string *error) {
    *error = FormatText(kTextTimeoutSetFailed, {port.m_sPortName, SystemText(code)});
    return kStatusComTimeouts;
}

int32_t WriteFailed(const CXVR_COMDevice &port, std::u16string *error) {
    *error = FormatText(kTextWriteFailed, {port.m_sPortName, SystemText(port.m_Port.Error())});
    return kStatusComWrite;
}

}  // namespace

int32_t CXVR_COMDevice::Read(uint8_t *buffer, int32_t *length, uint32_t flags,
                             std::u16string *error) {
    const uint32_t capacity = ReadCapacity(static_cast<uint32_t>(*length), flags);
    *length = 0;
    if (capacity == 0) return kStatusBufferFull;  // no room for a byte: nothing to wait for

    // Stopping at the delimiter must not take a byte beyond it, so that read
    // goes byte by byte, each byte waiting up to the time-out.  Otherwise one
    // call takes whatever is waiting, and waits up to the time-out only while
    // nothing is: the same bytes and time-outs, in fewer calls.
    const bool toDelimiter = (flags & kReadStopAtDelimiter) != 0;
    const bool armed =
        toDelimiter ? m_Port.ReadEachByte(m_lTimeout) : m_Port.ReadWaiting(m_lTimeout);
    if (!armed) return TimeoutsFailed(*this, m_Port.Error(), error);

    uint32_t n = 0;
    ReadEnd end = ReadEnd::kShort;
    for (;;) {
        uint32_t got = 0;
        bool ok = m_Port.Read(buffer + n, toDelimiter ? 1 : capacity - n, &got);
        n += got;
        if (!ok) {
            // The port failed (unplugged adapter, hung-up line): say so
            // instead of passing the partial data off as a success.
            *error = FormatText(kTextReceiveFailed, {SystemText(m_Port.Error())});
            break;
        }
        if (got == 0) break;
        if (n == capacity) {
            end = ReadEnd::kBufferFull;
            break;
        }
        if (toDelimiter && EndsWithDelimiter(buffer, n)) {
            end = ReadEnd::kDelimiter;
            break;
        }
    }
    return FinishRead(end, buffer, n, capacity, flags, m_lDelimiterLength, length);
}

int32_t CXVR_COMDevice::Write(const uint8_t *data, int32_t *length, uint32_t flags,
                              std::u16string *error) {
    // The per-byte write time-out divides by the rate.
    if (m_lBaudRate == 0)
        return TimeoutsFailed(*this, platform::SerialInvalidSettingError(), error);
    if (!m_Port.WriteWithin(kWriteByteAllowance / m_lBaudRate + 1, m_lTimeout))
        return TimeoutsFailed(*this, m_Port.Error(), error);

    // Data and delimiter go out together; the count reports the data only.
    const uint32_t count = static_cast<uint32_t>(*length);
    const uint32_t tail = (flags & kWriteAppendDelimiter) ? m_lDelimiterLength : 0;
    uint32_t sent = 0;
    if (!m_Port.Write(data, count, m_Delimiter, tail, &sent)) {
        if (sent < count) *length = 0;  // the data failed; else the delimiter did
        return WriteFailed(*this, error);
    }
    if (sent < count) {
        *length = static_cast<int32_t>(sent);
        return kStatusTransfer;
    }
    return sent < count + tail ? kStatusTransfer : kStatusOk;
}

}  // namespace xvr
