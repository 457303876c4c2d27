// ParamGet / ParamSet of the "COM" driver.  A get reports the record, never
// the port; every successful set writes all line settings to the port.
#include "drivers/com/com_driver.h"

#include "frame/strings.h"
#include "frame/texts.h"

namespace xvr {

namespace {

constexpr const char16_t *kParityWords[] = {u"NONE", u"ODD", u"EVEN", u"MARK", u"SPACE"};
constexpr const char16_t *kHandshakeWords[] = {u"NONE", u"XON/XOFF", u"RTS/CTS"};

template <size_t N>
std::u16string WordOf(const char16_t *const (&words)[N], uint8_t code) {
    return code < N ? words[code] : words[0];
}

// The code of a word (trimmed, upper-cased), or false.
template <size_t N>
bool CodeOf(const char16_t *const (&words)[N], std::u16string_view value, uint8_t *code) {
    const std::u16string word = ToUpper(TrimBlanks(value));
    for (size_t i = 0; i < N; ++i) {
        if (word == words[i]) {
            *code = static_cast<uint8_t>(i);
            return true;
        }
    }
    return false;
}

std::u16string Decimal(uint32_t v) { return Format(u"%d", {static_cast<int32_t>(v)}); }

}  // namespace

int32_t CXVR_COM::ParamGet(uint32_t handle, std::u16string name, std::u16string *value,
                           std::u16string *error) {
    CXVR_ComPort *port = m_Ports.Find(handle, error);
    if (!port) return kStatusBadHandle;
    value->clear();
    const std::u16string key = NormalizeParamName(name);
    if (key == u"BAUDRATE")
        *value = Decimal(port->m_lBaudRate);
    else if (key == u"DATABITS")
        *value = Decimal(port->m_bDataBits);
    else if (key == u"TIMEOUT")
        *value = FormatTimeoutValue(port->m_lTimeout);
    else if (key == u"PARITY")
        *value = WordOf(kParityWords, port->m_bParity);
    else if (key == u"STOPBITS")
        *value = port->m_bStopBits == 1 ? u"1" : u"2";
    else if (key == u"DELIMITER")
        *value = FormatDelimiterValue(port->m_Delimiter, port->m_lDelimiterLength);
    else if (key == u"HANDSHAKE")
        *value = WordOf(kHandshakeWords, port->m_bHandshake);
    else
        return UnsupportedParam(key, port->m_sPortName, error);
    return kStatusOk;
}

int32_t CXVR_COM::ParamSet(uint32_t handle, std::u16string name, std::u16string value,
                           std::u16string *error) {
    CXVR_ComPort *port = m_Ports.Find(handle, error);
    if (!port) return kStatusBadHandle;
    const std::u16string key = NormalizeParamName(name);
    int32_t status = kStatusOk;
    int32_t number = 0;
    // A rejected value leaves the parameter's fallback in the record; it
    // reaches the port with the next successful set.
    if (SetCommonParam(port, key, value, error, &status)) {
    } else if (key == u"BAUDRATE") {
        if (ScanDecimal(value, &number)) port->m_lBaudRate = static_cast<uint32_t>(number);
    } else if (key == u"DATABITS") {
        bool valid = ScanDecimal(value, &number) && number >= 4 && number <= 8;
        port->m_bDataBits = valid ? static_cast<uint8_t>(number) : 8;
        if (!valid) status = InvalidParamValue(key, error);
    } else if (key == u"PARITY") {
        if (!CodeOf(kParityWords, value, &port->m_bParity)) {
            port->m_bParity = kParityNone;
            status = InvalidParamValue(key, error);
        }
    } else if (key == u"STOPBITS") {
        bool scanned = ScanDecimal(value, &number);
        port->m_bStopBits = scanned && number == 1 ? 1 : 2;
        if (!scanned || (number != 1 && number != 2)) status = InvalidParamValue(key, error);
    } else if (key == u"HANDSHAKE") {
        if (!CodeOf(kHandshakeWords, value, &port->m_bHandshake)) {
            port->m_bHandshake = kHandshakeNone;
            status = InvalidParamValue(key, error);
        }
    } else {
        return UnsupportedParam(key, port->m_sPortName, error);
    }
    if (status != kStatusOk) return status;
    return ApplyComSettings(port, error);
}

int32_t ApplyComSettings(CXVR_ComPort *port, std::u16string *error) {
    using platform::SerialLine;
    SerialLine line;
    if (!port->m_Port.GetLine(&line)) {
        *error = FormatText(kTextGetSettingsFailed,
                            {port->m_sPortName, SystemText(port->m_Port.Error())});
        return kStatusGetStateFailed;
    }
    line.baudRate = port->m_lBaudRate;
    // 4 and 5 data bits are accepted by the set but run as 8.
    if (port->m_bDataBits < 6 || port->m_bDataBits > 8) port->m_bDataBits = 8;
    line.byteSize = port->m_bDataBits;
    line.parity = port->m_bParity;
    if (port->m_bStopBits != 1) port->m_bStopBits = 2;
    line.stopBits = port->m_bStopBits == 1 ? SerialLine::kOneStopBit : SerialLine::kTwoStopBits;
    line.outxCtsFlow = false;
    line.outX = false;
    line.inX = false;
    line.rtsControl = SerialLine::kRtsEnable;
    if (port->m_bHandshake == kHandshakeXonXoff) {
        line.outX = true;
        line.inX = true;
        line.xonChar = 0x11;
        line.xoffChar = 0x13;
    } else if (port->m_bHandshake == kHandshakeRtsCts) {
        line.outxCtsFlow = true;
        line.rtsControl = SerialLine::kRtsHandshake;
    }
    line.evtChar = 0x0A;
    if (!port->m_Port.SetLine(line)) {
        *error = FormatText(kTextSetSettingsFailed,
                            {port->m_sPortName, SystemText(port->m_Port.Error())});
        return kStatusSetStateFailed;
    }
    return kStatusOk;
}

}  // namespace xvr
