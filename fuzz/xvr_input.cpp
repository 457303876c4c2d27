// What xvr reads from its command line: hex data (--hex) and numbers
// (--timeout, -n).  Bad input is a usage error, never a crash; hex data
// survives the round trip.
#include <cstdlib>
#include <string>

#include "fuzz_input.h"
#include "hex.h"
#include "options.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    xvr::fuzz::Input input(data, size);
    const uint64_t minimum = input.Word(), maximum = input.Word();
    const std::string text = input.Text();
    try {
        const uint64_t n = xvrcli::ParseNumber(text, minimum, maximum, "N");
        if (n < minimum || n > maximum) std::abort();
    } catch (const xvrcli::UsageError &) {
    }
    try {
        const std::string bytes = xvrcli::FromHex(text);
        if (xvrcli::FromHex(xvrcli::ToHex(bytes)) != bytes) std::abort();
    } catch (const xvrcli::UsageError &) {
    }
    const std::string bytes = input.Rest();
    if (xvrcli::FromHex(xvrcli::ToHex(bytes)) != bytes) std::abort();
    return 0;
}
