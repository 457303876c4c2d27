// The parameters of a serial port.
#include "drivers/com/com_device.h"

#include "base/status.h"

#include "base/strings.h"
#include "base/texts.h"
#include "drivers/control.h"

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

int32_t CXVR_COMDevice::ParamGet(const std::u16string &key, std::u16string *value,
                                 std::u16string *error) {
    value->clear();
    if (key == u"BAUDRATE")
        *value = Decimal(m_lBaudRate);
    else if (key == u"DATABITS")
        *value = Decimal(m_bDataBits);
    else if (key == u"TIMEOUT")
        *value = FormatTimeoutValue(m_lTimeout);
    else if (key == u"PARITY")
        *value = WordOf(kParityWords, m_bParity);
    else if (key == u"STOPBITS")
        *value = m_bStopBits == 1 ? u"1" : u"2";
    else if (key == u"DELIMITER")
        *value = FormatDelimiterValue(m_Delimiter, m_lDelimiterLength);
    else if (key == u"HANDSHAKE")
        *value = WordOf(kHandshakeWords, m_bHandshake);
    else
        return UnsupportedParam(key, m_sPortName, error);
    return kStatusOk;
}

int32_t CXVR_COMDevice::ParamSet(const std::u16string &key, std::u16string_view value,
                                 std::u16string *error) {
    // No line setting changes, so nothing is written to the port.
    if (key == kParamClear) return Clear(error);
    int32_t status = kStatusOk;
    int32_t number = 0;
    // A rejected value leaves the parameter's fallback in the record; it
    // reaches the port with the next successful set.
    if (SetCommonParam(this, key, value, error, &status)) {
    } else if (key == u"BAUDRATE") {
        if (ScanDecimal(value, &number)) m_lBaudRate = static_cast<uint32_t>(number);
    } else if (key == u"DATABITS") {
        if (!ScanDecimal(value, &number) || number < 4 || number > 8) {
            m_bDataBits = 8;
            return InvalidParamValue(key, error);
        }
        return SetDataBits(static_cast<uint8_t>(number), error);
    } else if (key == u"PARITY") {
        if (!CodeOf(kParityWords, value, &m_bParity)) {
            m_bParity = kParityNone;
            status = InvalidParamValue(key, error);
        }
    } else if (key == u"STOPBITS") {
        bool scanned = ScanDecimal(value, &number);
        m_bStopBits = scanned && number == 1 ? 1 : 2;
        if (!scanned || (number != 1 && number != 2)) status = InvalidParamValue(key, error);
    } else if (key == u"HANDSHAKE") {
        if (!CodeOf(kHandshakeWords, value, &m_bHandshake)) {
            m_bHandshake = kHandshakeNone;
            status = InvalidParamValue(key, error);
        }
    } else {
        return UnsupportedParam(key, m_sPortName, error);
    }
    if (status != kStatusOk) return status;
    return ApplySettings(error);
}

int32_t CXVR_COMDevice::Clear(std::u16string *error) {
    if (m_Port.Purge()) return kStatusOk;
    *error = FormatText(kTextReceiveFailed, {SystemText(m_Port.Error())});
    return kStatusTransfer;
}

// The line runs the data bits asked for or refuses them: a value the line
// does not keep is refused as a value out of range, and the record and the
// line stay as they were.  A refusal that the previous data bits meet as
// well comes from another setting and is reported as such.
int32_t CXVR_COMDevice::SetDataBits(uint8_t bits, std::u16string *error) {
    const uint8_t before = m_bDataBits;
    m_bDataBits = bits;
    const int32_t status = ApplySettings(error);
    if (status != kStatusComSetSettings ||
        m_Port.Error() != platform::SerialInvalidSettingError() || bits == before)
        return status;
    m_bDataBits = before;
    std::u16string again;
    if (ApplySettings(&again) != kStatusOk) {
        m_bDataBits = bits;
        return status;
    }
    return InvalidParamValue(u"DATABITS", error);
}

int32_t CXVR_COMDevice::ApplySettings(std::u16string *error) {
    using platform::SerialLine;
    SerialLine line;
    if (!m_Port.GetLine(&line)) {
        *error = FormatText(kTextGetSettingsFailed, {m_sPortName, SystemText(m_Port.Error())});
        return kStatusComGetSettings;
    }
    line.baudRate = m_lBaudRate;
    line.byteSize = m_bDataBits;
    line.parity = m_bParity;
    if (m_bStopBits != 1) m_bStopBits = 2;
    line.stopBits = m_bStopBits == 1 ? SerialLine::kOneStopBit : SerialLine::kTwoStopBits;
    line.outxCtsFlow = false;
    line.outX = false;
    line.inX = false;
    line.rtsControl = SerialLine::kRtsEnable;
    if (m_bHandshake == kHandshakeXonXoff) {
        line.outX = true;
        line.inX = true;
        line.xonChar = 0x11;
        line.xoffChar = 0x13;
    } else if (m_bHandshake == kHandshakeRtsCts) {
        line.outxCtsFlow = true;
        line.rtsControl = SerialLine::kRtsHandshake;
    }
    line.evtChar = 0x0A;
    if (!m_Port.SetLine(line)) {
        *error = FormatText(kTextSetSettingsFailed, {m_sPortName, SystemText(m_Port.Error())});
        return kStatusComSetSettings;
    }
    return kStatusOk;
}

}  // namespace xvr
