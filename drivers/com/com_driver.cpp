#include "drivers/com/com_driver.h"

#include <memory>

#include "frame/texts.h"

namespace xvr {

// The open time-out is for network connects; a port opens at once or not.
int32_t CXVR_COM::Open(uint32_t *handle, std::u16string address, int32_t /*timeoutMs*/,
                       std::u16string *error) {
    const std::u16string name = platform::SerialPortName(address);
    uint16_t number = 0;
    auto sameName = [&name](const CXVR_ComPort &p) { return p.m_sPortName == name; };
    if (CXVR_ComPort *shared = m_Ports.FindIf(sameName, &number)) {
        ++shared->m_lOpenCount;
        *handle |= number;
        return kStatusOk;
    }
    if (!m_Ports.HasRoom(error)) {
        *handle = 0;
        return kStatusPortOpenFailed;
    }
    auto port = std::make_unique<CXVR_ComPort>(name);
    if (!port->m_Port.Open(name)) {
        *error = Format(u"%s:%s", {name, SystemText(port->m_Port.Error())});
        *handle = 0;
        return kStatusPortOpenFailed;
    }
    port->m_lOpenCount = 1;
    number = m_Ports.Insert(std::move(port), error);
    *handle |= number;
    return kStatusOk;
}

int32_t CXVR_COM::Close(uint32_t handle, std::u16string *error) {
    return m_Ports.Close(handle, error, [](CXVR_ComPort &p) { p.m_Port.Close(); });
}

}  // namespace xvr
