#include "drivers/gpib/gpib_bus.h"

#include "drivers/driver.h"
#include "base/texts.h"
#include "platform/platform.h"

namespace xvr {

namespace {


template <class F>
bool Resolve(void *library, const char *name, F *slot) {
    *slot = reinterpret_cast<F>(platform::LibrarySymbol(library, name));
    return *slot != nullptr;
}

}  // namespace

int32_t CXVR_GPIBBus::Bind(const std::u16string &dllName, uint8_t interfaceIndex,
                           const char *baseAddress, std::u16string *error) {
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

}  // namespace xvr
