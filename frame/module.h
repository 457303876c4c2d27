// The one module object: device table, handle scheme, last error text, the
// call-log switches and the count of initialisations.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "drivers/driver.h"
#include "frame/call_log.h"
#include "quvxvr.h"

namespace xvr {

constexpr uint32_t kModuleHandle = XVR_MODULE_HANDLE;
constexpr uint32_t kHandleMarkerMask = 0xFF000000u;
constexpr size_t kMaxDriverSlots = 255;  // the slot field has 8 bits, 0 is never used

class CQUVXVRApp {
public:
    CQUVXVRApp() = default;
    ~CQUVXVRApp();
    CQUVXVRApp(const CQUVXVRApp &) = delete;
    CQUVXVRApp &operator=(const CQUVXVRApp &) = delete;

    int32_t Init(uint32_t *moduleHandle, int32_t actVersion, int32_t minVersion);
    int32_t DeInit(uint32_t moduleHandle);
    int32_t Open(uint32_t moduleHandle, uint32_t *deviceHandle, const std::u16string &driverName,
                 const std::u16string &openParam, int32_t timeoutMs);
    int32_t Close(uint32_t deviceHandle);
    int32_t Read(uint32_t deviceHandle, uint8_t *buffer, int32_t *length, uint32_t flags);
    int32_t Write(uint32_t deviceHandle, const uint8_t *buffer, int32_t *length, uint32_t flags);
    int32_t ParamGet(uint32_t deviceHandle, std::u16string name, std::u16string *value);
    int32_t ParamSet(uint32_t deviceHandle, std::u16string name, std::u16string value);
    std::u16string GetLastErrorText() const { return m_sLastError; }
    int32_t DecodeHandle(uint32_t deviceHandle, int32_t *index, std::u16string *error) const;

    // For the exports that set or empty the text themselves.
    void SetLastError(std::u16string text) { m_sLastError = std::move(text); }
    const CallLog &Log() const { return m_Log; }

private:
    void DestroyAllDrivers();

    uint32_t m_lInitCount = 0;
    CallLog m_Log;  // holds the switches (m_lLogFlags) and the log file path
    std::vector<std::unique_ptr<iXVR_Functions>> m_Drivers;
    std::u16string m_sLastError;
};

// The process's module object, created on first use and destroyed when the
// library is unloaded.
CQUVXVRApp &TheApp();

}  // namespace xvr
