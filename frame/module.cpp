#include "frame/module.h"

#include <utility>

#include "base/strings.h"
#include "base/texts.h"
#include "drivers/registry.h"

namespace xvr {

namespace {

uint32_t SlotBits(size_t slot) { return static_cast<uint32_t>((slot + 1) << 16); }

}  // namespace

CQUVXVRApp::~CQUVXVRApp() {
    // Index order, without closing the devices first.
    for (Slot &s : m_Drivers) s.driver.reset();
}

int32_t CQUVXVRApp::Init(uint32_t *moduleHandle, int32_t actVersion, int32_t minVersion,
                         std::u16string *error) {
    error->clear();
    *moduleHandle = kModuleHandle;
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_Log.Setup(m_lInitCount);
        ++m_lInitCount;
    }
    m_Log.Write(Format(u"XVRInit: ActVersion = %d, MinVersion = %d", {actVersion, minVersion}));
    return kStatusOk;
}

int32_t CQUVXVRApp::DeInit(uint32_t moduleHandle, std::u16string *error) {
    error->clear();
    if (moduleHandle != kModuleHandle) {
        *error = LoadText(kTextBadHandle);
        m_Log.Write(u"  " + *error);
        return kStatusBadHandle;
    }
    m_Log.Write(u"XVRDeInit");
    std::vector<std::shared_ptr<iXVR_Functions>> gone;
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        if (m_lInitCount == 0) return kStatusBadHandle;
        if (--m_lInitCount > 0) return kStatusOk;
        // The table keeps its length; the objects go outside the lock, each
        // once the last call still using it has returned.
        for (Slot &s : m_Drivers) {
            gone.push_back(std::move(s.driver));
            s.pendingOpens = 0;
        }
    }
    for (auto &d : gone) d.reset();  // index order
    return kStatusOk;
}

std::shared_ptr<iXVR_Functions> CQUVXVRApp::DecodeHandle(uint32_t deviceHandle,
                                                         std::u16string *error) {
    if ((deviceHandle & kHandleMarkerMask) == kModuleHandle) {
        const int32_t index = static_cast<int32_t>((deviceHandle >> 16) & 0xFF) - 1;
        std::lock_guard<std::mutex> lock(m_Lock);
        if (index >= 0 && static_cast<size_t>(index) < m_Drivers.size() && m_Drivers[index].driver)
            return m_Drivers[index].driver;
    }
    *error = LoadText(kTextBadHandle);
    return nullptr;
}

size_t CQUVXVRApp::FindSlot(const std::u16string &name) const {
    size_t slot = 0;
    while (slot < m_Drivers.size() && !(m_Drivers[slot].driver && m_Drivers[slot].driver->m_sName == name))
        ++slot;
    return slot;
}

void CQUVXVRApp::DropIfIdle(size_t slot, const iXVR_Functions *driver) {
    std::shared_ptr<iXVR_Functions> gone;
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        Slot &s = m_Drivers[slot];
        if (s.driver.get() != driver || s.pendingOpens > 0 || s.driver->HasOpenDevices()) return;
        gone = std::move(s.driver);
    }
}

