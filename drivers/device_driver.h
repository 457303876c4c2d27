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
#include <mutex>
#include <string>

#include "base/texts.h"
#include "drivers/device_list.h"
#include "drivers/device_settings.h"
#include "drivers/driver.h"

namespace xvr {

template <class Device>
class DeviceDriver : public iXVR_Functions {
public:
    using iXVR_Functions::iXVR_Functions;

    // Waits for a call in progress on the device to end; the last close
    // frees the number at once and closes the transport outside the list
    // lock, so the other devices go on meanwhile.
    int32_t Close(uint32_t handle, std::u16string *error) override {
        std::shared_ptr<Device> d = Lookup(handle, error);
        if (!d) return kStatusBadHandle;
        std::lock_guard<std::mutex> call(d->m_CallLock);
        int32_t status;
        {
            std::lock_guard<std::mutex> list(m_Lock);
            if (d->m_State != Device::State::kOpen) return NotOpen(error);
            status = m_Devices.Close(handle, error,
                                     [](Device &r) { r.m_State = Device::State::kReleased; });
        }
        if (status == kStatusReleased) d->Release();
        return status;
    }

    // A negative length is refused once the device is known to be open,
    // with a text: -6 without one means a time-out.
    int32_t Read(uint32_t handle, uint8_t *buffer, int32_t *length, uint32_t flags,
                 std::u16string *error) override {
        return OnDevice(handle, error, [&](Device &d) {
            return *length < 0 ? LengthRefused(error) : d.Read(buffer, length, flags, error);
        });
    }

    int32_t Write(uint32_t handle, const uint8_t *buffer, int32_t *length, uint32_t flags,
                  std::u16string *error) override {
        return OnDevice(handle, error, [&](Device &d) {
            return *length < 0 ? LengthRefused(error) : d.Write(buffer, length, flags, error);
        });
    }

    bool HasOpenDevices() override {
        std::lock_guard<std::mutex> list(m_Lock);
        return m_Devices.Any();
    }

    int32_t ParamGet(uint32_t handle, std::u16string name, std::u16string *value,
                     std::u16string *error) override {
        return OnDevice(handle, error, [&](Device &d) {
            return d.ParamGet(NormalizeParamName(name), value, error);
        });
    }

    int32_t ParamSet(uint32_t handle, std::u16string name, std::u16string value,
                     std::u16string *error) override {
        return OnDevice(handle, error, [&](Device &d) {
            return d.ParamSet(NormalizeParamName(name), value, error);
        });
    }

protected:
    // Open counting: the record with the same sharing key (none: never
    // shared) gets one more open; otherwise the record from make() takes the
    // lowest free number and open(record) opens its transport (0 or a
    // failure status, which frees the number again).  A full list fails with
    // fullStatus before any transport is opened.  The transport opens outside
    // the list lock, with the record's call lock held: a second open of the
    // same key waits for the first to end and then shares its record or
    // tries anew.
    template <class Make, class OpenTransport>
    int32_t OpenDevice(uint32_t *handle, const SharingKey &key, Make make, OpenTransport open,
                       int32_t fullStatus, std::u16string *error) {
        for (;;) {
            // Call lock before list lock, in every path.
            std::shared_ptr<Device> fresh = make();
            std::unique_lock<std::mutex> freshCall(fresh->m_CallLock);
            std::unique_lock<std::mutex> list(m_Lock);
            uint16_t number = 0;
            if (std::shared_ptr<Device> shared = m_Devices.FindShared(key, &number)) {
                if (shared->m_State == Device::State::kOpen) {
                    ++shared->m_lOpenCount;
                    *handle |= number;
                    return kStatusOk;
                }
                list.unlock();
                freshCall.unlock();
                std::lock_guard<std::mutex> opened(shared->m_CallLock);
                continue;
            }
            if (!m_Devices.HasRoom(error)) return fullStatus;
            number = m_Devices.Insert(fresh, error, key);
            list.unlock();
            const int32_t status = open(*fresh);
            list.lock();
            if (status < 0) {
                fresh->m_State = Device::State::kReleased;
                m_Devices.Remove(number);
                return status;
            }
            fresh->m_lOpenCount = 1;
            fresh->m_State = Device::State::kOpen;
            *handle |= number;
            return kStatusOk;
        }
    }

private:
    std::shared_ptr<Device> Lookup(uint32_t handle, std::u16string *error) {
        std::lock_guard<std::mutex> list(m_Lock);
        return m_Devices.Find(handle, error);
    }

    static int32_t NotOpen(std::u16string *error) {
        *error = LoadText(kTextNotOpen);
        return kStatusBadHandle;
    }

    static int32_t LengthRefused(std::u16string *error) {
        *error = LoadText(kTextOutOfRange);
        return kStatusTransfer;
    }

    // One call on one open device, never beside another call on it.
    template <class Call>
    int32_t OnDevice(uint32_t handle, std::u16string *error, Call call) {
        std::shared_ptr<Device> d = Lookup(handle, error);
        if (!d) return kStatusBadHandle;
        std::lock_guard<std::mutex> lock(d->m_CallLock);
        if (d->m_State != Device::State::kOpen) return NotOpen(error);
        return call(*d);
    }

    std::mutex m_Lock;  // guards m_Devices and the records' open counts
    DeviceList<Device> m_Devices;
};

}  // namespace xvr
