// What every transport's driver does alike: find the record a handle names,
// hand the call to it, count opens and closes.  A transport adds only its
// Open (the address syntax and its rule for sharing a record) and a record
// type with this shape:
//
//   struct Device : CXVR_DeviceSettings {
//       int32_t Read(uint8_t *buffer, int32_t *length, uint32_t flags, std::u16string *error);
//       int32_t Write(const uint8_t *data, int32_t *length, uint32_t flags, std::u16string *error);
//       int32_t ParamGet(const std::u16string &key, std::u16string *value, std::u16string *error);
//       int32_t ParamSet(const std::u16string &key, std::u16string_view value, std::u16string *error);
//       void Release();  // the last close: closes the transport
//   };
//
// Read and Write get a length of 0 or more; parameter keys come normalised.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "drivers/device_list.h"
#include "drivers/device_settings.h"
#include "drivers/driver.h"

namespace xvr {

template <class Device>
class DeviceDriver : public iXVR_Functions {
public:
    using iXVR_Functions::iXVR_Functions;

    int32_t Close(uint32_t handle, std::u16string *error) override {
        return m_Devices.Close(handle, error, [](Device &d) { d.Release(); });
    }

    // A negative length is refused once the device is known to be open.
    int32_t Read(uint32_t handle, uint8_t *buffer, int32_t *length, uint32_t flags,
                 std::u16string *error) override {
        Device *d = m_Devices.Find(handle, error);
        if (!d) return kStatusBadHandle;
        if (*length < 0) return kStatusTransfer;
        return d->Read(buffer, length, flags, error);
    }

    int32_t Write(uint32_t handle, const uint8_t *buffer, int32_t *length, uint32_t flags,
                  std::u16string *error) override {
        Device *d = m_Devices.Find(handle, error);
        if (!d) return kStatusBadHandle;
        if (*length < 0) return kStatusTransfer;
        return d->Write(buffer, length, flags, error);
    }

    bool HasOpenDevices() override { return m_Devices.Any(); }

    int32_t ParamGet(uint32_t handle, std::u16string name, std::u16string *value,
                     std::u16string *error) override {
        Device *d = m_Devices.Find(handle, error);
        if (!d) return kStatusBadHandle;
        return d->ParamGet(NormalizeParamName(name), value, error);
    }

    int32_t ParamSet(uint32_t handle, std::u16string name, std::u16string value,
                     std::u16string *error) override {
        Device *d = m_Devices.Find(handle, error);
        if (!d) return kStatusBadHandle;
        return d->ParamSet(NormalizeParamName(name), value, error);
    }

protected:
    // Open counting: the open record with the same sharing key gets one more
    // open; otherwise open(&record) makes a record and opens its transport (0
    // or a failure status), and the record takes the lowest free number.  A
    // full list fails with fullStatus before any transport is opened.
    template <class OpenNew>
    int32_t OpenDevice(uint32_t *handle, const SharingKey &key, OpenNew open, int32_t fullStatus,
                       std::u16string *error) {
        uint16_t number = 0;
        if (Device *shared = m_Devices.FindShared(key, &number)) {
            ++shared->m_lOpenCount;
            *handle |= number;
            return kStatusOk;
        }
        if (!m_Devices.HasRoom(error)) return fullStatus;
        std::unique_ptr<Device> device;
        const int32_t status = open(&device);
        if (status < 0) return status;
        device->m_lOpenCount = 1;
        number = m_Devices.Insert(std::move(device), error, key);
        *handle |= number;
        return kStatusOk;
    }

    DeviceList<Device> m_Devices;
};

}  // namespace xvr
