// The open addresses of every driver: "host:port", "COMn" or a device path,
// "Dev p[,s]".  Only the syntax is read here; nothing is opened or looked up.
#include <cstdlib>
#include <string>

#include "drivers/com/com_driver.h"
#include "drivers/gpib/gpib_device.h"
#include "drivers/ip/ip_driver.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    using namespace xvr;
    fuzz::Input input(data, size);
    const std::u16string address = input.WideText();

    std::u16string host;
    uint16_t port = 0;
    if (ParseIpAddress(address, &host, &port)) {
        if (port == 0 || host.find(u':') != std::u16string::npos) std::abort();
    }

    GPIBAddress gpib;
    ParseGPIBAddress(address, &gpib);

    // The name a port is shared by; a name is its own name.
    const std::u16string name = ComPortName(address);
    if (ComPortName(name) != name) std::abort();
    return 0;
}
