#include "drivers/com/com_driver.h"

#include <memory>

#include "base/parameter_file.h"
#include "base/strings.h"
#include "base/texts.h"
#include "platform/platform.h"

namespace xvr {

std::u16string ComPortName(std::u16string_view address) {
    std::u16string name = TrimBlanks(address);
    return platform::SerialNameIsPath(name) ? name : ToUpper(name);
}

std::u16string ComDevicePath(const std::u16string &name) {
    if (platform::SerialNameIsPath(name)) return name;
    if (platform::kSerialNamesMapped && !name.empty()) {
        std::u16string mapped =
            platform::ProfileString(ParameterFilePath(), u"COM", name, u"", 4096);
        if (!mapped.empty()) return mapped;
    }
    return platform::SerialSystemPath(name);
}

// The open time-out is for network connects; a port opens at once or not.
int32_t CXVR_COM::Open(uint32_t *handle, std::u16string address, int32_t /*timeoutMs*/,
                       std::u16string *error) {
    const std::u16string name = ComPortName(address);
    auto make = [&name] { return std::make_shared<CXVR_COMDevice>(name); };
    auto open = [&](CXVR_COMDevice &d) {
        if (d.m_Port.Open(ComDevicePath(name))) return int32_t{kStatusOk};
        *error = Format(u"%s:%s", {name, SystemText(d.m_Port.Error())});
        return int32_t{kStatusNotFound};
    };
    const int32_t status = OpenDevice(handle, name, make, open, kStatusNotFound, error);
    if (status < 0) *handle = 0;
    return status;
}

}  // namespace xvr
