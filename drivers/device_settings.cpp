#include "drivers/device_settings.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "drivers/driver.h"
#include "base/strings.h"
#include "base/texts.h"
#include "platform/platform.h"

namespace xvr {

bool CXVR_DeviceSettings::EndsWithDelimiter(const uint8_t *data, size_t count) const {
    if (count < m_lDelimiterLength) return false;
    return std::memcmp(data + count - m_lDelimiterLength, m_Delimiter, m_lDelimiterLength) == 0;
}

uint32_t CXVR_DeviceSettings::DelimiterStartAtEnd(const uint8_t *data, size_t count,
                                                  uint32_t atMost) const {
    uint32_t k = std::min<uint32_t>(atMost, m_lDelimiterLength > 0 ? m_lDelimiterLength - 1 : 0);
    for (; k > 0; --k)
        if (k <= count && std::memcmp(data + count - k, m_Delimiter, k) == 0) return k;
    return 0;
}

std::u16string NormalizeParamName(std::u16string_view name) { return ToUpper(TrimBlanks(name)); }

namespace {

bool IsScanSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "%2X" over at most two bytes: blanks skipped, optional sign, hex digits.
uint8_t ScanEscape(const char *p, size_t n) {
    size_t i = 0;
    while (i < n && (p[i] == ' ' || p[i] == '\t' || p[i] == '\n' || p[i] == '\v' || p[i] == '\f' ||
                     p[i] == '\r'))
        ++i;
    bool negative = false;
    if (i < n && (p[i] == '+' || p[i] == '-')) negative = p[i++] == '-';
    int value = 0;
    for (; i < n && HexDigit(p[i]) >= 0; ++i) value = value * 16 + HexDigit(p[i]);
    if (negative) value = -value;
    return static_cast<uint8_t>(value & 0xFF);
}

}  // namespace

bool ScanDecimal(std::u16string_view text, int32_t *value) {
    size_t i = 0;
    while (i < text.size() && IsScanSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
    if (i >= text.size() || text[i] < u'0' || text[i] > u'9') return false;
    int64_t v = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        if (v <= INT64_C(0x7FFFFFFF) + 1) v = v * 10 + (text[i] - u'0');
    }
    if (negative) v = -v;
    if (v > INT32_MAX) v = INT32_MAX;
    if (v < INT32_MIN) v = INT32_MIN;
    *value = static_cast<int32_t>(v);
    return true;
}

void ParseTimeoutValue(std::u16string_view text, uint32_t *timeout) {
    int32_t v;
    if (ScanDecimal(text, &v)) *timeout = static_cast<uint32_t>(v);
    if (*timeout == 0) *timeout = CXVR_DeviceSettings::kDefaultTimeout;
}

std::u16string FormatTimeoutValue(uint32_t timeout) {
    return Format(u"%d", {static_cast<int32_t>(timeout)});
}

std::u16string FormatDelimiterValue(const uint8_t *delimiter, uint32_t length) {
    std::u16string out;
    for (uint32_t i = 0; i < length; ++i) {
        uint8_t b = delimiter[i];
        if (b >= 0x20 && b <= 0x7E)
            out.push_back(static_cast<char16_t>(b));
        else
            out += Format(u"\\%02X", {static_cast<uint32_t>(b)});
    }
    return out;
}

bool ParseDelimiterValue(std::u16string_view text, CXVR_DeviceSettings *settings) {
    const std::string bytes = platform::WideToAnsi(text);
    std::vector<uint8_t> decoded;
    size_t i = 0;
    while (i < bytes.size()) {
        if (bytes[i] == '\\') {
            size_t avail = bytes.size() - (i + 1);
            decoded.push_back(ScanEscape(bytes.data() + i + 1, avail < 2 ? avail : 2));
            i += 3;
        } else {
            decoded.push_back(static_cast<uint8_t>(bytes[i]));
            i += 1;
        }
        if (decoded.size() > CXVR_DeviceSettings::kMaxDelimiter) return false;
    }
    if (!decoded.empty()) std::memcpy(settings->m_Delimiter, decoded.data(), decoded.size());
    settings->m_lDelimiterLength = static_cast<uint32_t>(decoded.size());
    return true;
}

int32_t UnsupportedParam(const std::u16string &name, const std::u16string &interfaceName,
                         std::u16string *error) {
    *error = FormatText(kTextParamUnsupported, {name, interfaceName});
    return kStatusUnknownParam;
}

int32_t InvalidParamValue(const std::u16string &name, std::u16string *error) {
    *error = FormatText(kTextParamInvalid, {name});
    return kStatusBadValue;
}

bool SetCommonParam(CXVR_DeviceSettings *settings, const std::u16string &name,
                    std::u16string_view value, std::u16string *error, int32_t *status) {
    if (name == u"TIMEOUT") {
        ParseTimeoutValue(value, &settings->m_lTimeout);
        *status = kStatusOk;
        return true;
    }
    if (name == u"DELIMITER") {
        *status = ParseDelimiterValue(value, settings) ? kStatusOk : InvalidParamValue(name, error);
        return true;
    }
    return false;
}

}  // namespace xvr
