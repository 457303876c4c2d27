// The head of every device record and the parameter rules all drivers share.
//
// DELIMITER text: printable bytes 0x20-0x7E stand for themselves; a backslash
// takes the next two characters as a hexadecimal byte ("\0D").  The two
// characters are always consumed.  Within them, blanks are skipped and a sign
// is read as a signed number, whose low 8 bits give the byte ("\-1" is 0xFF);
// when they hold no hexadecimal digit at all ("\ZZ", a trailing "\"), the
// byte is 0x00.  A text that decodes to more than 100 bytes is refused.
//
// TIMEOUT text: "%d" rules (blanks, sign, digits, rest ignored); a number
// outside the 32-bit range saturates; no digits keeps the old value; 0 means
// 1000.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace xvr {

struct CXVR_DeviceSettings {
    static constexpr uint32_t kMaxDelimiter = 100;
    static constexpr uint32_t kDefaultTimeout = 1000;

    explicit CXVR_DeviceSettings(uint8_t defaultDelimiter) { m_Delimiter[0] = defaultDelimiter; }

    // Where the record is in its life.  Written under both the driver's list
    // lock and the record's call lock, so either lock is enough to read it.
    enum class State : uint8_t { kOpening, kOpen, kReleased };
    State m_State = State::kOpening;
    // One call at a time on a device; held across the call's transfer.
    std::mutex m_CallLock;

    uint32_t m_lOpenCount = 0;
    uint32_t m_lTimeout = kDefaultTimeout;
    uint8_t m_Delimiter[kMaxDelimiter] = {};
    uint32_t m_lDelimiterLength = 1;

    // True when the last m_lDelimiterLength bytes before end equal the delimiter.
    bool EndsWithDelimiter(const uint8_t *data, size_t count) const;
    // The length of the longest start of the delimiter, shorter than atMost
    // + 1 and than the whole delimiter, that the data ends with.
    uint32_t DelimiterStartAtEnd(const uint8_t *data, size_t count, uint32_t atMost) const;
};

std::u16string NormalizeParamName(std::u16string_view name);

// Scans a "%d" number; false when the text holds no digits.
bool ScanDecimal(std::u16string_view text, int32_t *value);
void ParseTimeoutValue(std::u16string_view text, uint32_t *timeout);
std::u16string FormatTimeoutValue(uint32_t timeout);  // "%d": 4294967295 reads -1

std::u16string FormatDelimiterValue(const uint8_t *delimiter, uint32_t length);
// Decodes the host text into the record; false (nothing changed) when it would
// yield more than 100 bytes.
bool ParseDelimiterValue(std::u16string_view text, CXVR_DeviceSettings *settings);

// Text 11003 for name and interface, status -11.
int32_t UnsupportedParam(const std::u16string &name, const std::u16string &interfaceName,
                         std::u16string *error);
// Text 11004 for name, status -18.
int32_t InvalidParamValue(const std::u16string &name, std::u16string *error);

// TIMEOUT and DELIMITER sets, common to every driver.  Returns true when the
// name was one of them, with the status in *status.
bool SetCommonParam(CXVR_DeviceSettings *settings, const std::u16string &name,
                    std::u16string_view value, std::u16string *error, int32_t *status);

}  // namespace xvr
