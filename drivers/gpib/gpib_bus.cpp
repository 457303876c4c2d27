#include "drivers/gpib/gpib_bus.h"

#include <map>

#include "drivers/driver.h"
#include "base/texts.h"
#include "platform/platform.h"

namespace xvr {

namespace {

// One lock per library file: QUV GPIB makes a driver object for every open,
// all bound to the same loaded library.
std::mutex &LibraryLock(const std::u16string &file) {
    static std::mutex guard;
    static std::map<std::u16string, std::mutex> locks;
    std::lock_guard<std::mutex> lock(guard);
    return locks[file];
}

template <class F>
bool Resolve(void *library, const char *name, F *slot) {
    *slot = reinterpret_cast<F>(platform::LibrarySymbol(library, name));
    return *slot != nullptr;
}

}  // namespace

int32_t CXVR_GPIBBus::Bind(const std::u16string &dllName, uint8_t interfaceIndex,
                           const char *baseAddress, std::u16string *error) {
    std::lock_guard<std::mutex> bind(m_BindLock);
    if (m_hLibrary) return kStatusOk;
    const std::u16string file = platform::LibraryFileName(dllName);
    std::u16string systemText;
    m_hLibrary = platform::LoadLibraryFile(file, &systemText);
    if (!m_hLibrary) {
        *error = FormatText(kTextDllLoadFailed, {file, systemText});
        return kStatusOpenFailed;
    }
    // Every name is looked up, so a library is judged on all eight at once.
    bool complete = Resolve(m_hLibrary, "iecCTrigger", &iecCTrigger);
    complete &= Resolve(m_hLibrary, "iecParameter", &iecParameter);
    complete &= Resolve(m_hLibrary, "iecEnter", &iecEnter);
    complete &= Resolve(m_hLibrary, "iecSend", &iecSend);
    complete &= Resolve(m_hLibrary, "iecOpen", &iecOpen);
    complete &= Resolve(m_hLibrary, "iecCInit", &iecCInit);
    complete &= Resolve(m_hLibrary, "iecClose", &iecClose);
    complete &= Resolve(m_hLibrary, "iecDeinit", &iecDeinit);
    if (!complete) {
        Unbind();
        *error = FormatText(kTextDllUnsuitable, {file});
        return kStatusOpenFailed;
    }
    m_pCallLock = &LibraryLock(file);
    std::lock_guard<std::mutex> call(*m_pCallLock);
    if (iecCInit(interfaceIndex, baseAddress) == 0) {
        // Nothing half-bound stays behind: the next open loads and
        // initialises afresh.
        Unbind();
        *error = LoadText(kTextGpibInitFailed);
        return kStatusValueTooLong;
    }
    return kStatusOk;
}

void CXVR_GPIBBus::Unbind() {
    iecCTrigger = nullptr;
    iecParameter = nullptr;
    iecEnter = nullptr;
    iecSend = nullptr;
    iecOpen = nullptr;
    iecCInit = nullptr;
    iecClose = nullptr;
    iecDeinit = nullptr;
    platform::FreeLibraryFile(m_hLibrary);
    m_hLibrary = nullptr;
}

bool CXVR_GPIBBus::IsBound() const {
    std::lock_guard<std::mutex> bind(m_BindLock);
    return m_hLibrary != nullptr;
}

bool CXVR_GPIBBus::Open(uint16_t address) {
    std::lock_guard<std::mutex> call(*m_pCallLock);
    return iecOpen(address, IEC_OPEN_MODE) != 0;
}

bool CXVR_GPIBBus::Close(uint16_t address) {
    std::lock_guard<std::mutex> call(*m_pCallLock);
    return iecClose(address) != 0;
}

bool CXVR_GPIBBus::Send(uint16_t address, uint16_t count, const uint8_t *data) {
    std::lock_guard<std::mutex> call(*m_pCallLock);
    return iecSend(address, count, data) != 0;
}

bool CXVR_GPIBBus::Enter(uint16_t address, uint16_t *count, uint8_t *buffer) {
    std::lock_guard<std::mutex> call(*m_pCallLock);
    return iecEnter(address, count, buffer) != 0;
}

bool CXVR_GPIBBus::Parameter(uint16_t address, uint8_t endByteOn, uint8_t endByte,
                             uint16_t timeoutMs) {
    std::lock_guard<std::mutex> call(*m_pCallLock);
    return iecParameter(address, IEC_PARAMETER_MODE, endByteOn, endByte, timeoutMs) != 0;
}

bool CXVR_GPIBBus::Trigger(const char *addresses) {
    std::lock_guard<std::mutex> call(*m_pCallLock);
    return iecCTrigger(addresses) != 0;
}

}  // namespace xvr
