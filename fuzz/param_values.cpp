// TIMEOUT and DELIMITER values as hosts write them: parsing never fails
// badly, and what the library prints reads back as the same setting.
#include <algorithm>
#include <cstdlib>
#include <string>

#include "drivers/device_settings.h"
#include "fuzz_input.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    using namespace xvr;
    fuzz::Input input(data, size);
    const std::u16string text = input.WideText();

    uint32_t timeout = input.Word();
    ParseTimeoutValue(text, &timeout);
    uint32_t again = ~timeout;
    ParseTimeoutValue(FormatTimeoutValue(timeout), &again);
    Require(again == timeout);

    CXVR_DeviceSettings settings(0x0D);
    if (ParseDelimiterValue(text, &settings)) {
        Require(settings.m_lDelimiterLength <= sizeof settings.m_Delimiter);
        CXVR_DeviceSettings reread(0x0A);
        Require(ParseDelimiterValue(
            FormatDelimiterValue(settings.m_Delimiter, settings.m_lDelimiterLength), &reread));
        Require(reread.m_lDelimiterLength == settings.m_lDelimiterLength);
        Require(std::equal(settings.m_Delimiter, settings.m_Delimiter + settings.m_lDelimiterLength,
                           reread.m_Delimiter));
    }
    return 0;
}
