#include "drivers/gpib/gpib_driver.h"

#include <algorithm>
#include <memory>

#include "base/parameter_file.h"
#include "base/strings.h"
#include "base/texts.h"
#include "platform/platform.h"

namespace xvr {

CXVR_GPIB::CXVR_GPIB(std::u16string name, std::u16string libraryFile)
    : DeviceDriver(std::move(name)), m_sLibraryFile(std::move(libraryFile)) {}

CXVR_QuvGPIB::CXVR_QuvGPIB() : CXVR_GPIB(u"Quv GPIB", u"QUVIEC.DLL") { ReadSettings(); }

CXVR_KXGPIB::CXVR_KXGPIB() : CXVR_GPIB(u"KX GPIB", u"QUVIEC2.DLL") {}

void CXVR_GPIB::ReadSettings() {
    const platform::Profile profile(ParameterFilePath());
    const std::string type =
        profile.StringA("Quv GPIB", "INTERFACETYPE", "RV2", sizeof m_szBaseAddress);
    m_lInterfaceType = ToUpperA(type) == "RV2" ? 1 : 2;
    const std::string base =
        profile.StringA("Quv GPIB", "BASEADDRESS", "840", sizeof m_szBaseAddress);
    const size_t n = std::min(base.size(), sizeof m_szBaseAddress - 1);
    std::copy_n(base.data(), n, m_szBaseAddress);
    m_szBaseAddress[n] = '\0';
}

// The open time-out is for network connects.
int32_t CXVR_GPIB::Open(uint32_t *handle, std::u16string param, int32_t /*timeoutMs*/,
                        std::u16string *error) {
    GPIBAddress address;
    if (!ParseGPIBAddress(param, &address)) {
        *error = LoadText(kTextBadGpibDevice);
        return kStatusBadAddress;
    }
    const int32_t bound = m_Bus.Bind(m_sLibraryFile, static_cast<uint8_t>(m_lInterfaceType - 1),
                                     m_szBaseAddress, error);
    if (bound < 0) return bound;

    // One record per bus address, primary and secondary.
    const std::u16string key{static_cast<char16_t>(address.primary),
                             static_cast<char16_t>(address.secondary)};
    auto make = [&] { return std::make_shared<CXVR_GPIBDevice>(&m_Bus, address); };
    auto open = [&](CXVR_GPIBDevice &d) {
        if (m_Bus.Open(d.m_wBusAddress)) return int32_t{kStatusOk};
        *error = LoadText(kTextCannotOpen);
        return int32_t{kStatusOpenFailed};
    };
    return OpenDevice(handle, key, make, open, kStatusOpenFailed, error);
}

}  // namespace xvr
