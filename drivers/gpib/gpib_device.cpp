#include "drivers/gpib/gpib_device.h"

#include <string>

#include "frame/strings.h"

namespace xvr {

namespace {

uint8_t AddressNumber(std::u16string_view text) {
    int32_t value = 0;
    if (!ScanDecimal(text, &value)) return 0;
    return static_cast<uint8_t>(static_cast<uint32_t>(value) & 0xFF);
}

}  // namespace

bool ParseGPIBAddress(std::u16string_view text, GPIBAddress *address) {
    const std::u16string upper = ToUpper(text);
    if (upper.compare(0, 3, u"DEV") != 0) return false;
    const std::u16string_view rest = std::u16string_view(upper).substr(3);
    const size_t comma = rest.find(u',');
    // "%d" stops at the comma, so the whole rest yields the primary address.
    address->primary = AddressNumber(rest);
    address->secondary = comma == std::u16string_view::npos ? 0 : AddressNumber(rest.substr(comma + 1));
    return true;
}

}  // namespace xvr
