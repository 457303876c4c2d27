#include "drivers/gpib/gpib_driver.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "frame/parameter_file.h"
#include "frame/strings.h"
#include "frame/texts.h"
#include "platform/platform.h"

namespace xvr {

namespace {

const std::u16string kInterfaceName = u"GPIB";
// The bus library counts bytes in 16 bits.
constexpr uint32_t kMaxBusCount = 0xFFFF;

// Low 16 bits would turn 65536 ms into 0, which bus libraries take as "no
// wait" or "wait forever"; the read loop's own clock covers longer time-outs.
uint16_t BusTimeout(uint32_t timeoutMs) {
    return static_cast<uint16_t>(std::min(timeoutMs, kMaxBusCount));
}

}  // namespace

CXVR_GPIB::CXVR_GPIB(std::u16string name) : iXVR_Functions(std::move(name)) {}

// Records go without bus calls; the bus library stays loaded.
CXVR_GPIB::~CXVR_GPIB() = default;

void CXVR_GPIB::ReadSettings() {
    // The path is asked for afresh for each key, as the directory may change.
    const std::string type =
        platform::ProfileStringA(platform::WideToAnsi(ParameterFilePath()), "Quv GPIB",
                                 "INTERFACETYPE", "RV2", sizeof m_szBaseAddress);
    m_lInterfaceType = ToUpperA(type) == "RV2" ? 1 : 2;
    const std::string base =
        platform::ProfileStringA(platform::WideToAnsi(ParameterFilePath()), "Quv GPIB",
                                 "BASEADDRESS", "840", sizeof m_szBaseAddress);
    const size_t n = std::min(base.size(), sizeof m_szBaseAddress - 1);
    std::copy_n(base.data(), n, m_szBaseAddress);
    m_szBaseAddress[n] = '\0';
}

int32_t CXVR_GPIB::Open(uint32_t *handle, std::u16string param, int32_t /*timeoutMs*/,
                        std::u16string *error) {
    GPIBAddress address;
    if (!ParseGPIBAddress(param, &address)) {
        *error = LoadText(kTextBadGpibDevice);
        return kStatusNotOpen;
    }
    const int32_t bound = m_Bus.Bind(m_sLibraryFile, static_cast<uint8_t>(m_lInterfaceType - 1),
                                     m_szBaseAddress, error);
    if (bound < 0) return bound;

    uint16_t number = 0;
    CXVR_GPIBDevice *shared = m_Devices.FindIf(
        [&](const CXVR_GPIBDevice &d) {
            return d.m_bPrimaryAddress == address.primary &&
                   d.m_bSecondaryAddress == address.secondary;
        },
        &number);
    if (shared) {
        ++shared->m_lOpenCount;
        *handle |= number;
        return kStatusOk;
    }
    if (!m_Devices.HasRoom(error)) {
        return kStatusOpenFailed;
    }
    auto device = std::make_unique<CXVR_GPIBDevice>();
    device->m_bPrimaryAddress = address.primary;
    device->m_bSecondaryAddress = address.secondary;
    device->m_wBusAddress = static_cast<uint16_t>(address.secondary * 256 + address.primary);
    if (m_Bus.iecOpen(device->m_wBusAddress, IEC_OPEN_MODE) == 0) {
        *error = LoadText(kTextCannotOpen);
        return kStatusOpenFailed;
    }
    device->m_lOpenCount = 1;
    number = m_Devices.Insert(std::move(device), error);
    *handle |= number;
    return kStatusOk;
}

int32_t CXVR_GPIB::Close(uint32_t handle, std::u16string *error) {
    return m_Devices.Close(handle, error,
                           [&](CXVR_GPIBDevice &d) { m_Bus.iecClose(d.m_wBusAddress); });
}

int32_t CXVR_GPIB::Read(uint32_t handle, uint8_t *buffer, int32_t *length, uint32_t flags,
                        std::u16string *error) {
    CXVR_GPIBDevice *d = m_Devices.Find(handle, error);
    if (!d) return kStatusBadHandle;
    if (!length || *length < 0 || (*length > 0 && !buffer)) return kStatusTransfer;

    uint32_t size = static_cast<uint32_t>(*length);
    *length = 0;
    const bool zeroTerminate = (flags & kReadZeroTerminate) != 0;
    if (zeroTerminate && size > 0) --size;
    const bool stopAtDelimiter = (flags & kReadStopAtDelimiter) != 0;
    // Without a delimiter there is no end byte; 0 is as good as any.
    const uint8_t endByte = d->m_lDelimiterLength > 0 ? d->m_Delimiter[d->m_lDelimiterLength - 1] : 0;
    m_Bus.iecParameter(d->m_wBusAddress, IEC_PARAMETER_MODE, stopAtDelimiter ? 1 : 0, endByte,
                       BusTimeout(d->m_lTimeout));

    const uint32_t start = platform::TickCount();
    uint32_t received = 0;
    int32_t status = kStatusTransfer;
    bool found = false;
    for (;;) {
        const uint32_t asked = std::min(size - received, kMaxBusCount);
        uint16_t count = static_cast<uint16_t>(asked);
        m_Bus.iecEnter(d->m_wBusAddress, &count, buffer ? buffer + received : buffer);
        if (count > asked) {
            // The library claims more than the room it was given: whatever it
            // did, only the room is ours to count, and the answer is not to be
            // trusted.
            received += asked;
            status = kStatusTransfer;
            break;
        }
        received += count;
        if (platform::TickCount() - start > d->m_lTimeout) {
            status = kStatusTransfer;
            break;
        }
        if (stopAtDelimiter)
            found = d->m_lDelimiterLength == 0 || d->EndsWithDelimiter(buffer, received);
        if (received == size) {
            status = kStatusBufferFull;
            break;
        }
        if (found) break;
    }
    if (found) {
        status = kStatusDelimiter;
        if ((flags & kReadKeepDelimiter) == 0) received -= d->m_lDelimiterLength;
    }
    if (zeroTerminate && size > 0) buffer[received] = 0;
    *length = static_cast<int32_t>(received);
    return status;
}

int32_t CXVR_GPIB::Write(uint32_t handle, const uint8_t *buffer, int32_t *length, uint32_t flags,
                         std::u16string *error) {
    CXVR_GPIBDevice *d = m_Devices.Find(handle, error);
    if (!d) return kStatusBadHandle;
    if (!length || *length < 0 || (*length > 0 && !buffer)) return kStatusTransfer;

    const bool appendDelimiter = (flags & kWriteAppendDelimiter) != 0;
    const size_t dataLength = static_cast<size_t>(*length);
    const size_t total = dataLength + (appendDelimiter ? d->m_lDelimiterLength : 0);
    if (total > kMaxBusCount) {
        // The bus call has no way to mark the last of several parts, so a
        // message that does not fit one call is not sent at all.
        *length = 0;
        return kStatusTransfer;
    }
    std::vector<uint8_t> block;
    block.reserve(total + 1);  // never a null pointer, even for nothing to send
    block.insert(block.end(), buffer, buffer + dataLength);
    if (appendDelimiter) block.insert(block.end(), d->m_Delimiter, d->m_Delimiter + d->m_lDelimiterLength);
    *length = static_cast<int32_t>(total);
    if (m_Bus.iecSend(d->m_wBusAddress, static_cast<uint16_t>(total), block.data()) == 0)
        return kStatusTransfer;
    return kStatusOk;
}

bool CXVR_GPIB::HasOpenDevices() {
    return m_Devices.Any();
}

int32_t CXVR_GPIB::ParamGet(uint32_t handle, std::u16string name, std::u16string *value,
                            std::u16string *error) {
    CXVR_GPIBDevice *d = m_Devices.Find(handle, error);
    if (!d) return kStatusBadHandle;
    const std::u16string key = NormalizeParamName(name);
    if (key == u"DELIMITER") {
        *value = FormatDelimiterValue(d->m_Delimiter, d->m_lDelimiterLength);
        return kStatusOk;
    }
    return UnsupportedParam(key, kInterfaceName, error);
}

int32_t CXVR_GPIB::ParamSet(uint32_t handle, std::u16string name, std::u16string value,
                            std::u16string *error) {
    CXVR_GPIBDevice *d = m_Devices.Find(handle, error);
    if (!d) return kStatusBadHandle;
    const std::u16string key = NormalizeParamName(name);
    int32_t status = kStatusOk;
    if (SetCommonParam(d, key, value, error, &status)) return status;
    if (key == u"TRIGGER") return Trigger(*d);
    return UnsupportedParam(key, kInterfaceName, error);
}

int32_t CXVR_GPIB::Trigger(const CXVR_GPIBDevice &device) {
    // One character per device to trigger: its primary address.
    const char addresses[2] = {static_cast<char>(device.m_bPrimaryAddress), '\0'};
    m_Bus.iecCTrigger(addresses);
    return kStatusOk;
}

}  // namespace xvr
