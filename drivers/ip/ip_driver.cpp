#include "drivers/ip/ip_driver.h"

#include <memory>

#include "drivers/device_settings.h"
#include "frame/strings.h"
#include "frame/texts.h"
#include "platform/platform.h"
#include "platform/socket.h"

namespace xvr {

int32_t CXVR_IP::Open(uint32_t *handle, std::u16string param, int32_t timeoutMs,
                      std::u16string *error) {
    const std::u16string address = ToUpper(TrimBlanks(param));
    const size_t colon = address.find(u':');
    if (colon == std::u16string::npos) {
        *error = LoadText(kTextBadIpAddress);
        return kStatusNotOpen;
    }
    std::u16string host = TrimBlanks(address.substr(0, colon));
    const std::u16string portText = TrimBlanks(address.substr(colon + 1));

    uint32_t code = platform::SocketStartup();
    if (code != 0) {
        *error = FormatText(kTextNetInitFailed, {SystemText(code)});
        return kStatusOpenFailed;
    }
    const std::string narrowHost = platform::WideToAnsi(host);
    std::string dotted;
    uint32_t ipv4 = 0;
    if (!platform::ResolveIPv4(narrowHost, &dotted, &ipv4)) {
        *error = LoadText(kTextHostNotFound);
        return -20;
    }
    if (dotted != narrowHost) host = platform::AnsiToWide(dotted);
    // The port as _wtoi reads it, cut to 16 bits; it is not checked.
    int32_t portValue = 0;
    if (!ScanDecimal(portText, &portValue)) portValue = 0;
    const uint16_t port = static_cast<uint16_t>(portValue);

    uint16_t number = 0;
    CXVR_IPConnection *shared = m_Connections.FindIf(
        [&](const CXVR_IPConnection &c) {
            return c.m_sHost == host && c.m_nPort == port && c.m_lTransportMark == m_lTransportType;
        },
        &number);
    if (shared) {
        *handle |= number;
        return shared->Connect(host, ipv4, port, m_lTransportType, timeoutMs, error);
    }
    if (!m_Connections.HasRoom(error)) {
        return kStatusOpenFailed;
    }
    auto record = std::make_unique<CXVR_IPConnection>();
    int32_t status = record->Connect(host, ipv4, port, m_lTransportType, timeoutMs, error);
    if (status < 0) return status;
    number = m_Connections.Insert(std::move(record), error);
    if (number == 0) return kStatusOpenFailed;
    *handle |= number;
    return kStatusOk;
}

int32_t CXVR_IP::Close(uint32_t handle, std::u16string *error) {
    return m_Connections.Close(handle, error, [](CXVR_IPConnection &c) { c.Disconnect(); });
}

int32_t CXVR_IP::Read(uint32_t handle, uint8_t *buffer, int32_t *length, uint32_t flags,
                      std::u16string *error) {
    CXVR_IPConnection *c = m_Connections.Find(handle, error);
    if (!c) return kStatusBadHandle;
    return c->Read(buffer, length, flags, error);
}

int32_t CXVR_IP::Write(uint32_t handle, const uint8_t *buffer, int32_t *length, uint32_t flags,
                       std::u16string *error) {
    CXVR_IPConnection *c = m_Connections.Find(handle, error);
    if (!c) return kStatusBadHandle;
    return c->Write(buffer, length, flags, error);
}

bool CXVR_IP::HasOpenDevices() { return m_Connections.Any(); }

int32_t CXVR_IP::ParamGet(uint32_t handle, std::u16string name, std::u16string *value,
                          std::u16string *error) {
    CXVR_IPConnection *c = m_Connections.Find(handle, error);
    if (!c) return kStatusBadHandle;
    const std::u16string key = NormalizeParamName(name);
    if (key == u"TIMEOUT") {
        *value = FormatTimeoutValue(c->m_lTimeout);
    } else if (key == u"DELIMITER") {
        *value = FormatDelimiterValue(c->m_Delimiter, c->m_lDelimiterLength);
    } else if (key == u"BUFFER") {
        *value = Format(u"%d", {static_cast<int32_t>(c->BytesAvailable())});
    } else {
        return UnsupportedParam(key, c->m_sHost, error);
    }
    return kStatusOk;
}

int32_t CXVR_IP::ParamSet(uint32_t handle, std::u16string name, std::u16string value,
                          std::u16string *error) {
    CXVR_IPConnection *c = m_Connections.Find(handle, error);
    if (!c) return kStatusBadHandle;
    const std::u16string key = NormalizeParamName(name);
    int32_t status = kStatusOk;
    if (SetCommonParam(c, key, value, error, &status)) return status;
    return UnsupportedParam(key, c->m_sHost, error);
}

}  // namespace xvr
