#include "frame/module.h"

#include "drivers/registry.h"
#include "base/strings.h"
#include "base/texts.h"

namespace xvr {

CQUVXVRApp::~CQUVXVRApp() {
    DestroyAllDrivers();
}

void CQUVXVRApp::DestroyAllDrivers() {
    // Index order, without closing the devices first; the table keeps its length.
    for (auto &d : m_Drivers) d.reset();
}

int32_t CQUVXVRApp::Init(uint32_t *moduleHandle, int32_t actVersion, int32_t minVersion) {
    m_sLastError.clear();
    *moduleHandle = kModuleHandle;
    m_Log.Setup(m_lInitCount);
    ++m_lInitCount;
    m_Log.Write(Format(u"XVRInit: ActVersion = %d, MinVersion = %d", {actVersion, minVersion}),
                CallLog::kFunctions);
    return kStatusOk;
}

int32_t CQUVXVRApp::DeInit(uint32_t moduleHandle) {
    m_sLastError.clear();
    if (moduleHandle != kModuleHandle) {
        m_sLastError = LoadText(kTextBadHandle);
        m_Log.Write(u"  " + m_sLastError, CallLog::kFunctions);
        return kStatusBadHandle;
    }
    m_Log.Write(u"XVRDeInit", CallLog::kFunctions);
    if (m_lInitCount == 0) return kStatusBadHandle;
    if (--m_lInitCount > 0) return kStatusOk;
    DestroyAllDrivers();
    return kStatusOk;
}

int32_t CQUVXVRApp::DecodeHandle(uint32_t deviceHandle, int32_t *index,
                                 std::u16string *error) const {
    if ((deviceHandle & kHandleMarkerMask) != kModuleHandle) {
        *error = LoadText(kTextBadHandle);
        return kStatusBadHandle;
    }
    *index = static_cast<int32_t>((deviceHandle >> 16) & 0xFF) - 1;
    if (*index < 0 || static_cast<size_t>(*index) >= m_Drivers.size() || !m_Drivers[*index]) {
        *error = LoadText(kTextBadHandle);
        return kStatusBadHandle;
    }
    return kStatusOk;
}

int32_t CQUVXVRApp::Open(uint32_t moduleHandle, uint32_t *deviceHandle,
                         const std::u16string &driverName, const std::u16string &openParam,
                         int32_t timeoutMs) {
    m_sLastError.clear();
    *deviceHandle = 0;
    if (moduleHandle != kModuleHandle) {
        m_sLastError = LoadText(kTextBadHandle);
        return kStatusBadHandle;
    }
    *deviceHandle = kModuleHandle;
    const std::u16string name = TrimBlanks(ToUpper(driverName));

    for (size_t i = 0; i < m_Drivers.size(); ++i) {
        if (m_Drivers[i] && m_Drivers[i]->m_sName == name) {
            *deviceHandle = kModuleHandle | static_cast<uint32_t>((i + 1) << 16);
            return m_Drivers[i]->Open(deviceHandle, openParam, timeoutMs, &m_sLastError);
        }
    }

    std::unique_ptr<iXVR_Functions> driver = CreateDriver(name);
    if (!driver) {
        m_sLastError = FormatText(kTextUnknownDriver, {name});
        return kStatusUnknownDriver;
    }
    size_t slot = 0;
    while (slot < m_Drivers.size() && m_Drivers[slot]) ++slot;
    if (slot >= kMaxDriverSlots) {
        // No slot number left for a new driver object; nothing was opened yet.
        m_sLastError = LoadText(kTextCannotOpen);
        *deviceHandle = 0;
        return kStatusOpenFailed;
    }
    int32_t status = driver->Open(deviceHandle, openParam, timeoutMs, &m_sLastError);
    if (status < 0) {
        *deviceHandle = 0;
        return status;
    }
    if (slot == m_Drivers.size())
        m_Drivers.push_back(std::move(driver));
    else
        m_Drivers[slot] = std::move(driver);
    *deviceHandle |= static_cast<uint32_t>((slot + 1) << 16);
    return status;
}

int32_t CQUVXVRApp::Close(uint32_t deviceHandle) {
    m_sLastError.clear();
    int32_t index;
    int32_t status = DecodeHandle(deviceHandle, &index, &m_sLastError);
    if (status < 0) return status;
    status = m_Drivers[index]->Close(deviceHandle, &m_sLastError);
    if (status < 0) return status;
    if (!m_Drivers[index]->HasOpenDevices()) m_Drivers[index].reset();
    return status;
}

int32_t CQUVXVRApp::Read(uint32_t deviceHandle, uint8_t *buffer, int32_t *length,
                         uint32_t flags) {
    m_sLastError.clear();
    int32_t index;
    if (DecodeHandle(deviceHandle, &index, &m_sLastError) < 0) return kStatusBadHandle;
    return m_Drivers[index]->Read(deviceHandle, buffer, length, flags, &m_sLastError);
}

int32_t CQUVXVRApp::Write(uint32_t deviceHandle, const uint8_t *buffer, int32_t *length,
                          uint32_t flags) {
    m_sLastError.clear();
    int32_t index;
    if (DecodeHandle(deviceHandle, &index, &m_sLastError) < 0) return kStatusBadHandle;
    return m_Drivers[index]->Write(deviceHandle, buffer, length, flags, &m_sLastError);
}

int32_t CQUVXVRApp::ParamGet(uint32_t deviceHandle, std::u16string name,
                             std::u16string *value) {
    m_sLastError.clear();
    int32_t index;
    if (DecodeHandle(deviceHandle, &index, &m_sLastError) < 0) return kStatusBadHandle;
    return m_Drivers[index]->ParamGet(deviceHandle, std::move(name), value, &m_sLastError);
}

int32_t CQUVXVRApp::ParamSet(uint32_t deviceHandle, std::u16string name, std::u16string value) {
    m_sLastError.clear();
    int32_t index;
    if (DecodeHandle(deviceHandle, &index, &m_sLastError) < 0) return kStatusBadHandle;
    return m_Drivers[index]->ParamSet(deviceHandle, std::move(name), std::move(value),
                                      &m_sLastError);
}

CQUVXVRApp &TheApp() {
    static CQUVXVRApp app;
    return app;
}

}  // namespace xvr
