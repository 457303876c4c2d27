#include "support/loop_driver.h"

#include <memory>
#include <new>

#include "drivers/registry.h"
#include "base/texts.h"

namespace xvr::test {

std::atomic<int> LoopDriver::s_live{0};

LoopDriver::LoopDriver(std::u16string name) : iXVR_Functions(std::move(name)) { ++s_live; }
LoopDriver::~LoopDriver() { --s_live; }

int32_t LoopDriver::Open(uint32_t *handle, std::u16string param, int32_t, std::u16string *error) {
    if (param == u"THROW") throw std::bad_alloc();
    if (param == u"FAIL") {
        *error = LoadText(kTextCannotOpen);
        return kStatusOpenFailed;
    }
    std::lock_guard<std::mutex> lock(m_OpenLock);
    uint16_t number = 0;
    if (std::shared_ptr<Device> d = m_Devices.FindShared(param, &number)) {
        ++d->m_lOpenCount;
        *handle |= number;
        return kStatusOk;
    }
    auto d = std::make_unique<Device>();
    d->address = param;
    d->m_lOpenCount = 1;
    number = m_Devices.Insert(std::move(d), error, param);
    if (number == 0) return kStatusOpenFailed;
    *handle |= number;
    return kStatusOk;
}

int32_t LoopDriver::Close(uint32_t handle, std::u16string *error) {
    return m_Devices.Close(handle, error, [](Device &) {});
}

int32_t LoopDriver::Read(uint32_t handle, uint8_t *buffer, int32_t *length, uint32_t flags,
                         std::u16string *error) {
    std::shared_ptr<Device> d = m_Devices.Find(handle, error);
    if (!d) return kStatusBadHandle;
    if (*length < 0) return kStatusTransfer;
    int32_t limit = *length;
    if ((flags & kReadZeroTerminate) && limit > 0) --limit;
    int32_t n = 0;
    bool found = false;
    while (n < limit && !d->pending.empty() && !found) {
        buffer[n++] = d->pending.front();
        d->pending.pop_front();
        found =
            (flags & kReadStopAtDelimiter) && d->EndsWithDelimiter(buffer, static_cast<size_t>(n));
    }
    int32_t status = found ? kStatusDelimiter : n == limit ? kStatusBufferFull : kStatusTransfer;
    if (found && !(flags & kReadKeepDelimiter)) n -= static_cast<int32_t>(d->m_lDelimiterLength);
    if ((flags & kReadZeroTerminate) && *length > 0) buffer[n] = 0;
    *length = n;
    return status;
}

int32_t LoopDriver::Write(uint32_t handle, const uint8_t *buffer, int32_t *length, uint32_t flags,
                          std::u16string *error) {
    std::shared_ptr<Device> d = m_Devices.Find(handle, error);
    if (!d) return kStatusBadHandle;
    if (*length < 0) return kStatusTransfer;
    d->pending.insert(d->pending.end(), buffer, buffer + *length);
    if (flags & kWriteAppendDelimiter) {
        d->pending.insert(d->pending.end(), d->m_Delimiter, d->m_Delimiter + d->m_lDelimiterLength);
        *length += static_cast<int32_t>(d->m_lDelimiterLength);
    }
    return kStatusOk;
}

int32_t LoopDriver::ParamGet(uint32_t handle, std::u16string name, std::u16string *value,
                             std::u16string *error) {
    std::shared_ptr<Device> d = m_Devices.Find(handle, error);
    if (!d) return kStatusBadHandle;
    name = NormalizeParamName(name);
    if (name == u"TIMEOUT")
        *value = FormatTimeoutValue(d->m_lTimeout);
    else if (name == u"DELIMITER")
        *value = FormatDelimiterValue(d->m_Delimiter, d->m_lDelimiterLength);
    else
        return UnsupportedParam(name, d->address, error);
    return kStatusOk;
}

int32_t LoopDriver::ParamSet(uint32_t handle, std::u16string name, std::u16string value,
                             std::u16string *error) {
    std::shared_ptr<Device> d = m_Devices.Find(handle, error);
    if (!d) return kStatusBadHandle;
    name = NormalizeParamName(name);
    int32_t status;
    if (SetCommonParam(d.get(), name, value, error, &status)) return status;
    return UnsupportedParam(name, d->address, error);
}

void RegisterLoopDrivers() {
    RegisterDriver(u"LOOP", [] { return std::make_unique<LoopDriver>(u"LOOP"); });
    RegisterDriver(u"MANY", [] { return std::make_unique<LoopDriver>(u"Many"); });
}

}  // namespace xvr::test
