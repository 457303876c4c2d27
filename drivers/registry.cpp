#include "drivers/registry.h"

#include <cstring>
#include <map>

#include "drivers/com/com_driver.h"
#include "drivers/gpib/gpib_driver.h"
#include "drivers/hislip/hislip_driver.h"
#include "drivers/ip/ip_driver.h"
#include "drivers/vxi11/vxi11_driver.h"

namespace xvr {

namespace {

template <class Driver>
std::unique_ptr<iXVR_Functions> Make() {
    return std::make_unique<Driver>();
}

const DriverEntry kDrivers[] = {
    {"COM", Make<CXVR_COM>, true, false, "COM Port", 2, 255, "COM%u", 255},
    {"TCP/IP", Make<CXVR_TCP>, true, false, "IP Address", 1, 255, nullptr, 0},
    {"UDP", Make<CXVR_UDP>, true, false, "IP Address", 1, 255, nullptr, 0},
    {"QUV GPIB", Make<CXVR_QuvGPIB>, false, false, "GPIB Device", 2, 30, "Dev%2u", 31},
    {"KX GPIB", Make<CXVR_KXGPIB>, true, false, "GPIB Device", 2, 30, "Dev%2u", 31},
    {"VXI-11", Make<CXVR_VXI11>, true, true, "Instrument", 1, 255, nullptr, 0},
    {"HiSLIP", Make<CXVR_HiSLIP>, true, true, "Instrument", 1, 255, nullptr, 0},
};

// The names are ASCII, so a character-wise comparison is exact; the host's
// name comes upper-cased ("HiSLIP" is opened as "HISLIP").
bool SameName(const char *name, std::u16string_view prepared) {
    const size_t n = std::strlen(name);
    if (n != prepared.size()) return false;
    for (size_t i = 0; i < n; ++i) {
        const char c =
            name[i] >= 'a' && name[i] <= 'z' ? static_cast<char>(name[i] - 'a' + 'A') : name[i];
        if (static_cast<char16_t>(static_cast<unsigned char>(c)) != prepared[i]) return false;
    }
    return true;
}

std::map<std::u16string, DriverMaker> &TestDrivers() {
    static std::map<std::u16string, DriverMaker> makers;
    return makers;
}

}  // namespace

const DriverEntry *DriverTable(size_t *count) {
    *count = sizeof kDrivers / sizeof kDrivers[0];
    return kDrivers;
}

const DriverEntry *FindDriver(const char *name) {
    if (!name) return nullptr;
    for (const DriverEntry &d : kDrivers)
        if (std::strcmp(d.name, name) == 0) return &d;
    return nullptr;
}

std::unique_ptr<iXVR_Functions> CreateDriver(const std::u16string &preparedName) {
    auto &tests = TestDrivers();
    auto it = tests.find(preparedName);
    if (it != tests.end()) return it->second();
    for (const DriverEntry &d : kDrivers)
        if (SameName(d.name, preparedName)) return d.make();
    return nullptr;
}

void RegisterDriver(const std::u16string &preparedName, DriverMaker maker) {
    TestDrivers()[preparedName] = std::move(maker);
}

}  // namespace xvr
