#include "drivers/gpib/gpib_device.h"

#include <algorithm>
#include <string>
#include <vector>

#include "base/strings.h"
#include "base/texts.h"
#include "drivers/driver.h"
#include "drivers/read_end.h"
#include "platform/deadline.h"
#include "platform/platform.h"

namespace xvr {

namespace {

const std::u16string kInterfaceName = u"GPIB";
// The bus library counts bytes in 16 bits.
constexpr uint32_t kMaxBusCount = 0xFFFF;
// The pause after a pass of the read loop that brought nothing: short
// enough that an answer is picked up at once, long enough to let the core go.
constexpr uint32_t kIdlePassWaitMs = 1;

// Low 16 bits would turn 65536 ms into 0, which bus libraries take as "no
// wait" or "wait forever"; the read loop's own clock covers longer time-outs.
uint16_t BusTimeout(uint32_t timeoutMs) {
    return static_cast<uint16_t>(std::min(timeoutMs, kMaxBusCount));
}

uint8_t AddressNumber(std::u16string_view text) {
    int32_t value = 0;
    if (!ScanDecimal(text, &value)) return 0;
    return static_cast<uint8_t>(static_cast<uint32_t>(value) & 0xFF);
}

}  // namespace

bool ParseGPIBAddress(std::u16string_view text, GPIBAddress *address) {
    const std::u16string upper = ToUpper(text);
    if (upper.compare(0, 3, u"DEV") != 0) return false;
    const std::u16string_view rest = std::u16string_view(upper).substr(3);
    const size_t comma = rest.find(u',');
    // "%d" stops at the comma, so the whole rest yields the primary address.
    address->primary = AddressNumber(rest);
    address->secondary =
        comma == std::u16string_view::npos ? 0 : AddressNumber(rest.substr(comma + 1));
    return true;
}

CXVR_GPIBDevice::CXVR_GPIBDevice(CXVR_GPIBBus *bus, GPIBAddress address)
    : CXVR_DeviceSettings(0x0D),
      m_pBus(bus),
      m_bPrimaryAddress(address.primary),
      m_bSecondaryAddress(address.secondary),
      m_wBusAddress(static_cast<uint16_t>(address.secondary * 256 + address.primary)) {}

void CXVR_GPIBDevice::Release() { m_pBus->Close(m_wBusAddress); }

int32_t CXVR_GPIBDevice::Read(uint8_t *buffer, int32_t *length, uint32_t flags,
                              std::u16string *error) {
    const uint32_t size = ReadCapacity(static_cast<uint32_t>(*length), flags);
    *length = 0;
    const bool stopAtDelimiter = (flags & kReadStopAtDelimiter) != 0;
    // With an empty delimiter the read stops at the message end the bus
    // marks: no end byte, so that a zero byte in the data does not end it.
    const bool toMessageEnd = stopAtDelimiter && m_lDelimiterLength == 0;
    const uint8_t endByte = m_lDelimiterLength > 0 ? m_Delimiter[m_lDelimiterLength - 1] : 0;
    auto tellBus = [&](uint16_t waitMs) {
        m_pBus->Parameter(m_wBusAddress, stopAtDelimiter && !toMessageEnd ? 1 : 0, endByte, waitMs);
    };
    uint16_t busWait = BusTimeout(m_lTimeout);
    tellBus(busWait);

    const Deadline deadline = Deadline::In(m_lTimeout);
    uint32_t received = 0;
    ReadEnd end = ReadEnd::kShort;
    for (;;) {
        const uint32_t asked = std::min(size - received, kMaxBusCount);
        uint16_t count = static_cast<uint16_t>(asked);
        m_pBus->Enter(m_wBusAddress, &count, buffer ? buffer + received : buffer);
        if (count > asked) {
            // The library claims more than the room it was given: whatever it
            // did, only the room is ours to count, and the answer is not to be
            // trusted.  The text tells this failure from a time-out.
            received += asked;
            *error = LoadText(kTextOutOfRange);
            break;
        }
        received += count;
        if (deadline.Expired()) break;
        // The bus returns early only at the message end; a call that filled
        // its room may have stopped inside the message.
        const bool found = toMessageEnd ? count > 0 && count < asked
                                        : stopAtDelimiter && EndsWithDelimiter(buffer, received);
        if (found) {
            end = ReadEnd::kDelimiter;
            break;
        }
        if (received == size) {
            end = ReadEnd::kBufferFull;
            break;
        }
        // A bus library that returns at once with nothing would otherwise be
        // called back to back until the time-out, burning a core.
        if (count == 0) platform::SleepMs(kIdlePassWaitMs);
        // The bus waits as long as it was last told; the next call may only
        // wait for what is left of the read's time-out.
        const uint32_t left = deadline.Remaining();
        if (left == 0) break;
        if (left < busWait) tellBus(busWait = BusTimeout(left));
    }
    return FinishRead(end, buffer, received, size, flags, m_lDelimiterLength, length);
}

int32_t CXVR_GPIBDevice::Write(const uint8_t *data, int32_t *length, uint32_t flags,
                               std::u16string *error) {
    const bool appendDelimiter = (flags & kWriteAppendDelimiter) != 0;
    const size_t dataLength = static_cast<size_t>(*length);
    const size_t total = dataLength + (appendDelimiter ? m_lDelimiterLength : 0);
    if (total > kMaxBusCount) {
        // The bus call has no way to mark the last of several parts, so a
        // message that does not fit one call is not sent at all.  The text
        // tells this refusal from a time-out.
        *length = 0;
        *error = LoadText(kTextOutOfRange);
        return kStatusTransfer;
    }
    std::vector<uint8_t> block;
    block.reserve(total + 1);  // never a null pointer, even for nothing to send
    block.insert(block.end(), data, data + dataLength);
    if (appendDelimiter) block.insert(block.end(), m_Delimiter, m_Delimiter + m_lDelimiterLength);
    *length = static_cast<int32_t>(total);
    if (!m_pBus->Send(m_wBusAddress, static_cast<uint16_t>(total), block.data())) {
        *error = FormatText(kTextWriteFailed,
                            {kInterfaceName, SystemText(platform::DeviceFailedError())});
        return kStatusTransfer;
    }
    return kStatusOk;
}

int32_t CXVR_GPIBDevice::ParamGet(const std::u16string &key, std::u16string *value,
                                  std::u16string *error) {
    if (key == u"DELIMITER") {
        *value = FormatDelimiterValue(m_Delimiter, m_lDelimiterLength);
        return kStatusOk;
    }
    return UnsupportedParam(key, kInterfaceName, error);
}

int32_t CXVR_GPIBDevice::ParamSet(const std::u16string &key, std::u16string_view value,
                                  std::u16string *error) {
    int32_t status = kStatusOk;
    if (SetCommonParam(this, key, value, error, &status)) return status;
    if (key == u"TRIGGER") {
        // One character per device to trigger: its primary address.
        const char addresses[2] = {static_cast<char>(m_bPrimaryAddress), '\0'};
        m_pBus->Trigger(addresses);
        return kStatusOk;
    }
    return UnsupportedParam(key, kInterfaceName, error);
}

}  // namespace xvr
