// The one module object: device table, handle scheme, the call-log switches
// and the count of initialisations.
//
// Threads: the table is guarded by one lock that is never held across a
// driver call.  A call holds its driver object by a shared reference, so a
// close or the last DeInit on another thread never frees an object in use;
// it goes when the last call on it returns.  Each operation writes the text
// of a failure into the caller's *error (emptied first).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "drivers/driver.h"
#include "frame/call_log.h"
#include "frame/last_error.h"
#include "quvxvr.h"

namespace xvr {

constexpr uint32_t kModuleHandle = XVR_MODULE_HANDLE;
constexpr size_t kMaxDriverSlots = 255;  // the slot field has 8 bits, 0 is never used

class CQUVXVRApp {
public:
    CQUVXVRApp() = default;
    ~CQUVXVRApp();
    CQUVXVRApp(const CQUVXVRApp &) = delete;
    CQUVXVRApp &operator=(const CQUVXVRApp &) = delete;

    int32_t Init(uint32_t *moduleHandle, int32_t actVersion, int32_t minVersion,
                 std::u16string *error);
    int32_t DeInit(uint32_t moduleHandle, std::u16string *error);
    int32_t Open(uint32_t moduleHandle, uint32_t *deviceHandle, const std::u16string &driverName,
                 const std::u16string &openParam, int32_t timeoutMs, std::u16string *error);
    int32_t Close(uint32_t deviceHandle, std::u16string *error);
    int32_t Read(uint32_t deviceHandle, uint8_t *buffer, int32_t *length, uint32_t flags,
                 std::u16string *error);
    int32_t Write(uint32_t deviceHandle, const uint8_t *buffer, int32_t *length, uint32_t flags,
                  std::u16string *error);
    int32_t ParamGet(uint32_t deviceHandle, std::u16string name, std::u16string *value,
                     std::u16string *error);
    int32_t ParamSet(uint32_t deviceHandle, std::u16string name, std::u16string value,
                     std::u16string *error);

    // The text flXVRErrorTextGet hands out (see frame/last_error.h).
    std::u16string GetLastErrorText() const { return m_LastError.Get(); }
    void PublishError(const std::u16string &text, bool failed) { m_LastError.Publish(text, failed); }
    const CallLog &Log() const { return m_Log; }

private:
    struct Slot {
        std::shared_ptr<iXVR_Functions> driver;
        uint32_t pendingOpens = 0;  // opens under way: the object must stay
    };

    // The driver object a device handle names, or nullptr with text 11007.
    std::shared_ptr<iXVR_Functions> DecodeHandle(uint32_t deviceHandle, std::u16string *error);
    // The slot of the object stored under name, or the table's length.
    // Needs m_Lock.
    size_t FindSlot(const std::u16string &name) const;
    // After a close or a failed open: drops the object from its slot when it
    // serves no device and no open is under way.
    void DropIfIdle(size_t slot, const iXVR_Functions *driver);

    std::mutex m_Lock;  // guards m_lInitCount, m_Drivers and the log set-up
    uint32_t m_lInitCount = 0;
    CallLog m_Log;
    std::vector<Slot> m_Drivers;
    LastErrorText m_LastError;
};

// The process's module object, created on first use and destroyed when the
// library is unloaded.
CQUVXVRApp &TheApp();

}  // namespace xvr