int32_t CQUVXVRApp::Open(uint32_t moduleHandle, uint32_t *deviceHandle,
                         const std::u16string &driverName, const std::u16string &openParam,
                         int32_t timeoutMs, std::u16string *error) {
    error->clear();
    *deviceHandle = 0;
    if (moduleHandle != kModuleHandle) {
        *error = LoadText(kTextBadHandle);
        return kStatusBadHandle;
    }
    *deviceHandle = kModuleHandle;
    const std::u16string name = TrimBlanks(ToUpper(driverName));

    // The object is found under the lock, or made outside it (a "QUV GPIB"
    // object reads the parameter file when made) and then given its slot
    // under the lock; the driver's open runs outside it, with the slot
    // marked as in use.
    std::shared_ptr<iXVR_Functions> driver;
    size_t slot = 0;
    bool isNew = false;
    std::unique_ptr<iXVR_Functions> made;  // goes outside the lock when not taken
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(m_Lock);
            slot = FindSlot(name);
            if (slot < m_Drivers.size()) {
                *deviceHandle |= SlotBits(slot);
            } else if (made) {
                slot = 0;
                while (slot < m_Drivers.size() && m_Drivers[slot].driver) ++slot;
                if (slot >= kMaxDriverSlots) {
                    // No slot number left for a new driver object; nothing was opened yet.
                    *error = LoadText(kTextCannotOpen);
                    *deviceHandle = 0;
                    break;
                }
                if (slot == m_Drivers.size()) m_Drivers.emplace_back();
                m_Drivers[slot].driver = std::move(made);
                isNew = true;
            }
            if (slot < m_Drivers.size()) {
                driver = m_Drivers[slot].driver;
                ++m_Drivers[slot].pendingOpens;
                break;
            }
        }
        made = CreateDriver(name);
        if (!made) {
            *error = FormatText(kTextUnknownDriver, {name});
            return kStatusUnknownDriver;
        }
        // Another thread may have made an object of this name meanwhile:
        // the lookup runs again and takes that one.
    }
    made.reset();
    if (!driver) return kStatusOpenFailed;

    // Afterwards the slot is released; a new object that opened nothing goes
    // again (also when its open threw), an old one stays.
    auto endOpen = [&](bool failed) {
        {
            std::lock_guard<std::mutex> lock(m_Lock);
            if (m_Drivers[slot].driver == driver) --m_Drivers[slot].pendingOpens;
        }
        if (failed) DropIfIdle(slot, driver.get());
    };
    int32_t status;
    try {
        status = driver->Open(deviceHandle, openParam, timeoutMs, error);
    } catch (...) {
        endOpen(true);
        throw;
    }
    endOpen(status < 0);
    if (status < 0) {
        if (isNew) *deviceHandle = 0;
        return status;
    }
    if (isNew) *deviceHandle |= SlotBits(slot);
    return status;
}

int32_t CQUVXVRApp::Close(uint32_t deviceHandle, std::u16string *error) {
    error->clear();
    std::shared_ptr<iXVR_Functions> driver = DecodeHandle(deviceHandle, error);
    if (!driver) return kStatusBadHandle;
    const int32_t status = driver->Close(deviceHandle, error);
    if (status >= 0) DropIfIdle(((deviceHandle >> 16) & 0xFF) - 1, driver.get());
    return status;
}

int32_t CQUVXVRApp::Read(uint32_t deviceHandle, uint8_t *buffer, int32_t *length, uint32_t flags,
                         std::u16string *error) {
    error->clear();
    std::shared_ptr<iXVR_Functions> driver = DecodeHandle(deviceHandle, error);
    if (!driver) return kStatusBadHandle;
    return driver->Read(deviceHandle, buffer, length, flags, error);
}

int32_t CQUVXVRApp::Write(uint32_t deviceHandle, const uint8_t *buffer, int32_t *length,
                          uint32_t flags, std::u16string *error) {
    error->clear();
    std::shared_ptr<iXVR_Functions> driver = DecodeHandle(deviceHandle, error);
    if (!driver) return kStatusBadHandle;
    return driver->Write(deviceHandle, buffer, length, flags, error);
}

int32_t CQUVXVRApp::ParamGet(uint32_t deviceHandle, std::u16string name, std::u16string *value,
                             std::u16string *error) {
    error->clear();
    std::shared_ptr<iXVR_Functions> driver = DecodeHandle(deviceHandle, error);
    if (!driver) return kStatusBadHandle;
    return driver->ParamGet(deviceHandle, std::move(name), value, error);
}

int32_t CQUVXVRApp::ParamSet(uint32_t deviceHandle, std::u16string name, std::u16string value,
                             std::u16string *error) {
    error->clear();
    std::shared_ptr<iXVR_Functions> driver = DecodeHandle(deviceHandle, error);
    if (!driver) return kStatusBadHandle;
    return driver->ParamSet(deviceHandle, std::move(name), std::move(value), error);
}

CQUVXVRApp &TheApp() {
    static CQUVXVRApp app;
    return app;
}

}  // namespace xvr
