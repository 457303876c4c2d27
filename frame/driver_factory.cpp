#include "frame/driver_factory.h"

#include <map>

#include "drivers/com/com_driver.h"
#include "drivers/ip/ip_driver.h"
#include "drivers/gpib/gpib_driver.h"

namespace xvr {

namespace {

std::map<std::u16string, DriverMaker> &Registry() {
    static std::map<std::u16string, DriverMaker> makers = {
        {u"COM", [] { return std::unique_ptr<iXVR_Functions>(new CXVR_COM()); }},
        {u"TCP/IP",
         [] {
             auto d = std::make_unique<CXVR_TCP>(u"TCP/IP");
             d->m_lTransportType = 1;
             return std::unique_ptr<iXVR_Functions>(std::move(d));
         }},
        {u"UDP",
         [] {
             auto d = std::make_unique<CXVR_UDP>(u"UDP");
             d->m_lTransportType = 2;
             return std::unique_ptr<iXVR_Functions>(std::move(d));
         }},
        // The stored name "Quv GPIB" never equals an upper-cased request, so
        // every "QUV GPIB" open gets a driver object of its own.
        {u"QUV GPIB",
         [] {
             auto d = std::make_unique<CXVR_QuvGPIB>(u"Quv GPIB");
             d->m_sLibraryFile = u"QUVIEC.DLL";
             d->ReadSettings();
             return std::unique_ptr<iXVR_Functions>(std::move(d));
         }},
        {u"KX GPIB",
         [] {
             auto d = std::make_unique<CXVR_KXGPIB>(u"KX GPIB");
             d->m_sLibraryFile = u"QUVIEC2.DLL";
             return std::unique_ptr<iXVR_Functions>(std::move(d));
         }},
    };
    return makers;
}

}  // namespace

std::unique_ptr<iXVR_Functions> CreateDriver(const std::u16string &preparedName) {
    auto &makers = Registry();
    auto it = makers.find(preparedName);
    if (it == makers.end()) return nullptr;
    return it->second();
}

void RegisterDriver(const std::u16string &preparedName, DriverMaker maker) {
    Registry()[preparedName] = std::move(maker);
}

}  // namespace xvr
