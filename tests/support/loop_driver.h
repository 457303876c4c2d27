// A driver that lives only in the tests: every device is an in-memory loop
// (what is written comes back on read), so the frame can be exercised
// without a transport.
#pragma once

#include <atomic>
#include <deque>
#include <mutex>
#include <string>

#include "drivers/device_list.h"
#include "drivers/device_settings.h"
#include "drivers/driver.h"

namespace xvr::test {

class LoopDriver : public iXVR_Functions {
public:
    explicit LoopDriver(std::u16string name = u"LOOP");
    ~LoopDriver() override;

    int32_t Open(uint32_t *handle, std::u16string param, int32_t timeoutMs,
                 std::u16string *error) override;
    int32_t Close(uint32_t handle, std::u16string *error) override;
    int32_t Read(uint32_t handle, uint8_t *buffer, int32_t *length, uint32_t flags,
                 std::u16string *error) override;
    int32_t Write(uint32_t handle, const uint8_t *buffer, int32_t *length, uint32_t flags,
                  std::u16string *error) override;
    bool HasOpenDevices() override { return m_Devices.Any(); }
    int32_t ParamGet(uint32_t handle, std::u16string name, std::u16string *value,
                     std::u16string *error) override;
    int32_t ParamSet(uint32_t handle, std::u16string name, std::u16string value,
                     std::u16string *error) override;

    static std::atomic<int> s_live;  // driver objects alive now
    // An address of "FAIL" makes the open fail with kStatusOpenFailed; "THROW" throws bad_alloc.

private:
    struct Device : CXVR_DeviceSettings {
        Device() : CXVR_DeviceSettings(0x0A) {}
        std::u16string address;
        std::deque<uint8_t> pending;
    };
    // Opens of one driver object may run on two threads at once, as the
    // frame allows; the find-or-insert must be one step.
    std::mutex m_OpenLock;
    DeviceList<Device> m_Devices;
};

// Registers "LOOP" (shared object) and "MANY" (stored as "Many", so every open
// gets an object of its own) with the frame.
void RegisterLoopDrivers();

}  // namespace xvr::test
